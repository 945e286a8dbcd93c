#include "uploader/app/upload_main_window.h"

#include <gtest/gtest.h>

#include "common/ini_file.h"
#include "handover_client/job_builder.h"
#include "tests/uploader/window_harness.h"
#include "uploader/list/job_state.h"

namespace quenvara::uploader {
namespace {

using namespace std::chrono_literals;
using handover::ListMessageKind;
using testing_support::WindowHarness;

class UploadMainWindowTest : public ::testing::Test {
  protected:
    UploadJobRecord job(const std::string& name, std::size_t size, tools::PageValues values = {}) {
        const auto path = h.dir.write("files/" + name, std::string(size, 'x'));
        auto r = tools::buildUploadJob(path, values);
        EXPECT_TRUE(r) << r.error();
        return *r;
    }
    void handOver(const UploadJobRecord& r) {
        ASSERT_TRUE(h.window.onCopyData(handover::makeUploadJobMessage(r)));
    }
    void handOverMusicList(std::vector<handover::MusicListEntry> entries) {
        ASSERT_TRUE(h.window.onCopyData(handover::makeMusicListMessage(entries)));
    }
    std::vector<std::string> boxTexts() { return h.notices.texts(); }
    // A queued path keeps intake from scheduling the auto-start, for tests
    // about what happens around a run rather than its start.
    void holdAutoStart() { h.window.view().setText(control::kPathBox, "/queued"); }

