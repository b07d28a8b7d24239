#pragma once

namespace lumarient {

// Decides when the streamer captures. Captures keep to a grid of one frame
// interval, so the rate never goes above one per interval for long, and a change
// that arrives before its slot waits instead of being dropped. A change within
// half an interval of its slot is captured at once: a source that draws at the
// display's own rate but out of step with the grid would otherwise wait most of
// an interval for every frame. A change after a quiet spell is captured at once
// and starts a new grid. Times are seconds of a monotonic clock read by the
// caller.
class CapturePacer {
public:
    explicit CapturePacer(double interval = 1.0 / 60.0);

    // The picture changed (or must be sent again). While a change waits, later
    // ones add nothing: the next capture shows them all.
    void changed(double now);
    bool pending() const { return pending_; }
    // When the waiting change may be captured; only meaningful while pending.
    double dueAt() const;
    bool due(double now) const { return pending_ && now >= dueAt(); }
    // A capture was taken for the waiting change.
    void captured(double now);

private:
    double interval_;
    // How much sooner than its slot a change may be captured.
    double earliness_;
    bool pending_ = false;
    double changedAt_ = 0;
    bool anyCapture_ = false;
    // The next capture's place on the grid.
    double nextSlot_ = 0;
};

} // namespace lumarient
