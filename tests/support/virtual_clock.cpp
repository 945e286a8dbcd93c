#include "tests/support/virtual_clock.h"

namespace quenvara::testing {

platform::Millis VirtualClock::monotonic() const {
    std::lock_guard lock(mutex_);
    return now_;
}

std::int64_t VirtualClock::epochSeconds() const {
    std::lock_guard lock(mutex_);
    return epochStart_ + now_.count() / 1000;
}

void VirtualClock::sleepFor(platform::Millis duration) {
    if (onSleep) {
        onSleep(duration);
    }
    std::unique_lock lock(mutex_);
    sleeps_.push_back(duration);
    if (autoAdvance_) {
        now_ += duration;
        changed_.notify_all();
        return;
    }
    const auto until = now_ + duration;
    ++sleeping_;
    changed_.notify_all();
    changed_.wait(lock, [&] { return now_ >= until; });
    --sleeping_;
    changed_.notify_all();
}

void VirtualClock::advance(platform::Millis duration) {
    std::lock_guard lock(mutex_);
    now_ += duration;
    changed_.notify_all();
}

std::vector<platform::Millis> VirtualClock::sleeps() const {
    std::lock_guard lock(mutex_);
    return sleeps_;
}

bool VirtualClock::waitForSleepers(int count, platform::Millis realTimeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, realTimeout, [&] { return sleeping_ >= count; });
}

}  // namespace quenvara::testing
