#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <vector>

#include "platform/clock.h"

namespace quenvara::testing {

// Time that moves only when told. With auto-advance a sleep moves the clock
// forward at once (for code that waits on one thread); without it a sleeper
// blocks until another thread calls advance().
class VirtualClock final : public platform::Clock {
  public:
    explicit VirtualClock(bool autoAdvance = true, std::int64_t epochStart = 1'700'000'000)
        : autoAdvance_(autoAdvance), epochStart_(epochStart) {}

    platform::Millis monotonic() const override;
    std::int64_t epochSeconds() const override;
    void sleepFor(platform::Millis duration) override;

    void advance(platform::Millis duration);
    // Every sleep asked for, in order.
    std::vector<platform::Millis> sleeps() const;
    // Blocks (real time, bounded) until this many threads sleep.
    bool waitForSleepers(int count, platform::Millis realTimeout = platform::Millis{5000}) const;
    // Called on the sleeping thread before each sleep (set it before any).
    std::function<void(platform::Millis)> onSleep;

  private:
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    bool autoAdvance_;
    std::int64_t epochStart_;
    platform::Millis now_{0};
    int sleeping_ = 0;
    std::vector<platform::Millis> sleeps_;
};

}  // namespace quenvara::testing
