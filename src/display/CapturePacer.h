#pragma once

namespace lumarient {

// Decides when the streamer captures. A change that comes after a quiet spell
// is captured at once; captures never come closer than one frame interval on
// average, and a change that arrives before its slot waits for the slot instead
// of being dropped. Times are seconds of a monotonic clock read by the caller.
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
    bool pending_ = false;
    double changedAt_ = 0;
    bool anyCapture_ = false;
    // The earliest time of the next capture.
    double nextSlot_ = 0;
};

} // namespace lumarient
