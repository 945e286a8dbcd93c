#include "platform/clock.h"

#include <thread>

namespace quenvara::platform {

Millis SystemClock::monotonic() const {
    return std::chrono::duration_cast<Millis>(std::chrono::steady_clock::now().time_since_epoch());
}

std::int64_t SystemClock::epochSeconds() const {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

void SystemClock::sleepFor(Millis duration) {
    std::this_thread::sleep_for(duration);
}

}  // namespace quenvara::platform
