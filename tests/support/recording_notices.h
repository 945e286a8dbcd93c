#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "platform/notices.h"

namespace quenvara::testing {

// Keeps every box shown and answers with a preset answer.
class RecordingNotices final : public platform::Notices {
  public:
    struct Box {
        std::string text;
        std::string caption;
        platform::NoticeButtons buttons;
        platform::NoticeIcon icon;
        int autoCloseSeconds;  // 0 for an ordinary box
    };

    platform::NoticeAnswer messageBox(std::string_view text, std::string_view caption,
                                      platform::NoticeButtons buttons,
                                      platform::NoticeIcon icon) override {
        std::lock_guard lock(mutex_);
        boxes_.push_back({std::string(text), std::string(caption), buttons, icon, 0});
        return buttons == platform::NoticeButtons::YesNo ? yesNoAnswer : platform::NoticeAnswer::Ok;
    }
    void autoClosingBox(std::string_view text, std::string_view caption, int seconds) override {
        std::lock_guard lock(mutex_);
        boxes_.push_back({std::string(text), std::string(caption), platform::NoticeButtons::Ok,
                          platform::NoticeIcon::None, seconds});
    }

    std::vector<Box> boxes() const {
        std::lock_guard lock(mutex_);
        return boxes_;
    }
    std::vector<std::string> texts() const {
        std::lock_guard lock(mutex_);
        std::vector<std::string> out;
        for (const auto& b : boxes_) {
            out.push_back(b.text);
        }
        return out;
    }

    void clear() {
        std::lock_guard lock(mutex_);
        boxes_.clear();
    }

    platform::NoticeAnswer yesNoAnswer = platform::NoticeAnswer::Yes;

  private:
    mutable std::mutex mutex_;
    std::vector<Box> boxes_;
};

}  // namespace quenvara::testing
