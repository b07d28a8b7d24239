#include "display/DisplayStreamer.h"

#include "platform/FileDescriptor.h"

#include "display/CapturePacer.h"
#include "display/PacketLink.h"
#include "display/StreamRules.h"
#include "display/VirtualDisplay.h"
#include "model/LumarientError.h"
#include "platform/Log.h"
#include "platform/WorkerLoop.h"

#include <QHostAddress>

#include <arpa/inet.h>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <chrono>
#include <mutex>

namespace lumarient {

namespace {

constexpr double cursorPollPeriod = 0.008;
// Where the pointer reports its movements, a look now and then still catches
// warps, which report none.
constexpr double idleCursorPollPeriod = 0.1;
// How often the kernel's unsent queue is looked at while it holds frames.
constexpr double inFlightCheckPeriod = 0.001;

double steadySeconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

QString systemError(const char *what)
{
    return QStringLiteral("%1: %2").arg(what, QString::fromLocal8Bit(std::strerror(errno)));
}

} // namespace

struct DisplayStreamer::Worker {
    // Fixed at creation.
    std::shared_ptr<VirtualDisplay> display;
    bool overWifi;
    Platform platform;
    std::function<double()> clock;
    Statistics statistics;
    std::function<void(std::uint32_t, double, double)> frameObserver;

    // Hand-over from the main thread, under the mutex.
    std::mutex mutex;
    std::unique_ptr<ScreenCapture> pendingCapture;
    std::unique_ptr<VideoEncoder> pendingEncoder;
    QString encoderName;

    FileDescriptor listener;
    bool started = false; // main thread

    // Worker-thread state.
    StreamRules rules;
    std::unique_ptr<ScreenCapture> capture;
    std::unique_ptr<VideoEncoder> encoder;
    std::unique_ptr<PointerDevice> pointer;
    std::unique_ptr<PacketLink> link;
    DisplayWire::PhoneMessageReader messages;
    FileDescriptor udp;
    // Captures at most 60 times a second, at once when a change ends a quiet spell.
    CapturePacer pacer;
    bool repeatWhenDrained = false;
    double nextCursorPoll = 0;
    double lastCursorPoll = 0;
    bool pointerMoved = true;
    float lastCursorX = -1.0f;
    float lastCursorY = -1.0f;
    WorkerLoop::WatchId listenerWatch = 0;
    WorkerLoop::WatchId linkWatch = 0;
    WorkerLoop::WatchId udpWatch = 0;
    WorkerLoop::WatchId captureWatch = 0;
    WorkerLoop::WatchId pointerWatch = 0;
    WorkerLoop::TimerId wakeTimer = 0;
    // Last, so it has ended before anything it runs goes.
    WorkerLoop loop{"lum-display"};

    Worker(std::shared_ptr<VirtualDisplay> shown, bool wifi, Platform given)
        : display(std::move(shown)), overWifi(wifi), platform(std::move(given)),
          clock(platform.clock ? platform.clock : steadySeconds), rules(wifi, clock())
    {
    }

    // Everything below runs on the loop. Descriptors that only signal news
    // (capture, pointer motion) have no handler of their own: what they report
    // is read before each wait.
    void begin()
    {
        loop.post([this] {
            if (platform.makePointer) {
                pointer = platform.makePointer();
            }
            if (pointer && pointer->motionDescriptor() >= 0) {
                pointerWatch = loop.watch(pointer->motionDescriptor(), WorkerLoop::readable, [](unsigned) {});
            }
        });
        listenerWatch = loop.watch(listener.get(), WorkerLoop::readable, [this](unsigned) { accept(); });
        loop.setBeforeWait([this] { service(); });
        loop.start();
    }

    void installCapture()
    {
        std::lock_guard lock(mutex);
        if (!pendingCapture) {
            return;
        }
        loop.remove(captureWatch);
        capture = std::move(pendingCapture);
        encoder = std::move(pendingEncoder);
        captureWatch = loop.watch(capture->pollDescriptor(), WorkerLoop::readable, [](unsigned) {});
        markChanged();
        nextCursorPoll = clock();
        pointerMoved = true;
    }

    // Stops in the documented order: cursor, UDP, connection, listener, capture, encoder.
    void shutDown()
    {
        loop.remove(pointerWatch);
        pointer.reset();
        closeUdp();
        loop.remove(linkWatch);
        link.reset();
        loop.remove(listenerWatch);
        listener.reset();
        loop.remove(captureWatch);
        capture.reset();
        encoder.reset();
    }

