#include "support/FakePortal.h"

#include <QDBusArgument>
#include <QDBusContext>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusUnixFileDescriptor>
#include <QDBusVariant>
#include <QDBusVirtualObject>

#include <atomic>
#include <cstring>
#include <map>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// One entry of Start's "streams" result: a(ua{sv}).
struct StartedStream {
    uint node = 0;
    QVariantMap properties;
};

QDBusArgument &operator<<(QDBusArgument &argument, const StartedStream &stream)
{
    argument.beginStructure();
    argument << stream.node << stream.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, StartedStream &stream)
{
    argument.beginStructure();
    argument >> stream.node >> stream.properties;
    argument.endStructure();
    return argument;
}

} // namespace

Q_DECLARE_METATYPE(StartedStream)

namespace lumarient::test {

namespace {

const QString screenCast = QStringLiteral("org.freedesktop.portal.ScreenCast");
const QString remoteDesktop = QStringLiteral("org.freedesktop.portal.RemoteDesktop");
const QString mutterScreenCast = QStringLiteral("org.gnome.Mutter.ScreenCast");
const QString mutterRemoteDesktop = QStringLiteral("org.gnome.Mutter.RemoteDesktop");
const QString mutterCastSession = QStringLiteral("org.gnome.Mutter.ScreenCast.Session");
const QString mutterDesktopSession = QStringLiteral("org.gnome.Mutter.RemoteDesktop.Session");

QString senderPart(const QString &uniqueName)
{
    QString sender = uniqueName.mid(1);
    return sender.replace(QLatin1Char('.'), QLatin1Char('_'));
}

// The portal's cursor modes are bits; the compositor's are an enumeration.
uint compositorCursorMode(uint portalMode)
{
    return portalMode == 2 ? 1 : portalMode == 4 ? 2 : 0;
}

} // namespace

class FakePortal::Service : public QDBusVirtualObject, protected QDBusContext {
    Q_OBJECT
    friend class FakePortal;

public:
    Service(QDBusConnection bus, QString runtimeFolder) : bus_(std::move(bus)), runtimeFolder_(std::move(runtimeFolder))
    {
    }

    mutable std::mutex mutex;
    Record record;
    std::uint32_t selectSourcesResponse = 0;
    bool remoteDesktopMissing = false;
    bool startHeld = false;

    QString introspect(const QString &) const override { return {}; }

    bool handleMessage(const QDBusMessage &message, const QDBusConnection &) override
    {
        // Done on this object's thread, whichever thread the bus hands the call to.
        QMetaObject::invokeMethod(
            this, [this, message] { handle(message); }, Qt::QueuedConnection);
        return true;
    }

public slots:
    void pointerForwarded()
    {
        std::lock_guard lock(mutex);
        ++record.pointerEventsForwarded;
    }

    void pointerRefused(const QDBusError &error)
    {
        std::lock_guard lock(mutex);
        record.compositorErrors << error.message();
    }

    void streamAdded(uint node)
    {
        const QString streamPath = message().path();
        for (auto &[handle, session] : sessions_) {
            if (session.streamPath == streamPath) {
                session.node = node;
                answerStart(session);
            }
        }
    }

private:
    struct Session {
        QString handle;
        bool remote = false;
        QString desktopPath;
        QString castPath;
        QString streamPath;
        uint node = 0;
        QString pendingStart;
    };

    void note(const QString &call)
    {
        std::lock_guard lock(mutex);
        record.calls << call;
    }

    QDBusMessage callCompositor(const QString &service, const QString &path, const QString &interface,
                                const QString &method, const QVariantList &arguments = {})
    {
        QDBusMessage call = QDBusMessage::createMethodCall(service, path, interface, method);
        call.setArguments(arguments);
        const QDBusMessage reply = bus_.call(call, QDBus::Block, 10000);
        if (reply.type() != QDBusMessage::ReplyMessage) {
            std::lock_guard lock(mutex);
            record.compositorErrors << method + QStringLiteral(": ") + reply.errorMessage();
        }
        return reply;
    }

    QString pathOf(const QDBusMessage &reply) const
    {
        return reply.type() == QDBusMessage::ReplyMessage ? reply.arguments().value(0).value<QDBusObjectPath>().path()
                                                          : QString();
    }

