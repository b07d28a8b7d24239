#include "display/CapturePacer.h"

namespace lumarient {

CapturePacer::CapturePacer(double interval) : interval_(interval)
{
}

void CapturePacer::changed(double now)
{
    if (!pending_) {
        pending_ = true;
        changedAt_ = now;
    }
}

double CapturePacer::dueAt() const
{
    if (!anyCapture_ || changedAt_ >= nextSlot_) {
        return changedAt_;
    }
    return nextSlot_;
}

void CapturePacer::captured(double now)
{
    // A change that waited for its slot keeps captures on the slot grid, so a
    // wake-up a little late does not push every later frame back and lower the
    // rate under steady motion. A change after a quiet spell starts a new grid
    // at this capture, which keeps the next one a whole interval away.
    const bool waitedForSlot = anyCapture_ && changedAt_ < nextSlot_;
    if (waitedForSlot && now - nextSlot_ < interval_) {
        nextSlot_ += interval_;
    } else {
        nextSlot_ = now + interval_;
    }
    anyCapture_ = true;
    pending_ = false;
}

} // namespace lumarient