    WindowHarness h;
};

TEST_F(UploadMainWindowTest, AddressMessagesAreNotBroughtForward) {
    ASSERT_TRUE(h.window.onCopyData(
        handover::makeServerAddressMessage(ListMessageKind::MyStorage, "10.0.0.5", 7000)));
    handOverMusicList({});
    EXPECT_EQ(h.window.serverAddress(), "10.0.0.5");
    EXPECT_EQ(h.window.serverPort(), 7000);
    EXPECT_EQ(h.window.list().rowCount(), 0);
    EXPECT_EQ(h.window.view().raiseCount(), 0);
    handOver(job("a.txt", 3));
    EXPECT_EQ(h.window.view().raiseCount(), 1);
}

TEST_F(UploadMainWindowTest, HandOverWithoutListViewIsDropped) {
    h.window.setListViewCreated(false);
    EXPECT_FALSE(h.window.onCopyData(handover::makeUploadJobMessage(job("a.txt", 1))));
    EXPECT_EQ(h.window.list().rowCount(), 0);
    EXPECT_EQ(boxTexts(), std::vector<std::string>{"List 핸들을 찾을 수 없습니다."});
}

TEST_F(UploadMainWindowTest, UploadIntakeFillsDefaultsAndStartsOneSecondLater) {
    tools::PageValues v;
    v.registrant = "first";
    v.sectionCode = "05";
    v.userNumber = 42;
    auto first = job("a.txt", 5, v);
    handOver(first);
    v.registrant = "second";
    v.sectionCode = "";
    handOver(job("b.bin", 7, v));

    auto& list = h.window.list();
    ASSERT_EQ(list.rowCount(), 2);
    const auto rec = std::get<UploadJobRecord>(list.record(0));
    EXPECT_EQ(rec.dataServerPort(), 6005);
    EXPECT_EQ(rec.musicCheckedFlag(), 'N');
    EXPECT_EQ(rec.musicListFlag(), 'Y');
    EXPECT_EQ(rec.fileDigest(), "fb0e22c79ac75679e9881e6ba183b354" /* md5("xxxxx") */);
    const auto defaults = h.window.uploadDefaults();
    EXPECT_EQ(defaults.registrantName, "first");  // the first one stays
    EXPECT_EQ(defaults.sectionCode, "05");        // an empty one does not replace it
    EXPECT_EQ(defaults.userNumber, 42);
    EXPECT_EQ(h.window.totalBytes(), 12);
    EXPECT_EQ(h.window.view().text(control::kPathBox), first.localPath());

    h.useEngine(nullptr);
    EXPECT_FALSE(h.window.view().enabled(control::kStartStop));
    h.loop.advance(999ms);
    EXPECT_TRUE(h.modes.empty());
    h.loop.advance(1ms);
    EXPECT_EQ(h.modes, std::vector<int>{transfer_mode::kUploadRun});
    EXPECT_TRUE(h.window.view().enabled(control::kStartStop));
    EXPECT_EQ(h.window.activeFlag(), 1);
    EXPECT_EQ(list.jobState(0), "업로드중");
    EXPECT_FALSE(h.loop.timerActive(timer::kAutoStart));
}

TEST_F(UploadMainWindowTest, MusicCheckNeedsTheMusicListMessage) {
    tools::PageValues v;
    v.sectionCode = "07";
    v.registrant = "member";
    h.checker.key = "0123456789ABCDEF0123456789ABCDEF";
    handOver(job("song.mp3", 10, v));
    EXPECT_TRUE(h.checker.calls.empty());
    EXPECT_EQ(std::get<UploadJobRecord>(h.window.list().record(0)).musicCheckedFlag(), 'N');

    handOverMusicList({});
    handOver(job("next.mp3", 10, v));
    ASSERT_EQ(h.checker.calls.size(), 1u);
    EXPECT_EQ(h.checker.calls[0].second, "member");
    const auto rec = std::get<UploadJobRecord>(h.window.list().record(1));
    EXPECT_EQ(rec.musicCheckedFlag(), 'Y');
    EXPECT_EQ(rec.contentKey(), "0123456789ABCDEF0123456789ABCDEF");

    h.checker.key.reset();
    handOver(job("third.mp3", 10, v));
    EXPECT_EQ(std::get<UploadJobRecord>(h.window.list().record(2)).musicCheckedFlag(), 'N');
}

TEST_F(UploadMainWindowTest, SecondStartPressStops) {
    h.useEngine(nullptr);
    handOver(job("a.txt", 1));
    h.window.onCommand(control::kStartStop);
    EXPECT_EQ(h.window.activeFlag(), 1);
    EXPECT_EQ(h.window.view().control(control::kStartStop).look, ButtonLook::Stop);
    h.window.onCommand(control::kStartStop);
    EXPECT_EQ(h.window.activeFlag(), 0);
    EXPECT_EQ(h.window.startedFlag(), 0);
    EXPECT_TRUE(h.window.stopRequested());
    EXPECT_EQ(h.window.view().control(control::kStartStop).look, ButtonLook::Start);
    EXPECT_FALSE(h.window.view().enabled(control::kStartStop));
    EXPECT_EQ(h.modes.size(), 1u);
}

TEST_F(UploadMainWindowTest, TransferSessionRefusesUnknownModes) {
    h.useEngine(nullptr);
    EXPECT_FALSE(h.window.session().start(7, "x"));
    const auto boxes = h.notices.boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Command 에러");
    EXPECT_EQ(boxes[0].caption, "알림");
    EXPECT_EQ(boxes[0].icon, platform::NoticeIcon::Stop);
    EXPECT_TRUE(h.modes.empty());
}

TEST_F(UploadMainWindowTest, ProgressTickShowsSpeedRemainingAndTip) {
    holdAutoStart();
    handOver(job("a.bin", 10));
    auto& w = h.window;
    w.addTotalBytes(10 * 1024 * 1024 - 10);  // 10 MiB in all
    w.startTimers();
    w.addBytesSent(2 * 1024 * 1024);
    w.addDoneBytes(2 * 1024 * 1024);
    w.setCurrentFile(4 * 1024 * 1024, 2 * 1024 * 1024);
    w.setSizeSummary("2.00 M  / 10.00 M ");
    h.loop.advance(1000ms);
    // 2 MiB in 1 s = 2048 KBps; 8 MiB left = 4 s; the current file 1 s.
    EXPECT_EQ(w.view().text(control::kSpeed), "2048 KBps");
    EXPECT_EQ(w.view().text(control::kRemainingTime), "00:00:04");
    EXPECT_EQ(w.currentFileRemainingText(), "00:00:01");
    EXPECT_EQ(w.view().text(control::kElapsed), "00:00:01");
    EXPECT_EQ(w.view().text(control::kCountText), "0/1(2.00 M  / 10.00 M )");
    EXPECT_EQ(w.tray().tip(), "등록하기 완료까지 00:00:04 가 남았습니다.\n");
}

TEST_F(UploadMainWindowTest, SpeedZeroShowsNoRemainingTimeAndDoesNotCount) {
    holdAutoStart();
    handOver(job("a.bin", 4096));
    h.window.startTimers();
    h.loop.advance(3000ms);
    EXPECT_EQ(h.window.view().text(control::kSpeed), "0 KBps");
    EXPECT_EQ(h.window.view().text(control::kRemainingTime), "00:00:00");
    EXPECT_EQ(h.window.view().text(control::kElapsed), "00:00:00");
    h.window.stopTimers();
    EXPECT_FALSE(h.loop.timerActive(timer::kProgressTick));
    EXPECT_EQ(h.window.tray().frame(), 0);
}

TEST_F(UploadMainWindowTest, HalfWayNoticeOncePerUploadRecord) {
    holdAutoStart();
    handOver(job("a.bin", 2048));
    auto& w = h.window;
    w.startTimers();
    w.addBytesSent(1024);
    w.addDoneBytes(1024);  // exactly half
    h.loop.advance(3000ms);
    ASSERT_EQ(h.notifier.shown.size(), 1u);
    EXPECT_EQ(h.notifier.shown[0].text.rfind("등록하기 0% 완료.\n등록하기 완료까지", 0), 0u);
    EXPECT_EQ(h.notifier.shown[0].stayMs, 3000);
    EXPECT_EQ(h.notifier.shown[0].appearMs, 10);
    // The next record clears the flag: the notice comes again.
    handOver(job("b.bin", 1));
    h.loop.advance(1000ms);
    EXPECT_EQ(h.notifier.shown.size(), 2u);
}

TEST_F(UploadMainWindowTest, RunToCompletionClosesTheWindow) {
    h.useEngine([](EngineOperations& ops) {
        auto& list = ops.list();
        ops.runStarted();
        for (int row = 0; row < list.rowCount(); ++row) {
            list.setCurrentRow(row);
            const auto id = list.rowId(row);
            const double size = list.itemSize(row);
            ops.fileStarted(FileStart{id, list.text(row, 0), "", size, 0, 0, true});
            ops.bytesSent(id, size);
            list.setJobState(row, "완료");
            ops.rowStateChanged(list.rowId(row), RowState::Done, "완료되었습니다.");
        }
        ops.runEnded(RunEnd{0, false, true});
    });
    handOver(job("a.txt", 3));
    handOver(job("b.txt", 4));
    h.loop.advance(1000ms);  // auto-start
    h.waitForEngine();
    EXPECT_TRUE(h.loop.timerActive(timer::kCompletion));
    h.loop.advance(1000ms);
    EXPECT_TRUE(h.ended);
    ASSERT_FALSE(h.notifier.shown.empty());
    EXPECT_EQ(h.notifier.shown.back().text, "등록하기 완료");
    const auto boxes = h.notices.boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "등록하기가 완료되었습니다.");
    EXPECT_EQ(boxes[0].caption, "5 초 후 자동 종료 됩니다.");
    EXPECT_EQ(boxes[0].autoCloseSeconds, 5);
    EXPECT_FALSE(h.window.tray().present());
    EXPECT_EQ(h.window.list().rowCount(), 0);  // the list is emptied with the window
}

// What the window shows once a run is over: the button offers a start, no
// speed lingers, a complete run reads 100 %, and one with files not sent says
// so in a box.
TEST_F(UploadMainWindowTest, TheWindowSaysARunIsOverAndHowItEnded) {
    EXPECT_EQ(h.window.view().text(control::kSpeed), "0 KBps");  // before any upload
    for (const bool failOne : {false, true}) {
        SCOPED_TRACE(failOne ? "a row failed" : "every row done");
        WindowHarness w;
        w.window.clickCheckBox(control::kCloseWindowCheck);  // keep the window to look at it
        w.useEngine([failOne](EngineOperations& ops) {
            auto& list = ops.list();
            ops.runStarted();
            for (int row = 0; row < list.rowCount(); ++row) {
                const auto id = list.rowId(row);
                ops.fileStarted(FileStart{id, list.text(row, 0), "", 10, 0, 0, true});
                ops.bytesSent(id, 10);
                list.setJobState(row, failOne && row == 1 ? "서버에 연결할 수 없습니다." : "완료");
            }
            ops.runEnded(RunEnd{failOne ? 1 : 0, false, true});
        });
        for (const auto* name : {"a.txt", "b.txt"}) {
            ASSERT_TRUE(w.window.onCopyData(handover::makeUploadJobMessage(
                *tools::buildUploadJob(w.dir.write(name, std::string(10, 'x')), {}))));
        }
        w.loop.advance(1000ms);  // auto-start
        w.waitForEngine();
        w.loop.advance(1000ms);  // the completion check
        const auto& view = w.window.view();
        EXPECT_EQ(view.control(control::kStartStop).look, ButtonLook::Start);
        EXPECT_EQ(view.text(control::kSpeed), "0 KBps");
        EXPECT_EQ(view.text(control::kRemainingTime), "00:00:00");
        const auto texts = w.notices.texts();
        const bool saidFailed = std::any_of(texts.begin(), texts.end(), [](const auto& t) {
            return t.find("1 개 파일을 올리지 못했습니다") != std::string::npos &&
                   t.find("b.txt: 서버에 연결할 수 없습니다.") != std::string::npos;
        });
        EXPECT_EQ(saidFailed, failOne);
        if (!failOne) {
            EXPECT_EQ(view.text(control::kOverallBar), "100%");
        }
    }
}

TEST_F(UploadMainWindowTest, NotificationsOffStillShowsTheClosingBox) {
    holdAutoStart();
    h.window.clickCheckBox(control::kNotificationsOffCheck);
    h.window.clickCheckBox(control::kCloseWindowCheck);  // keep the window open
    handOver(job("a.txt", 3));
    h.window.list().setJobState(0, "완료");
    h.window.completionCheck();
    h.loop.advance(1000ms);
    EXPECT_TRUE(h.notifier.shown.empty());
    EXPECT_EQ(boxTexts(), std::vector<std::string>{"등록하기가 완료되었습니다."});
    EXPECT_FALSE(h.ended);
    EXPECT_TRUE(h.window.tray().present());
}

TEST_F(UploadMainWindowTest, OneFailedRowBlocksCompletion) {
    holdAutoStart();
    handOver(job("a.txt", 3));
    handOver(job("b.txt", 3));
    h.window.list().setJobState(0, "완료");
    h.window.list().setJobState(1, "서버에 연결할 수 없습니다.");
    h.window.completionCheck();
    EXPECT_FALSE(h.loop.timerActive(timer::kCompletion));
    h.loop.advance(5000ms);
    EXPECT_FALSE(h.ended);
    EXPECT_TRUE(h.notifier.shown.empty());
}

TEST_F(UploadMainWindowTest, CompletionTimerDuringAHandOverWaitsForTheNextCheck) {
    holdAutoStart();
    handOver(job("a.txt", 3));
    h.window.list().setJobState(0, "완료");
    h.window.completionCheck();
    // The music check of the next hand-over takes long enough for timer 3
    // to fire while the message is being handled.
    handOverMusicList({});
    h.checker.onCall = [this] { h.loop.advance(1500ms); };
    tools::PageValues v;
    v.sectionCode = "07";
    handOver(job("b.mp3", 3, v));
    EXPECT_EQ(h.checker.calls.size(), 1u);
    EXPECT_FALSE(h.ended);
    EXPECT_FALSE(h.loop.timerActive(timer::kCompletion));
    EXPECT_TRUE(h.notices.boxes().empty());
    // The next completion check goes through.
    h.window.list().setJobState(1, "완료");
    h.window.completionCheck();
    h.loop.advance(1000ms);
    EXPECT_TRUE(h.ended);
}

TEST_F(UploadMainWindowTest, ShutdownWithCloseCheckedShowsNoCompletionBox) {
    holdAutoStart();
    h.window.clickCheckBox(control::kShutdownCheck);
    ASSERT_EQ(h.window.view().check(control::kCloseWindowCheck), 1);
    handOver(job("a.txt", 3));
    h.window.list().setJobState(0, "완료");
    h.window.completionCheck();
    EXPECT_FALSE(h.loop.timerActive(timer::kCompletion));
    h.window.scheduleShutdown();
    h.loop.advance(9999ms);
    EXPECT_EQ(h.shutdown.calls, 0);
    h.loop.advance(1ms);
    EXPECT_EQ(h.shutdown.calls, 1);
    EXPECT_TRUE(h.ended);
    EXPECT_TRUE(h.notices.boxes().empty());
    EXPECT_TRUE(h.notifier.shown.empty());
}

TEST_F(UploadMainWindowTest, ShutdownFailuresAreReportedAndTheWindowEndsAnyway) {
    h.shutdown.outcome = {platform::Shutdown::Stage::Failed, 5};
    h.window.scheduleShutdown();
    h.loop.advance(10000ms);
    auto boxes = h.notices.boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "SetSystemPowerState() : Error code = 5");
    EXPECT_EQ(boxes[0].caption, "알림");
    EXPECT_TRUE(h.ended);

