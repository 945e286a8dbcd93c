#pragma once

#include <string_view>

namespace quenvara::uploader {

// The corner notification popup (the task-bar notifier).
class CornerNotifier {
  public:
    virtual ~CornerNotifier() = default;
    // Appear, stay and disappear times in milliseconds; an auto-hide text of
    // "false" keeps the popup until it is clicked.
    virtual void show(std::string_view text, int appearMs, int stayMs, int disappearMs,
                      std::string_view autoHide) = 0;
};

}  // namespace quenvara::uploader
