// The main frame on a real display, over the window logic's view.
#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/menu.h>
#include <wx/stockitem.h>
#include <wx/utils.h>

#include <chrono>
#include <functional>

#include "toolkit_pump.h"
#include "uploader/app/dialog_view.h"
#include "uploader/frontend/wx/wx_main_frame.h"
#include "uploader/list/file_list_view.h"

namespace quenvara::uploader::wxui {
namespace {

class WxMainFrameTest : public ::testing::Test {
  protected:
    void SetUp() override { frame = new WxMainFrame(view, list, "http://127.0.0.1:9"); }
    void TearDown() override { frame->Destroy(); }

    DialogView view;
    CFileListView list;
    WxMainFrame* frame = nullptr;
};

TEST_F(WxMainFrameTest, AWindowShownFromTheTrayComesBackWhereItWasAndAsLarge) {
    frame->setTrayAvailable(true);
    frame->Show();
    frame->refresh();
    const wxRect placed(100, 120, 640, 600);
    frame->SetSize(placed);
    ASSERT_TRUE(quenvara::testing::pumpUntil([&] { return frame->GetScreenRect() == placed; }));

    view.setWindowState(WindowState::Hidden);
    frame->refresh();
    ASSERT_FALSE(frame->IsShown());
    // Hidden, the window may be left elsewhere (the hide animation ends at
    // the tray's corner).
    const wxRect corner(1200, 1000, 600, 580);
    frame->SetSize(corner);
    ASSERT_TRUE(quenvara::testing::pumpUntil([&] { return frame->GetScreenRect() == corner; }));

    view.setWindowState(WindowState::Normal);
    frame->refresh();
    quenvara::testing::pumpUntil([&] { return frame->GetScreenRect() == placed; });
    EXPECT_TRUE(frame->IsShown());
    EXPECT_EQ(frame->GetScreenRect(), placed);
}

TEST_F(WxMainFrameTest, TheSystemMenuShowsNoShortcutTheWindowDoesNotTake) {
    const auto menu = frame->systemMenu();
    std::vector<std::string> labels;
    for (const wxMenuItem* item : menu->GetMenuItems()) {
        if (item->IsSeparator()) {
            continue;
        }
        labels.push_back(item->GetItemLabel().utf8_string());
        const std::unique_ptr<wxAcceleratorEntry> accel(item->GetAccel());
        EXPECT_EQ(accel, nullptr) << labels.back();
        // The toolkit shows its stock shortcut beside an item of a stock id.
        EXPECT_FALSE(wxIsStockID(item->GetId())) << labels.back();
    }
    const std::vector<std::string> want = {"최소화", "최대화", "닫기", "TaldorUpLoad 정보(&A)..."};
    EXPECT_EQ(labels, want);
}

}  // namespace
}  // namespace quenvara::uploader::wxui
