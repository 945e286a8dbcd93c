#pragma once

#include "platform/notices.h"

namespace quenvara::platform {

// Windows only: the system's message boxes, owned by the active window of
// the calling thread (none when it has none).
class MessageBoxNotices final : public Notices {
  public:
    NoticeAnswer messageBox(std::string_view text, std::string_view caption, NoticeButtons buttons,
                            NoticeIcon icon) override;
    // The system's timed message box where it has one, else an ordinary box.
    void autoClosingBox(std::string_view text, std::string_view caption, int seconds) override;
};

}  // namespace quenvara::platform
