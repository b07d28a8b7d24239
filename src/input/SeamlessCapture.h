#pragma once

#include "input/HeldModifiers.h"
#include "input/InputRecords.h"
#include "platform/DisplayRect.h"
#include "platform/InputTap.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <vector>

namespace lumarient {

class DisplayGeometryCache;
class InputSink;

// Makes each driven phone behave like one more display: when the pointer
// reaches a phone's stand-in display, the keyboard and pointer are taken from
// the desktop and their input goes to that phone; pushing the phone's cursor
// against the edge that leads back (or Control+Escape) returns them. Main
// thread only.
class SeamlessCapture {
public:
    enum class Edge { left, right, top, bottom };

    struct PhoneSize {
        double width = 0;
        double height = 0;
    };

    struct Dependencies {
        InputTap &tap;
        DisplayGeometryCache &geometry;
        // Whether another application's window covers the point; a stand-in
        // display under such a window is not entered.
        std::function<bool(TapPoint)> isRealWindow;
    };

    static constexpr double warpEchoTolerance = 120.0;
    static constexpr int warpGrace = 12;
    static constexpr double warpSignificance = 2.0;
    static constexpr double recentreMargin = 80.0;
    static constexpr double exitThreshold = 240.0;
    static constexpr double exitOffset = 12.0;
    static constexpr double borderTolerance = 2.0;
    static constexpr std::size_t maximumHeldKeys = 6;

    explicit SeamlessCapture(Dependencies dependencies);
    ~SeamlessCapture();
    SeamlessCapture(const SeamlessCapture &) = delete;
    SeamlessCapture &operator=(const SeamlessCapture &) = delete;

    static QString edgeName(Edge edge);

    // Registers (or replaces) a stand-in display with its phone's input and
    // screen size; false when the session's input cannot be watched.
    // `pointerSpeed` multiplies the phone cursor's movement (1 maps the stand-in
    // display onto the phone's screen).
    bool addDevice(std::uint32_t displayID, InputSink &server, PhoneSize phoneSize, double pointerSpeed = 1.0);
    void removeDevice(std::uint32_t displayID);
    // A registered stand-in display moved: the tap learns where it is now.
    void standInsMoved();

    // Called whenever control returns to the desktop.
    std::function<void()> onExit;
    // Told when the phone cursor starts or stops touching a screen edge.
    std::function<void(std::optional<std::uint32_t>, std::optional<QString>)> onCursorEdgeChanged;

    struct CursorEdge {
        std::uint32_t displayID;
        QString edge;
    };
    std::optional<CursorEdge> activePhoneCursorEdge() const;

    std::optional<std::uint32_t> activeDisplayID() const { return activeDisplayID_; }
    TapPoint phoneCursor() const { return phoneCursor_; }
    std::optional<Edge> entryEdge() const { return entryEdge_; }
    bool armedAtEntryEdge() const { return armedAtEntryEdge_; }
    double edgePush() const { return edgePush_; }
    const std::vector<std::uint8_t> &heldKeys() const { return heldKeys_; }
    Buttons buttons() const { return buttons_; }

    // Gives the keyboard and pointer back to the desktop at once, releasing
    // whatever the phone still holds; nothing happens while none is driven.
    void returnToComputer();

    // One event from the tap; true when it is consumed.
    bool handle(const InputTap::Event &event);

private:
    bool ensureTap();
    void stopTap();
    void tellStandIns();
    void releasePhone();
    void resetCapture();
    void setActiveDisplay(std::optional<std::uint32_t> displayID, std::optional<TapPoint> location);
    void enter(std::uint32_t displayID, TapPoint location);
    void handlePhoneMove(std::uint32_t displayID, const InputTap::Event &event, InputSink &server);
    void handleKey(const InputTap::Event &event, InputSink &server);
    void handleWheel(const InputTap::Event &event, InputSink &server);
    void recentreMacCursor(std::uint32_t displayID);
    void reportCursorEdge();
    void handleEdgePush(double dx, double dy, PhoneSize size, std::uint32_t displayID);
    TapPoint speedScale(std::uint32_t displayID);
    std::set<Edge> borderedEdges(const DisplayRect &rect, std::uint32_t excluded);
    std::uint8_t modifierByte() const;

    Dependencies dependencies_;
    std::optional<QString> lastReportedEdge_;
    bool tapRunning_ = false;
    std::map<std::uint32_t, InputSink *> devices_;
    std::map<std::uint32_t, PhoneSize> screenSizes_;
    std::map<std::uint32_t, double> pointerSpeeds_;
    std::optional<std::uint32_t> activeDisplayID_;
    TapPoint phoneCursor_;
    TapPoint carry_;
    // Fractional scroll steps of high-resolution wheels, kept until they add up
    // to a whole line.
    TapPoint scrollCarry_;
    std::optional<Edge> entryEdge_;
    double edgePush_ = 0;
    std::optional<TapPoint> pendingWarpDelta_;
    int warpGrace_ = 0;
    bool armedAtEntryEdge_ = false;
    bool cursorHidden_ = false;
    bool grabbed_ = false;
    std::vector<std::uint8_t> heldKeys_;
    Buttons buttons_;
    HeldModifiers modifiers_;
    // The modifier byte the phone last got, so a held modifier is released too.
    std::uint8_t sentModifiers_ = 0;
};

} // namespace lumarient
