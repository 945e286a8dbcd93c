// The operations the window offers the engine: counters, timers, flags.
#include "uploader/app/upload_main_window.h"

#include <cstdio>

#include "uploader/list/job_state.h"

namespace quenvara::uploader {

using namespace std::chrono_literals;

// ---- counters offered to the engine ----

void UploadMainWindow::addTotalBytes(double bytes) {
    TransferStatistics::add(stats_.totalBytes, bytes);
}
void UploadMainWindow::addBytesSent(double bytes) {
    TransferStatistics::add(stats_.bytesSent, bytes);
}
void UploadMainWindow::addDoneBytes(double bytes) {
    TransferStatistics::add(stats_.doneBytes, bytes);
}

void UploadMainWindow::setCurrentFile(double size, double done) {
    stats_.currentFileSize = size;
    stats_.currentFileDone = done;
}

std::string UploadMainWindow::currentFileRemainingText() const {
    std::lock_guard lock(mutex_);
    return currentFileRemaining_;
}

void UploadMainWindow::setSizeSummary(std::string text) {
    std::lock_guard lock(mutex_);
    sizeSummary_ = std::move(text);
}

void UploadMainWindow::recomputeTotals() {
    stats_.totalBytes = list_.unfinishedBytes();
    stats_.doneBytes = 0;
    view_.setPosition(control::kOverallBar, 0);
    view_.setText(control::kOverallBar, "0%");
    view_.setText(control::kHiddenBar, "0  / 0 ");
    view_.setPosition(control::kHiddenBar, 0);
}

void UploadMainWindow::startTimers() {
    timersRunning_ = 1;
    const auto now = services_.clock.epochSeconds();
    std::int64_t unset = 0;
    stats_.startTime.compare_exchange_strong(unset, now);
    if (now - stats_.startTime >= 1) {
        bool noTime = false;
        updateSpeedAndRemaining(now, noTime);
    }
    services_.loop.setTimer(timer::kProgressTick, 1000ms, [this] { onProgressTick(); });
    services_.loop.setTimer(timer::kTrayFrame, 100ms, [this] { tray_.nextFrame(); });
}

void UploadMainWindow::stopTimers() {
    services_.loop.killTimer(timer::kProgressTick);
    services_.loop.killTimer(timer::kTrayFrame);
    tray_.stillFrame();
    timersRunning_ = 0;
}

void UploadMainWindow::resetSpeedDisplay() {
    stopTimers();
    stats_.bytesSent = 0;
    stats_.startTime = 0;
    view_.setText(control::kSpeed, "0 KBps");
    view_.setText(control::kRemainingTime, "00:00:00");
}

std::string UploadMainWindow::serverAddress() const {
    std::lock_guard lock(mutex_);
    return serverAddress_;
}

std::int32_t UploadMainWindow::serverPort() const {
    std::lock_guard lock(mutex_);
    return serverPort_;
}

void UploadMainWindow::addDoneCount(int files) {
    const int total = list_.rowCount();
    int done = doneCount_.load();
    while (done < total && !doneCount_.compare_exchange_weak(done, std::min(done + files, total))) {
    }
}

UploadDefaults UploadMainWindow::uploadDefaults() const {
    std::lock_guard lock(mutex_);
    return defaults_;
}

std::optional<UploadJobRecord> UploadMainWindow::pendingUploadFolder() const {
    std::lock_guard lock(mutex_);
    return pendingUploadFolder_;
}

std::optional<MyStorageJobRecord> UploadMainWindow::pendingMyStorageFolder() const {
    std::lock_guard lock(mutex_);
    return pendingMyStorageFolder_;
}

bool UploadMainWindow::shutdownChecked() const {
    return view_.check(control::kShutdownCheck) == 1;
}

void UploadMainWindow::completionCheck() {
    if (!list_.allDoneOrRefused() || shutdownChecked()) {
        return;
    }
    services_.loop.setTimer(timer::kCompletion, 1000ms, [this] { onCompletionTimer(); });
}

void UploadMainWindow::scheduleShutdown() {
    services_.loop.setTimer(timer::kShutdown, 10000ms, [this] { onShutdownTimer(); });
}

void UploadMainWindow::scheduleAutoStart(platform::Millis delay) {
    services_.loop.setTimer(timer::kAutoStart, delay, [this] { onAutoStartTimer(); });
}

// ---- the engine's events ----

void UploadMainWindow::runStarted() {
    setRunningFlag(1);
}

void UploadMainWindow::rowStateChanged(std::uint64_t, RowState state, std::string_view) {
    // The row's texts are in the list already; the window counts files.
    if (state == RowState::Done) {
        addDoneCount(1);
    }
}

void UploadMainWindow::runEnded(const RunEnd& end) {
    // A finished last job with "컴퓨터 종료" on shuts the PC down.
    if (shutdownChecked() && end.reachedEnd) {
        scheduleShutdown();
    }
    setActiveFlag(0);
    setRunningFlag(0);
    resetSpeedDisplay();
    completionCheck();
    // Nothing runs now: the button offers a start.
    view_.setLook(control::kStartStop, ButtonLook::Start);
    view_.setEnabled(control::kStartStop, true);
    setStartedFlag(0);
    if (end.alreadyConnected) {
        scheduleAutoStart(189'000ms);
        view_.setText(control::kStatusLine,
                      "서버에 접속 되어 있습니다. 3분후 재 전송을 시작합니다.");
    } else if (end.failures >= kRunFailureLimit) {
        view_.setText(control::kStatusLine, "10회 이상 재 업로드가 실패 하였습니다.");
    } else {
        // A row that failed says why in the status line too.
        std::string why;
        auto guard = list_.lock();
        for (int row = 0; row < list_.rowCount(); ++row) {
            if (list_.state(row) == RowState::Failed) {
                why = list_.text(row, CFileListView::kStatusText);
            }
        }
        view_.setText(control::kStatusLine, why);
    }
    setTrayTip(std::string(job_state::kWaiting));
    stopTimers();
    announceFailedRun(end);
}

void UploadMainWindow::announceFailedRun(const RunEnd& end) {
    // A run that went through its rows, or gave up, with files not sent says
    // so; files that cannot be sent at all are the completion notice's.
    if (end.alreadyConnected || (!end.reachedEnd && end.failures < kRunFailureLimit) ||
        list_.allDoneOrRefused()) {
        return;
    }
    int failed = 0;
    std::string why;
    {
        auto guard = list_.lock();
        for (int row = 0; row < list_.rowCount(); ++row) {
            if (list_.state(row) == RowState::Failed) {
                ++failed;
                // The row's reason: its status text, else its state text.
                const auto status = list_.text(row, CFileListView::kStatusText);
                why =
                    list_.text(row, CFileListView::kName) + ": " +
                    (status.empty() || status == kWaitingStatusText ? list_.jobState(row) : status);
            }
        }
    }
    if (failed == 0) {
        return;
    }
    services_.notices.messageBox(
        "올리기를 마쳤지만 " + std::to_string(failed) + " 개 파일을 올리지 못했습니다.\n" + why +
            "\n시작 단추를 누르면 다시 시도합니다.",
        "알림", platform::NoticeButtons::Ok, platform::NoticeIcon::Warning);
}

void UploadMainWindow::closeFolderWaitDialog() {
    folderWait_.scheduleClose();
}

}  // namespace quenvara::uploader
