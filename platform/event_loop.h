#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "platform/clock.h"
#include "platform/timer_queue.h"

namespace quenvara::platform {

// The window thread's message loop: tasks posted from any thread, a
// synchronous send (the way a window message is sent and handled before the
// sender goes on), and periodic timers by identifier.
class EventLoop {
  public:
    using Task = std::function<void()>;

    virtual ~EventLoop() = default;
    virtual void post(Task task) = 0;
    // Runs the task on the loop's thread and returns after it ran; false when
    // the loop has ended and the task did not run.
    virtual bool send(Task task) = 0;
    virtual void setTimer(int id, Millis period, Task onExpiry) = 0;
    virtual void killTimer(int id) = 0;
    virtual void quit() = 0;
};

// A loop that its owner runs on the window thread until quit().
class RunnableEventLoop : public EventLoop {
  public:
    virtual void run() = 0;
};

// The real loop: runs on the thread that calls run(). Timed by the steady
// clock; or, for tests, by a virtual clock whose idle time it skips: with
// nothing to do but wait for a timer, it moves that clock straight to it.
class ThreadEventLoop final : public RunnableEventLoop {
  public:
    // `virtualClock`, when given, must move forward when slept on.
    explicit ThreadEventLoop(Clock* virtualClock = nullptr)
        : clock_(virtualClock != nullptr ? virtualClock : &systemClock_),
          skipIdle_(virtualClock != nullptr) {}
    ThreadEventLoop(const ThreadEventLoop&) = delete;
    ThreadEventLoop& operator=(const ThreadEventLoop&) = delete;

    // Handles tasks and timers until quit(); pending sends are then refused.
    void run() override;

    void post(Task task) override;
    bool send(Task task) override;
    void setTimer(int id, Millis period, Task onExpiry) override;
    void killTimer(int id) override;
    void quit() override;

  private:
    bool onLoopThread() const;

    SystemClock systemClock_;
    Clock* clock_;
    bool skipIdle_ = false;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Task> tasks_;
    TimerQueue timers_;
    std::thread::id loopThread_;
    bool running_ = false;
    bool quit_ = false;
    bool ended_ = false;
};

}  // namespace quenvara::platform
