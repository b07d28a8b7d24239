#pragma once

#include <QByteArray>
#include <QString>

#include <chrono>
#include <cstdint>

namespace lumarient {

// Asks the adb server directly over its loopback socket, without starting an
// adb client process. One connection per request, so any thread may use it at
// any time. Every request is bounded by a time limit; the server's answers are
// treated as untrusted input.
class AdbServerClient {
public:
    static constexpr std::uint16_t defaultPort = 5037;
    static constexpr std::chrono::milliseconds defaultTimeLimit = std::chrono::milliseconds(2000);

    // ANDROID_ADB_SERVER_PORT when it holds a port, as adb itself reads it; else 5037.
    static std::uint16_t portFromEnvironment();

    enum class Outcome {
        answered,
        // The server answered FAIL about the phone (unknown, offline,
        // unauthorized) or the phone's service refused: a process would fare
        // no better.
        refused,
        // No server, a FAIL about the request itself, a malformed or cut-off
        // answer, or a time-out: the adb process path should be used instead.
        unavailable,
    };
    struct Answer {
        Outcome outcome = Outcome::unavailable;
        // The text block of a query, or the reason for a refusal or failure.
        QByteArray text;
    };

    explicit AdbServerClient(std::uint16_t port = portFromEnvironment(),
                             std::chrono::milliseconds timeLimit = defaultTimeLimit);

    // A host service that answers OKAY and one text block ("host:devices-l").
    Answer hostQuery(const QByteArray &service) const;
    // A phone service that answers OKAY and one text block ("reverse:list-forward").
    Answer phoneQuery(const QString &serial, const QByteArray &service) const;
    // A phone service that answers OKAY twice ("reverse:forward:tcp:1;tcp:1").
    Answer phoneCommand(const QString &serial, const QByteArray &service) const;

private:
    enum class Reply { block, secondStatus };
    Answer ask(const QString &serial, const QByteArray &service, Reply reply) const;

    std::uint16_t port_;
    std::chrono::milliseconds timeLimit_;
};

} // namespace lumarient
