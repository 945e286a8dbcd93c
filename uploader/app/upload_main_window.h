#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/event_loop.h"
#include "platform/launcher.h"
#include "platform/notices.h"
#include "platform/result.h"
#include "platform/shutdown.h"
#include "protocol/job_records.h"
#include "protocol/list_message.h"
#include "uploader/app/corner_notifier.h"
#include "uploader/app/dialog_view.h"
#include "uploader/app/folder_wait_dialog.h"
#include "uploader/app/list_presentation.h"
#include "uploader/app/music_filter_binding.h"
#include "uploader/app/transfer_session.h"
#include "uploader/app/tray_icon.h"
#include "uploader/app/upload_settings.h"
#include "uploader/app/window_display.h"
#include "uploader/list/engine_gate.h"
#include "uploader/list/file_list_view.h"
#include "uploader/list/music_list.h"
#include "uploader/transfer/engine_operations.h"
#include "uploader/transfer/transfer_statistics.h"

namespace quenvara::uploader {

inline constexpr std::string_view kWindowCaption = "퀜바라 파일 올리기";
inline constexpr std::string_view kListHandleMissingText = "List 핸들을 찾을 수 없습니다.";
inline constexpr std::string_view kCloseQuestion = "퀜바라 등록창을\n\n종료 합니다.";
inline constexpr std::string_view kCompletedText = "등록하기가 완료되었습니다.";
inline constexpr std::string_view kCompletedNotice = "등록하기 완료";

// Window timers.
namespace timer {
inline constexpr int kShutdown = 1;
inline constexpr int kProgressTick = 2;
inline constexpr int kCompletion = 3;
inline constexpr int kAutoStart = 4;
inline constexpr int kTrayFrame = 5;
}  // namespace timer

// What the window works with; the application object wires it up.
struct WindowServices {
    platform::EventLoop& loop;
    platform::Clock& clock;
    platform::Notices& notices;
    CornerNotifier& notifier;
    MusicChecker& musicChecker;
    platform::Shutdown& shutdown;
    platform::Launcher& launcher;
    SettingsStore* settingsStore = nullptr;  // null: check boxes are not saved
    std::string webSiteUrl;
};

// The main progress window's logic: hand-over dispatch and record intake,
// the start/stop command, the one-second progress tick, the completion
// actions, the tray, and the operations offered to the transfer thread.
// Everything but the EngineOperations runs on the window thread.
class UploadMainWindow final : public EngineOperations {
  public:
    explicit UploadMainWindow(WindowServices services);
    ~UploadMainWindow() override;

    // Dialog initialisation: counters, settings check boxes, tray icon.
    void initialise(const UploadSettings& settings);
    // The window ends (close, completion with close, shutdown): the owner's
    // loop quits through this.
    void setOnEnd(std::function<void()> onEnd) { onEnd_ = std::move(onEnd); }
    void setTransferFactory(TransferThreadFactory factory);
    // Told one line about every hand-over message taken (for a log).
    void setHandOverLog(std::function<void(const std::string&)> log) {
        handOverLog_ = std::move(log);
    }
    void setListViewCreated(bool created) { listViewCreated_ = created; }
    // Where the list's cells are; the front-end's geometry.
    void setListGeometry(const ListGeometry* geometry) { geometry_ = geometry; }
    // Where the in-row progress bar is drawn (its values are the list's).
    Rect progressBarRect() const { return barPlacement_.rect(); }

    // WM_COPYDATA. Refuses a kind or length the protocol does not have.
    Status onCopyData(const handover::ListMessage& message);
    // From the hand-over's thread, before the message reaches the window:
    // the music check a single file needs (decoding, fingerprint, the filter
    // service, up to a minute) runs there, with the busy dialog shown, so
    // that the window goes on painting; intake then takes its result.
    void checkMusicAhead(const handover::ListMessage& message);
    // WM_COMMAND from buttons, check boxes and the tray menu. A check box
    // has already changed its state when its command arrives.
    void onCommand(int id);
    // A click on a check box: toggles it, then its command.
    void clickCheckBox(int id);
    // The system menu's close: hide into the tray.
    void onSystemClose();
    void onTrayMouse(TrayIcon::Mouse mouse);
    // The desktop changed the window's state itself (restored it from the
    // task bar, say): the logic's view follows.
    void onWindowStateChanged(WindowState state);
    void onRowClick(const std::vector<int>& selectedRows);
    // WM_DESTROY: tray icon away, list emptied.
    void destroy();

    CFileListView& list() override { return list_; }
    DialogView& view() { return view_; }
    EngineDisplay& display() override { return display_; }
    EngineGate& gate() override { return gate_; }
    MusicList& musicList() override { return musicList_; }
    MusicChecker& musicChecker() override { return services_.musicChecker; }
    TrayIcon& tray() { return tray_; }
    TransferSession& session() { return session_; }
    TransferSession& folderSession() { return folderSession_; }

    // Flags.
    int activeFlag() const override { return active_; }
    void setActiveFlag(int active) override { active_ = active; }
    int runningFlag() const override { return running_; }
    void setRunningFlag(int running) { running_ = running; }
    int startedFlag() const override { return started_; }
    void setStartedFlag(int started) { started_ = started; }
    bool stopRequested() const override { return stopRequest_ != 0; }
    bool handOverBusy() const { return handOverBusy_; }
    bool notificationsOff() const { return notificationsOff_; }
    bool halfWayNoticeShown() const { return halfWayShown_ != 0; }
    bool ended() const { return ended_; }

