#pragma once

#include <QDateTime>

#include <chrono>
#include <optional>

namespace lumarient {

// When to look for updates on its own: never before the user agreed, asked once
// from the second launch on (the first launch belongs to setting the phone up),
// then once a day.
struct UpdateSchedule {
    static constexpr std::chrono::hours interval{24};
    static constexpr int askFromLaunch = 2;

    enum class Step { nothing, askConsent, checkNow, checkLater };

    // `automatic` is the user's answer, absent while not asked.
    static Step next(int launchCount, std::optional<bool> automatic, const std::optional<QDateTime> &lastCheck,
                     const QDateTime &now);
    // When the next automatic check is due (now when none ran or the clock went back).
    static QDateTime dueAt(const std::optional<QDateTime> &lastCheck, const QDateTime &now);
};

} // namespace lumarient
