// The window logic's loop on the toolkit's main loop.
#include <gtest/gtest.h>
#include <wx/app.h>

#include <atomic>
#include <thread>

#include <signal.h>

#include "uploader/frontend/wx/sleep_inhibitor.h"
#include "uploader/frontend/wx/wx_event_loop.h"

namespace quenvara::uploader::wxui {
namespace {

using namespace std::chrono_literals;

TEST(WxEventLoop, SendsFromAnotherThreadRunOnTheGuiThreadInOrder) {
    WxEventLoop loop;
    const auto gui = std::this_thread::get_id();
    std::vector<int> order;
    bool onGui = true;
    bool sent = false;
    std::thread other([&] {
        loop.post([&] { order.push_back(1); });
        sent = loop.send([&] {
            order.push_back(2);
            onGui = onGui && std::this_thread::get_id() == gui;
        });
        loop.quit();
    });
    loop.run();
    other.join();
    EXPECT_TRUE(sent);
    EXPECT_TRUE(onGui);
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
}

TEST(WxEventLoop, TimersByIdRepeatAndStopEvenFromTheirOwnExpiry) {
    WxEventLoop loop;
    int ticks = 0;
    int other = 0;
    loop.setTimer(7, 5ms, [&] {
        if (++ticks == 3) {
            loop.killTimer(7);
            loop.setTimer(8, 5ms, [&] {
                ++other;
                loop.quit();
            });
        }
    });
    loop.setTimer(9, 5ms, [&] { ADD_FAILURE() << "a killed timer fired"; });
    loop.killTimer(9);
    loop.run();
    EXPECT_EQ(ticks, 3);
    EXPECT_EQ(other, 1);
}

TEST(WxEventLoop, TimersSetFromAnotherThreadFireOnTheGuiThread) {
    WxEventLoop loop;
    const auto gui = std::this_thread::get_id();
    std::atomic<bool> fired{false};
    std::thread other([&] {
        loop.setTimer(3, 5ms, [&] {
            fired = std::this_thread::get_id() == gui;
            loop.killTimer(3);
            loop.quit();
        });
    });
    loop.run();
    other.join();
    EXPECT_TRUE(fired);
}

TEST(WxEventLoop, ASendAfterTheLoopEndedIsRefused) {
    WxEventLoop loop;
    loop.post([&] { loop.quit(); });
    loop.run();
    bool ran = false;
    bool accepted = true;
    std::thread other([&] { accepted = loop.send([&] { ran = true; }); });
    other.join();
    EXPECT_FALSE(accepted);
    EXPECT_FALSE(ran);
}

// The lock's holder lives exactly as long as the run wants it; a command
// that cannot start holds nothing.
TEST(SleepInhibitor, HoldsWhileWantedAndLetsGoWhenTheRunEnds) {
    SleepInhibitor inhibitor({"cat"});
    EXPECT_FALSE(inhibitor.held());
    inhibitor.hold(true);
    ASSERT_TRUE(inhibitor.held());
    const pid_t holder = inhibitor.holder();
    EXPECT_EQ(::kill(holder, 0), 0);
    inhibitor.hold(true);  // holding twice starts nothing more
    EXPECT_EQ(inhibitor.holder(), holder);
    inhibitor.hold(false);
    EXPECT_FALSE(inhibitor.held());
    // Gone and reaped: its pipe closed, it ended.
    EXPECT_EQ(::kill(holder, 0), -1);

    SleepInhibitor missing({"/nonexistent/systemd-inhibit"});
    missing.hold(true);
    EXPECT_FALSE(missing.held());
}

}  // namespace
}  // namespace quenvara::uploader::wxui
