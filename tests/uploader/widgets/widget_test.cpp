// The skinned widgets on a real display.
#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/dcmemory.h>
#include <wx/frame.h>
#include <wx/image.h>
#include <wx/init.h>
#include <wx/utils.h>

#include <chrono>
#include <functional>

#include "toolkit_pump.h"
#include "uploader/widgets/delay_message_box.h"
#include "uploader/widgets/skin_bitmaps.h"
#include "uploader/widgets/skin_button.h"
#include "uploader/widgets/skin_check_box.h"
#include "uploader/widgets/taskbar_notifier.h"
#include "uploader/widgets/text_progress_ctrl.h"

namespace quenvara::widgets {
namespace {

using quenvara::testing::pumpUntil;

class WidgetTest : public ::testing::Test {
  protected:
    void SetUp() override {
        frame = new wxFrame(nullptr, wxID_ANY, "widgets", wxDefaultPosition, wxSize(400, 300));
        frame->Show();
    }
    void TearDown() override { frame->Destroy(); }
    wxFrame* frame = nullptr;
};

TEST_F(WidgetTest, ProgressBarWithUpperBelowLowerPaintsNothing) {
    auto* bar = new TextProgressCtrl(frame, wxID_ANY);
    bar->SetSize(10, 10, 200, 20);
    bar->setShowText(true);
    bar->setRange(0, 100);
    bar->setPosition(50);
    ASSERT_TRUE(pumpUntil([&] { return bar->drawnBarWidth() == 100; }));
    bar->setRange(100, 50);
    bar->setPosition(70);
    EXPECT_TRUE(pumpUntil([&] { return bar->drawnBarWidth() == -1; }));
    EXPECT_EQ(bar->shownText(), "");
}

TEST_F(WidgetTest, ProgressBarRepaintsOnlyWhenItsPixelWidthChanges) {
    auto* bar = new TextProgressCtrl(frame, wxID_ANY);
    bar->SetSize(10, 10, 200, 20);
    bar->setRange(0, 1000);
    bar->setPosition(500);
    const int before = bar->repaintRequests();
    bar->setPosition(501);  // still 100 pixels of 200
    bar->setPosition(502);
    EXPECT_EQ(bar->repaintRequests(), before);
    bar->setPosition(510);  // 102 pixels
    EXPECT_EQ(bar->repaintRequests(), before + 1);
    bar->SetLabel("51 %");
    bar->SetLabel("51 %");  // the same text: no paint
    EXPECT_EQ(bar->repaintRequests(), before + 2);
}

TEST_F(WidgetTest, MaskRegionFromAHandMadeMask) {
    // 5 x 3: a black cross on white.
    wxImage image(5, 3);
    image.SetRGB(wxRect(0, 0, 5, 3), 255, 255, 255);
    image.SetRGB(wxRect(2, 0, 1, 3), 0, 0, 0);
    image.SetRGB(wxRect(0, 1, 5, 1), 10, 20, 30);
    const wxRegion region = regionFromMask(wxBitmap(image));
    EXPECT_EQ(region.Contains(2, 0), wxInRegion);
    EXPECT_EQ(region.Contains(0, 1), wxInRegion);
    EXPECT_EQ(region.Contains(4, 1), wxInRegion);
    EXPECT_EQ(region.Contains(0, 0), wxOutRegion);
    EXPECT_EQ(region.Contains(4, 2), wxOutRegion);
    EXPECT_EQ(region.GetBox(), wxRect(0, 0, 5, 3));
}

TEST_F(WidgetTest, ShapedButtonTakesClicksOnlyInsideItsMask) {
    auto* button = new SkinButton(frame, 1012);
    const wxSize size(40, 24);
    button->setBitmaps(skin::buttonFace(skin::ButtonGlyph::Start, skin::ButtonFace::Normal, size),
                       wxBitmap(), wxBitmap(), wxBitmap());
    button->setMask(skin::buttonMask(size, 10));
    EXPECT_EQ(button->GetSize(), size);
    int clicks = 0;
    button->setOnClick([&] { ++clicks; });
    auto click = [&](wxPoint at) {
        wxMouseEvent down(wxEVT_LEFT_DOWN);
        down.SetPosition(at);
        down.SetEventObject(button);
        button->ProcessWindowEvent(down);
        wxMouseEvent up(wxEVT_LEFT_UP);
        up.SetPosition(at);
        up.SetEventObject(button);
        button->ProcessWindowEvent(up);
    };
    click({0, 0});  // the rounded corner is outside the shape
    EXPECT_EQ(clicks, 0);
    click({20, 12});
    EXPECT_EQ(clicks, 1);
    button->Enable(false);
    EXPECT_EQ(button->state(), SkinButton::kDisabled);
    click({20, 12});
    EXPECT_EQ(clicks, 1);
}

TEST_F(WidgetTest, CheckBoxGlyphsAndHeight) {
    auto* box = new SkinCheckBox(frame, 1031, wxString::FromUTF8("창 닫기"));
    box->setGlyphStrip(skin::checkGlyphStrip(13), 13);
    EXPECT_EQ(box->glyphIndex(), 0);
    box->setState(1);
    EXPECT_EQ(box->glyphIndex(), 1);
    box->Enable(false);
    EXPECT_EQ(box->glyphIndex(), 5);  // drawn embossed
    const wxSize best = box->GetBestSize();
    EXPECT_GE(best.y, 13);
    EXPECT_GT(best.x, 13 + 5);
}

TEST_F(WidgetTest, CountdownOfZeroClosesAtTheFirstTickAsCancelled) {
    CDelayMessageBox2 box(frame, "text", 0, true, BoxButtons::Ok, BoxIcon::Information);
    EXPECT_EQ(box.GetTitle(), wxString::FromUTF8("0 초 후 자동 종료 됩니다."));
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(box.run(), wxID_CANCEL);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));

