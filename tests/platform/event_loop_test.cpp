#include "platform/event_loop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/timer_queue.h"

namespace quenvara::platform {
namespace {

using namespace std::chrono_literals;

std::vector<int> fireUntil(TimerQueue& q, Millis& now, Millis end, std::vector<int>& fired) {
    // Steps from one due time to the next, as a virtual-time loop does.
    while (auto due = q.nextDue()) {
        if (*due > end) {
            break;
        }
        now = *due;
        while (auto cb = q.takeDue(now)) {
            (*cb)();
        }
    }
    now = end;
    return fired;
}

TEST(TimerQueue, PeriodicUntilKilledAndReplacedById) {
    TimerQueue q;
    std::vector<int> fired;
    Millis now{0};
    q.set(2, 1000ms, now, [&] { fired.push_back(2); });
    q.set(5, 100ms, now, [&] { fired.push_back(5); });
    fireUntil(q, now, 1000ms, fired);
    EXPECT_EQ(std::count(fired.begin(), fired.end(), 5), 10);
    EXPECT_EQ(std::count(fired.begin(), fired.end(), 2), 1);

    // Setting id 2 again restarts its period from now.
    fired.clear();
    q.set(2, 1000ms, now, [&] { fired.push_back(22); });
    q.kill(5);
    fireUntil(q, now, 2500ms, fired);
    EXPECT_EQ(fired, std::vector<int>({22}));
}

TEST(TimerQueue, CallbackMayKillItsOwnTimer) {
    TimerQueue q;
    std::vector<int> fired;
    Millis now{0};
    q.set(3, 1000ms, now, [&] {
        fired.push_back(3);
        q.kill(3);
    });
    fireUntil(q, now, 5000ms, fired);
    EXPECT_EQ(fired, std::vector<int>({3}));
    EXPECT_TRUE(q.empty());
}

TEST(TimerQueue, LateLoopFiresOnceNotInABurst) {
    TimerQueue q;
    int count = 0;
    q.set(1, 100ms, Millis{0}, [&] { ++count; });
    while (auto cb = q.takeDue(Millis{1000})) {
        (*cb)();
    }
    EXPECT_EQ(count, 1);
}

TEST(ThreadEventLoop, SendRunsOnTheLoopThreadAndWaits) {
    ThreadEventLoop loop;
    std::thread::id loopId;
    std::thread runner([&] {
        loopId = std::this_thread::get_id();
        loop.run();
    });
    std::vector<int> order;
    std::thread::id ranOn;
    for (int i = 0; i < 50; ++i) {
        ASSERT_TRUE(loop.send([&, i] {
            order.push_back(i);
            ranOn = std::this_thread::get_id();
        }));
        // The task is done when send returns: no race on `order`.
        ASSERT_EQ(order.size(), static_cast<std::size_t>(i + 1));
    }
    EXPECT_EQ(ranOn, loopId);
    // A send from the loop's own thread runs inline instead of deadlocking.
    bool inner = false;
    ASSERT_TRUE(loop.send([&] { loop.send([&] { inner = true; }); }));
    EXPECT_TRUE(inner);
    loop.quit();
    runner.join();
    EXPECT_FALSE(loop.send([] {}));
}

TEST(ThreadEventLoop, TimersFireOnTheLoop) {
    ThreadEventLoop loop;
    std::atomic<int> ticks{0};
    loop.setTimer(4, 1ms, [&] {
        if (++ticks == 3) {
            loop.killTimer(4);
            loop.quit();
        }
    });
    loop.run();
    EXPECT_EQ(ticks.load(), 3);
}

TEST(ThreadEventLoop, QuitReleasesWaitingSenders) {
    ThreadEventLoop loop;
    std::atomic<bool> started{false};
    std::thread runner([&] { loop.run(); });
    // The first task ends the loop; the second sender must not hang.
    loop.post([&] {
        started = true;
        loop.quit();
    });
    std::atomic<int> sendsReturned{0};
    std::thread sender([&] {
        loop.send([] {});
        ++sendsReturned;
    });
    sender.join();
    runner.join();
    EXPECT_TRUE(started);
    EXPECT_EQ(sendsReturned.load(), 1);
}

}  // namespace
}  // namespace quenvara::platform
