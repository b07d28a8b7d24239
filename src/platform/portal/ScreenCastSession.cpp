#include "platform/portal/ScreenCastSession.h"

#include "platform/Log.h"
#include "platform/portal/PortalStreams.h"
#include "platform/portal/SessionEndWatcher.h"

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusUnixFileDescriptor>

#include <fcntl.h>

namespace lumarient::portal {

namespace {

constexpr std::uint32_t sourceVirtual = 4;
constexpr std::uint32_t cursorEmbedded = 2;
constexpr std::uint32_t devicePointer = 2;
// Kept until the user revokes it.
constexpr std::uint32_t persistUntilRevoked = 2;
// The left button's evdev code.
constexpr int buttonLeft = 0x110;
constexpr std::chrono::seconds setupLimit{20};
const QString sessionInterface = QStringLiteral("org.freedesktop.portal.Session");

void log(const QString &text)
{
    logLine(QStringLiteral("ScreenCast"), text);
}

QString failureText(const PortalResponse &response)
{
    switch (response.outcome) {
    case PortalResponse::Outcome::callFailed:
        log(QStringLiteral("portal call failed: %1 %2").arg(response.errorName, response.errorMessage));
        return QStringLiteral("This desktop offers no screen sharing for a second display.");
    case PortalResponse::Outcome::noAnswer:
        return QStringLiteral("This desktop's screen sharing didn't answer.");
    case PortalResponse::Outcome::cancelled:
        return QStringLiteral("The second display was called off before the desktop answered.");
    case PortalResponse::Outcome::answered:
        break;
    }
    if (response.code == 1) {
        return QStringLiteral("Screen sharing for the second display was declined.");
    }
    return QStringLiteral("This desktop refused to create the second display.");
}

bool isMissingInterface(const PortalResponse &response)
{
    return response.outcome == PortalResponse::Outcome::callFailed &&
           (response.errorName == QLatin1String("org.freedesktop.DBus.Error.UnknownMethod") ||
            response.errorName == QLatin1String("org.freedesktop.DBus.Error.UnknownInterface"));
}

// The session handle arrives as text in some portal versions and as a path in others.
QString sessionHandleOf(const QVariantMap &results)
{
    const QVariant handle = results.value(QStringLiteral("session_handle"));
    if (handle.canConvert<QDBusObjectPath>() && handle.metaType() == QMetaType::fromType<QDBusObjectPath>()) {
        return handle.value<QDBusObjectPath>().path();
    }
    return handle.toString();
}

} // namespace

ScreenCastSession::ScreenCastSession(PortalRequester &requester, QString handle, bool remoteDesktop)
    : requester_(requester), handle_(std::move(handle)), remoteDesktop_(remoteDesktop),
      endWatcher_(new SessionEndWatcher)
{
    endWatcher_->moveToThread(&requester_.signalThread());
    requester_.bus().connect(QString::fromLatin1(portalService), handle_, sessionInterface, QStringLiteral("Closed"),
                             endWatcher_, SLOT(closed()));
}

ScreenCastSession::~ScreenCastSession()
{
    close();
    // A Closed signal already queued for it still finds it.
    endWatcher_->deleteLater();
}

void ScreenCastSession::setEndedHandler(std::function<void()> ended)
{
    endWatcher_->setHandler(std::move(ended));
}

ScreenCastSession::Started ScreenCastSession::start(PortalRequester &requester, const Options &options)
{
    const QString screenCast = QString::fromLatin1(screenCastInterface);
    const QString remoteDesktop = QString::fromLatin1(remoteDesktopInterface);
    QVariantMap sessionOptions{{QStringLiteral("session_handle_token"), requester.nextToken()}};

    // Pointer events need a remote-desktop session; without one the display
    // still works, only touches do not.
    bool withPointer = true;
    PortalResponse created = requester.request(remoteDesktop, QStringLiteral("CreateSession"), {}, sessionOptions,
                                               setupLimit, options.cancellation);
    if (isMissingInterface(created)) {
        withPointer = false;
        log(QStringLiteral("no remote desktop portal: touches from the phone are off"));
        created = requester.request(screenCast, QStringLiteral("CreateSession"), {}, sessionOptions, setupLimit,
                                    options.cancellation);
    }
    const QString handle = created.granted() ? sessionHandleOf(created.results) : QString();
    if (handle.isEmpty()) {
        return {nullptr, failureText(created)};
    }
    std::unique_ptr<ScreenCastSession> session(new ScreenCastSession(requester, handle, withPointer));
    const QVariantList onSession{QVariant::fromValue(QDBusObjectPath(handle))};

    // A remote-desktop session keeps its permission through its devices.
    QVariantMap persistence;
    if (!options.restoreToken.isEmpty()) {
        persistence.insert(QStringLiteral("restore_token"), options.restoreToken);
    }
    persistence.insert(QStringLiteral("persist_mode"), persistUntilRevoked);
    if (withPointer) {
        QVariantMap devices = persistence;
        devices.insert(QStringLiteral("types"), devicePointer);
        const PortalResponse selected = requester.request(remoteDesktop, QStringLiteral("SelectDevices"), onSession,
                                                          devices, setupLimit, options.cancellation);
        if (!selected.granted()) {
            return {nullptr, failureText(selected)};
        }
    }
    // Asked for even where AvailableSourceTypes leaves it out (GNOME 43 does).
    QVariantMap sources{{QStringLiteral("types"), sourceVirtual},
                        {QStringLiteral("multiple"), false},
                        {QStringLiteral("cursor_mode"), cursorEmbedded}};
    if (!withPointer) {
        sources.insert(persistence);
    }
    const PortalResponse selected = requester.request(screenCast, QStringLiteral("SelectSources"), onSession, sources,
                                                      setupLimit, options.cancellation);
    if (!selected.granted()) {
        return {nullptr, failureText(selected)};
    }

    const PortalResponse started =
        requester.request(withPointer ? remoteDesktop : screenCast, QStringLiteral("Start"),
                          QVariantList(onSession) << QString(), {}, options.answerLimit, options.cancellation);
    if (!started.granted()) {
        return {nullptr, failureText(started)};
    }
    const std::vector<PortalStream> streams = parsePortalStreams(started.results.value(QStringLiteral("streams")));
    if (streams.empty() || streams.front().nodeID == 0) {
        log(QStringLiteral("the screen cast started without a stream"));
        return {nullptr, QStringLiteral("This desktop refused to create the second display.")};
    }
    session->nodeID_ = streams.front().nodeID;
    // A virtual monitor takes the size its reader asks for.
    session->width_ = options.width;
    session->height_ = options.height;
    session->restoreToken_ = started.results.value(QStringLiteral("restore_token")).toString();
    log(QStringLiteral("virtual monitor %1x%2 on stream %3")
            .arg(options.width)
            .arg(options.height)
            .arg(session->nodeID_));
    return {std::move(session), QString()};
}

FileDescriptor ScreenCastSession::openPipeWireRemote()
{
    QDBusMessage call =
        QDBusMessage::createMethodCall(QString::fromLatin1(portalService), QString::fromLatin1(portalPath),
                                       QString::fromLatin1(screenCastInterface), QStringLiteral("OpenPipeWireRemote"));
    call.setArguments({QVariant::fromValue(QDBusObjectPath(handle_)), QVariantMap()});
    const QDBusMessage reply = requester_.bus().call(call, QDBus::Block, 10000);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        log(QStringLiteral("no PipeWire connection: %1").arg(reply.errorMessage()));
        return FileDescriptor();
    }
    const auto descriptor = reply.arguments().constFirst().value<QDBusUnixFileDescriptor>();
    if (!descriptor.isValid()) {
        return FileDescriptor();
    }
    // The message's copy closes with it.
    return FileDescriptor(::fcntl(descriptor.fileDescriptor(), F_DUPFD_CLOEXEC, 3));
}

