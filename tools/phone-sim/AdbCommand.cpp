#include "AdbCommand.h"

#include "AdbShellCommand.h"
#include "DeviceListing.h"
#include "PackageCommands.h"

#include <optional>

namespace phonesim {
namespace {

const QString daemonStarting = QStringLiteral("* daemon not running; starting now at tcp:5037\n"
                                              "* daemon started successfully\n");

// The transport a command for `serial` goes to, or the error adb prints.
std::optional<Transport> pickTransport(const SimState &state, const QString &serial, Reply &error)
{
    const QList<Transport> all = transports(state);
    if (serial.isEmpty()) {
        if (all.size() == 1)
            return all.first();
        error = {all.isEmpty() ? QStringLiteral("adb: no devices/emulators found\n")
                               : QStringLiteral("adb: more than one device/emulator\n"),
                 1};
        return std::nullopt;
    }
    for (const Transport &transport : all) {
        if (transport.serial != serial)
            continue;
        if (transport.state == QLatin1String("unauthorized") || transport.state == QLatin1String("authorizing")) {
            error = {QStringLiteral("adb: device unauthorized.\n"
                                    "This adb server's $ADB_VENDOR_KEYS is not set\n"
                                    "Try 'adb kill-server' if that seems wrong.\n"
                                    "Otherwise check for a confirmation dialog on your device.\n"),
                     1};
            return std::nullopt;
        }
        if (transport.state != QLatin1String("device") || transport.phoneIndex < 0) {
            error = {QStringLiteral("adb: device offline\n"), 1};
            return std::nullopt;
        }
        return transport;
    }
    error = {QStringLiteral("adb: device '%1' not found\n").arg(serial), 1};
    return std::nullopt;
}

Reply connect(SimState &state, const QString &endpoint)
{
    if (state.wifiConnections.contains(endpoint))
        return {QStringLiteral("already connected to %1\n").arg(endpoint), 0};
    for (const SimPhone &phone : state.phones) {
        if (phone.tcpipPort > 0 && endpoint == phone.wlanAddress + ':' + QString::number(phone.tcpipPort)) {
            state.wifiConnections.append(endpoint);
            return {QStringLiteral("connected to %1\n").arg(endpoint), 0};
        }
    }
    return {QStringLiteral("failed to connect to '%1': Connection refused\n").arg(endpoint), 0};
}

Reply disconnect(SimState &state, const QStringList &words)
{
    if (words.size() < 2) {
        state.wifiConnections.clear();
        return {QStringLiteral("disconnected everything\n"), 0};
    }
    if (state.wifiConnections.removeAll(words[1]) > 0)
        return {QStringLiteral("disconnected %1\n").arg(words[1]), 0};
    return {QStringLiteral("error: no such device '%1'\n").arg(words[1]), 1};
}

Reply pair(const SimState &state, const QStringList &words)
{
    if (words.size() < 3)
        return {QStringLiteral("adb: usage: adb pair HOST[:PORT] [PAIRING CODE]\n"), 1};
    const auto code = state.pairingCodes.constFind(words[1]);
    if (code == state.pairingCodes.cend())
        return {QStringLiteral("Failed: Unable to start pairing client.\n"), 1};
    if (*code != words[2])
        return {QStringLiteral("Failed: Wrong password or connection was dropped.\n"), 1};
    return {QStringLiteral("Successfully paired to %1 [guid=adb-%2]\n").arg(words[1], QString::number(qHash(words[1]), 16)),
            0};
}

Reply tcpip(SimState &state, SimPhone &phone, const QStringList &words)
{
    bool ok = false;
    const int port = words.value(1).toInt(&ok);
    if (!ok || port < 1 || port > 65535)
        return {QStringLiteral("adb: invalid port '%1'\n").arg(words.value(1)), 1};
    // adbd restarts: network connections to its old port are gone.
    const QString oldEndpoint = phone.wlanAddress + ':' + QString::number(phone.tcpipPort);
    if (phone.tcpipPort != port)
        state.wifiConnections.removeAll(oldEndpoint);
    phone.tcpipPort = port;
    return {QStringLiteral("restarting in TCP mode port: %1\n").arg(port), 0};
}

Reply onPhone(SimState &state, const AdbCommandLine &line)
{
    Reply error;
    const std::optional<Transport> transport = pickTransport(state, line.serial, error);
    if (!transport)
        return error;
    SimPhone &phone = state.phones[transport->phoneIndex];
    const QString &command = line.words[0];
    if (command == QLatin1String("shell"))
        return runPhoneShell(phone, line.words.mid(1).join(' '));
    if (command == QLatin1String("tcpip"))
        return tcpip(state, phone, line.words);
    if (command == QLatin1String("install"))
        return install(phone, line.words);
    if (command == QLatin1String("reverse"))
        return reverse(phone, transport->serial, line.words);
    if (command == QLatin1String("get-state"))
        return {QStringLiteral("device\n"), 0};
    return {QStringLiteral("adb: unknown command %1\n").arg(command), 1};
}

} // namespace

AdbCommandLine splitAdbCommandLine(const QStringList &arguments)
{
    AdbCommandLine line;
    qsizetype index = 0;
    while (index < arguments.size()) {
        const QString &word = arguments[index];
        if (word == QLatin1String("-s") && index + 1 < arguments.size()) {
            line.serial = arguments[index + 1];
            index += 2;
        } else if (word == QLatin1String("-d") || word == QLatin1String("-e")) {
            ++index;
        } else {
            break;
        }
    }
    line.words = arguments.mid(index);
    return line;
}

Reply runAdb(SimState &state, const QStringList &arguments)
{
    const AdbCommandLine line = splitAdbCommandLine(arguments);
    if (line.words.isEmpty())
        return {QStringLiteral("adb: no command given\n"), 1};
    const QString &command = line.words[0];

    if (command == QLatin1String("kill-server")) {
        // The server forgets its network connections when it goes.
        state.serverRunning = false;
        state.wifiConnections.clear();
        return {QString(), 0};
    }

    QString preamble;
    if (!state.serverRunning) {
        state.serverRunning = true;
        preamble = daemonStarting;
    }

    Reply reply;
    if (command == QLatin1String("start-server"))
        reply = {QString(), 0};
    else if (command == QLatin1String("devices"))
        reply = {deviceListing(state, line.words.contains(QStringLiteral("-l"))), 0};
    else if (command == QLatin1String("connect"))
        reply = line.words.size() == 2 ? connect(state, line.words[1])
                                       : Reply{QStringLiteral("adb: usage: adb connect HOST[:PORT]\n"), 1};
    else if (command == QLatin1String("disconnect"))
        reply = disconnect(state, line.words);
    else if (command == QLatin1String("pair"))
        reply = pair(state, line.words);
    else
        reply = onPhone(state, line);
    reply.output.prepend(preamble);
    return reply;
}

} // namespace phonesim
