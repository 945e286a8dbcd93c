#pragma once

#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/notices.h"
#include "webcontrol/quenvara_upload_control.h"

namespace quenvara::webcontrol {

// The boxes a call shows: written to standard error (the browser's log) and
// handed back to the page with the call's answer.
class CollectingNotices final : public platform::Notices {
  public:
    platform::NoticeAnswer messageBox(std::string_view text, std::string_view caption,
                                      platform::NoticeButtons buttons,
                                      platform::NoticeIcon icon) override;
    void autoClosingBox(std::string_view text, std::string_view caption, int seconds) override;
    std::vector<std::string> take();

  private:
    std::mutex mutex_;
    std::vector<std::string> texts_;
};

// One page connection: its control, and the requests that drive it.
//   {"id": 7, "member": "ShowSelectDlg", "args": [1]}
// is answered with {"id": 7, "result": "/home/me/album"} or
// {"id": 7, "error": "…"}, and "notices" when boxes were shown.
class HostSession {
  public:
    HostSession(CQuenvaraUploadControlCtrl& control, CollectingNotices& notices)
        : control_(control), notices_(notices) {}
    std::string handle(std::string_view request);
    // The answer to a message that could not be read at all.
    static std::string errorAnswer(std::string_view why);

  private:
    CQuenvaraUploadControlCtrl& control_;
    CollectingNotices& notices_;
};

}  // namespace quenvara::webcontrol
