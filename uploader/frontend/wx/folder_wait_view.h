#pragma once

#include <wx/bitmap.h>
#include <wx/dialog.h>

#include "uploader/app/folder_wait_dialog.h"

namespace quenvara::uploader::wxui {

// The busy dialog over the main window while a folder is expanded: its
// background, the logic's animation frame and the button that ends it. The
// main window takes no input while it is up.
class FolderWaitView final : public wxDialog {
  public:
    static constexpr int kButtonId = 1015;

    FolderWaitView(wxWindow* owner, FolderWaitDialog& dialog);
    void update();
    std::string describe() const;

  private:
    FolderWaitDialog& dialog_;
    wxBitmap background_;
    int frame_ = -1;
};

}  // namespace quenvara::uploader::wxui
