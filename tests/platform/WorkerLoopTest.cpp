#include "platform/WorkerLoop.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <pthread.h>
#include <sys/eventfd.h>

#include <algorithm>
#include <array>
#include <future>
#include <latch>
#include <string>
#include <thread>

using namespace lumarient;
using namespace std::chrono_literals;

namespace {

struct WorkerLoopTest : testing::Test {
    // Runs `work` on the loop and waits until it has run.
    void onLoop(std::function<void()> work)
    {
        std::promise<void> done;
        ASSERT_TRUE(loop.post([&] {
            work();
            done.set_value();
        }));
        ASSERT_EQ(done.get_future().wait_for(5s), std::future_status::ready);
    }
    void SetUp() override { loop.start(); }

    WorkerLoop loop{"lum-test"};
    std::vector<std::string> seen; // touched on the loop thread only
};

TEST_F(WorkerLoopTest, RunsWorkPostedFromOtherThreadsInPostingOrderOnItsNamedThread)
{
    std::array<int, 4> next{}; // per poster, touched on the loop thread only
    std::vector<std::thread> posters;
    for (int poster = 0; poster < 4; ++poster)
        posters.emplace_back([&, poster] {
            for (int item = 0; item < 100; ++item)
                loop.post([&, poster, item] { EXPECT_EQ(item, next[std::size_t(poster)]++); });
        });
    for (std::thread &poster : posters)
        poster.join();
    char name[16] = {};
    onLoop([&] { pthread_getname_np(pthread_self(), name, sizeof name); });
    EXPECT_STREQ(name, "lum-test");
    EXPECT_EQ(next, (std::array<int, 4>{100, 100, 100, 100}));
}

TEST_F(WorkerLoopTest, ReportsReadinessUntilPausedAndHangUpAsReadable)
{
    int ends[2];
    ASSERT_EQ(::pipe2(ends, O_NONBLOCK | O_CLOEXEC), 0);
    FileDescriptor reader(ends[0]), writer(ends[1]);
    std::promise<unsigned> first, hangUp;
    WorkerLoop::WatchId id = 0;
    int calls = 0;
    onLoop([&] {
        id = loop.watch(reader.get(), WorkerLoop::readable, [&](unsigned ready) {
            char byte = 0;
            if (++calls == 1) {
                EXPECT_EQ(::read(reader.get(), &byte, 1), 1);
                loop.modify(id, 0);
                first.set_value(ready);
            } else {
                loop.remove(id);
                hangUp.set_value(ready);
            }
        });
    });
    ASSERT_EQ(::write(writer.get(), "x", 1), 1);
    EXPECT_EQ(first.get_future().get(), unsigned(WorkerLoop::readable));
    writer.reset(); // paused: the hang-up is not reported yet
    onLoop([] {});
    EXPECT_EQ(calls, 1);
    onLoop([&] { loop.modify(id, WorkerLoop::readable); });
    EXPECT_EQ(hangUp.get_future().get() & WorkerLoop::readable, unsigned(WorkerLoop::readable));
}

TEST_F(WorkerLoopTest, FiresTimersInDueOrderAndRepeatsUntilCancelled)
{
    std::promise<void> done;
    WorkerLoop::TimerId beat = 0;
    onLoop([&] {
        loop.after(300ms, [&] {
            seen.push_back("late");
            done.set_value();
        });
        loop.after(5ms, [&] { seen.push_back("early"); });
        const WorkerLoop::TimerId cancelled = loop.after(1ms, [&] { seen.push_back("cancelled"); });
        loop.cancel(cancelled);
        loop.after(0ms, [&] { seen.push_back("now"); });
        beat = loop.every(10ms, [this, &beat] {
            seen.push_back("beat");
            if (std::count(seen.begin(), seen.end(), "beat") == 2)
                loop.cancel(beat);
        });
    });
    ASSERT_EQ(done.get_future().wait_for(5s), std::future_status::ready);
    const std::vector<std::string> expected{"now", "early", "beat", "beat", "late"};
    onLoop([&] { EXPECT_EQ(seen, expected); });
}

TEST_F(WorkerLoopTest, StopRunsWorkPostedBeforeItAndRefusesLaterWork)
{
    std::latch release(1);
    int ran = 0;
    loop.post([&] { release.wait(); });
    for (int item = 0; item < 50; ++item)
        loop.post([&] { ++ran; });
    std::thread stopper([&] { loop.stop(); });
    while (loop.post([] {})) // refused as soon as the stop has been asked
        std::this_thread::yield();
    release.count_down();
    stopper.join();
    EXPECT_EQ(ran, 50);
    EXPECT_FALSE(loop.post([&] { ++ran; }));
}

TEST_F(WorkerLoopTest, WatchRemovedInsideACallbackIsNotCalledAgain)
{
    // Two descriptors ready in the same turn: whichever runs first removes both.
    FileDescriptor first(::eventfd(1, EFD_CLOEXEC)), second(::eventfd(1, EFD_CLOEXEC));
    auto alive = std::make_shared<int>(0);
    std::vector<WorkerLoop::WatchId> ids;
    onLoop([&] {
        for (const FileDescriptor *fd : {&first, &second})
            ids.push_back(loop.watch(fd->get(), WorkerLoop::readable, [&, alive](unsigned) {
                loop.remove(ids[0]);
                loop.remove(ids[1]);
                ++*alive; // the callback's own state outlives its removal
            }));
    });
    for (int turn = 0; turn < 3; ++turn)
        onLoop([] {});
    EXPECT_EQ(*alive, 1);
    EXPECT_EQ(alive.use_count(), 1) << "removed watches are erased between turns";
}

} // namespace
