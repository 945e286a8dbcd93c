// The dialogs and the clock of a control whose calls hold a lock: while a
// person chooses a file, or the control waits for the uploader to start,
// the lock is let go, so that the page's other calls are answered.
#pragma once

#include <mutex>

#include "platform/clock.h"
#include "platform/file_dialogs.h"

namespace quenvara::webcontrol {

// Runs `wait` with `held` (locked by the calling thread) let go meanwhile.
template <class F>
auto unlockedDuring(std::mutex& held, F&& wait) {
    held.unlock();
    struct Relock {
        std::mutex& m;
        ~Relock() { m.lock(); }
    } relock{held};
    return wait();
}

class UnlockedDialogs final : public platform::FileDialogs {
  public:
    UnlockedDialogs(platform::FileDialogs& inner, std::mutex& held) : inner_(inner), held_(held) {}
    std::optional<std::string> browseFolder(std::string_view title) override {
        return unlockedDuring(held_, [&] { return inner_.browseFolder(title); });
    }
    std::optional<std::string> openFile(std::string_view title) override {
        return unlockedDuring(held_, [&] { return inner_.openFile(title); });
    }

  private:
    platform::FileDialogs& inner_;
    std::mutex& held_;
};

class UnlockedClock final : public platform::Clock {
  public:
    UnlockedClock(platform::Clock& inner, std::mutex& held) : inner_(inner), held_(held) {}
    platform::Millis monotonic() const override { return inner_.monotonic(); }
    std::int64_t epochSeconds() const override { return inner_.epochSeconds(); }
    void sleepFor(platform::Millis duration) override {
        unlockedDuring(held_, [&] { inner_.sleepFor(duration); });
    }

  private:
    platform::Clock& inner_;
    std::mutex& held_;
};

}  // namespace quenvara::webcontrol