    WindowHarness other;
    other.shutdown.outcome = {platform::Shutdown::Stage::NotStarted, 2};
    other.window.scheduleShutdown();
    other.loop.advance(10000ms);
    EXPECT_EQ(other.notices.texts(),
              std::vector<std::string>{"프로세스 열기 실패 : Error code = 2"});
}

TEST_F(UploadMainWindowTest, CheckBoxesWriteTheSettings) {
    EXPECT_EQ(h.window.view().check(control::kCloseWindowCheck), 1);
    h.window.clickCheckBox(control::kCloseWindowCheck);
    EXPECT_EQ(IniFile::load(h.settings.profilePath())->get("Setting", "AutoEnd"), "301");
    h.window.clickCheckBox(control::kCloseWindowCheck);
    EXPECT_EQ(IniFile::load(h.settings.profilePath())->get("Setting", "AutoEnd"), "300");

    h.window.clickCheckBox(control::kNotificationsOffCheck);
    EXPECT_TRUE(h.window.notificationsOff());
    EXPECT_EQ(IniFile::load(h.settings.iniPath())->get("SetTaskSec", "Value3"), "false");
    h.window.clickCheckBox(control::kNotificationsOffCheck);
    EXPECT_EQ(IniFile::load(h.settings.iniPath())->get("SetTaskSec", "Value3"), "true");

    // The indeterminate state writes nothing.
    h.window.view().setCheck(control::kCloseWindowCheck, 2);
    h.window.onCommand(control::kCloseWindowCheck);
    EXPECT_EQ(IniFile::load(h.settings.profilePath())->get("Setting", "AutoEnd"), "300");
}

