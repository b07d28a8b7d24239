#include "display/CapturePacer.h"

namespace lumarient {

CapturePacer::CapturePacer(double interval) : interval_(interval), earliness_(interval / 2)
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
    if (!anyCapture_ || changedAt_ >= nextSlot_ - earliness_) {
        return changedAt_;
    }
    return nextSlot_ - earliness_;
}

void CapturePacer::captured(double now)
{
    // A change that came before its slot keeps captures on the grid, however
    // early it was taken, so the rate stays one per interval under steady
    // motion, and a wake-up a little late does not push every later frame back.
    // A change after a quiet spell starts a new grid at this capture.
    const bool beforeItsSlot = anyCapture_ && changedAt_ < nextSlot_;
    if (beforeItsSlot && now - nextSlot_ < interval_) {
        nextSlot_ += interval_;
    } else {
        nextSlot_ = now + interval_;
    }
    anyCapture_ = true;
    pending_ = false;
}

} // namespace lumarient