    void respond(const QString &requestPath, uint code, const QVariantMap &results = {})
    {
        QDBusMessage signal =
            QDBusMessage::createSignal(requestPath, QStringLiteral("org.freedesktop.portal.Request"), "Response");
        signal << code << results;
        bus_.send(signal);
    }

    void handle(const QDBusMessage &message)
    {
        const QString interface = message.interface();
        const QString method = message.member();
        if (interface == QLatin1String("org.freedesktop.portal.Session") && method == QLatin1String("Close")) {
            closeSession(message);
            return;
        }
        if (interface == QLatin1String("org.freedesktop.portal.Request") && method == QLatin1String("Close")) {
            closeRequest(message.path());
            return;
        }
        bool missing = false;
        {
            std::lock_guard lock(mutex);
            missing = remoteDesktopMissing;
        }
        if ((interface != screenCast && interface != remoteDesktop) || (interface == remoteDesktop && missing)) {
            bus_.send(message.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"), method));
            return;
        }
        note(interface.section(QLatin1Char('.'), -1) + QLatin1Char('.') + method);
        const QVariantList arguments = message.arguments();
        const QVariantMap options = arguments.isEmpty() ? QVariantMap() : qdbus_cast<QVariantMap>(arguments.last());
        const QString requestPath =
            QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2")
                .arg(senderPart(message.service()), options.value(QStringLiteral("handle_token")).toString());
        const QString handle = arguments.isEmpty() ? QString() : arguments.first().value<QDBusObjectPath>().path();
        const auto session = sessions_.find(handle);

        if (method == QLatin1String("CreateSession")) {
            bus_.send(message.createReply(QVariant::fromValue(QDBusObjectPath(requestPath))));
            createSession(interface == remoteDesktop, message.service(), requestPath, options);
        } else if (method == QLatin1String("SelectDevices") && session != sessions_.end()) {
            bus_.send(message.createReply(QVariant::fromValue(QDBusObjectPath(requestPath))));
            {
                std::lock_guard lock(mutex);
                record.selectDevicesOptions = options;
            }
            respond(requestPath, 0);
        } else if (method == QLatin1String("SelectSources") && session != sessions_.end()) {
            bus_.send(message.createReply(QVariant::fromValue(QDBusObjectPath(requestPath))));
            selectSources(session->second, requestPath, options);
        } else if (method == QLatin1String("Start") && session != sessions_.end()) {
            bus_.send(message.createReply(QVariant::fromValue(QDBusObjectPath(requestPath))));
            start(session->second, requestPath);
        } else if (method == QLatin1String("OpenPipeWireRemote") && session != sessions_.end()) {
            openRemote(message);
        } else if (method.startsWith(QLatin1String("NotifyPointer")) && session != sessions_.end()) {
            forwardPointer(session->second, method, arguments);
        } else {
            bus_.send(message.createErrorReply(QStringLiteral("org.freedesktop.portal.Error.NotAllowed"),
                                               QStringLiteral("no such session")));
        }
    }

    void createSession(bool remote, const QString &sender, const QString &requestPath, const QVariantMap &options)
    {
        Session session;
        session.remote = remote;
        session.handle = QStringLiteral("/org/freedesktop/portal/desktop/session/%1/%2")
                             .arg(senderPart(sender), options.value(QStringLiteral("session_handle_token")).toString());
        QVariantMap castProperties;
        if (remote) {
            session.desktopPath =
                pathOf(callCompositor(mutterRemoteDesktop, QStringLiteral("/org/gnome/Mutter/RemoteDesktop"),
                                      mutterRemoteDesktop, QStringLiteral("CreateSession")));
            const QDBusMessage id = callCompositor(
                mutterRemoteDesktop, session.desktopPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                QStringLiteral("Get"), {mutterDesktopSession, QStringLiteral("SessionId")});
            castProperties.insert(QStringLiteral("remote-desktop-session-id"),
                                  id.arguments().value(0).value<QDBusVariant>().variant().toString());
        }
        session.castPath = pathOf(callCompositor(mutterScreenCast, QStringLiteral("/org/gnome/Mutter/ScreenCast"),
                                                 mutterScreenCast, QStringLiteral("CreateSession"), {castProperties}));
        if (session.castPath.isEmpty()) {
            respond(requestPath, 2);
            return;
        }
        sessions_[session.handle] = session;
        respond(requestPath, 0, {{QStringLiteral("session_handle"), session.handle}});
    }

    void selectSources(Session &session, const QString &requestPath, const QVariantMap &options)
    {
        std::uint32_t code = 0;
        {
            std::lock_guard lock(mutex);
            record.selectSourcesOptions = options;
            code = selectSourcesResponse;
        }
        if (code != 0) {
            respond(requestPath, code);
            return;
        }
        const uint cursor = compositorCursorMode(options.value(QStringLiteral("cursor_mode")).toUInt());
        session.streamPath = pathOf(callCompositor(mutterScreenCast, session.castPath, mutterCastSession,
                                                   QStringLiteral("RecordVirtual"),
                                                   {QVariantMap{{QStringLiteral("cursor-mode"), cursor}}}));
        if (session.streamPath.isEmpty()) {
            respond(requestPath, 2);
            return;
        }
        bus_.connect(mutterScreenCast, session.streamPath, QStringLiteral("org.gnome.Mutter.ScreenCast.Stream"),
                     QStringLiteral("PipeWireStreamAdded"), this, SLOT(streamAdded(uint)));
        respond(requestPath, 0);
    }

    void start(Session &session, const QString &requestPath)
    {
        session.pendingStart = requestPath;
        {
            std::lock_guard lock(mutex);
            if (startHeld) {
                return;
            }
        }
        const QDBusMessage started =
            session.remote ? callCompositor(mutterRemoteDesktop, session.desktopPath, mutterDesktopSession, "Start")
                           : callCompositor(mutterScreenCast, session.castPath, mutterCastSession, "Start");
        if (started.type() != QDBusMessage::ReplyMessage) {
            session.pendingStart.clear();
            respond(requestPath, 2);
        }
    }

    void answerStart(Session &session)
    {
        if (session.pendingStart.isEmpty()) {
            return;
        }
        int issued = 0;
        {
            std::lock_guard lock(mutex);
            issued = ++record.restoreTokensIssued;
        }
        const QList<StartedStream> streams{{session.node, {{QStringLiteral("source_type"), 4u}}}};
        respond(std::exchange(session.pendingStart, QString()), 0,
                {{QStringLiteral("devices"), session.remote ? 2u : 0u},
                 {QStringLiteral("streams"), QVariant::fromValue(streams)},
                 {QStringLiteral("restore_token"), QStringLiteral("restore-%1").arg(issued)}});
    }

    void openRemote(const QDBusMessage &message)
    {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray path = (runtimeFolder_ + QStringLiteral("/pipewire-0")).toLocal8Bit();
        std::strncpy(address.sun_path, path.constData(), sizeof(address.sun_path) - 1);
        if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof(address)) != 0) {
            if (fd >= 0) {
                ::close(fd);
            }
            bus_.send(message.createErrorReply(QStringLiteral("org.freedesktop.portal.Error.Failed"),
                                               QStringLiteral("no PipeWire")));
            return;
        }
        bus_.send(message.createReply(QVariant::fromValue(QDBusUnixFileDescriptor(fd))));
        ::close(fd);
    }

