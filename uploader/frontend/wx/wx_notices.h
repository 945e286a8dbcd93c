#pragma once

#include <wx/window.h>

#include <mutex>
#include <string>
#include <utility>

#include "platform/event_loop.h"
#include "platform/notices.h"
#include "uploader/transfer/upload_session.h"

namespace quenvara::uploader::wxui {

// Message boxes as dialogs on the GUI thread, whichever thread asks; the
// asking thread waits for the answer as it would for a modal box.
class WxNotices final : public platform::Notices {
  public:
    explicit WxNotices(platform::EventLoop& loop) : loop_(loop) {}
    void setOwner(wxWindow* owner) { owner_ = owner; }

    platform::NoticeAnswer messageBox(std::string_view text, std::string_view caption,
                                      platform::NoticeButtons buttons,
                                      platform::NoticeIcon icon) override;
    void autoClosingBox(std::string_view text, std::string_view caption, int seconds) override;

    // A Yes / No question with a check box under its text; whether the
    // answer was yes and whether the box was checked. Yes when the window
    // has gone.
    std::pair<bool, bool> askWithCheckBox(std::string_view text, std::string_view caption,
                                          std::string_view checkLabel);

    // The box now open, for scripted checks: "" when none.
    std::string openBox() const;

  private:
    void setOpen(std::string description);

    platform::EventLoop& loop_;
    wxWindow* owner_ = nullptr;
    mutable std::mutex mutex_;
    std::string open_;
    wxWindow* openWindow_ = nullptr;
};

// The same-name question as a Yes / No box whose check box applies the
// answer to all files.
class WxResumeQuestion final : public ResumeQuestionDialog {
  public:
    static constexpr std::string_view kApplyToAll = "모든 파일에 적용";

    explicit WxResumeQuestion(WxNotices& notices) : notices_(notices) {}
    Answer ask(const std::string& itemName) override;

  private:
    WxNotices& notices_;
};

}  // namespace quenvara::uploader::wxui