    void service()
    {
        // Read before the changes are looked at, so a change seen now is never
        // stamped earlier than it came.
        const double now = clock();
        // Replies read earlier may have queued events the descriptor no longer signals.
        if (capture && capture->contentChanged()) {
            pacer.changed(now);
        }
        if (pointer) {
            pointerMoved = pointer->takeMotion() || pointerMoved;
        }
        if (link) {
            flushLink(now);
        }
        if (link && capture && now >= nextCursorCheck()) {
            nextCursorPoll = now + cursorPollPeriod;
            lastCursorPoll = now;
            pointerMoved = false;
            pollCursor();
        }
        if (capture && pacer.due(now)) {
            produceFrame(now);
            // Reading the picture may have queued change reports that the
            // descriptor will not signal again.
            if (capture && capture->contentChanged()) {
                pacer.changed(clock());
            }
        }
        if (link) {
            loop.modify(linkWatch, WorkerLoop::readable | (link->wantsWrite() ? WorkerLoop::writable : 0u));
        }
        // Wakes the loop when the next capture, cursor look or in-flight check is due.
        loop.cancel(wakeTimer);
        wakeTimer = loop.after(std::chrono::milliseconds(timeoutMilliseconds()), [] {});
    }

    // The picture must be sent (again) although the screen may not have changed.
    void markChanged() { pacer.changed(clock()); }

    // Every 8 ms while the pointer moves; rarely while it rests; never without one.
    double nextCursorCheck() const
    {
        if (!pointer) {
            return std::numeric_limits<double>::infinity();
        }
        if (pointerMoved || pointer->motionDescriptor() < 0) {
            return nextCursorPoll;
        }
        return std::max(nextCursorPoll, lastCursorPoll + idleCursorPollPeriod);
    }

    int timeoutMilliseconds() const
    {
        double wait = 1.0;
        const double now = clock();
        if (link && capture) {
            wait = std::min(wait, nextCursorCheck() - now);
        }
        if (capture && pacer.pending() && link) {
            wait = std::min(wait, pacer.dueAt() - now);
        }
        if (link && link->holdsFrames()) {
            wait = std::min(wait, inFlightCheckPeriod);
        }
        return std::max(0, int(std::ceil(wait * 1000.0)));
    }

