#pragma once

#include <QDBusConnection>
#include <QString>
#include <QStringList>
#include <QThread>
#include <QVariantMap>

#include <cstdint>
#include <memory>
#include <mutex>

namespace lumarient::test {

// The desktop portal's screen cast and remote desktop as far as the app uses
// them, served on a test's own bus under the portal's name without any dialog:
// each call is carried out by asking the headless compositor's own screen-cast
// and remote-desktop services, and OpenPipeWireRemote hands out a connection to
// the PipeWire daemon in `runtimeFolder`. Runs on a thread of its own, so the
// app may block on it. Answers can be scripted to refuse.
class FakePortal {
public:
    FakePortal(const QString &busAddress, const QString &runtimeFolder);
    ~FakePortal();
    FakePortal(const FakePortal &) = delete;
    FakePortal &operator=(const FakePortal &) = delete;

    bool isServing() const { return serving_; }

    // What was asked and answered, for the tests to read.
    struct Record {
        QStringList calls;                // "Interface.Method", in order
        QVariantMap selectDevicesOptions; // the last SelectDevices options
        QVariantMap selectSourcesOptions; // the last SelectSources options
        int pointerEventsForwarded = 0;   // accepted by the compositor
        QStringList compositorErrors;     // errors the compositor answered with
        int sessionsClosed = 0;
        int requestsClosed = 0; // a dialog taken down by the app
        int restoreTokensIssued = 0;
    };
    Record record() const;
    void clearRecord();

    // The Response code SelectSources answers with (0 grants; 1 the user
    // declined; 2 otherwise ended).
    void setSelectSourcesResponse(std::uint32_t code);
    // Without the remote-desktop interface, as some portals are.
    void setRemoteDesktopMissing(bool missing);
    // Ends every session from the desktop's side, as its "stop sharing" does.
    void endSessions();
    // Start goes unanswered, as while the user looks at the permission dialog,
    // until the app closes the request.
    void setStartHeld(bool held);

    class Service;

private:
    QThread thread_;
    QString connectionName_;
    QDBusConnection bus_;
    Service *service_ = nullptr;
    bool serving_ = false;
};

} // namespace lumarient::test
