#include "DisplayDump.h"

#include "Text.h"

namespace phonesim {
namespace {

const std::string builtInUniqueId = "local:4619827259835644672";

bool isOverlay(const SimDisplay &display)
{
    return startsWith(display.uniqueId, "overlay:");
}

std::string number(int value)
{
    return std::to_string(value);
}

std::string viewport(const std::string &type, int displayId, const std::string &uniqueId, int width, int height)
{
    const std::string frame = "Rect(0, 0 - " + number(width) + ", " + number(height) + ")";
    return "DisplayViewport{type=" + type + ", valid=true, isActive=true, displayId=" + number(displayId) +
           ", uniqueId='" + uniqueId + "', physicalPort=" + (type == "INTERNAL" ? "0" : "null") +
           ", orientation=0, logicalFrame=" + frame + ", physicalFrame=" + frame + ", deviceWidth=" + number(width) +
           ", deviceHeight=" + number(height) + "}";
}

std::string displayInfo(const std::string &name, int displayId, int width, int height, int density)
{
    const std::string w = number(width);
    const std::string h = number(height);
    const std::string dpi = number(density);
    return "DisplayInfo{\"" + name + "\", displayId " + number(displayId) +
           ", displayGroupId 0, FLAG_SECURE, FLAG_SUPPORTS_PROTECTED_BUFFERS, FLAG_TRUSTED, real " + w + " x " + h +
           ", largest app " + h + " x " + w + ", smallest app " + w + " x " + h +
           ", appVsyncOff 1000000, presDeadline 16666666, mode 1, defaultMode 1, modes [{id=1, width=" + w +
           ", height=" + h + ", fps=60.000004}], rotation 0, state ON, density " + dpi + " (" + dpi + ".0 x " + dpi +
           ".0) dpi}";
}

std::string nameOf(const SimDisplay &display)
{
    return isOverlay(display) ? "Overlay #1" : "scrcpy";
}

} // namespace

std::string displayDump(const SimPhone &phone)
{
    std::string text = "DISPLAY MANAGER (dumpsys display)\n"
                       "  mOnlyCode=false\n"
                       "  mSafeMode=false\n"
                       "  mPendingTraversal=false\n"
                       "  mViewports=[" +
                       viewport("INTERNAL", 0, builtInUniqueId, phone.screenWidth, phone.screenHeight);
    for (const SimDisplay &display : phone.displays)
        text += ", " + viewport(isOverlay(display) ? "EXTERNAL" : "VIRTUAL", display.id, display.uniqueId,
                                display.width, display.height);
    text += "]\n\n";

    const std::string count = number(int(phone.displays.size()) + 1);
    text += "Display Devices: size=" + count + "\n";
    text += "  DisplayDeviceInfo{\"Built-in Screen\": uniqueId=\"" + builtInUniqueId + "\", " +
            number(phone.screenWidth) + " x " + number(phone.screenHeight) + ", modeId 1, defaultModeId 1, density " +
            number(phone.screenDensity) + ", type INTERNAL, state ON, FLAG_DEFAULT_DISPLAY}\n";
    for (const SimDisplay &display : phone.displays) {
        text += "  DisplayDeviceInfo{\"" + nameOf(display) + "\": uniqueId=\"" + display.uniqueId + "\", " +
                number(display.width) + " x " + number(display.height) + ", modeId 1, defaultModeId 1, density " +
                number(display.density) + ", type " + (isOverlay(display) ? "OVERLAY" : "VIRTUAL") + ", state ON}\n";
    }

    text += "\nLogical Displays: size=" + count + "\n";
    text += "  Display 0:\n    mDisplayId=0\n    mLayerStack=0\n";
    const std::string builtIn =
        displayInfo("Built-in Screen", 0, phone.screenWidth, phone.screenHeight, phone.screenDensity);
    text += "    mBaseDisplayInfo=" + builtIn + '\n';
    if (phone.displayInfoInDump)
        text += "    mOverrideDisplayInfo=" + builtIn + '\n';
    for (const SimDisplay &display : phone.displays) {
        const std::string id = number(display.id);
        text += "  Display " + id + ":\n    mDisplayId=" + id + "\n    mLayerStack=" + id + "\n";
        const std::string info =
            displayInfo(nameOf(display), display.id, display.width, display.height, display.density);
        text += "    mBaseDisplayInfo=" + info + '\n';
        text += "    mOverrideDisplayInfo=" + info + '\n';
    }
    return text;
}

} // namespace phonesim
