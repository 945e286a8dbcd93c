// The same-name question as a person sees and answers it.
#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/checkbox.h>
#include <wx/dialog.h>

#include <functional>

#include "uploader/app/front_end.h"
#include "uploader/frontend/wx/wx_event_loop.h"
#include "uploader/frontend/wx/wx_notices.h"

namespace quenvara::uploader::wxui {
namespace {

wxCheckBox* findCheckBox(wxWindow* parent) {
    for (wxWindow* child : parent->GetChildren()) {
        if (auto* box = dynamic_cast<wxCheckBox*>(child)) {
            return box;
        }
        if (auto* inner = findCheckBox(child)) {
            return inner;
        }
    }
    return nullptr;
}

// Once the question is up: what it shows, then the person's answer.
struct Seen {
    wxString caption;
    wxString checkLabel;
};

void answerWhenShown(bool check, int button, Seen& seen) {
    wxTheApp->CallAfter([check, button, &seen] {
        wxDialog* dialog = nullptr;
        for (wxWindow* top : wxTopLevelWindows) {
            if (auto* d = dynamic_cast<wxDialog*>(top); d != nullptr && d->IsModal()) {
                dialog = d;
            }
        }
        if (dialog == nullptr) {
            answerWhenShown(check, button, seen);
            return;
        }
        seen.caption = dialog->GetTitle();
        if (wxCheckBox* box = findCheckBox(dialog)) {
            seen.checkLabel = box->GetLabel();
            box->SetValue(check);
        }
        wxCommandEvent click(wxEVT_BUTTON, button);
        click.SetEventObject(dialog);
        dialog->ProcessWindowEvent(click);
    });
}

TEST(WxResumeQuestionTest, TheCheckBoxAppliesTheAnswerToAllFiles) {
    struct Case {
        bool check;
        int button;
        bool yes;
        bool applyToAll;
    };
    const Case cases[] = {
        {false, wxID_YES, true, false},
        {true, wxID_YES, true, true},
        {true, wxID_NO, false, true},
        {false, wxID_NO, false, false},
    };
    WxEventLoop loop;
    WxNotices notices(loop);
    WxResumeQuestion question(notices);
    for (const auto& c : cases) {
        Seen seen;
        answerWhenShown(c.check, c.button, seen);
        const auto answer = question.ask("song.mp3");
        EXPECT_EQ(seen.caption.utf8_string(), std::string(kSameNameCaption));
        EXPECT_EQ(seen.checkLabel.utf8_string(), "모든 파일에 적용");
        EXPECT_EQ(answer.yes, c.yes) << c.check << " " << c.button;
        EXPECT_EQ(answer.applyToAll, c.applyToAll) << c.check << " " << c.button;
    }
}

}  // namespace
}  // namespace quenvara::uploader::wxui
