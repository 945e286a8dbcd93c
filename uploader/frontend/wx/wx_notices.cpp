#include "uploader/frontend/wx/wx_notices.h"

#include <wx/msgdlg.h>
#include <wx/richmsgdlg.h>

#include <cstdio>

#include "uploader/app/front_end.h"
#include "uploader/widgets/delay_message_box.h"

namespace quenvara::uploader::wxui {

namespace {

wxString u8(std::string_view text) {
    return wxString::FromUTF8(text.data(), text.size());
}

long styleFor(platform::NoticeIcon icon) {
    switch (icon) {
        case platform::NoticeIcon::Information:
            return wxICON_INFORMATION;
        case platform::NoticeIcon::Question:
            return wxICON_QUESTION;
        case platform::NoticeIcon::Warning:
            return wxICON_WARNING;
        case platform::NoticeIcon::Stop:
            return wxICON_ERROR;
        case platform::NoticeIcon::None:
            break;
    }
    return wxICON_NONE;
}

}  // namespace

void WxNotices::setOpen(std::string description) {
    std::lock_guard lock(mutex_);
    open_ = std::move(description);
}

std::string WxNotices::openBox() const {
    std::lock_guard lock(mutex_);
    if (openWindow_ != nullptr) {
        // The caption may count down while the box is open.
        return "caption=\"" + openWindow_->GetLabel().utf8_string() + "\" " + open_;
    }
    return open_;
}

platform::NoticeAnswer WxNotices::messageBox(std::string_view text, std::string_view caption,
                                             platform::NoticeButtons buttons,
                                             platform::NoticeIcon icon) {
    platform::NoticeAnswer answer = buttons == platform::NoticeButtons::YesNo
                                        ? platform::NoticeAnswer::Yes
                                        : platform::NoticeAnswer::Ok;
    const std::string textCopy(text);
    const std::string captionCopy(caption);
    const bool shown = loop_.send([&] {
        // A box without the window to stand in front of (a second start's)
        // stays in front of every other window.
        const long style = styleFor(icon) |
                           (buttons == platform::NoticeButtons::YesNo ? wxYES_NO : wxOK) |
                           (owner_ == nullptr ? wxSTAY_ON_TOP : 0);
        wxMessageDialog box(owner_, u8(textCopy), u8(captionCopy), style);
        box.SetYesNoLabels(u8("예"), u8("아니오"));
        box.SetOKLabel(u8("확인"));
        {
            std::lock_guard lock(mutex_);
            open_ = "caption=\"" + captionCopy + "\" text=\"" + textCopy + "\"";
        }
        const int result = box.ShowModal();
        setOpen("");
        if (buttons == platform::NoticeButtons::YesNo) {
            answer = result == wxID_YES ? platform::NoticeAnswer::Yes : platform::NoticeAnswer::No;
        }
    });
    if (!shown) {
        // The window has gone: the line is all that is left to show.
        std::fprintf(stderr, "%s: %s\n", captionCopy.c_str(), platform::oneLine(textCopy).c_str());
    }
    return answer;
}

void WxNotices::autoClosingBox(std::string_view text, std::string_view caption, int seconds) {
    const std::string textCopy(text);
    (void)caption;  // the box writes its own caption as it counts down
    const bool shown = loop_.send([&] {
        widgets::CDelayMessageBox2 box(owner_, u8(textCopy), seconds, true, widgets::BoxButtons::Ok,
                                       widgets::BoxIcon::Information);
        {
            std::lock_guard lock(mutex_);
            open_ = "text=\"" + textCopy + "\"";
            openWindow_ = &box;
        }
        box.run();
        std::lock_guard lock(mutex_);
        openWindow_ = nullptr;
        open_.clear();
    });
    if (!shown) {
        std::fprintf(stderr, "%s\n", platform::oneLine(textCopy).c_str());
    }
}

std::pair<bool, bool> WxNotices::askWithCheckBox(std::string_view text, std::string_view caption,
                                                 std::string_view checkLabel) {
    std::pair<bool, bool> answer{true, false};
    const std::string textCopy(text);
    const std::string captionCopy(caption);
    const std::string checkCopy(checkLabel);
    const bool shown = loop_.send([&] {
        wxRichMessageDialog box(owner_, u8(textCopy), u8(captionCopy), wxYES_NO | wxICON_QUESTION);
        box.SetYesNoLabels(u8("예"), u8("아니오"));
        box.ShowCheckBox(u8(checkCopy));
        setOpen("caption=\"" + captionCopy + "\" text=\"" + textCopy + "\" check=\"" + checkCopy +
                "\"");
        const int result = box.ShowModal();
        setOpen("");
        answer = {result != wxID_NO, box.IsCheckBoxChecked()};
    });
    if (!shown) {
        std::fprintf(stderr, "%s: %s\n", captionCopy.c_str(), platform::oneLine(textCopy).c_str());
    }
    return answer;
}

ResumeQuestionDialog::Answer WxResumeQuestion::ask(const std::string& itemName) {
    const auto [yes, applyToAll] =
        notices_.askWithCheckBox(sameNameQuestion(itemName), kSameNameCaption, kApplyToAll);
    return {yes, applyToAll};
}

}  // namespace quenvara::uploader::wxui