    CDelayMessageBox lineBox(frame, "text", 0, true, BoxButtons::YesNo, BoxIcon::Question);
    EXPECT_EQ(lineBox.run(), wxID_NO);
}

TEST_F(WidgetTest, NotifierWithAutoHideFalseStaysUntilItsCloseSpotIsClicked) {
    auto* notifier = new CTaskbarNotifier(frame);
    const wxSize skin = skin::notifierSkin().GetSize();
    notifier->setTextRect(wxRect(10, 50, skin.x - 20, skin.y - 75));
    notifier->setAutoHide("false");
    notifier->showText("half way", 10, 50, 10);
    ASSERT_TRUE(pumpUntil([&] { return notifier->phase() == NotifierMotion::Phase::Staying; }));
    EXPECT_TRUE(notifier->IsShown());
    // Well past its stay time it is still there.
    pumpUntil([] { return false; }, 300);
    EXPECT_EQ(notifier->phase(), NotifierMotion::Phase::Staying);
    wxMouseEvent up(wxEVT_LEFT_UP);
    up.SetPosition({skin.x - 15, 15});
    up.SetEventObject(notifier);
    notifier->ProcessWindowEvent(up);
    EXPECT_NE(notifier->phase(), NotifierMotion::Phase::Staying);
    EXPECT_TRUE(pumpUntil([&] { return notifier->phase() == NotifierMotion::Phase::Hidden; }));
    EXPECT_FALSE(notifier->IsShown());
    notifier->Destroy();
}

TEST_F(WidgetTest, TrayIconFramesShowNoMaskColour) {
    // Blue, white and their blends have no more red than green; the mask
    // colour (magenta) and its blends have much more.
    for (int f = 0; f < 9; ++f) {
        wxBitmap bitmap;
        bitmap.CopyFromIcon(skin::trayFrame(f));
        const wxImage image = bitmap.ConvertToImage();
        int tinted = 0;
        for (int y = 0; y < image.GetHeight(); ++y) {
            for (int x = 0; x < image.GetWidth(); ++x) {
                const bool hidden =
                    image.HasAlpha() ? image.GetAlpha(x, y) == 0 : image.IsTransparent(x, y);
                tinted += !hidden && image.GetRed(x, y) - image.GetGreen(x, y) > 10;
            }
        }
        EXPECT_EQ(tinted, 0) << "frame " << f;
    }
}

TEST_F(WidgetTest, WrappedTextEndsInAnEllipsisWhenItDoesNotFit) {
    wxBitmap bitmap(10, 10);
    wxMemoryDC dc(bitmap);
    const auto lines = wrapText(dc, "one two three four five six seven eight nine ten", 60,
                                dc.GetCharHeight() * 2);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(lines[1].EndsWith("..."));
    EXPECT_LE(dc.GetTextExtent(lines[1]).x, 60);
    const auto fits = wrapText(dc, "short", 200, 100);
    ASSERT_EQ(fits.size(), 1u);
    EXPECT_EQ(fits[0], "short");
}

}  // namespace
}  // namespace quenvara::widgets

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    wxApp::SetInstance(new wxApp);
    int wxArgc = 1;
    char* wxArgv[] = {argv[0], nullptr};
    if (!wxEntryStart(wxArgc, wxArgv)) {
        std::fprintf(stderr, "widget_tests: no display\n");
        return 1;
    }
    wxTheApp->SetExitOnFrameDelete(false);
    wxInitAllImageHandlers();
    const int status = RUN_ALL_TESTS();
    wxEntryCleanup();
    return status;
}
