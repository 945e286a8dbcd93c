// The window's timers: the one-second progress tick, completion, shut-down
// and auto-start.
#include "uploader/app/upload_main_window.h"

#include <cstdio>

#include "uploader/app/window_text.h"
#include "uploader/list/job_state.h"

namespace quenvara::uploader {

using namespace std::chrono_literals;
using window_detail::format;

// ---- timers ----

bool UploadMainWindow::updateSpeedAndRemaining(std::int64_t now, bool& noTime) {
    if (stats_.startTime == 0) {
        stats_.startTime = now;
    }
    const auto counters = stats_.snapshot();
    const auto kbps = counters.speedKbps(now);
    if (!kbps) {
        return false;
    }
    const std::int64_t speed = *kbps;
    char speedText[64];
    std::snprintf(speedText, sizeof speedText, "%ld KBps", static_cast<long>(speed));
    view_.setText(control::kSpeed, speedText);

    const auto remaining =
        TransferStatistics::remainingSeconds(counters.totalBytes - counters.doneBytes, speed);
    const auto fileRemaining = TransferStatistics::remainingSeconds(
        counters.currentFileSize - counters.currentFileDone, speed);
    noTime = !remaining;
    if (remaining) {
        view_.setText(control::kRemainingTime, clockText(*remaining));
        std::lock_guard lock(mutex_);
        currentFileRemaining_ = clockText(fileRemaining.value_or(0));
    } else {
        view_.setText(control::kRemainingTime, "00:00:00");
    }
    return true;
}

void UploadMainWindow::onProgressTick() {
    bool noTime = false;
    if (!updateSpeedAndRemaining(services_.clock.epochSeconds(), noTime)) {
        return;
    }
    if (!noTime) {
        if (++elapsedSeconds_ == 60) {
            elapsedSeconds_ = 0;
            if (++elapsedMinutes_ == 60) {
                elapsedMinutes_ = 0;
                ++elapsedHours_;
            }
        }
        view_.setText(control::kElapsed,
                      clockText(elapsedHours_ * 3600 + elapsedMinutes_ * 60 + elapsedSeconds_));
        totalRows_ = list_.rowCount();
        std::string summary;
        {
            std::lock_guard lock(mutex_);
            summary = sizeSummary_;
        }
        char count[600];
        std::snprintf(count, sizeof count, "%d/%d(%s)", doneCount_.load(), totalRows_,
                      summary.c_str());
        view_.setText(control::kCountText, count);
    }
    const std::string remainingText = view_.text(control::kRemainingTime);
    const std::string tip = format("등록하기 완료까지 %s 가 남았습니다.\n", remainingText);
    tray_.setTip(tip);

    const auto counters = stats_.snapshot();
    const auto doneKb = static_cast<std::int64_t>(counters.doneBytes / 1024);
    const auto totalKb = static_cast<std::int64_t>(counters.totalBytes / 1024);
    if (doneKb >= totalKb / 2 && halfWayShown_ == 0) {
        const std::string text =
            format("등록하기 %s 완료.\n%s", view_.text(control::kOverallBar), tip);
        if (!notificationsOff_) {
            services_.notifier.show(text, 10, notificationDisplayMs_, 10, notificationAutoHide_);
        }
        halfWayShown_ = 1;
    }
}

void UploadMainWindow::onCompletionTimer() {
    services_.loop.killTimer(timer::kCompletion);
    if (handOverBusy_) {
        return;
    }
    completionActions();
}

void UploadMainWindow::completionActions() {
    view_.setText(control::kRemainingTime, "00:00:00");
    elapsedHours_ = elapsedMinutes_ = elapsedSeconds_ = 0;
    view_.setText(control::kElapsed, "00:00:00");
    doneCount_ = 0;
    totalRows_ = 0;
    recomputeTotals();
    list_.hideProgressBar();
    placeBarOnCurrentRow();

    // Files the records could not carry, or that led out of what was
    // handed over: said, and the window stays so the rows can be read.
    if (const int notSent = list_.refusedCount(); notSent > 0) {
        services_.notices.messageBox(
            "보낼 수 있는 파일은 모두 보냈지만 " + std::to_string(notSent) +
                " 개는 보내지 못했습니다.\n목록에서 오류로 표시된 줄의 까닭을 확인하세요.",
            "알림", platform::NoticeButtons::Ok, platform::NoticeIcon::Warning);
        return;
    }
    const int rows = list_.rowCount();
    if (list_.allDone() && rows > 0) {
        // Everything is sent: the bar says so until the next run.
        view_.setRange(control::kOverallBar, 1);
        view_.setPosition(control::kOverallBar, 1);
        view_.setText(control::kOverallBar, "100%");
    }
    if (rows > 0 && list_.state(rows - 1) == RowState::Done) {
        if (!notificationsOff_) {
            services_.notifier.show(kCompletedNotice, 10, notificationDisplayMs_, 10,
                                    notificationAutoHide_);
        }
        services_.notices.autoClosingBox(kCompletedText, "5 초 후 자동 종료 됩니다.", 5);
    }
    if (view_.check(control::kCloseWindowCheck) == 1) {
        stopForClose();
        services_.clock.sleepFor(100ms);
        view_.setLook(control::kStartStop, ButtonLook::Start);
        view_.setEnabled(control::kStartStop, false);
        endWindow();
    }
}

void UploadMainWindow::onShutdownTimer() {
    services_.loop.killTimer(timer::kShutdown);
    const auto outcome = services_.shutdown.powerOff();
    char text[128] = "";
    if (outcome.stage == platform::Shutdown::Stage::NotStarted) {
        std::snprintf(text, sizeof text, "프로세스 열기 실패 : Error code = %d", outcome.code);
    } else if (outcome.stage == platform::Shutdown::Stage::Failed) {
        std::snprintf(text, sizeof text, "SetSystemPowerState() : Error code = %d", outcome.code);
    }
    if (text[0] != '\0') {
        services_.notices.messageBox(text, "알림", platform::NoticeButtons::Ok,
                                     platform::NoticeIcon::Stop);
    }
    endWindow();
}

void UploadMainWindow::onAutoStartTimer() {
    services_.loop.killTimer(timer::kAutoStart);
    startStopCommand();
    view_.setEnabled(control::kStartStop, true);
}

void UploadMainWindow::placeProgressBar(int row) {
    barPlacement_.place(list_, row, active_ != 0, *geometry_);
}

void UploadMainWindow::placeBarOnCurrentRow() {
    barPlacement_.place(list_, list_.currentRow(), active_ != 0, *geometry_);
}

}  // namespace quenvara::uploader
