// The main frame on a real display, over the window logic's view.
#include <gtest/gtest.h>
#include <wx/menu.h>
#include <wx/stockitem.h>

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
