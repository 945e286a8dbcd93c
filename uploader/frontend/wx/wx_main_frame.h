#pragma once

#include <wx/frame.h>
#include <wx/imaglist.h>
#include <wx/listctrl.h>
#include <wx/menu.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/timer.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "uploader/app/dialog_view.h"
#include "uploader/frontend/wx/wx_list_geometry.h"
#include "uploader/list/file_list_view.h"
#include "uploader/widgets/skin_button.h"
#include "uploader/widgets/skin_check_box.h"
#include "uploader/widgets/text_progress_ctrl.h"

namespace quenvara::uploader {
class UploadMainWindow;
}

namespace quenvara::uploader::wxui {

// The main progress window: captionless, shaped, sized from its own frame,
// with every control of the window logic drawn by a real widget. It reads
// the logic's values at each refresh and sends clicks back to it.
class WxMainFrame final : public wxFrame {
  public:
    static constexpr int kMinimumSize = 572;
    static constexpr int kAboutCommand = 16;
    // The menu's own close: the stock close id would bring a shortcut the
    // window does not take.
    static constexpr int kCloseCommand = 17;
    static constexpr int kRowsPerRefresh = 100;

    WxMainFrame(const DialogView& view, const CFileListView& list, const std::string& webSite);

    void connect(UploadMainWindow& window);
    // Brings the widgets up to date with the window logic.
    void refresh();
    const WxListGeometry& geometry() const { return geometry_; }
    bool trayAvailable() const { return trayAvailable_; }
    void setTrayAvailable(bool available) { trayAvailable_ = available; }

    // What the widgets show, one line each, for scripted checks.
    std::vector<std::string> describe() const;
    wxRect rowBarRect() const;
    // The menu of the caption band's right click.
    std::unique_ptr<wxMenu> systemMenu() const;

  private:
    void createControls(const std::string& webSite);
    // The shape and the controls' places for the frame's size.
    void reshape();
    void layoutControls();
    void applyView();
    void applyList();
    void applyWindowState();
    void placeRowBar();
    // Empties the state cell of the row under the bar (-1: none), so that
    // none of its text shows beside the bar; the row it leaves gets its text
    // back.
    void blankStateUnderBar(int row);
    void onPaint(wxPaintEvent&);
    void paintCaptionBand(wxDC& dc, const wxSize& size) const;
    void setCaptionBackdrops();
    // Where the caption is drawn, and how wide it may be before the
    // caption buttons.
    wxRect captionRoom() const;
    void onLeftDown(wxMouseEvent&);
    void onMotion(wxMouseEvent&);
    void onLeftUp(wxMouseEvent&);
    void showSystemMenu(const wxPoint& at);
    void showAbout();
    void animateHide();
    void showWherePlaced(WindowState was);
    void onPlaceAgain(wxTimerEvent& event);
    void command(int id);
    int iconFor(const std::string& name, int kind);

    const DialogView& view_;
    const CFileListView& list_;
    UploadMainWindow* window_ = nullptr;
    std::uint64_t viewRevision_ = ~std::uint64_t{0};
    std::uint64_t listRevision_ = ~std::uint64_t{0};
    WindowState shownState_ = WindowState::Normal;
    int raised_ = 0;
    bool trayAvailable_ = false;

    std::map<int, wxStaticText*> statics_;
    std::map<int, widgets::SkinCheckBox*> checks_;
    std::map<int, widgets::SkinButton*> buttons_;
    std::map<int, ButtonLook> looks_;
    widgets::TextProgressCtrl* overall_ = nullptr;
    widgets::TextProgressCtrl* rowBar_ = nullptr;
    int barRow_ = -1;
    wxTextCtrl* pathBox_ = nullptr;
    wxListCtrl* listCtrl_ = nullptr;
    wxWindow* bannerStrip_ = nullptr;
    wxFont captionFont_;
    wxRect groupBox_;
    wxImageList icons_{16, 16};
    std::map<std::string, int> iconIndex_;
    WxListGeometry geometry_;
    bool maximizedLook_ = false;
    wxRect placeBeforeHiding_;
    // Sets the place again after the window manager mapped the window.
    wxTimer placeAgain_;
    int placeAgainLeft_ = 0;

    // A press on the frame: what it moves or sizes, from where.
    int drag_ = 0;
    wxPoint dragStart_;
    wxRect startRect_;
};

}  // namespace quenvara::uploader::wxui
