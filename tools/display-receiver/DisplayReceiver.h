#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace lumarient::phoneside {

// What the phone's display receiver got, in arrival order.
struct ReceivedPacket {
    enum class Kind { config, frame, cursor, udpFrame, malformed };
    Kind kind = Kind::malformed;
    std::uint32_t frameID = 0;
    bool isKeyframe = false;
    int size = 0;
    float x = 0;
    float y = 0;
};

struct ReceiverRecord {
    std::vector<ReceivedPacket> packets;
    int decodedFrames = 0;
    int decodeErrors = 0;
    int udpDatagrams = 0;
    bool connected = false;
    bool closedByComputer = false;
    // The last decoded picture, RGB32.
    QImage lastPicture;

    int count(ReceivedPacket::Kind kind) const;
    std::vector<std::uint32_t> frameIDs() const;
};

// Stands in for the companion app's display activity: connects to the
// computer's stream port, reads and decodes the stream with libavcodec and
// records what arrived; sends "k", "t", "u" and "U" messages on request; can
// stop reading (a stalled phone), offer a UDP path on loopback, or disconnect.
class DisplayReceiver {
public:
    struct Options {
        QString host = QStringLiteral("127.0.0.1");
        std::uint16_t port = 38018;
        // A small receive buffer makes a stalled receiver hold up the link sooner.
        int receiveBufferBytes = 0;
        std::chrono::milliseconds connectTimeLimit{5000};
    };

    explicit DisplayReceiver(Options options);
    ~DisplayReceiver();
    DisplayReceiver(const DisplayReceiver &) = delete;
    DisplayReceiver &operator=(const DisplayReceiver &) = delete;

    // Connects (retrying until the time limit) and starts reading.
    bool connect();
    void disconnect();

    void sendRaw(const QByteArray &bytes);
    void sendMessage(const QByteArray &body);
    void requestKeyframe();
    void touch(int action, float x, float y);
    // Binds a UDP socket on loopback and offers it with "u"; returns its port.
    std::uint16_t offerUdp(const QString &advertisedHost = QStringLiteral("127.0.0.1"));
    void confirmUdp();
    // Stops listening for datagrams (the computer's next ones are refused).
    void closeUdp();

    void setStalled(bool stalled);

    ReceiverRecord record() const;
    // Waits until `condition` holds for the record; false on time-out.
    bool waitFor(const std::function<bool(const ReceiverRecord &)> &condition,
                 std::chrono::milliseconds timeLimit = std::chrono::seconds(10)) const;
    // Called (on the reader thread) after every recorded change.
    std::function<void(const ReceiverRecord &)> onChange;

private:
    struct Decoder;
    void run();
    void handlePacket(const QByteArray &body);
    void handleDatagram(const QByteArray &datagram);
    void decode(const QByteArray &annexB);
    void notifyChange();

    Options options_;
    int socket_ = -1;
    int udpSocket_ = -1;
    int wake_[2] = {-1, -1};
    std::thread thread_;
    std::mutex sendMutex_;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    ReceiverRecord record_;
    bool stalled_ = false;
    bool udpClosing_ = false;
    bool stopping_ = false;
    std::unique_ptr<Decoder> decoder_;
    QByteArray pendingConfig_;
    // UDP reassembly of the frame being received.
    std::uint32_t udpFrame_ = 0;
    std::vector<QByteArray> udpChunks_;
    int udpChunksSeen_ = 0;
};

// True when the Annex B data holds an IDR slice.
bool containsIdr(const QByteArray &annexB);

} // namespace lumarient::phoneside