TEST_F(UploadMainWindowTest, ConfirmedClose) {
    h.notices.yesNoAnswer = platform::NoticeAnswer::No;
    h.window.onCommand(control::kClose);
    EXPECT_FALSE(h.ended);
    EXPECT_EQ(h.notices.boxes().at(0).text, "퀜바라 등록창을\n\n종료 합니다.");
    EXPECT_EQ(h.notices.boxes().at(0).buttons, platform::NoticeButtons::YesNo);

    EXPECT_EQ(h.notices.boxes().at(0).caption, "퀜바라 파일 올리기");
    // With files not sent yet, the question says they go with the list.
    holdAutoStart();
    handOver(job("a.txt", 3));
    h.window.onCommand(control::kClose);
    EXPECT_EQ(h.notices.boxes().at(1).text,
              "퀜바라 등록창을\n\n종료 합니다.\n\n아직 올리지 않은 파일 1 개는 목록과 함께 "
              "사라집니다.");

    h.notices.yesNoAnswer = platform::NoticeAnswer::Yes;
    const auto before = h.clock.monotonic();
    h.window.onCommand(command::kTrayExit);
    EXPECT_TRUE(h.ended);
    EXPECT_TRUE(h.window.stopRequested());
    EXPECT_FALSE(h.window.tray().present());
    EXPECT_EQ(h.clock.monotonic() - before, 1000ms);
}

