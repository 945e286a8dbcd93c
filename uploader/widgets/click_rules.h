#pragma once

#include <cstdint>
#include <optional>

namespace quenvara::widgets {

// Makes double clicks out of single presses, for a toolkit that reports
// only presses: a press within `intervalMs` of the one before completes a
// double click; the press after that starts afresh.
class DoubleClickRule {
  public:
    explicit DoubleClickRule(std::int64_t intervalMs) : intervalMs_(intervalMs) {}

    // True for the press that completes a double click.
    bool press(std::int64_t atMs) {
        if (first_ && atMs - *first_ <= intervalMs_ && atMs >= *first_) {
            first_.reset();
            return true;
        }
        first_ = atMs;
        return false;
    }

  private:
    std::int64_t intervalMs_;
    std::optional<std::int64_t> first_;
};

}  // namespace quenvara::widgets
