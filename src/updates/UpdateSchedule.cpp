#include "updates/UpdateSchedule.h"

namespace lumarient {

QDateTime UpdateSchedule::dueAt(const std::optional<QDateTime> &lastCheck, const QDateTime &now)
{
    // A last check in the future means the clock was set back: do not wait for it.
    if (!lastCheck || !lastCheck->isValid() || *lastCheck > now)
        return now;
    return lastCheck->addDuration(interval);
}

UpdateSchedule::Step UpdateSchedule::next(int launchCount, std::optional<bool> automatic,
                                          const std::optional<QDateTime> &lastCheck, const QDateTime &now)
{
    if (!automatic)
        return launchCount >= askFromLaunch ? Step::askConsent : Step::nothing;
    if (!*automatic)
        return Step::nothing;
    return dueAt(lastCheck, now) <= now ? Step::checkNow : Step::checkLater;
}

} // namespace lumarient