TEST_F(UploadMainWindowTest, TrayHidesShowsAndOpensTheSite) {
    auto& w = h.window;
    w.onSystemClose();
    EXPECT_EQ(w.view().windowState(), WindowState::Hidden);
    EXPECT_TRUE(w.tray().hidden());
    w.onTrayMouse(TrayIcon::Mouse::LeftDoubleClick);
    EXPECT_EQ(w.view().windowState(), WindowState::Normal);
    EXPECT_FALSE(w.tray().hidden());
    w.onTrayMouse(TrayIcon::Mouse::LeftDoubleClick);
    EXPECT_TRUE(w.tray().hidden());
    w.onCommand(command::kTrayShow);
    EXPECT_FALSE(w.tray().hidden());
    w.onCommand(command::kTrayWebSite);
    ASSERT_EQ(h.launcher.started.size(), 1u);
    EXPECT_EQ(h.launcher.started[0], platform::browserCommand("https://quenvara.example"));
    EXPECT_EQ(h.launcher.started[0].back(), "https://quenvara.example");
    // Minimising does not touch the hidden flag.
    w.onCommand(control::kMinimize);
    EXPECT_FALSE(w.tray().hidden());
}

TEST_F(UploadMainWindowTest, TrayFramesAndTip) {
    auto& tray = h.window.tray();
    EXPECT_EQ(tray.tip(), "퀜바라 파일 올리기");
    EXPECT_EQ(tray.iconResource(), 160);
    h.window.startTimers();
    h.loop.advance(100ms);
    EXPECT_EQ(tray.iconResource(), 149);
    h.loop.advance(800ms);  // frames wrap after the ninth
    EXPECT_EQ(tray.frame(), 0);
    h.window.stopTimers();

    // 40 Hangul characters are 80 CP949 bytes: the tip keeps 31 of them.
    std::string long_tip;
    for (int i = 0; i < 40; ++i) {
        long_tip += "가";
    }
    tray.setTip(long_tip);
    EXPECT_EQ(tray.tip().size(), 31u * 3u);
}

