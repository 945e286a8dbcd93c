#include "tests/support/manual_event_loop.h"

namespace quenvara::testing {

void ManualEventLoop::post(Task task) {
    std::lock_guard lock(mutex_);
    tasks_.push_back(std::move(task));
}

bool ManualEventLoop::send(Task task) {
    if (std::this_thread::get_id() == owner_) {
        task();
        return true;
    }
    auto done = std::make_shared<bool>(false);
    std::unique_lock lock(mutex_);
    tasks_.push_back([this, done, task = std::move(task)] {
        task();
        std::lock_guard inner(mutex_);
        *done = true;
        done_.notify_all();
    });
    done_.wait(lock, [&] { return *done || quit_; });
    return *done;
}

void ManualEventLoop::setTimer(int id, platform::Millis period, Task onExpiry) {
    std::lock_guard lock(mutex_);
    timers_.set(id, period, clock_.monotonic(), std::move(onExpiry));
}

void ManualEventLoop::killTimer(int id) {
    std::lock_guard lock(mutex_);
    timers_.kill(id);
}

void ManualEventLoop::quit() {
    std::lock_guard lock(mutex_);
    quit_ = true;
    done_.notify_all();
}

void ManualEventLoop::runPending() {
    for (;;) {
        Task task;
        {
            std::lock_guard lock(mutex_);
            if (tasks_.empty()) {
                return;
            }
            task = std::move(tasks_.front());
            tasks_.pop_front();
        }
        task();
    }
}

void ManualEventLoop::advance(platform::Millis duration) {
    const auto end = clock_.monotonic() + duration;
    runPending();
    for (;;) {
        std::optional<Task> due;
        {
            std::lock_guard lock(mutex_);
            auto next = timers_.nextDue();
            if (!next || *next > end) {
                break;
            }
            if (*next > clock_.monotonic()) {
                clock_.advance(*next - clock_.monotonic());
            }
            due = timers_.takeDue(clock_.monotonic());
        }
        if (due) {
            (*due)();
        }
        runPending();
    }
    if (end > clock_.monotonic()) {
        clock_.advance(end - clock_.monotonic());
    }
}

bool ManualEventLoop::timerActive(int id) const {
    std::lock_guard lock(mutex_);
    return timers_.active(id);
}

bool ManualEventLoop::quitRequested() const {
    std::lock_guard lock(mutex_);
    return quit_;
}

}  // namespace quenvara::testing