    // Counters.
    void addTotalBytes(double bytes) override;
    void addBytesSent(double bytes);
    void addDoneBytes(double bytes);
    double totalBytes() const override { return stats_.totalBytes; }
    double doneBytes() const override { return stats_.doneBytes; }
    double bytesSent() const { return stats_.bytesSent; }
    std::int64_t startTime() const { return stats_.startTime; }
    void setCurrentFile(double size, double done);
    void setCurrentFileDone(double done) { stats_.currentFileDone = done; }
    std::string currentFileRemainingText() const;
    void setSizeSummary(std::string text);
    // Never raised beyond the number of rows.
    void addDoneCount(int files);
    int doneCount() const { return doneCount_; }

    void recomputeTotals();
    void startTimers();
    void stopTimers() override;
    void resetSpeedDisplay();
    bool timersRunning() const { return timersRunning_ != 0; }

    std::string serverAddress() const override;
    std::int32_t serverPort() const override;
    UploadDefaults uploadDefaults() const override;
    std::optional<UploadJobRecord> pendingUploadFolder() const override;
    std::optional<MyStorageJobRecord> pendingMyStorageFolder() const override;
    FolderWaitDialog& folderWait() { return folderWait_; }

    void completionCheck();
    void scheduleShutdown();
    void scheduleAutoStart(platform::Millis delay) override;
    void closeFolderWaitDialog() override;
    bool shutdownChecked() const;
    // The speed box is hidden and keeps its first entry.
    int speedChoice() const override { return 0; }
    void placeProgressBar(int row);
    void setTrayTip(const std::string& tip) { tray_.setTip(tip); }

    // The engine's events.
    void runStarted() override;
    void rowStateChanged(std::uint64_t rowId, RowState state, std::string_view statusText) override;
    void fileStarted(const FileStart& file) override;
    void bytesSent(std::uint64_t rowId, double bytes) override;
    void fileStopped(std::uint64_t rowId) override;
    void runEnded(const RunEnd& end) override;

  private:
    void receive(const handover::ServerAddress& address);
    void receive(handover::MusicList list);
    void receive(UploadJobRecord record);
    void receive(MyStorageJobRecord record);
    void receive(handover::ShowWindowRequest);
    template <class Record>
    void takeRegistrant(const Record& record);
    // A run that ended with files not sent tells so in a box.
    void announceFailedRun(const RunEnd& end);
    // The music check that intake would make for this record, when it needs one.
    std::optional<std::string> musicCheckPath(const UploadJobRecord& record) const;
    // A record whose paths are not plain (absolute, no "." or ".." parts,
    // by the records' separator rule) gets a row reading "오류" with the
    // reason and is never sent.
    template <class Record>
    bool refusedAtIntake(const Record& record);
    void afterFileIntake(const std::string& path);
    void log(const std::string& line) const;

    void startStopCommand();
    // The tray icon goes and the run is asked to stop: the window is closing.
    void stopForClose();
    void confirmedClose();
    void deleteFinishedRows();
    void hideToTray();
    void showFromTray();
    void openWebSite();
    void onCloseWindowCheck();
    void onNotificationsOffCheck();

    void onProgressTick();
    // Steps 1-5 of the tick: speed and remaining times. False when the
    // remaining time could not be computed (shown as "00:00:00").
    bool updateSpeedAndRemaining(std::int64_t now, bool& noTime);
    void onCompletionTimer();
    void completionActions();
    void onShutdownTimer();
    void onAutoStartTimer();
    void endWindow();
    void placeBarOnCurrentRow();

    WindowServices services_;
    DialogView view_;
    WindowDisplay display_{view_};
    CFileListView list_;
    // The file whose bytes are going out, as the engine's events tell it;
    // written and read on the transfer thread only.
    struct SendingFile {
        double size = 0;
        double serverOffset = 0;
        double sent = 0;
        bool uploadKind = true;
        // Bytes sent when the texts were last drawn.
        double drawnAt = 0;
    };
    SendingFile sending_;
    StackedListGeometry defaultGeometry_{541};
    ProgressBarPlacement barPlacement_;
    const ListGeometry* geometry_ = &defaultGeometry_;
    EngineGate gate_;
    MusicList musicList_;
    TrayIcon tray_;
    TransferSession session_;
    TransferSession folderSession_;
    FolderWaitDialog folderWait_;
    std::function<void()> onEnd_;
    std::function<void(const std::string&)> handOverLog_;
    bool listViewCreated_ = true;
    bool ended_ = false;
    // A music check made ahead of intake: the file and its key, if any.
    struct MusicAhead {
        std::string path;
        std::optional<std::string> key;
    };
    std::optional<MusicAhead> musicAhead_;

    std::atomic<int> active_{0};
    std::atomic<int> started_{0};
    std::atomic<int> running_{0};
    std::atomic<int> stopRequest_{0};
    std::atomic<bool> handOverBusy_{false};
    std::atomic<int> timersRunning_{0};
    std::atomic<int> halfWayShown_{0};
    bool notificationsOff_ = false;
    int notificationDisplayMs_ = 3000;
    std::string notificationAutoHide_ = "true";

    TransferStatistics stats_;
    std::atomic<int> doneCount_{0};
    int totalRows_ = 0;
    int elapsedHours_ = 0;
    int elapsedMinutes_ = 0;
    int elapsedSeconds_ = 0;

    mutable std::mutex mutex_;  // guards what follows
    std::string currentFileRemaining_ = "00:00:00";
    std::string sizeSummary_;
    std::string serverAddress_;
    std::int32_t serverPort_ = 0;
    UploadDefaults defaults_;
    std::optional<UploadJobRecord> pendingUploadFolder_;
    std::optional<MyStorageJobRecord> pendingMyStorageFolder_;
};

// "%02ld:%02ld:%02ld" of a count of seconds.
std::string clockText(std::int64_t seconds);

}  // namespace quenvara::uploader
