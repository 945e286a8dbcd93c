// The lock of a control whose calls come from two threads, and the dialogs
// and clock that let go of it while they wait: while a person chooses a
// file, or the control waits for the uploader, the page's other calls are
// answered.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

#include "platform/clock.h"
#include "platform/file_dialogs.h"

namespace quenvara::webcontrol {

// A mutex that knows which thread holds it, so that a wait let go of it
// only where the waiting thread holds it.
class ControlLock {
  public:
    void lock() {
        mutex_.lock();
        owner_ = std::this_thread::get_id();
    }
    void unlock() {
        owner_ = std::thread::id{};
        mutex_.unlock();
    }
    bool heldHere() const { return owner_ == std::this_thread::get_id(); }

  private:
    std::mutex mutex_;
    std::atomic<std::thread::id> owner_{};
};

// Runs `wait` with `held` let go meanwhile, when the calling thread holds it.
template <class F>
auto unlockedDuring(ControlLock& held, F&& wait) {
    if (!held.heldHere()) {
        return wait();
    }
    held.unlock();
    struct Relock {
        ControlLock& m;
        ~Relock() { m.lock(); }
    } relock{held};
    return wait();
}

// For ControlServices::outsideLock.
inline std::function<void(const std::function<void()>&)> outsideOf(ControlLock& held) {
    return [&held](const std::function<void()>& wait) { unlockedDuring(held, wait); };
}

class UnlockedDialogs final : public platform::FileDialogs {
  public:
    UnlockedDialogs(platform::FileDialogs& inner, ControlLock& held) : inner_(inner), held_(held) {}
    std::optional<std::string> browseFolder(std::string_view title) override {
        return unlockedDuring(held_, [&] { return inner_.browseFolder(title); });
    }
    std::optional<std::string> openFile(std::string_view title) override {
        return unlockedDuring(held_, [&] { return inner_.openFile(title); });
    }

  private:
    platform::FileDialogs& inner_;
    ControlLock& held_;
};

class UnlockedClock final : public platform::Clock {
  public:
    UnlockedClock(platform::Clock& inner, ControlLock& held) : inner_(inner), held_(held) {}
    platform::Millis monotonic() const override { return inner_.monotonic(); }
    std::int64_t epochSeconds() const override { return inner_.epochSeconds(); }
    void sleepFor(platform::Millis duration) override {
        unlockedDuring(held_, [&] { inner_.sleepFor(duration); });
    }

  private:
    platform::Clock& inner_;
    ControlLock& held_;
};

}  // namespace quenvara::webcontrol
