#pragma once

#include "platform/InputTap.h"
#include "platform/x11/XcbConnectionOnDemand.h"

#include <xcb/xcb.h>
#include <xcb/xfixes.h>

#include <cstdint>
#include <memory>
#include <set>
#include <vector>

class QSocketNotifier;

namespace lumarient::x11 {

class XcbConnection;

// The session's keyboard and pointer on X11. While watching, pointer barriers
// on the sides of real displays that border a stand-in display report a push
// against them (no cost while the pointer is elsewhere); pointers that move
// absolutely, and synthetic ones, pass barriers silently, so their raw motion
// alone is watched instead, for a position within a pixel of such a side. While grabbed, the keyboard and
// pointer belong to an invisible window, motion comes as raw deltas and keys
// as evdev codes with one release per hold. Main thread only: events are read
// when the connection's socket is readable.
class X11InputTap final : public InputTap {
public:
    explicit X11InputTap(const char *displayName = nullptr);
    ~X11InputTap() override;
    X11InputTap(const X11InputTap &) = delete;
    X11InputTap &operator=(const X11InputTap &) = delete;

    bool start(Handler handler) override;
    void stop() override;
    void setStandIns(std::vector<DisplayRect> rects) override;
    bool grab() override;
    void release() override;
    void warp(TapPoint to) override;
    std::optional<TapPoint> cursorPosition() override;
    void hideCursor() override;
    void showCursor() override;

    // Whether pointer barriers are in use (XFixes 5 and XInput 2.3).
    bool hasBarriers() const { return hasBarriers_; }
    // How many barriers guard the stand-in displays now.
    std::size_t barrierCount() const { return barriers_.size(); }
    // The invisible window that holds the grab.
    xcb_window_t grabWindow() const { return window_; }

private:
    struct Barrier {
        xcb_xfixes_barrier_t id = 0;
        DisplayRect standIn;
        // The side of the real display the barrier lies on, which is also
        // the direction a push into the stand-in display takes.
        enum class Toward { right, left, down, up } toward = Toward::right;
        // The line: x for right/left, y for down/up; and its extent.
        int line = 0;
        int from = 0;
        int to = 0;
    };

    bool setUpExtensions();
    void createWindow();
    void selectEvents() { selectEvents(grabbed_); }
    void selectEvents(bool grabbing);
    void rebuildBarriers();
    void clearBarriers();
    void findSilentPointers();
    void drain();
    void scheduleDrain();
    void dispatch(const xcb_generic_event_t *event);
    void dispatchInput(const xcb_ge_generic_event_t *event);
    void onBarrierHit(const void *event);
    void onRawMotion(const void *event);
    void checkAbsoluteEntry();
    void loseGrab();
    void deliver(const Event &event);

    XcbConnectionOnDemand connection_;
    std::unique_ptr<QSocketNotifier> notifier_;
    Handler handler_;
    bool running_ = false;
    bool extensionsReady_ = false;
    bool hasBarriers_ = false;
    bool hasAutoRepeatDetection_ = false;
    std::uint8_t inputOpcode_ = 0;
    std::uint8_t randrEventBase_ = 0;
    xcb_window_t window_ = XCB_NONE;
    xcb_cursor_t blankCursor_ = XCB_NONE;
    std::vector<DisplayRect> standIns_;
    std::vector<Barrier> barriers_;
    // Slave pointers that report absolute positions (tablets, virtual machines).
    std::set<std::uint16_t> absoluteDevices_;
    // Slave pointers that pass barriers without a word: the absolute ones and
    // the synthetic (XTest) ones; and those whose raw motion is selected now.
    std::set<std::uint16_t> silentPointers_;
    std::set<std::uint16_t> watchedSilent_;
    bool grabbed_ = false;
    bool cursorHidden_ = false;
    bool draining_ = false;
    // A silent pointer moved since its position was last checked.
    bool silentMotion_ = false;
    bool drainScheduled_ = false;
    // Where the pointer would be while grabbed: it moves by raw deltas and by
    // warps, and may lie on a stand-in display the real pointer cannot enter.
    TapPoint virtualPosition_;
    TapPoint lastReported_;
};

} // namespace lumarient::x11
