#pragma once

#include <deque>
#include <mutex>
#include <thread>

#include "platform/event_loop.h"
#include "platform/timer_queue.h"
#include "tests/support/virtual_clock.h"

namespace quenvara::testing {

// An event loop driven by the test: tasks run when the test pumps, timers
// fire as the test moves virtual time. Sends from the test's own thread run
// at once; sends from other threads wait until the test pumps.
class ManualEventLoop final : public platform::EventLoop {
  public:
    explicit ManualEventLoop(VirtualClock& clock)
        : clock_(clock), owner_(std::this_thread::get_id()) {}

    void post(Task task) override;
    bool send(Task task) override;
    void setTimer(int id, platform::Millis period, Task onExpiry) override;
    void killTimer(int id) override;
    void quit() override;

    // Runs every queued task (and what those queue in turn).
    void runPending();
    // Moves time forward, firing each timer at its due time in order.
    void advance(platform::Millis duration);
    bool timerActive(int id) const;
    bool quitRequested() const;

  private:
    VirtualClock& clock_;
    std::thread::id owner_;
    mutable std::mutex mutex_;
    std::condition_variable done_;
    std::deque<Task> tasks_;
    platform::TimerQueue timers_;
    bool quit_ = false;
};

}  // namespace quenvara::testing
