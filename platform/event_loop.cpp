#include "platform/event_loop.h"

#include <memory>

namespace quenvara::platform {

void ThreadEventLoop::run() {
    std::unique_lock lock(mutex_);
    loopThread_ = std::this_thread::get_id();
    running_ = true;
    while (!quit_) {
        if (!tasks_.empty()) {
            Task task = std::move(tasks_.front());
            tasks_.pop_front();
            lock.unlock();
            task();
            lock.lock();
            continue;
        }
        if (auto due = timers_.takeDue(clock_->monotonic())) {
            lock.unlock();
            (*due)();
            lock.lock();
            continue;
        }
        if (auto next = timers_.nextDue()) {
            const auto wait = *next - clock_->monotonic();
            if (skipIdle_) {
                lock.unlock();
                std::this_thread::yield();  // let other threads post first
                lock.lock();
                if (tasks_.empty() && !quit_) {
                    clock_->sleepFor(wait);
                }
            } else {
                wake_.wait_for(lock, wait);
            }
        } else {
            wake_.wait(lock);
        }
    }
    running_ = false;
    ended_ = true;
    // Senders still waiting learn that their task will not run.
    tasks_.clear();
    wake_.notify_all();
}

bool ThreadEventLoop::onLoopThread() const {
    return running_ && loopThread_ == std::this_thread::get_id();
}

void ThreadEventLoop::post(Task task) {
    {
        std::lock_guard lock(mutex_);
        if (ended_) {
            return;
        }
        tasks_.push_back(std::move(task));
    }
    wake_.notify_all();
}

bool ThreadEventLoop::send(Task task) {
    std::unique_lock lock(mutex_);
    if (onLoopThread()) {
        // Sending to one's own window handles the message at once.
        lock.unlock();
        task();
        return true;
    }
    if (ended_) {
        return false;
    }
    auto done = std::make_shared<bool>(false);
    tasks_.push_back([this, done, task = std::move(task)] {
        task();
        std::lock_guard inner(mutex_);
        *done = true;
        wake_.notify_all();
    });
    wake_.notify_all();
    wake_.wait(lock, [&] { return *done || ended_; });
    return *done;
}

void ThreadEventLoop::setTimer(int id, Millis period, Task onExpiry) {
    {
        std::lock_guard lock(mutex_);
        timers_.set(id, period, clock_->monotonic(), std::move(onExpiry));
    }
    wake_.notify_all();
}

void ThreadEventLoop::killTimer(int id) {
    std::lock_guard lock(mutex_);
    timers_.kill(id);
}

void ThreadEventLoop::quit() {
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
    }
    wake_.notify_all();
}

}  // namespace quenvara::platform
