#include "platform/LoginAutostart.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSaveFile>

namespace lumarient {
namespace {

// A desktop entry's Exec value: arguments with spaces or quotes are quoted.
QString execValue(const QString &executable)
{
    if (!executable.contains(QRegularExpression(QStringLiteral("[\\s\"'\\\\$`]"))))
        return executable;
    QString quoted = executable;
    for (const char *special : {"\\", "\"", "`", "$"})
        quoted.replace(QLatin1String(special), QLatin1String("\\") + QLatin1String(special));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

} // namespace

LoginAutostart::LoginAutostart(QString autostartFolder, QString executable)
    : folder_(std::move(autostartFolder)), executable_(std::move(executable))
{
}

QString LoginAutostart::defaultFolder()
{
    const QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    const QString base = config.isEmpty() ? QDir::homePath() + QStringLiteral("/.config") : config;
    return base + QStringLiteral("/autostart");
}

QString LoginAutostart::entryPath() const
{
    return folder_ + QStringLiteral("/lumarient.desktop");
}

bool LoginAutostart::isEnabled() const
{
    QFile entry(entryPath());
    if (!entry.open(QIODevice::ReadOnly))
        return false;
    // The desktop's session settings switch an entry off in either of these ways.
    while (!entry.atEnd()) {
        const QByteArray line = entry.readLine().trimmed();
        if (line == "Hidden=true" || line == "X-GNOME-Autostart-enabled=false")
            return false;
    }
    return true;
}

bool LoginAutostart::setEnabled(bool enabled) const
{
    if (!enabled)
        return !QFile::exists(entryPath()) || QFile::remove(entryPath());
    if (!QDir().mkpath(folder_))
        return false;
    QSaveFile entry(entryPath());
    if (!entry.open(QIODevice::WriteOnly))
        return false;
    const QString text = QStringLiteral("[Desktop Entry]\n"
                                        "Type=Application\n"
                                        "Name=Lumarient\n"
                                        "Comment=Use your Android phone with this computer\n"
                                        "Exec=%1\n"
                                        "Icon=lumarient\n"
                                        "Terminal=false\n"
                                        "X-GNOME-Autostart-enabled=true\n")
                             .arg(execValue(executable_));
    entry.write(text.toUtf8());
    return entry.commit();
}

} // namespace lumarient
