#pragma once

#include <functional>
#include <map>
#include <optional>

#include "platform/clock.h"

namespace quenvara::platform {

// Periodic timers keyed by identifier, as window timers are: setting an
// identifier again replaces that timer, and a timer fires every period until
// it is killed. Pure bookkeeping; the event loops supply the time.
class TimerQueue {
  public:
    using Callback = std::function<void()>;

    void set(int id, Millis period, Millis now, Callback callback);
    void kill(int id);
    bool active(int id) const { return timers_.contains(id); }
    bool empty() const { return timers_.empty(); }

    // Earliest due time of all timers.
    std::optional<Millis> nextDue() const;

    // The earliest timer due at `now`, rescheduled for its next period
    // before it is handed out, so its callback may kill or reset it.
    std::optional<Callback> takeDue(Millis now);

  private:
    struct Timer {
        Millis period;
        Millis due;
        std::uint64_t order;  // equal due times fire in the order they were set
        Callback callback;
    };
    std::map<int, Timer> timers_;
    std::uint64_t nextOrder_ = 0;
};

}  // namespace quenvara::platform