TEST_F(UploadMainWindowTest, DeleteCorrectsTheRunningEnginesRow) {
    holdAutoStart();
    auto& list = h.window.list();
    // Two groups: user 1 (rows 0, 1) and user 2 (rows 2, 3).
    for (int i = 0; i < 4; ++i) {
        tools::PageValues v;
        v.userNumber = i < 2 ? 1 : 2;
        handOver(job("f" + std::to_string(i) + ".txt", 1, v));
    }
    list.setJobState(0, "완료");
    list.setJobState(1, "에러");
    list.setJobState(2, "업로드중");
    list.setCurrentRow(2);
    h.window.setRunningFlag(1);
    // The engine parks at its safe point while the rows go.
    std::atomic<bool> stop{false};
    std::thread engine([&] {
        h.window.gate().enterRun();
        while (!stop) {
            h.window.gate().safePoint();
            std::this_thread::yield();
        }
        h.window.gate().leaveRun();
    });
    h.window.onCommand(control::kDelete);
    stop = true;
    engine.join();
    EXPECT_EQ(list.rowCount(), 2);
    EXPECT_EQ(list.currentRow(), 0);
    EXPECT_EQ(list.text(0, CFileListView::kName), "f2.txt");
    EXPECT_EQ(h.window.view().text(control::kStatusLine), "완료 / 오류 목록을 삭제 하였습니다.");
    EXPECT_TRUE(h.window.view().enabled(control::kStartStop));
    EXPECT_FALSE(list.busy());
}

