// The tray icon's menu and its clicks, and what becomes of toolkit assertions.
#include <gtest/gtest.h>
#include <wx/debug.h>
#include <wx/menu.h>

#include <cstdint>
#include <memory>
#include <set>
#include <vector>

#include "uploader/app/dialog_view.h"
#include "uploader/frontend/wx/wx_shell.h"
#include "uploader/frontend/wx/wx_tray.h"

namespace quenvara::uploader::wxui {
namespace {

// Counts the toolkit's assertions instead of letting them open a dialog.
int gAssertions = 0;
void countAssertion(const wxString&, int, const wxString&, const wxString&, const wxString&) {
    ++gAssertions;
}

TEST(WxTrayTest, MenuItemsCarryToolkitIdsAndChoosingOneSendsTheProgramsCommand) {
    const wxAssertHandler_t before = wxSetAssertHandler(countAssertion);
    gAssertions = 0;
    WxTray tray;
    std::vector<int> sent;
    tray.connect([&](int command) { sent.push_back(command); }, [](TrayIcon::Mouse) {});
    std::unique_ptr<wxMenu> menu(tray.CreatePopupMenu());
    wxSetAssertHandler(before);
    EXPECT_EQ(gAssertions, 0);

    std::vector<int> ids;
    for (const wxMenuItem* item : menu->GetMenuItems()) {
        if (!item->IsSeparator()) {
            EXPECT_GE(item->GetId(), 0);
            EXPECT_LE(item->GetId(), 0x7FFF);
            ids.push_back(item->GetId());
        }
    }
    for (int id : ids) {
        wxCommandEvent chosen(wxEVT_MENU, id);
        chosen.SetEventObject(menu.get());
        menu->ProcessEvent(chosen);
    }
    const std::vector<int> want = {command::kTrayWebSite, command::kTrayShow, command::kTrayHide,
                                   command::kTrayExit};
    EXPECT_EQ(sent, want);
}

// What the toolkit does for each left click on the icon: a press, and when
// the press is not taken, a double click.
void clickIcon(WxTray& tray) {
    wxTaskBarIconEvent press(wxEVT_TASKBAR_LEFT_DOWN, &tray);
    if (!tray.SafelyProcessEvent(press)) {
        wxTaskBarIconEvent twice(wxEVT_TASKBAR_LEFT_DCLICK, &tray);
        tray.SafelyProcessEvent(twice);
    }
}

TEST(WxTrayTest, ADoubleClickTogglesTheWindowOnceAndASingleClickNotAtAll) {
    struct Case {
        int clicks;
        int doubles;
    };
    for (const auto& c : {Case{1, 0}, Case{2, 1}, Case{4, 2}}) {
        // A quick double clicker: a click every 100 ms.
        std::int64_t now = 0;
        WxTray tray([&now] { return now += 100; });
        int doubles = 0;
        tray.connect(
            [](int) {},
            [&](TrayIcon::Mouse mouse) { doubles += mouse == TrayIcon::Mouse::LeftDoubleClick; });
        for (int i = 0; i < c.clicks; ++i) {
            clickIcon(tray);
        }
        EXPECT_EQ(doubles, c.doubles) << c.clicks << " clicks";
    }
}

TEST(WxTrayTest, AnAssertionIsALineOnStandardErrorAndTheProgramGoesOn) {
    const wxAssertHandler_t before = wxSetAssertHandler(nullptr);
    logToolkitAssertions();
    ::testing::internal::CaptureStderr();
    wxFAIL_MSG("the menu id is out of range");
    const std::string logged = ::testing::internal::GetCapturedStderr();
    wxSetAssertHandler(before);
    EXPECT_NE(logged.find("toolkit assertion"), std::string::npos) << logged;
    EXPECT_NE(logged.find("the menu id is out of range"), std::string::npos) << logged;
}

}  // namespace
}  // namespace quenvara::uploader::wxui