    void accept()
    {
        const int socket = ::accept4(listener.get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (socket < 0) {
            return;
        }
        const int on = 1;
        ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        ::setsockopt(socket, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
        // The new phone connection replaces the old one and its UDP path.
        closeUdp();
        loop.remove(linkWatch);
        link = std::make_unique<PacketLink>(socket);
        linkWatch = loop.watch(socket, WorkerLoop::readable, [this](unsigned ready) {
            if (link && (ready & WorkerLoop::readable)) {
                readPhone();
            }
        });
        link->onFrameWritten = frameObserver;
        messages = {};
        rules.connectionOpened();
        lastCursorX = lastCursorY = -1.0f;
        markChanged();
    }

    void closeLink()
    {
        loop.remove(linkWatch);
        link.reset();
        closeUdp();
        rules.connectionClosed();
    }

    void closeUdp()
    {
        loop.remove(udpWatch);
        udp.reset();
    }

    void readPhone()
    {
        QByteArray bytes;
        const bool open = link->receive(bytes);
        messages.append(bytes.constData(), std::size_t(bytes.size()));
        while (const std::optional<QByteArray> body = messages.next()) {
            handleMessage(*body);
        }
        if (!open) {
            closeLink();
        }
    }

    void handleMessage(const QByteArray &body)
    {
        const std::optional<DisplayWire::PhoneMessage> message = DisplayWire::parsePhoneMessage(body);
        if (!message) {
            return;
        }
        using Kind = DisplayWire::PhoneMessage::Kind;
        switch (message->kind) {
        case Kind::udpConfirmed:
            if (rules.udpConfirmed()) {
                logLine(QStringLiteral("Lumarient"), QStringLiteral("UDP video path confirmed"));
            }
            break;
        case Kind::keyframeRequest:
            rules.requestKeyframe();
            markChanged();
            break;
        case Kind::touch:
            handleTouch(*message);
            break;
        case Kind::udpReady:
            if (rules.udpOffered()) {
                startUdp(message->host, message->port);
            }
            break;
        case Kind::other:
            break;
        }
    }

    void handleTouch(const DisplayWire::PhoneMessage &touch)
    {
        if (!pointer || !capture) {
            return;
        }
        const DisplayRect bounds = capture->bounds();
        const MouseAction action = touch.action == 0   ? MouseAction::leftDown
                                   : touch.action == 1 ? MouseAction::leftUp
                                                       : MouseAction::leftDragged;
        pointer->post(action, bounds.x + double(bounds.width) * touch.x, bounds.y + double(bounds.height) * touch.y);
    }

    void startUdp(const QString &host, std::uint16_t port)
    {
        closeUdp();
        const QHostAddress address(host);
        if (port == 0 || address.isNull()) {
            return;
        }
        sockaddr_storage storage{};
        socklen_t length = 0;
        if (address.protocol() == QAbstractSocket::IPv4Protocol) {
            auto *v4 = reinterpret_cast<sockaddr_in *>(&storage);
            v4->sin_family = AF_INET;
            v4->sin_port = htons(port);
            v4->sin_addr.s_addr = htonl(address.toIPv4Address());
            length = sizeof(sockaddr_in);
        } else {
            auto *v6 = reinterpret_cast<sockaddr_in6 *>(&storage);
            v6->sin6_family = AF_INET6;
            v6->sin6_port = htons(port);
            const Q_IPV6ADDR bytes = address.toIPv6Address();
            std::memcpy(&v6->sin6_addr, &bytes, sizeof bytes);
            length = sizeof(sockaddr_in6);
        }
        FileDescriptor socket(::socket(storage.ss_family, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
        if (socket.get() < 0 || ::connect(socket.get(), reinterpret_cast<sockaddr *>(&storage), length) < 0) {
            return;
        }
        udp = std::move(socket);
        udpWatch = loop.watch(udp.get(), WorkerLoop::readable, [this](unsigned) { drainUdp(); });
        rules.udpOpened(clock());
        markChanged();
    }

    void fallBackToTcp(const QString &reason)
    {
        if (udp.get() < 0) {
            return;
        }
        logLine(QStringLiteral("Lumarient"),
                QStringLiteral("UDP unavailable (%1); falling back to TCP video").arg(reason));
        closeUdp();
        rules.udpFailed();
        markChanged();
    }

    // A connected UDP socket reports the peer's refusals as errors to read.
    void drainUdp()
    {
        char scratch[16];
        while (udp.get() >= 0) {
            if (::recv(udp.get(), scratch, sizeof scratch, 0) >= 0) {
                continue;
            }
            if (errno != EAGAIN && errno != EWOULDBLOCK) {
                fallBackToTcp(QStringLiteral("failed: ") + QString::fromLocal8Bit(std::strerror(errno)));
            }
            break;
        }
    }

    void sendFrameUdp(const QByteArray &data, std::uint32_t frameID, bool isKeyframe)
    {
        for (const QByteArray &chunk : DisplayWire::udpChunks(frameID, isKeyframe, data)) {
            if (::send(udp.get(), chunk.constData(), std::size_t(chunk.size()), MSG_DONTWAIT | MSG_NOSIGNAL) < 0 &&
                errno != EAGAIN && errno != EWOULDBLOCK && errno != ENOBUFS) {
                fallBackToTcp(QStringLiteral("failed: ") + QString::fromLocal8Bit(std::strerror(errno)));
                return;
            }
        }
    }

    void flushLink(double now)
    {
        if (!link->flush(now)) {
            closeLink();
            return;
        }
        for (int taken = link->takeCompletedFrames(); taken > 0; --taken) {
            rules.frameTaken();
        }
        // A frame dropped on a display that then stopped changing would leave the
        // phone behind; once the link has room, send the picture again.
        if (repeatWhenDrained && rules.framesInFlight() == 0) {
            repeatWhenDrained = false;
            markChanged();
        }
    }

    void pollCursor()
    {
        if (!pointer) {
            return;
        }
        const DisplayRect bounds = capture->bounds();
        const std::optional<PointerLocation> location = pointer->location();
        if (bounds.isEmpty() || !location) {
            return;
        }
        const float x = float((location->x - bounds.x) / bounds.width);
        const float y = float((location->y - bounds.y) / bounds.height);
        if (x < 0.0f || x > 1.0f || y < 0.0f || y > 1.0f) {
            return;
        }
        if (!cursorMoved(lastCursorX, lastCursorY, x, y)) {
            return;
        }
        lastCursorX = x;
        lastCursorY = y;
        link->send(DisplayWire::framed(DisplayWire::cursorBody(x, y)));
        ++statistics.cursorPackets;
    }

    void produceFrame(double now)
    {
        if (!link) {
            // Nothing is encoded without a phone; the change stays pending so the
            // first frame after a connection shows the current picture.
            return;
        }
        // Taken even when no encoder could be opened: a change left pending would
        // be due at once on every turn and spin the loop.
        pacer.captured(now);
        if (!encoder) {
            return;
        }
        const CapturedFrame *frame = capture->grab();
        if (frame == nullptr) {
            return;
        }
        ++statistics.framesCaptured;
        const std::optional<StreamRules::FramePlan> plan = rules.beginFrame(now);
        if (!plan) {
            return;
        }
        if (plan->forceKeyframe) {
            encoder->requestKeyframe();
        }
        const std::optional<EncodedPacket> encoded = encoder->encode(*frame);
        if (!encoded || encoded->annexB.isEmpty()) {
            return;
        }
        ++statistics.framesEncoded;
        if (encoded->isKeyframe) {
            ++statistics.keyframes;
            rules.keyframeEncoded(now);
        }
        if (rules.needsConfig()) {
            const std::vector<QByteArray> sets = DisplayWire::parameterSets(encoder->parameterSets());
            if (!sets.empty()) {
                link->send(DisplayWire::framed(DisplayWire::configBody(sets)));
                rules.configSent();
            }
        }
        const QByteArray annexB = DisplayWire::withFourByteStartCodes(encoded->annexB);
        const StreamRules::Route route = rules.route(clock());
        if (route.fallbackReason) {
            fallBackToTcp(*route.fallbackReason);
        }
        if (route.udp && udp.get() >= 0) {
            sendFrameUdp(annexB, plan->frameID, encoded->isKeyframe);
        }
        if (route.tcp || udp.get() < 0) {
            if (!rules.admitTcpFrame()) {
                ++statistics.framesDropped;
                repeatWhenDrained = true;
            } else {
                link->sendFrame(DisplayWire::framed(DisplayWire::frameBody(plan->frameID, annexB)), plan->frameID, now);
            }
        }
        flushLink(clock());
    }
};

DisplayStreamer::DisplayStreamer(std::shared_ptr<VirtualDisplay> display, bool overWifi, Platform platform)
    : worker_(std::make_unique<Worker>(std::move(display), overWifi, std::move(platform)))
{
}

DisplayStreamer::~DisplayStreamer()
{
    stop();
}

void DisplayStreamer::startListener()
{
    if (worker_->started) {
        return;
    }
    FileDescriptor socket(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (socket.get() < 0) {
        throw LumarientError::message(systemError("socket"));
    }
    const int on = 1;
    ::setsockopt(socket.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(worker_->platform.port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(socket.get(), reinterpret_cast<sockaddr *>(&address), sizeof address) < 0) {
        throw LumarientError::message(
            systemError(QStringLiteral("port %1").arg(worker_->platform.port).toUtf8().constData()));
    }
    if (::listen(socket.get(), 4) < 0) {
        throw LumarientError::message(systemError("listen"));
    }
    worker_->listener = std::move(socket);
    worker_->started = true;
    worker_->begin();
}

void DisplayStreamer::startCapture()
{
    ScreenCaptureFactory *captures = worker_->platform.captures;
    std::unique_ptr<ScreenCapture> capture =
        captures != nullptr ? captures->open(worker_->display->displayID()) : nullptr;
    if (capture == nullptr) {
        throw LumarientError::message(QStringLiteral("virtual display not found for capture"));
    }
    const VirtualDisplay &display = *worker_->display;
    VideoEncoderSettings settings;
    settings.width = display.width();
    settings.height = display.height();
    settings.keyframeIntervalFrames = worker_->rules.tuning().keyframeIntervalFrames;
    settings.bitRate = streamBitRate(display.width(), display.height(), worker_->overWifi);
    VideoEncoderFactory *encoders = worker_->platform.encoders;
    // An encoder that cannot be opened means no frames, as with a refused session.
    std::unique_ptr<VideoEncoder> encoder = encoders != nullptr ? encoders->open(settings) : nullptr;
    std::lock_guard lock(worker_->mutex);
    worker_->encoderName = encoder ? encoder->name() : QString();
    worker_->pendingCapture = std::move(capture);
    worker_->pendingEncoder = std::move(encoder);
    worker_->loop.post([worker = worker_.get()] { worker->installCapture(); });
}

void DisplayStreamer::stop()
{
    Worker *worker = worker_.get();
    // Posted work still runs when the loop stops; work after that is refused.
    const bool onLoop = worker->started && worker->loop.post([worker] { worker->shutDown(); });
    worker->loop.stop();
    if (!onLoop) {
        worker->shutDown();
    }
}

const DisplayStreamer::Statistics &DisplayStreamer::statistics() const
{
    return worker_->statistics;
}

QString DisplayStreamer::encoderName() const
{
    std::lock_guard lock(worker_->mutex);
    return worker_->encoderName;
}

void DisplayStreamer::setFrameWrittenObserver(std::function<void(std::uint32_t, double, double)> observer)
{
    worker_->frameObserver = std::move(observer);
}

} // namespace lumarient