TEST_F(UploadMainWindowTest, DeleteWithNothingFinishedLeavesTheStatusEmpty) {
    holdAutoStart();
    handOver(job("a.txt", 1));
    h.window.onCommand(control::kDelete);
    EXPECT_EQ(h.window.list().rowCount(), 1);
    EXPECT_EQ(h.window.view().text(control::kStatusLine), "");
}

TEST_F(UploadMainWindowTest, FolderItemOpensTheWaitDialogUntilTheExpansionEnds) {
    h.useEngine(nullptr);
    h.dir.write("files/album/a.txt", "a");
    tools::PageValues v;
    v.registrant = "member";
    auto folder = tools::buildUploadJob(h.dir / "files" / "album", v);
    ASSERT_TRUE(folder);
    ASSERT_TRUE(h.window.onCopyData(handover::makeUploadJobMessage(*folder)));
    EXPECT_EQ(h.modes, std::vector<int>{transfer_mode::kUploadFolderExpansion});
    EXPECT_EQ(h.window.pendingUploadFolder()->folderName(), "album");
    auto& dialog = h.window.folderWait();
    EXPECT_TRUE(dialog.open());
    h.loop.advance(999ms);
    EXPECT_EQ(dialog.frame(), 0);
    h.loop.advance(1ms);  // one frame a second while expanding
    EXPECT_EQ(dialog.frame(), 1);
    EXPECT_TRUE(dialog.swallowsKey(13) && dialog.swallowsKey(27) && dialog.swallowsKey(123));
    EXPECT_FALSE(dialog.swallowsKey('A'));
    h.window.closeFolderWaitDialog();
    h.loop.advance(499ms);
    EXPECT_TRUE(dialog.open());
    h.loop.advance(1ms);
    EXPECT_FALSE(dialog.open());
    // A folder item makes no row of its own.
    EXPECT_EQ(h.window.list().rowCount(), 0);
}

TEST_F(UploadMainWindowTest, RowClickShowsDetails) {
    handOver(job("a.txt", 1));
    h.window.onRowClick({0});
    EXPECT_EQ(h.window.view().text(control::kStatusLine), "대기중입니다.");
    h.window.onRowClick({});
    EXPECT_EQ(h.window.view().text(control::kStatusLine), "");
}

TEST(UploadMainWindowRuns, RunThatEndsBeforeTheStartReturnsLeavesNothingStarted) {
    WindowHarness h;
    h.window.view().setText(control::kPathBox, "/queued");
    const auto path = h.dir.write("files/quick", "x");
    auto r = tools::buildUploadJob(path, {});
    ASSERT_TRUE(r);
    ASSERT_TRUE(h.window.onCopyData(handover::makeUploadJobMessage(*r)));
    // The whole run, end included, happens before the factory returns, as a
    // fast thread may do.
    int runs = 0;
    h.window.setTransferFactory([&](int, const std::string&, EngineOperations& ops) {
        ++runs;
        ops.runEnded(RunEnd{});
        return std::make_unique<testing_support::ScriptedThread>([] {});
    });
    h.window.onCommand(control::kStartStop);
    EXPECT_EQ(h.window.startedFlag(), 0);
    h.window.onCommand(control::kStartStop);  // a later start goes
    EXPECT_EQ(runs, 2);
}

TEST(UploadMainWindowCounts, DoneCountIsNeverRaisedBeyondTheRows) {
    WindowHarness h;
    h.window.view().setText(control::kPathBox, "/queued");
    for (int i = 0; i < 2; ++i) {
        const auto path = h.dir.write("files/c" + std::to_string(i), "x");
        auto r = tools::buildUploadJob(path, {});
        ASSERT_TRUE(r);
        ASSERT_TRUE(h.window.onCopyData(handover::makeUploadJobMessage(*r)));
    }
    h.window.addDoneCount(1);
    h.window.addDoneCount(1);
    h.window.addDoneCount(1);  // a file confirmed twice
    EXPECT_EQ(h.window.doneCount(), 2);
    h.window.addDoneCount(5);
    EXPECT_EQ(h.window.doneCount(), 2);
}

}  // namespace
}  // namespace quenvara::uploader
