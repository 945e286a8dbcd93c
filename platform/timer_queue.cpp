#include "platform/timer_queue.h"

#include <algorithm>

namespace quenvara::platform {

void TimerQueue::set(int id, Millis period, Millis now, Callback callback) {
    // A zero period would fire without end at one instant.
    period = std::max(period, Millis{1});
    timers_[id] = Timer{period, now + period, nextOrder_++, std::move(callback)};
}

void TimerQueue::kill(int id) {
    timers_.erase(id);
}

std::optional<Millis> TimerQueue::nextDue() const {
    std::optional<Millis> due;
    for (const auto& [id, t] : timers_) {
        if (!due || t.due < *due) {
            due = t.due;
        }
    }
    return due;
}

std::optional<TimerQueue::Callback> TimerQueue::takeDue(Millis now) {
    auto best = timers_.end();
    for (auto it = timers_.begin(); it != timers_.end(); ++it) {
        if (it->second.due <= now &&
            (best == timers_.end() || it->second.due < best->second.due ||
             (it->second.due == best->second.due && it->second.order < best->second.order))) {
            best = it;
        }
    }
    if (best == timers_.end()) {
        return std::nullopt;
    }
    Timer& t = best->second;
    // A late loop fires once, not once for every period it missed.
    t.due = std::max(t.due + t.period, now + Millis{1});
    t.order = nextOrder_++;
    return t.callback;
}

}  // namespace quenvara::platform
