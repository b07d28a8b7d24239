#include "display/CapturePacer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

using namespace lumarient;

namespace {

constexpr double interval = 1.0 / 60.0;

// Drives a pacer as the streamer's loop does: changes come at the given times,
// the loop wakes at each change and when a capture is due (late by `lateness`),
// and captures whenever the pacer says so. Returns the capture times.
std::vector<double> run(const std::vector<double> &changes, double until, double lateness = 0.0)
{
    CapturePacer pacer(interval);
    std::vector<double> captures;
    std::size_t next = 0;
    double now = 0;
    while (now <= until) {
        double wake = until + 1;
        if (next < changes.size()) {
            wake = changes[next];
        }
        if (pacer.pending()) {
            wake = std::min(wake, pacer.dueAt() + lateness);
        }
        if (wake > until) {
            break;
        }
        now = std::max(now, wake);
        while (next < changes.size() && changes[next] <= now) {
            pacer.changed(changes[next]);
            ++next;
        }
        if (pacer.due(now)) {
            pacer.captured(now);
            captures.push_back(now);
        }
    }
    return captures;
}

} // namespace

TEST(CapturePacer, WhenEachChangeIsCaptured)
{
    struct Case {
        const char *name;
        std::vector<double> changes;
        std::vector<double> captures;
    };
    const double i = interval;
    const std::vector<Case> cases = {
        {"the first change at once", {0.5}, {0.5}},
        {"a change after a quiet spell at once", {0.0, 1.0}, {0.0, 1.0}},
        {"a change early in the interval waits until half an interval before its slot, not lost",
         {0.0, 0.2 * i},
         {0.0, 0.5 * i}},
        {"changes waiting together make one capture", {0.0, 0.1 * i, 0.3 * i, 0.45 * i}, {0.0, 0.5 * i}},
        {"a change within half an interval of its slot at once", {0.0, 0.6 * i}, {0.0, 0.6 * i}},
        {"a source at the display's rate, out of step with the grid, is captured as it changes",
         {0.0, 0.6 * i, 1.6 * i, 2.6 * i, 3.6 * i},
         {0.0, 0.6 * i, 1.6 * i, 2.6 * i, 3.6 * i}},
        {"a quiet spell starts a new grid at its capture", {0.0, 1.3 * i, 1.4 * i}, {0.0, 1.3 * i, 1.8 * i}},
        {"a change just after its slot is not held back", {0.0, 1.01 * i}, {0.0, 1.01 * i}},
    };
    for (const Case &c : cases) {
        const std::vector<double> captures = run(c.changes, 10.0);
        ASSERT_EQ(captures.size(), c.captures.size()) << c.name;
        for (std::size_t index = 0; index < captures.size(); ++index) {
            EXPECT_NEAR(captures[index], c.captures[index], 1e-9) << c.name << ", capture " << index;
        }
    }
}

TEST(CapturePacer, ContinuousChangeKeepsSixtyASecondEvenWithLateWakeUps)
{
    std::mt19937 random(7);
    std::uniform_real_distribution<double> gap(0.0002, 0.003);
    std::vector<double> changes;
    for (double at = 0; at < 2.0; at += gap(random)) {
        changes.push_back(at);
    }
    for (const double lateness : {0.0, 0.0009, 0.004}) {
        const std::vector<double> captures = run(changes, 2.0, lateness);
        // Never more than one capture per interval, but for the half interval a
        // change may come early...
        for (std::size_t first = 0; first < captures.size(); ++first) {
            for (std::size_t last = first + 1; last < captures.size(); ++last) {
                const double span = captures[last] - captures[first];
                EXPECT_LE(double(last - first), (span + lateness + interval / 2) / interval + 1e-6)
                    << "captures " << first << ".." << last << " late by " << lateness;
            }
        }
        // ...and wake-ups a little late do not lower the rate.
        if (lateness < 0.001) {
            EXPECT_GE(captures.size(), 119u) << "late by " << lateness;
        }
        EXPECT_GE(captures.back(), changes.back() - interval - lateness) << "the last change is captured";
    }
}

TEST(CapturePacer, AChangeWaitingForItsSlotKeepsItsFirstStamp)
{
    CapturePacer pacer(interval);
    pacer.changed(0.0);
    pacer.captured(0.0);
    pacer.changed(0.001);
    pacer.changed(0.010);
    EXPECT_DOUBLE_EQ(pacer.dueAt(), interval / 2);
    EXPECT_FALSE(pacer.due(interval / 2 - 0.0001));
    EXPECT_TRUE(pacer.due(interval / 2));
    pacer.captured(interval / 2 + 0.0005);
    EXPECT_FALSE(pacer.pending());
    pacer.changed(interval + 0.001);
    EXPECT_DOUBLE_EQ(pacer.dueAt(), 1.5 * interval) << "the grid holds after a slightly late capture";
}
