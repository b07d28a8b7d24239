#include "support/PrivateBus.h"

#include <QFile>

namespace lumarient::test {

PrivateBus::PrivateBus()
{
    // A configuration of our own: the stock session one would start real desktop
    // services on demand.
    const QString configPath = folder_.filePath(QStringLiteral("bus.conf"));
    QFile config(configPath);
    if (!folder_.isValid() || !config.open(QIODevice::WriteOnly))
        return;
    config.write(QStringLiteral("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\" "
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

PrivateBus::~PrivateBus()
{
    for (const QString &name : connections_)
        QDBusConnection::disconnectFromBus(name);
    daemon_.terminate();
    daemon_.waitForFinished();
}

QDBusConnection PrivateBus::connect(const QString &name)
{
    connections_.append(name);
    return QDBusConnection::connectToBus(address_, name);
}

} // namespace lumarient::test
