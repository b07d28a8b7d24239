#include "DisplayDump.h"

namespace phonesim {
namespace {

const char *const builtInUniqueId = "local:4619827259835644672";

QString viewport(const QString &type, int displayId, const QString &uniqueId, int width, int height)
{
    return QStringLiteral("DisplayViewport{type=%1, valid=true, isActive=true, displayId=%2, uniqueId='%3', "
                          "physicalPort=%4, orientation=0, logicalFrame=Rect(0, 0 - %5, %6), "
                          "physicalFrame=Rect(0, 0 - %5, %6), deviceWidth=%5, deviceHeight=%6}")
        .arg(type)
        .arg(displayId)
        .arg(uniqueId, type == QLatin1String("INTERNAL") ? QStringLiteral("0") : QStringLiteral("null"))
        .arg(width)
        .arg(height);
}

QString displayInfo(const QString &name, int displayId, int width, int height, int density)
{
    return QStringLiteral("DisplayInfo{\"%1\", displayId %2, displayGroupId 0, FLAG_SECURE, "
                          "FLAG_SUPPORTS_PROTECTED_BUFFERS, FLAG_TRUSTED, real %3 x %4, largest app %4 x %3, "
                          "smallest app %3 x %4, appVsyncOff 1000000, presDeadline 16666666, mode 1, "
                          "defaultMode 1, modes [{id=1, width=%3, height=%4, fps=60.000004}], "
                          "rotation 0, state ON, density %5 (%5.0 x %5.0) dpi}")
        .arg(name)
        .arg(displayId)
        .arg(width)
        .arg(height)
        .arg(density);
}

QString nameOf(const SimDisplay &display)
{
    if (display.uniqueId.startsWith(QLatin1String("overlay:")))
        return QStringLiteral("Overlay #1");
    return QStringLiteral("scrcpy");
}

} // namespace

QString displayDump(const SimPhone &phone)
{
    QString text = QStringLiteral("DISPLAY MANAGER (dumpsys display)\n"
                                  "  mOnlyCode=false\n"
                                  "  mSafeMode=false\n"
                                  "  mPendingTraversal=false\n"
                                  "  mViewports=[");
    QStringList viewports{viewport(QStringLiteral("INTERNAL"), 0, QLatin1String(builtInUniqueId), phone.screenWidth,
                                   phone.screenHeight)};
    for (const SimDisplay &display : phone.displays) {
        const QString type = display.uniqueId.startsWith(QLatin1String("overlay:")) ? QStringLiteral("EXTERNAL")
                                                                                     : QStringLiteral("VIRTUAL");
        viewports.append(viewport(type, display.id, display.uniqueId, display.width, display.height));
    }
    text += viewports.join(QStringLiteral(", ")) + QStringLiteral("]\n\n");

    text += QStringLiteral("Display Devices: size=%1\n").arg(phone.displays.size() + 1);
    text += QStringLiteral("  DisplayDeviceInfo{\"Built-in Screen\": uniqueId=\"%1\", %2 x %3, modeId 1, "
                           "defaultModeId 1, density %4, type INTERNAL, state ON, FLAG_DEFAULT_DISPLAY}\n")
                .arg(QLatin1String(builtInUniqueId))
                .arg(phone.screenWidth)
                .arg(phone.screenHeight)
                .arg(phone.screenDensity);
    for (const SimDisplay &display : phone.displays) {
        text += QStringLiteral("  DisplayDeviceInfo{\"%1\": uniqueId=\"%2\", %3 x %4, modeId 1, defaultModeId 1, "
                               "density %5, type %6, state ON}\n")
                    .arg(nameOf(display), display.uniqueId)
                    .arg(display.width)
                    .arg(display.height)
                    .arg(display.density)
                    .arg(display.uniqueId.startsWith(QLatin1String("overlay:")) ? QStringLiteral("OVERLAY")
                                                                                : QStringLiteral("VIRTUAL"));
    }

    text += QStringLiteral("\nLogical Displays: size=%1\n").arg(phone.displays.size() + 1);
    text += QStringLiteral("  Display 0:\n    mDisplayId=0\n    mLayerStack=0\n");
    const QString builtIn = displayInfo(QStringLiteral("Built-in Screen"), 0, phone.screenWidth, phone.screenHeight,
                                        phone.screenDensity);
    text += QStringLiteral("    mBaseDisplayInfo=") + builtIn + '\n';
    if (phone.displayInfoInDump)
        text += QStringLiteral("    mOverrideDisplayInfo=") + builtIn + '\n';
    for (const SimDisplay &display : phone.displays) {
        text += QStringLiteral("  Display %1:\n    mDisplayId=%1\n    mLayerStack=%1\n").arg(display.id);
        const QString info = displayInfo(nameOf(display), display.id, display.width, display.height, display.density);
        text += QStringLiteral("    mBaseDisplayInfo=") + info + '\n';
        text += QStringLiteral("    mOverrideDisplayInfo=") + info + '\n';
    }
    return text;
}

} // namespace phonesim
