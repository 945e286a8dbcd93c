#pragma once

#include <chrono>
#include <cstdint>

namespace quenvara::platform {

using Millis = std::chrono::milliseconds;

// Every wait and every reading of the time goes through a Clock, so that
// tests can run the engine's long waits in virtual time.
class Clock {
  public:
    virtual ~Clock() = default;
    // Monotonic time since an arbitrary start.
    virtual Millis monotonic() const = 0;
    // Wall-clock seconds since the epoch (the platform time function).
    virtual std::int64_t epochSeconds() const = 0;
    virtual void sleepFor(Millis duration) = 0;
};

class SystemClock final : public Clock {
  public:
    Millis monotonic() const override;
    std::int64_t epochSeconds() const override;
    void sleepFor(Millis duration) override;
};

}  // namespace quenvara::platform
