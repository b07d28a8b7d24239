// The phone's display receiver, stand-alone: connects to the computer's stream
// port, decodes what arrives and writes one line per packet to a record file, until
// the computer closes the connection or the process is terminated.
//
//   display-receiver --width W --height H [--port P] [--record FILE]

#include "DisplayReceiver.h"

#include <QCoreApplication>
#include <QFile>
#include <QStringList>

#include <csignal>
#include <cstdio>
#include <thread>

using namespace lumarient::phoneside;

namespace {
volatile std::sig_atomic_t terminated = 0;
void onTerminate(int)
{
    terminated = 1;
}

QString describe(const ReceivedPacket &packet)
{
    switch (packet.kind) {
    case ReceivedPacket::Kind::config:
        return QStringLiteral("config %1").arg(packet.size);
    case ReceivedPacket::Kind::frame:
    case ReceivedPacket::Kind::udpFrame:
        return QStringLiteral("%1 %2 %3 %4")
            .arg(packet.kind == ReceivedPacket::Kind::frame ? "frame" : "udpframe")
            .arg(packet.frameID)
            .arg(packet.isKeyframe ? "key" : "delta")
            .arg(packet.size);
    case ReceivedPacket::Kind::cursor:
        return QStringLiteral("cursor %1 %2").arg(double(packet.x)).arg(double(packet.y));
    case ReceivedPacket::Kind::malformed:
        return QStringLiteral("malformed");
    }
    return {};
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = application.arguments();
    auto option = [&](const QString &name, const QString &fallback) {
        const qsizetype at = arguments.indexOf(name);
        return at >= 0 && at + 1 < arguments.size() ? arguments[at + 1] : fallback;
    };
    DisplayReceiver::Options options;
    options.port = std::uint16_t(option(QStringLiteral("--port"), QStringLiteral("38018")).toUInt());
    const QString recordPath = option(QStringLiteral("--record"), QString());
    std::printf("display receiver %s x %s\n", qPrintable(option(QStringLiteral("--width"), "?")),
                qPrintable(option(QStringLiteral("--height"), "?")));
    std::fflush(stdout);

    std::signal(SIGTERM, onTerminate);
    std::signal(SIGINT, onTerminate);

    DisplayReceiver receiver(options);
    QFile record(recordPath);
    if (!recordPath.isEmpty()) {
        record.open(QIODevice::Append | QIODevice::Text);
    }
    std::size_t written = 0;
    std::mutex recordMutex;
    receiver.onChange = [&](const ReceiverRecord &now) {
        std::lock_guard lock(recordMutex);
        for (; written < now.packets.size(); ++written) {
            record.write((describe(now.packets[written]) + QLatin1Char('\n')).toUtf8());
        }
        record.flush();
    };
    if (!receiver.connect()) {
        std::fprintf(stderr, "display receiver: could not connect\n");
        return 1;
    }
    while (!terminated && receiver.record().connected) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    receiver.disconnect();
    return 0;
}
