#include "uploader/frontend/wx/folder_wait_view.h"

#include <wx/dcbuffer.h>

#include "uploader/widgets/skin_bitmaps.h"
#include "uploader/widgets/skin_button.h"

namespace quenvara::uploader::wxui {

FolderWaitView::FolderWaitView(wxWindow* owner, FolderWaitDialog& dialog)
    : wxDialog(owner, wxID_ANY, "", wxDefaultPosition, wxDefaultSize, wxBORDER_NONE),
      dialog_(dialog),
      background_(widgets::skin::folderWaitBackground()) {
    // It sizes itself to its background and sits in the middle.
    SetClientSize(background_.GetSize());
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    const wxSize buttonSize(60, 24);
    auto* button = new widgets::SkinButton(this, kButtonId);
    button->setBitmaps(widgets::skin::buttonFace(widgets::skin::ButtonGlyph::Wait,
                                                 widgets::skin::ButtonFace::Normal, buttonSize),
                       widgets::skin::buttonFace(widgets::skin::ButtonGlyph::Wait,
                                                 widgets::skin::ButtonFace::Hover, buttonSize),
                       widgets::skin::buttonFace(widgets::skin::ButtonGlyph::Wait,
                                                 widgets::skin::ButtonFace::Pressed, buttonSize),
                       wxBitmap());
    button->setMask(widgets::skin::buttonMask(buttonSize, 6));
    button->SetPosition(
        {background_.GetWidth() - buttonSize.x - 14, background_.GetHeight() - buttonSize.y - 12});
    button->setOnClick([this] {
        dialog_.close();
        update();
    });
    Bind(wxEVT_PAINT, [this](wxPaintEvent&) {
        wxAutoBufferedPaintDC dc(this);
        dc.DrawBitmap(background_, 0, 0);
        dc.DrawBitmap(widgets::skin::folderWaitFrame(std::max(frame_, 0)), 18, 16);
    });
    // Enter, Escape and F12 do not close it (the logic speaks the
    // platform's key codes: 13, 27 and 0x7B).
    Bind(wxEVT_CHAR_HOOK, [this](wxKeyEvent& event) {
        const int key = event.GetKeyCode() == WXK_F12 ? 0x7B : event.GetKeyCode();
        if (!dialog_.swallowsKey(key)) {
            event.Skip();
        }
    });
}

void FolderWaitView::update() {
    if (dialog_.open()) {
        if (!IsShown()) {
            CentreOnParent();
            GetParent()->Disable();
            Show();
            Raise();
        }
        if (dialog_.frame() != frame_) {
            frame_ = dialog_.frame();
            Refresh(false);
        }
    } else if (IsShown()) {
        Hide();
        GetParent()->Enable();
        frame_ = -1;
    }
}

std::string FolderWaitView::describe() const {
    return "folderwait open=" + std::to_string(IsShown()) + " frame=" + std::to_string(frame_);
}

}  // namespace quenvara::uploader::wxui