    // Sent on without waiting, as events stream in faster than a busy compositor answers.
    void forwardPointer(Session &session, const QString &method, const QVariantList &arguments)
    {
        QVariantList forwarded;
        if (method == QLatin1String("NotifyPointerMotionAbsolute") && arguments.size() == 5) {
            forwarded = {session.streamPath, arguments[3].toDouble(), arguments[4].toDouble()};
        } else if (method == QLatin1String("NotifyPointerButton") && arguments.size() == 4) {
            forwarded = {arguments[2].toInt(), arguments[3].toUInt() != 0};
        } else {
            return;
        }
        QDBusMessage call =
            QDBusMessage::createMethodCall(mutterRemoteDesktop, session.desktopPath, mutterDesktopSession, method);
        call.setArguments(forwarded);
        bus_.callWithCallback(call, this, SLOT(pointerForwarded()), SLOT(pointerRefused(QDBusError)));
    }

    void endAll()
    {
        for (const auto &[handle, session] : sessions_) {
            stopInCompositor(session);
            bus_.send(QDBusMessage::createSignal(handle, QStringLiteral("org.freedesktop.portal.Session"),
                                                 QStringLiteral("Closed")));
        }
        sessions_.clear();
    }

    void closeSession(const QDBusMessage &message)
    {
        const auto found = sessions_.find(message.path());
        if (found == sessions_.end()) {
            return;
        }
        stopInCompositor(found->second);
        sessions_.erase(found);
        std::lock_guard lock(mutex);
        ++record.sessionsClosed;
        record.calls << QStringLiteral("Session.Close");
    }

