#include "uploader/widgets/delay_message_box.h"

#include <wx/artprov.h>
#include <wx/button.h>
#include <wx/sizer.h>
#include <wx/statbmp.h>

namespace quenvara::widgets {

namespace {

wxArtID artFor(BoxIcon icon) {
    switch (icon) {
        case BoxIcon::Information:
            return wxART_INFORMATION;
        case BoxIcon::Question:
            return wxART_QUESTION;
        case BoxIcon::Warning:
            return wxART_WARNING;
        case BoxIcon::Stop:
            return wxART_ERROR;
        case BoxIcon::None:
            break;
    }
    return {};
}

}  // namespace

DelayMessageBoxBase::DelayMessageBoxBase(wxWindow* owner, const wxString& text, int seconds,
                                         bool autoClose, BoxButtons buttons, BoxIcon icon,
                                         CountIn countIn)
    : wxDialog(owner, wxID_ANY, "", wxDefaultPosition, wxDefaultSize, wxDEFAULT_DIALOG_STYLE),
      countdown_(seconds, autoClose),
      countIn_(countIn),
      timer_(this, Countdown::kTimerId) {
    auto* top = new wxBoxSizer(wxVERTICAL);
    auto* row = new wxBoxSizer(wxHORIZONTAL);
    if (const auto art = artFor(icon); !art.empty()) {
        row->Add(
            new wxStaticBitmap(this, wxID_ANY, wxArtProvider::GetBitmap(art, wxART_MESSAGE_BOX)), 0,
            wxALL, 10);
    }
    auto* column = new wxBoxSizer(wxVERTICAL);
    column->Add(new wxStaticText(this, wxID_ANY, text), 0, wxALL, 10);
    if (countIn_ == CountIn::Line) {
        countLine_ = new wxStaticText(this, wxID_ANY, "");
        column->Add(countLine_, 0, wxLEFT | wxRIGHT | wxBOTTOM, 10);
    }
    row->Add(column, 1, wxEXPAND);
    top->Add(row, 1, wxEXPAND);

    auto* buttonRow = new wxBoxSizer(wxHORIZONTAL);
    auto addButton = [&](int id, const char* label) {
        auto* button = new wxButton(this, id, wxString::FromUTF8(label));
        buttonRow->Add(button, 0, wxALL, 5);
        return button;
    };
    wxButton* first = nullptr;
    switch (buttons) {
        case BoxButtons::Ok:
            first = addButton(wxID_OK, "확인");
            break;
        case BoxButtons::OkCancel:
            first = addButton(wxID_OK, "확인");
            secondButton_ = addButton(wxID_CANCEL, "취소");
            break;
        case BoxButtons::YesNo:
            first = addButton(wxID_YES, "예");
            secondButton_ = addButton(wxID_NO, "아니오");
            break;
    }
    first->SetDefault();
    SetAffirmativeId(first->GetId());
    SetEscapeId(secondButton_ != nullptr ? secondButton_->GetId() : first->GetId());
    for (auto* child : GetChildren()) {
        if (auto* button = dynamic_cast<wxButton*>(child)) {
            button->Bind(wxEVT_BUTTON, [this](wxCommandEvent& event) {
                timer_.Stop();
                EndModal(event.GetId());
            });
        }
    }
    top->Add(buttonRow, 0, wxALIGN_CENTER);
    SetSizerAndFit(top);
    if (countIn_ == CountIn::Caption) {
        // The contents do not widen the title bar: room for the first (the
        // longest) count and the title bar's own icon and buttons.
        const int wanted = GetTextExtent(countdownText()).x + 120;
        if (GetSize().x < wanted) {
            SetMinSize(wxSize(wanted, GetSize().y));
            SetSize(wxSize(wanted, GetSize().y));
        }
    }
    CentreOnParent();
    showCount();
    Bind(wxEVT_TIMER, &DelayMessageBoxBase::onTick, this, Countdown::kTimerId);
    Bind(wxEVT_INIT_DIALOG, [this](wxInitDialogEvent& event) {
        timer_.Start(Countdown::kPeriodMs);
        event.Skip();
    });
}

wxString DelayMessageBoxBase::countdownText() const {
    return wxString::FromUTF8(countdown_.text());
}

void DelayMessageBoxBase::showCount() {
    if (countIn_ == CountIn::Caption) {
        SetTitle(countdownText());
    } else if (countLine_ != nullptr) {
        countLine_->SetLabel(countdownText());
    }
}

void DelayMessageBoxBase::onTick(wxTimerEvent&) {
    const auto step = countdown_.tick();
    if (step == Countdown::Step::Count) {
        showCount();
        return;
    }
    timer_.Stop();
    if (secondButton_ != nullptr) {
        secondButton_->SetFocus();
    }
    if (step == Countdown::Step::FinishClose) {
        // Closed by the count: the answer is the cancel one.
        EndModal(secondButton_ != nullptr ? secondButton_->GetId() : wxID_CANCEL);
    }
}

}  // namespace quenvara::widgets
