#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "platform/notices.h"
#include "webcontrol/host/unlocked_waits.h"
#include "webcontrol/quenvara_upload_control.h"

namespace quenvara::webcontrol {

// The boxes a call shows: written to standard error (the browser's log) and
// handed back to the page with the call's answer. Calls may run on two
// threads at once (a dialog, and queries meanwhile): each takes its own.
class CollectingNotices final : public platform::Notices {
  public:
    platform::NoticeAnswer messageBox(std::string_view text, std::string_view caption,
                                      platform::NoticeButtons buttons,
                                      platform::NoticeIcon icon) override;
    void autoClosingBox(std::string_view text, std::string_view caption, int seconds) override;
    // The boxes shown on the calling thread.
    std::vector<std::string> take();

  private:
    std::mutex mutex_;
    std::vector<std::pair<std::thread::id, std::string>> texts_;
};

// One page connection: its control, and the requests that drive it.
//   {"id": 7, "member": "ShowSelectDlg", "args": [1]}
// is answered with {"id": 7, "result": "/home/me/album"} or
// {"id": 7, "error": "…"}, and "notices" when boxes were shown.
class HostSession {
  public:
    // The browser drops a host whose message to it is larger than this.
    static constexpr std::size_t kMaxAnswer = 1024 * 1024;

    // `controlLock` guards the control; a dialog or a wait of a long call
    // lets go of it meanwhile (see UnlockedWaits), so that queries go on.
    HostSession(CQuenvaraUploadControlCtrl& control, CollectingNotices& notices,
                ControlLock* controlLock = nullptr)
        : control_(control), notices_(notices), lock_(controlLock ? *controlLock : ownLock_) {}
    std::string handle(std::string_view request);
    // The answer to a message that could not be read at all, under the id
    // it had (JSON text), when known.
    static std::string errorAnswer(std::string_view why,
                                   const std::optional<std::string>& id = std::nullopt);
    // An error answer to `request`, under its id.
    static std::string refusal(std::string_view request, std::string_view why);
    // The member a request names, when it names one.
    static std::optional<std::string> memberOf(std::string_view request);

  private:
    CQuenvaraUploadControlCtrl& control_;
    CollectingNotices& notices_;
    ControlLock ownLock_;
    ControlLock& lock_;
};

}  // namespace quenvara::webcontrol
