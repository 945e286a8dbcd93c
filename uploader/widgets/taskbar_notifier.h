#pragma once

#include <wx/bitmap.h>
#include <wx/frame.h>
#include <wx/timer.h>

#include <map>
#include <memory>

#include "uploader/widgets/notifier_motion.h"

namespace quenvara::widgets {

// The corner popup: a skinned window that slides out of the task bar's
// side, stays, and slides back; a click on its text or close spot sends it
// away early.
class CTaskbarNotifier : public wxFrame, private NotifierTimers {
  public:
    // Font style bits.
    static constexpr int kBold = 1;
    static constexpr int kItalic = 2;
    static constexpr int kUnderline = 4;

    explicit CTaskbarNotifier(wxWindow* owner);
    ~CTaskbarNotifier() override;

    // A transparent colour of -1 keeps the window rectangular.
    void setSkin(const wxBitmap& skin, long transparent = -1);
    void setTextFont(const wxString& face, int tenthsOfPoint, int normalStyle, int hoverStyle);
    void setTextColours(const wxColour& normal, const wxColour& hover);
    void setTextRect(const wxRect& rect);
    void setAutoHide(const std::string& autoHide) { motion_->setAutoHide(autoHide); }

    void showText(const wxString& text, int appearMs, int stayMs, int disappearMs);
    void hideNow();

    NotifierMotion::Phase phase() const { return motion_->phase(); }
    wxString text() const { return text_; }
    bool hovering() const { return hover_; }
    // The popup's position on screen at its last move.
    wxRect placedRect() const { return placed_; }

  private:
    void start(int id, int milliseconds) override;
    void stop(int id) override;
    void onPaint(wxPaintEvent&);
    void place();

    wxBitmap skin_;
    std::unique_ptr<NotifierMotion> motion_;
    std::map<int, std::unique_ptr<wxTimer>> timers_;
    wxString text_;
    wxRect textRect_;
    wxFont normalFont_;
    wxFont hoverFont_;
    wxColour normalColour_{133, 146, 181};
    wxColour hoverColour_{10, 36, 106};
    bool hover_ = false;
    wxRect placed_;
};

// The text's lines for its rectangle: word-wrapped, the last line ending in
// an ellipsis when the text does not fit.
wxArrayString wrapText(wxDC& dc, const wxString& text, int width, int height);

}  // namespace quenvara::widgets