void ScreenCastSession::movePointer(double x, double y)
{
    notifyPointer(QStringLiteral("NotifyPointerMotionAbsolute"), {nodeID_, x, y});
}

void ScreenCastSession::pressLeftButton(bool pressed)
{
    notifyPointer(QStringLiteral("NotifyPointerButton"), {buttonLeft, std::uint32_t(pressed ? 1 : 0)});
}

void ScreenCastSession::notifyPointer(const QString &method, const QVariantList &arguments)
{
    if (!remoteDesktop_ || closed_) {
        return;
    }
    QDBusMessage call =
        QDBusMessage::createMethodCall(QString::fromLatin1(portalService), QString::fromLatin1(portalPath),
                                       QString::fromLatin1(remoteDesktopInterface), method);
    call.setArguments(QVariantList{QVariant::fromValue(QDBusObjectPath(handle_)), QVariantMap()} + arguments);
    requester_.bus().send(call);
}

void ScreenCastSession::close()
{
    if (closed_.exchange(true)) {
        return;
    }
    endWatcher_->closedHere();
    const QString service = QString::fromLatin1(portalService);
    requester_.bus().disconnect(service, handle_, sessionInterface, QStringLiteral("Closed"), endWatcher_,
                                SLOT(closed()));
    requester_.bus().send(QDBusMessage::createMethodCall(service, handle_, sessionInterface, QStringLiteral("Close")));
}

} // namespace lumarient::portal
