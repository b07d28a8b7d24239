#pragma once

#include <QDBusConnection>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

namespace lumarient::test {

// A message bus of the test's own, standing in for the session or the system bus.
// It has no activatable services, so no real desktop service starts on it.
class PrivateBus {
public:
    PrivateBus()
    {
        const QString configPath = folder_.filePath(QStringLiteral("bus.conf"));
        QFile config(configPath);
        if (!config.open(QIODevice::WriteOnly))
            return;
        config.write(
            QStringLiteral("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\" "
                           "\"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                           "<busconfig><type>session</type><listen>unix:dir=%1</listen>"
                           "<auth>EXTERNAL</auth><policy context=\"default\">"
                           "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/>"
                           "<allow own=\"*\"/></policy></busconfig>\n")
                .arg(folder_.path())
                .toUtf8());
        config.close();
        daemon_.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--nofork"), QStringLiteral("--print-address=1"),
                                                      QStringLiteral("--config-file=") + configPath});
        if (daemon_.waitForStarted() && daemon_.waitForReadyRead(10000))
            address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
    }
    ~PrivateBus()
    {
        daemon_.kill();
        daemon_.waitForFinished();
    }
    PrivateBus(const PrivateBus &) = delete;
    PrivateBus &operator=(const PrivateBus &) = delete;

    // False when dbus-daemon is missing or did not come up.
    bool running() const { return !address_.isEmpty(); }
    QDBusConnection connect(const QString &name) const { return QDBusConnection::connectToBus(address_, name); }

private:
    QTemporaryDir folder_;
    QProcess daemon_;
    QString address_;
};

} // namespace lumarient::test