    // The dialog goes without an answer.
    void closeRequest(const QString &path)
    {
        for (auto &[handle, session] : sessions_) {
            if (session.pendingStart == path) {
                session.pendingStart.clear();
            }
        }
        std::lock_guard lock(mutex);
        ++record.requestsClosed;
        record.calls << QStringLiteral("Request.Close");
    }

    void stopInCompositor(const Session &session)
    {
        if (session.remote) {
            callCompositor(mutterRemoteDesktop, session.desktopPath, mutterDesktopSession, QStringLiteral("Stop"));
        } else {
            callCompositor(mutterScreenCast, session.castPath, mutterCastSession, QStringLiteral("Stop"));
        }
    }

    QDBusConnection bus_;
    QString runtimeFolder_;
    std::map<QString, Session> sessions_;
};

namespace {
std::atomic<int> portals{0};
}

FakePortal::FakePortal(const QString &busAddress, const QString &runtimeFolder)
    : connectionName_(QStringLiteral("fake-portal-%1").arg(++portals)),
      bus_(QDBusConnection::connectToBus(busAddress, connectionName_))
{
    qDBusRegisterMetaType<StartedStream>();
    qDBusRegisterMetaType<QList<StartedStream>>();
    thread_.setObjectName(QStringLiteral("fake-portal"));
    thread_.start();
    service_ = new Service(bus_, runtimeFolder);
    service_->moveToThread(&thread_);
    // Registered from its own thread, where the bus's helpers for it must live.
    QMetaObject::invokeMethod(
        service_,
        [this] {
            serving_ = bus_.isConnected() &&
                       bus_.registerVirtualObject(QStringLiteral("/org/freedesktop/portal/desktop"), service_,
                                                  QDBusConnection::SubPath) &&
                       bus_.registerService(QStringLiteral("org.freedesktop.portal.Desktop"));
        },
        Qt::BlockingQueuedConnection);
}

FakePortal::~FakePortal()
{
    bus_.unregisterService(QStringLiteral("org.freedesktop.portal.Desktop"));
    bus_.unregisterObject(QStringLiteral("/org/freedesktop/portal/desktop"), QDBusConnection::UnregisterTree);
    QMetaObject::invokeMethod(
        service_, [this] { delete service_; }, Qt::BlockingQueuedConnection);
    thread_.quit();
    thread_.wait();
    QDBusConnection::disconnectFromBus(connectionName_);
}

FakePortal::Record FakePortal::record() const
{
    std::lock_guard lock(service_->mutex);
    return service_->record;
}

void FakePortal::clearRecord()
{
    std::lock_guard lock(service_->mutex);
    service_->record = Record();
}

void FakePortal::setSelectSourcesResponse(std::uint32_t code)
{
    std::lock_guard lock(service_->mutex);
    service_->selectSourcesResponse = code;
}

void FakePortal::endSessions()
{
    QMetaObject::invokeMethod(
        service_, [this] { service_->endAll(); }, Qt::BlockingQueuedConnection);
}

void FakePortal::setStartHeld(bool held)
{
    std::lock_guard lock(service_->mutex);
    service_->startHeld = held;
}

void FakePortal::setRemoteDesktopMissing(bool missing)
{
    std::lock_guard lock(service_->mutex);
    service_->remoteDesktopMissing = missing;
}

} // namespace lumarient::test

#include "FakePortal.moc"
