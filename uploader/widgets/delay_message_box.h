#pragma once

#include <wx/dialog.h>
#include <wx/stattext.h>
#include <wx/timer.h>

#include <memory>

#include "uploader/widgets/countdown.h"

namespace quenvara::widgets {

enum class BoxButtons { Ok, OkCancel, YesNo };
enum class BoxIcon { None, Information, Question, Warning, Stop };

// A message box that counts down and, with auto-close, closes itself as if
// cancelled. The count is shown in the caption (`CDelayMessageBox2`) or in a
// line of the box (`CDelayMessageBox`).
class DelayMessageBoxBase : public wxDialog {
  public:
    enum class CountIn { Caption, Line };

    DelayMessageBoxBase(wxWindow* owner, const wxString& text, int seconds, bool autoClose,
                        BoxButtons buttons, BoxIcon icon, CountIn countIn);

    int secondsLeft() const { return countdown_.secondsLeft(); }
    wxString countdownText() const;
    // The button pressed: wxID_OK, wxID_CANCEL, wxID_YES or wxID_NO.
    int run() { return ShowModal(); }

  private:
    void onTick(wxTimerEvent&);
    void showCount();

    Countdown countdown_;
    CountIn countIn_;
    wxTimer timer_;
    wxStaticText* countLine_ = nullptr;
    wxWindow* secondButton_ = nullptr;
};

class CDelayMessageBox2 : public DelayMessageBoxBase {
  public:
    CDelayMessageBox2(wxWindow* owner, const wxString& text, int seconds, bool autoClose,
                      BoxButtons buttons, BoxIcon icon)
        : DelayMessageBoxBase(owner, text, seconds, autoClose, buttons, icon, CountIn::Caption) {}
};

class CDelayMessageBox : public DelayMessageBoxBase {
  public:
    CDelayMessageBox(wxWindow* owner, const wxString& text, int seconds, bool autoClose,
                     BoxButtons buttons, BoxIcon icon)
        : DelayMessageBoxBase(owner, text, seconds, autoClose, buttons, icon, CountIn::Line) {}
};

}  // namespace quenvara::widgets
