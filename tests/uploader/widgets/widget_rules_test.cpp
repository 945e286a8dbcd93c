// The widgets' rules without a display: what a progress bar paints, shapes
// from masks and skins, the corner popup's motion, the countdown and the
// frame's hit test, the double click made of presses.
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <utility>
#include <vector>

#include "uploader/widgets/click_rules.h"
#include "uploader/widgets/countdown.h"
#include "uploader/widgets/mask_region.h"
#include "uploader/widgets/notifier_motion.h"
#include "uploader/widgets/progress_geometry.h"
#include "uploader/widgets/skin_frame.h"

namespace quenvara::widgets {
namespace {

TEST(DoubleClickRule, TwoPressesWithinTheIntervalMakeOneDoubleClick) {
    struct Case {
        std::vector<std::int64_t> presses;
        std::vector<bool> doubles;
    };
    const Case cases[] = {
        {{1000}, {false}},
        {{1000, 1400}, {false, true}},
        {{1000, 1401}, {false, false}},
        {{1000, 1100, 1200}, {false, true, false}},
        {{1000, 1100, 1200, 1300}, {false, true, false, true}},
        {{1000, 2000, 2100}, {false, false, true}},
    };
    for (const auto& c : cases) {
        DoubleClickRule rule(400);
        std::vector<bool> got;
        for (auto at : c.presses) {
            got.push_back(rule.press(at));
        }
        EXPECT_EQ(got, c.doubles) << "presses from " << c.presses.front();
    }
}

TEST(ProgressFill, AReversedOrEmptyRangePaintsNothing) {
    EXPECT_FALSE(progressFill(100, 50, 70, 200, true, ""));
    EXPECT_FALSE(progressFill(10, 10, 10, 200, true, ""));
    EXPECT_FALSE(progressFill(0, 100, 50, 0, true, ""));
}

TEST(ProgressFill, BarWidthAndTextFollowThePosition) {
    auto half = progressFill(0, 200, 100, 301, true, "");
    ASSERT_TRUE(half);
    EXPECT_EQ(half->barWidth, 150);
    EXPECT_EQ(half->text, "50%");
    // Outside the range the bar stops at its ends.
    EXPECT_EQ(progressFill(0, 100, 250, 80, false, "")->barWidth, 80);
    EXPECT_EQ(progressFill(0, 100, -5, 80, false, "")->barWidth, 0);
    // A lower bound above zero counts from there.
    EXPECT_EQ(progressFill(50, 150, 75, 100, true, "")->text, "25%");
    // The custom text wins; without the show flag there is none.
    EXPECT_EQ(progressFill(0, 100, 10, 100, true, "12.5 %")->text, "12.5 %");
    EXPECT_EQ(progressFill(0, 100, 10, 100, false, "12.5 %")->text, "");
}

RgbImage picture(const std::vector<std::string>& rows) {
    // '#' black, '.' white, 'm' magenta.
    RgbImage image;
    image.height = static_cast<int>(rows.size());
    image.width = static_cast<int>(rows[0].size());
    for (const auto& row : rows) {
        for (char c : row) {
            const std::uint32_t colour = c == '#'   ? rgb(0, 0, 0)
                                         : c == 'm' ? rgb(255, 0, 255)
                                                    : rgb(255, 255, 255);
            image.pixels.push_back(static_cast<std::uint8_t>(colour >> 16));
            image.pixels.push_back(static_cast<std::uint8_t>((colour >> 8) & 255));
            image.pixels.push_back(static_cast<std::uint8_t>(colour & 255));
        }
    }
    return image;
}

TEST(MaskRegion, EveryRunOfNonWhitePixelsIsAOneRowRectangle) {
    const auto mask = picture({
        ".##..#",
        "######",
        "......",
        "#....#",
    });
    const std::vector<PixelRect> expected = {
        {1, 0, 2, 1}, {5, 0, 1, 1}, {0, 1, 6, 1}, {0, 3, 1, 1}, {5, 3, 1, 1}};
    EXPECT_EQ(maskRuns(mask), expected);
}

TEST(MaskRegion, ASkinLosesOnlyItsTransparentPixelsInTheColumnsRead) {
    // Six columns: only the first four (a whole group of 4) are read, so the
    // magenta in columns 4 and 5 stays in the shape.
    const auto skin = picture({
        "m##mmm",
        "mmmm#m",
    });
    const std::vector<PixelRect> expected = {{1, 0, 2, 1}, {4, 0, 2, 1}, {4, 1, 2, 1}};
    EXPECT_EQ(opaqueRuns(skin, rgb(255, 0, 255)), expected);
    // A picture too short for its size gives no shape rather than a read
    // past its end.
    auto cut = skin;
    cut.pixels.resize(5);
    EXPECT_TRUE(maskRuns(cut).empty());
}

class RecordingTimers : public NotifierTimers {
  public:
    void start(int id, int ms) override { running[id] = ms; }
    void stop(int id) override { running.erase(id); }
    std::map<int, int> running;
};

const PixelRect kScreen{0, 0, 1000, 800};
const PixelRect kWork{0, 0, 1000, 760};  // task bar at the bottom

// Runs the timer that is running until the phase changes.
void runUntilPhaseChanges(NotifierMotion& motion, RecordingTimers& timers) {
    const auto phase = motion.phase();
    for (int i = 0; i < 10000 && motion.phase() == phase && !timers.running.empty(); ++i) {
        motion.onTimer(timers.running.begin()->first);
    }
}

TEST(NotifierMotion, FindsTheTaskBarFromTheWorkArea) {
    EXPECT_EQ(taskbarSide(kScreen, kWork), TaskbarSide::Bottom);
    EXPECT_EQ(taskbarSide(kScreen, {0, 40, 1000, 760}), TaskbarSide::Top);
    EXPECT_EQ(taskbarSide(kScreen, {0, 0, 960, 800}), TaskbarSide::Right);
    EXPECT_EQ(taskbarSide(kScreen, {40, 0, 960, 800}), TaskbarSide::Left);
    EXPECT_EQ(taskbarSide(kScreen, kScreen), TaskbarSide::Bottom);
}

TEST(NotifierMotion, RisesInTwoPixelStepsStaysAndSlidesBack) {
    RecordingTimers timers;
    NotifierMotion motion(timers, 200, 100);
    motion.show(kScreen, kWork, 500, 3000, 1000);
    // 100 pixels in 2-pixel steps: 50 steps over 500 ms and 1000 ms.
    EXPECT_EQ(motion.appearInterval(), 10);
    EXPECT_EQ(motion.disappearInterval(), 20);
    EXPECT_EQ(timers.running.at(NotifierMotion::kAppearTimer), 10);
    motion.onTimer(NotifierMotion::kAppearTimer);
    EXPECT_EQ(motion.windowRect(), (PixelRect{800, 758, 200, 2}));
    runUntilPhaseChanges(motion, timers);
    EXPECT_EQ(motion.phase(), NotifierMotion::Phase::Staying);
    EXPECT_EQ(motion.windowRect(), (PixelRect{800, 660, 200, 100}));
    EXPECT_EQ(timers.running, (std::map<int, int>{{NotifierMotion::kStayTimer, 3000}}));
    motion.onTimer(NotifierMotion::kStayTimer);
    EXPECT_EQ(motion.phase(), NotifierMotion::Phase::Disappearing);
    runUntilPhaseChanges(motion, timers);
    EXPECT_EQ(motion.phase(), NotifierMotion::Phase::Hidden);
    EXPECT_EQ(motion.windowRect(), PixelRect{});
    EXPECT_TRUE(timers.running.empty());
}

TEST(NotifierMotion, AutoHideFalseStaysUntilItsTextOrCloseSpotIsClicked) {
    RecordingTimers timers;
    NotifierMotion motion(timers, 200, 100);
    motion.setTextRect({10, 50, 180, 25});
    motion.setAutoHide("false");
    motion.show(kScreen, kWork, 10, 100, 10);
    runUntilPhaseChanges(motion, timers);
    motion.onTimer(NotifierMotion::kStayTimer);
    EXPECT_EQ(motion.phase(), NotifierMotion::Phase::Staying);
    EXPECT_TRUE(timers.running.empty());
    // Elsewhere on the window: nothing.
    motion.onClick(5, 5);
    motion.onClick(100, 90);
    EXPECT_EQ(motion.phase(), NotifierMotion::Phase::Staying);
    // The close spot: 20 to 10 pixels left of the right edge, 9 to 20 down.
    motion.onClick(185, 15);
    EXPECT_EQ(motion.phase(), NotifierMotion::Phase::Disappearing);

    // Shown again while disappearing: back in full, staying again.
    motion.show(kScreen, kWork, 10, 100, 10);
    EXPECT_EQ(motion.phase(), NotifierMotion::Phase::Staying);
    EXPECT_EQ(motion.windowRect().height, 100);
    motion.onClick(50, 60);  // on the text
    EXPECT_EQ(motion.phase(), NotifierMotion::Phase::Disappearing);
}

TEST(NotifierMotion, OnlyTheExactTextFalseKeepsItUp) {
    for (const char* autoHide : {"ture", "true", "FALSE", ""}) {
        RecordingTimers timers;
        NotifierMotion motion(timers, 40, 20);
        motion.setAutoHide(autoHide);
        motion.show(kScreen, kWork, 10, 100, 10);
        runUntilPhaseChanges(motion, timers);
        motion.onTimer(NotifierMotion::kStayTimer);
        EXPECT_EQ(motion.phase(), NotifierMotion::Phase::Disappearing) << autoHide;
    }
}

TEST(NotifierMotion, ShowingAgainWhileStayingRestartsTheStay) {
    RecordingTimers timers;
    NotifierMotion motion(timers, 40, 20);
    motion.show(kScreen, kWork, 10, 100, 10);
    EXPECT_FALSE(motion.show(kScreen, kWork, 10, 999, 10));  // still appearing
    runUntilPhaseChanges(motion, timers);
    EXPECT_EQ(timers.running.at(NotifierMotion::kStayTimer), 999);
    EXPECT_TRUE(motion.show(kScreen, kWork, 10, 500, 10));  // repaint
    EXPECT_EQ(timers.running.at(NotifierMotion::kStayTimer), 500);
}

TEST(NotifierMotion, SlidesSidewaysBesideASideTaskBar) {
    RecordingTimers timers;
    NotifierMotion motion(timers, 200, 100);
    motion.show(kScreen, {0, 0, 960, 800}, 1000, 100, 10);
    EXPECT_EQ(motion.side(), TaskbarSide::Right);
    EXPECT_EQ(motion.appearInterval(), 10);  // 200 wide: 100 steps
    motion.onTimer(NotifierMotion::kAppearTimer);
    EXPECT_EQ(motion.windowRect(), (PixelRect{958, 700, 2, 100}));
}

TEST(Countdown, ZeroSecondsClosesAtTheFirstTick) {
    Countdown box(0, true);
    EXPECT_EQ(box.tick(), Countdown::Step::FinishClose);
    Countdown noClose(0, false);
    EXPECT_EQ(noClose.tick(), Countdown::Step::Finish);
}

TEST(Countdown, CountsDownInTheBoxsWordsThenCloses) {
    Countdown box(3, true);
    EXPECT_EQ(box.text(), "3 초 후 자동 종료 됩니다.");
    std::vector<std::string> texts;
    while (box.tick() == Countdown::Step::Count) {
        texts.push_back(box.text());
    }
    EXPECT_EQ(texts,
              (std::vector<std::string>{"2 초 후 자동 종료 됩니다.", "1 초 후 자동 종료 됩니다.",
                                        "0 초 후 자동 종료 됩니다."}));
    EXPECT_EQ(Countdown(-4, true).secondsLeft(), 0);
}

TEST(SkinFrame, BandsCornersGripAndCaption) {
    const int w = 600;
    const int h = 580;
    EXPECT_EQ(frameHit(3, 300, w, h, false), FrameHit::Left);
    EXPECT_EQ(frameHit(w - 1, 300, w, h, false), FrameHit::Right);
    EXPECT_EQ(frameHit(300, 2, w, h, false), FrameHit::Top);
    EXPECT_EQ(frameHit(300, h - 2, w, h, false), FrameHit::Bottom);
    EXPECT_EQ(frameHit(1, 1, w, h, false), FrameHit::TopLeft);
    EXPECT_EQ(frameHit(w - 2, 3, w, h, false), FrameHit::TopRight);
    EXPECT_EQ(frameHit(2, h - 3, w, h, false), FrameHit::BottomLeft);
    // The grip: the bottom-right 19 x 21 pixels.
    EXPECT_EQ(frameHit(w - 19, h - 21, w, h, false), FrameHit::BottomRight);
    EXPECT_EQ(frameHit(w - 20, h - 10, w, h, false), FrameHit::Client);
    EXPECT_EQ(frameHit(300, 56, w, h, false), FrameHit::Move);
    EXPECT_EQ(frameHit(300, 57, w, h, false), FrameHit::Client);
    // Maximized, nothing is sized or moved.
    EXPECT_EQ(frameHit(3, 300, w, h, true), FrameHit::Client);
    EXPECT_EQ(frameHit(300, 20, w, h, true), FrameHit::Client);
}

TEST(SkinFrame, TheOutlineCutsTheCornersByTwoPixels) {
    const auto polygon = windowPolygon(572, 572);
    EXPECT_EQ(polygon.front(), polygon.back());
    EXPECT_EQ(polygon[2], (std::pair{572, 2}));
    EXPECT_EQ(polygon[6], (std::pair{0, 569}));
}

}  // namespace
}  // namespace quenvara::widgets
