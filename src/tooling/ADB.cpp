#include "tooling/ADB.h"

#include "model/LumarientError.h"
#include "platform/Sleeper.h"
#include "tooling/AdbWire.h"
#include "tooling/DeviceListParser.h"
#include "tooling/ToolPaths.h"

#include <QRegularExpression>

namespace lumarient {
namespace {

using namespace std::chrono_literals;

const QRegularExpression &overlayDisplayLine()
{
    static const QRegularExpression pattern(QStringLiteral(R"(displayId=(\d+), uniqueId='overlay:1')"));
    return pattern;
}

const QRegularExpression &builtInScreenSize()
{
    static const QRegularExpression pattern(
        QStringLiteral(R"(mOverrideDisplayInfo=DisplayInfo\{[^}]*displayId 0,[^}]*real (\d+) x (\d+))"));
    return pattern;
}

const QRegularExpression &windowManagerSize()
{
    static const QRegularExpression pattern(QStringLiteral(R"((\d+)x(\d+))"));
    return pattern;
}

const QRegularExpression &scrcpyVirtualDisplayLine()
{
    static const QRegularExpression pattern(
        QStringLiteral(R"(displayId=(\d+), uniqueId='virtual:com\.android\.shell,2000,scrcpy,\d+')"));
    return pattern;
}

const QRegularExpression &wifiAddress()
{
    static const QRegularExpression pattern(QStringLiteral(R"(inet ([0-9.]+))"));
    return pattern;
}

std::optional<ScreenSize> sizeFrom(const QRegularExpressionMatch &match)
{
    if (!match.hasMatch())
        return std::nullopt;
    bool widthOk = false;
    bool heightOk = false;
    const int width = match.captured(1).toInt(&widthOk);
    const int height = match.captured(2).toInt(&heightOk);
    if (!widthOk || !heightOk || width < 1 || height < 1)
        return std::nullopt;
    return ScreenSize{width, height};
}

QString endpoint(const QString &host, int port)
{
    return host + QLatin1Char(':') + QString::number(port);
}

} // namespace

ADB::ADB(const ToolPaths &paths, Sleeper &sleeper, std::chrono::milliseconds commandTimeLimit)
    : paths_(paths), sleeper_(sleeper), commandTimeLimit_(commandTimeLimit)
{
}

QString ADB::run(const QStringList &arguments, std::optional<std::chrono::milliseconds> timeLimit) const
{
    return Shell::run(paths_.adb(), arguments, timeLimit.value_or(commandTimeLimit_));
}

bool ADB::succeeds(const QStringList &arguments, std::optional<std::chrono::milliseconds> timeLimit) const
{
    try {
        run(arguments, timeLimit);
        return true;
    } catch (const ShellError &) {
        return false;
    }
}

QStringList ADB::onPhone(const QString &serial, QStringList arguments) const
{
    arguments.prepend(serial);
    arguments.prepend(QStringLiteral("-s"));
    return arguments;
}

AdbServerClient ADB::server()
{
    return AdbServerClient(AdbServerClient::portFromEnvironment());
}

QList<ConnectedDevice> ADB::listDevices() const
{
    // Without a server the adb process below starts one, so the next listing
    // takes the socket.
    const AdbServerClient::Answer answer = server().hostQuery("host:devices-l");
    if (answer.outcome == AdbServerClient::Outcome::answered)
        return parseDeviceLines(QString::fromUtf8(answer.text));

    QString output;
    try {
        output = run({QStringLiteral("devices"), QStringLiteral("-l")});
    } catch (const ShellError &error) {
        listingTrouble_.failed(error);
        throw;
    }
    listingTrouble_.answered(output);
    return parseDeviceList(output);
}

bool ADB::ensureReverse(const QString &serial, int port) const
{
    using Outcome = AdbServerClient::Outcome;
    const QString spec = QStringLiteral("tcp:") + QString::number(port);
    const AdbServerClient client = server();
    const AdbServerClient::Answer listing = client.phoneQuery(serial, "reverse:list-forward");
    if (listing.outcome == Outcome::refused)
        return false;
    if (listing.outcome == Outcome::answered) {
        if (adbwire::parseReversals(QString::fromUtf8(listing.text)).contains(adbwire::Reversal{spec, spec}))
            return true;
        const AdbServerClient::Answer made = client.phoneCommand(serial, QByteArrayLiteral("reverse:forward:") +
                                                                             spec.toLatin1() + ';' + spec.toLatin1());
        if (made.outcome != Outcome::unavailable)
            return made.outcome == Outcome::answered;
    }
    return succeeds(onPhone(serial, {QStringLiteral("reverse"), spec, spec}));
}

QString ADB::marketingName(const QString &serial, const QString &fallbackModel) const
{
    for (const char *property : {"ro.product.marketname", "ro.product.model"}) {
        try {
            const QString value =
                run(onPhone(serial, {QStringLiteral("shell"), QStringLiteral("getprop"), QLatin1String(property)}))
                    .trimmed();
            if (!value.isEmpty())
                return value;
        } catch (const ShellError &) {
        }
    }
    QString name = fallbackModel;
    return name.replace(QLatin1Char('_'), QLatin1Char(' '));
}

bool ADB::deleteOverlayDisplay(const QString &serial) const
{
    return succeeds(onPhone(serial, {QStringLiteral("shell"), QStringLiteral("settings"), QStringLiteral("delete"),
                                     QStringLiteral("global"), QStringLiteral("overlay_display_devices")}));
}

QString ADB::createOverlayDisplay(const QString &serial, const QString &resolution, std::stop_token stop) const
{
    deleteOverlayDisplay(serial);
    run(onPhone(serial, {QStringLiteral("shell"), QStringLiteral("settings"), QStringLiteral("put"),
                         QStringLiteral("global"), QStringLiteral("overlay_display_devices"),
                         resolution + QStringLiteral(",disable_window_interaction")}));
    try {
        for (int poll = 0; poll < 20; ++poll) {
            sleeper_.sleep(250ms, stop);
            const QString dump =
                run(onPhone(serial, {QStringLiteral("shell"), QStringLiteral("dumpsys"), QStringLiteral("display")}));
            const QRegularExpressionMatch match = overlayDisplayLine().match(dump);
            if (match.hasMatch())
                return match.captured(1);
        }
    } catch (...) {
        // Never leave a half-made overlay behind, however the wait ended.
        deleteOverlayDisplay(serial);
        throw;
    }
    deleteOverlayDisplay(serial);
    throw LumarientError::overlayDidNotAppear();
}

std::optional<ScreenSize> ADB::screenSize(const QString &serial) const
{
    try {
        const QString dump =
            run(onPhone(serial, {QStringLiteral("shell"), QStringLiteral("dumpsys"), QStringLiteral("display")}));
        if (std::optional<ScreenSize> size = sizeFrom(builtInScreenSize().match(dump)))
            return size;
    } catch (const ShellError &) {
    }
    try {
        const QString output =
            run(onPhone(serial, {QStringLiteral("shell"), QStringLiteral("wm"), QStringLiteral("size")}));
        return sizeFrom(windowManagerSize().match(output));
    } catch (const ShellError &) {
        return std::nullopt;
    }
}

std::optional<int> ADB::newestScrcpyDisplayID(const QString &serial) const
{
    QString dump;
    try {
        dump = run(onPhone(serial, {QStringLiteral("shell"), QStringLiteral("dumpsys"), QStringLiteral("display")}));
    } catch (const ShellError &) {
        return std::nullopt;
    }
    std::optional<int> newest;
    QRegularExpressionMatchIterator matches = scrcpyVirtualDisplayLine().globalMatch(dump);
    while (matches.hasNext()) {
        bool ok = false;
        const int id = matches.next().captured(1).toInt(&ok);
        if (ok && (!newest || id > *newest))
            newest = id;
    }
    return newest;
}

bool ADB::setDisplayFreeform(const QString &serial, int displayID) const
{
    return succeeds(
        onPhone(serial, {QStringLiteral("shell"), QStringLiteral("wm"), QStringLiteral("set-display-windowing-mode"),
                         QStringLiteral("-d"), QString::number(displayID), QStringLiteral("5")}));
}

void ADB::waitUntilReady(const QString &serial) const
{
    for (int round = 0; round < 20; ++round) {
        try {
            for (const ConnectedDevice &device : listDevices()) {
                if (device.serial == serial && device.state == DeviceState::ready)
                    return;
            }
        } catch (const ShellError &) {
        }
        sleeper_.sleep(250ms, std::stop_token());
    }
}

void ADB::connect(const QString &host, int port, std::stop_token stop) const
{
    const QString target = endpoint(host, port);
    for (int attempt = 1;; ++attempt) {
        const QString output = run({QStringLiteral("connect"), target});
        if (output.contains(QLatin1String("connected to")))
            return;
        if (attempt == 5)
            throw LumarientError::message(output.trimmed());
        if (attempt == 3) {
            succeeds({QStringLiteral("kill-server")});
            sleeper_.sleep(1000ms, stop);
        }
        sleeper_.sleep(1500ms, stop);
    }
}

QString ADB::switchToWifi(const QString &serial, int port, std::stop_token stop) const
{
    const QString addresses =
        run(onPhone(serial, {QStringLiteral("shell"), QStringLiteral("ip"), QStringLiteral("-4"),
                             QStringLiteral("addr"), QStringLiteral("show"), QStringLiteral("wlan0")}));
    const QRegularExpressionMatch match = wifiAddress().match(addresses);
    if (!match.hasMatch())
        throw LumarientError::notOnWifi();
    const QString address = match.captured(1);
    run(onPhone(serial, {QStringLiteral("tcpip"), QString::number(port)}));
    sleeper_.sleep(2000ms, stop);
    connect(address, port, stop);
    return endpoint(address, port);
}

void ADB::pair(const QString &host, int port, const QString &code) const
{
    succeeds({QStringLiteral("kill-server")});
    const QString output = run({QStringLiteral("pair"), endpoint(host, port), code});
    if (!output.contains(QLatin1String("Successfully paired")))
        throw LumarientError::message(output.trimmed());
}

} // namespace lumarient
