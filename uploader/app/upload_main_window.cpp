#include "uploader/app/upload_main_window.h"

#include <cmath>
#include <cstdio>
#include <limits>
#include <variant>

#include "common/cp949.h"
#include "common/file_digest.h"
#include "common/regular_file.h"
#include "common/size_text.h"
#include "platform/launcher.h"
#include "platform/path_text.h"
#include "protocol/record_path.h"
#include "uploader/list/job_state.h"

namespace quenvara::uploader {
namespace {

using namespace std::chrono_literals;

constexpr std::int32_t kDefaultDataServerPort = 6005;

}  // namespace

std::string clockText(std::int64_t seconds) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%02ld:%02ld:%02ld", static_cast<long>(seconds / 3600),
                  static_cast<long>((seconds % 3600) / 60),
                  static_cast<long>((seconds % 3600) % 60));
    return buf;
}

UploadMainWindow::UploadMainWindow(WindowServices services)
    : services_(std::move(services)),
      session_(services_.notices, *this),
      folderSession_(services_.notices, *this),
      folderWait_(services_.loop, folderSession_) {}

UploadMainWindow::~UploadMainWindow() {
    // The transfer threads use this window: they end before it goes.
    stopRequest_ = 1;
    for (TransferSession* session : {&session_, &folderSession_}) {
        if (auto* thread = session->current()) {
            thread->interrupt();
        }
        session->waitForCurrent();
    }
}

void UploadMainWindow::setTransferFactory(TransferThreadFactory factory) {
    session_.setFactory(factory);
    folderSession_.setFactory(std::move(factory));
}

void UploadMainWindow::initialise(const UploadSettings& settings) {
    tray_.add(kWindowCaption);
    totalRows_ = 0;
    doneCount_ = 0;
    elapsedHours_ = elapsedMinutes_ = elapsedSeconds_ = 0;
    halfWayShown_ = 0;
    {
        std::lock_guard lock(mutex_);
        defaults_.userNumber = 0;
        defaults_.sizeCopy = 0;
    }
    notificationDisplayMs_ = settings.notificationDisplayMs;
    notificationAutoHide_ = settings.notificationAutoHide;
    notificationsOff_ = settings.notificationsOff;
    view_.setCheck(control::kNotificationsOffCheck, notificationsOff_ ? 1 : 0);
    view_.setCheck(control::kCloseWindowCheck, settings.closeWindowChecked() ? 1 : 0);
}

// ---- hand-over ----

Status UploadMainWindow::onCopyData(const handover::ListMessage& message) {
    if (!listViewCreated_) {
        handOverBusy_ = false;
        services_.notices.show(kListHandleMissingText);
        return Status::failure(std::string(kListHandleMissingText));
    }
    auto item = handover::interpret(message);
    if (!item) {
        return Status::failure(item.error());
    }
    handOverBusy_ = true;
    std::visit([this](auto&& received) { receive(std::move(received)); }, std::move(*item));
    const bool bringForward =
        message.kind != static_cast<std::int32_t>(handover::ListMessageKind::MusicList) &&
        message.payload.size() != handover::kServerAddressSize;
    if (bringForward && view_.windowState() != WindowState::Hidden) {
        view_.raise();
    }
    handOverBusy_ = false;
    return {};
}

void UploadMainWindow::log(const std::string& line) const {
    if (handOverLog_) {
        handOverLog_(line);
    }
}

void UploadMainWindow::receive(const handover::ServerAddress& address) {
    {
        std::lock_guard lock(mutex_);
        serverAddress_ = address.address;
        serverPort_ = address.port;
    }
    log("command server " + address.address + " port " + std::to_string(address.port));
}

void UploadMainWindow::receive(handover::MusicList list) {
    musicList_.receive(list.entries);
    log("music list, " + std::to_string(list.entries.size()) + " entries");
}

template <class Record>
void UploadMainWindow::takeRegistrant(const Record& record) {
    const auto values = record.userValues();
    const auto name = values.registrantName();
    std::lock_guard lock(mutex_);
    if (!name.empty() && defaults_.registrantName.empty()) {
        defaults_.registrantName = name;
        defaults_.registrantBytes = values.registrantNameBytes();
    }
}

std::optional<std::string> UploadMainWindow::musicCheckPath(const UploadJobRecord& record) const {
    const char flag = record.musicCheckedFlag() == 0 ? 'N' : record.musicCheckedFlag();
    if (record.itemKind() != static_cast<std::int32_t>(ItemKind::SingleFile) ||
        !musicList_.received() || record.userValues().sectionCode() != "07" || flag != 'N') {
        return std::nullopt;
    }
    return record.localPath();
}

void UploadMainWindow::checkMusicAhead(const handover::ListMessage& message) {
    auto item = handover::interpret(message);
    const auto* record = item ? std::get_if<UploadJobRecord>(&*item) : nullptr;
    const auto path = record != nullptr ? musicCheckPath(*record) : std::nullopt;
    if (!path || !notRegularFileReason(platform::utf8Path(*path)).empty() ||
        !record_path::checkPlain(*path)) {
        return;
    }
    // The hand-over is under way: no completion meanwhile.
    services_.loop.send([this] {
        handOverBusy_ = true;
        folderWait_.run(0, uploadDefaults().registrantName);
    });
    auto key = services_.musicChecker.CheckMusicFile(*path, uploadDefaults().registrantName);
    {
        std::lock_guard lock(mutex_);
        musicAhead_ = MusicAhead{*path, std::move(key)};
    }
    services_.loop.send([this] { folderWait_.scheduleClose(); });
}

template <class Record>
bool UploadMainWindow::refusedAtIntake(const Record& record) {
    auto plain = record_path::checkPlain(record.localPath());
    if (plain && record.itemKind() == static_cast<std::int32_t>(ItemKind::Folder)) {
        plain = record_path::checkPlain(record.folderPath());
    }
    if (plain) {
        return false;
    }
    log("refused: " + plain.error());
    list_.addRefusedRow(std::is_same_v<Record, UploadJobRecord> ? 4 : 3, record.itemName(),
                        record.parentFolder(), record.itemSize(), plain.error());
    return true;
}

void UploadMainWindow::receive(UploadJobRecord record) {
    if (record.dataServerPort() < 1) {
        record.setDataServerPort(kDefaultDataServerPort);
    }
    takeRegistrant(record);
    const auto values = record.userValues();
    log(std::string("upload job ") + (record.itemKind() == 1 ? "folder " : "file ") +
        record.localPath() + " (" + sizeText(record.itemSize()) + ", section " +
        values.sectionCode() + ", registrant " + values.registrantName() + ")");
    {
        std::lock_guard lock(mutex_);
        if (auto v = values.sectionCode(); !v.empty()) {
            defaults_.sectionCode = v;
            defaults_.sectionCodeBytes = values.sectionCodeBytes();
        }
        if (auto v = values.subSectionCode(); !v.empty()) {
            defaults_.subSectionCode = v;
            defaults_.subSectionCodeBytes = values.subSectionCodeBytes();
        }
        if (auto v = values.adultFlag(); !v.empty()) {
            defaults_.adultFlag = v;
            defaults_.adultFlagBytes = values.adultFlagBytes();
        }
        if (values.userNumber() > 0) {
            defaults_.userNumber = values.userNumber();
        }
        if (values.sizeCopy() > 0) {
            defaults_.sizeCopy = values.sizeCopy();
        }
    }
    halfWayShown_ = 0;
    if (refusedAtIntake(record)) {
        return;
    }

    if (record.itemKind() == static_cast<std::int32_t>(ItemKind::Folder)) {
        // An expansion still running reads its folder item: let it finish.
        folderSession_.waitForCurrent();
        {
            std::lock_guard lock(mutex_);
            pendingUploadFolder_ = record;
        }
        folderWait_.run(transfer_mode::kUploadFolderExpansion, uploadDefaults().registrantName);
        return;
    }

    const std::string path = record.localPath();
    // A FIFO, a device or a folder handed over as a file would block the
    // music check and the digest: it gets no row.
    if (const auto reason = notRegularFileReason(platform::utf8Path(path)); !reason.empty()) {
        services_.notices.show(reason);
        return;
    }
    if (record.musicCheckedFlag() == 0) {
        record.setMusicCheckedFlag('N');
    }
    if (record.musicListFlag() == 0) {
        record.setMusicListFlag('Y');
    }
    if (musicCheckPath(record)) {
        std::optional<MusicAhead> ahead;
        {
            std::lock_guard lock(mutex_);
            ahead.swap(musicAhead_);
        }
        const auto key = ahead && ahead->path == path ? ahead->key
                                                      : services_.musicChecker.CheckMusicFile(
                                                            path, uploadDefaults().registrantName);
        record.setMusicCheckedFlag(key && record.setContentKey(*key) ? 'Y' : 'N');
    }
    if (record.fileDigest().empty()) {
        // A single file is its own root: a link in its place is refused.
        auto digest = fileDigest(platform::utf8Path(path), platform::utf8Path(path));
        if (digest && !record.setFileDigest(*digest)) {
            digest = Result<std::string>::failure(path + ": " + tooLongText(digest->size(), 37));
        }
        if (!digest) {
            services_.notices.show(digest.error());
        }
    }
    if (list_.addUploadRecord(record, 0, {"", modifiedTime(platform::utf8Path(path))})) {
        addTotalBytes(record.itemSize());
    }
    afterFileIntake(path);
}

void UploadMainWindow::receive(MyStorageJobRecord record) {
    if (record.dataServerPort() < 1) {
        record.setDataServerPort(kDefaultDataServerPort);
    }
    takeRegistrant(record);
    log(std::string("my-storage job ") + (record.itemKind() == 1 ? "folder " : "file ") +
        record.localPath() + " (" + sizeText(record.itemSize()) + ", registrant " +
        record.userValues().registrantName() + ")");
    if (refusedAtIntake(record)) {
        return;
    }
    if (record.itemKind() == static_cast<std::int32_t>(ItemKind::Folder)) {
        folderSession_.waitForCurrent();
        {
            std::lock_guard lock(mutex_);
            pendingMyStorageFolder_ = record;
        }
        folderWait_.run(transfer_mode::kMyStorageFolderExpansion, uploadDefaults().registrantName);
        return;
    }
    if (const auto reason = notRegularFileReason(platform::utf8Path(record.localPath()));
        !reason.empty()) {
        services_.notices.show(reason);
        return;
    }
    if (list_.addMyStorageRecord(record, 0,
                                 {"", modifiedTime(platform::utf8Path(record.localPath()))})) {
        addTotalBytes(record.itemSize());
    }
    afterFileIntake(record.localPath());
}

void UploadMainWindow::receive(handover::ShowWindowRequest) {
    // Started again from the desktop: the window comes forward, from the
    // tray too.
    log("a second start: the window is shown");
    showFromTray();
}

void UploadMainWindow::afterFileIntake(const std::string& path) {
    if (view_.text(control::kPathBox).empty() && running_ == 0 && active_ == 0 && started_ == 0) {
        view_.setText(control::kPathBox, path);
        scheduleAutoStart(1000ms);
    }
}

// ---- commands ----

void UploadMainWindow::onCommand(int id) {
    switch (id) {
        case control::kStartStop:
            startStopCommand();
            break;
        case control::kClose:
        case control::kClose2:
        case command::kTrayExit:
            confirmedClose();
            break;
        case control::kMaximize:
            view_.setWindowState(view_.windowState() == WindowState::Maximized
                                     ? WindowState::Normal
                                     : WindowState::Maximized);
            break;
        case control::kMinimize:
            view_.setWindowState(WindowState::Minimized);
            break;
        case control::kHide:
            hideToTray();
            break;
        case command::kTrayHide:
            if (view_.windowState() != WindowState::Hidden) {
                hideToTray();
            }
            break;
        case command::kTrayShow:
            showFromTray();
            break;
        case command::kTrayWebSite:
            openWebSite();
            break;
        case control::kDelete:
            deleteFinishedRows();
            break;
        case control::kCloseWindowCheck:
            onCloseWindowCheck();
            break;
        case control::kNotificationsOffCheck:
            onNotificationsOffCheck();
            break;
        default:
            break;
    }
}

void UploadMainWindow::clickCheckBox(int id) {
    view_.setCheck(id, view_.check(id) == 1 ? 0 : 1);
    onCommand(id);
}

void UploadMainWindow::startStopCommand() {
    if (active_ != 0) {
        // Paused: the bars keep what the server took; the totals are
        // recomputed when the next run starts.
        active_ = 0;
        started_ = 0;
        stopRequest_ = 1;
        stats_.bytesSent = 0;
        stats_.startTime = 0;
        view_.setLook(control::kStartStop, ButtonLook::Start);
        view_.setEnabled(control::kStartStop, false);
        // A receive that waits on a silent server ends now, not when its
        // time runs out. Last: the run's end, which may follow at once,
        // enables the button again.
        if (auto* thread = session_.current()) {
            thread->interrupt();
        }
        return;
    }
    if (running_ == 1 || started_ != 0) {
        return;
    }
    stats_.bytesSent = 0;
    stats_.startTime = 0;
    recomputeTotals();
    stopRequest_ = 0;
    active_ = 1;
    {
        // Marked before the thread starts, so that a fast engine's own state
        // for the row is never overwritten.
        // The row the run takes first: it starts at the top and passes over
        // the rows already done.
        auto guard = list_.lock();
        for (int row = 0; row < list_.rowCount(); ++row) {
            if (list_.state(row) != RowState::Done && !list_.refused(row)) {
                list_.setState(row, RowState::Uploading);
                break;
            }
        }
    }
    // Marked before the thread starts: a run that ends at once clears it,
    // and must not find it set again afterwards (no later start would go).
    started_ = 1;
    // The stop look too: a run that ends at once puts the start look back.
    view_.setLook(control::kStartStop, ButtonLook::Stop);
    if (!session_.start(transfer_mode::kUploadRun, uploadDefaults().registrantName)) {
        started_ = 0;
        active_ = 0;
        view_.setLook(control::kStartStop, ButtonLook::Start);
    }
}

void UploadMainWindow::stopForClose() {
    tray_.remove();
    stats_.bytesSent = 0;
    started_ = 0;
    active_ = 0;
    stopRequest_ = 1;
    stats_.startTime = 0;
}

void UploadMainWindow::confirmedClose() {
    // Files not yet sent go with the list: the question says so.
    std::string question(kCloseQuestion);
    int pending = 0;
    {
        auto guard = list_.lock();
        for (int row = 0; row < list_.rowCount(); ++row) {
            pending += isUnfinished(list_.state(row)) ? 1 : 0;
        }
    }
    if (pending > 0) {
        question += "\n\n아직 올리지 않은 파일 " + std::to_string(pending) +
                    " 개는 목록과 함께 사라집니다.";
    }
    const auto answer = services_.notices.messageBox(question, std::string(kWindowCaption),
                                                     platform::NoticeButtons::YesNo,
                                                     platform::NoticeIcon::Question);
    if (answer != platform::NoticeAnswer::Yes) {
        return;
    }
    stopForClose();
    recomputeTotals();
    view_.setLook(control::kStartStop, ButtonLook::Start);
    view_.setEnabled(control::kStartStop, false);
    services_.clock.sleepFor(1000ms);
    endWindow();
}

void UploadMainWindow::deleteFinishedRows() {
    if (list_.rowCount() == 0) {
        return;
    }
    view_.setText(control::kStatusLine, "오류 / 완료 목록을 삭제준비 중 입니다.");
    list_.setBusy(true);
    view_.setEnabled(control::kStartStop, false);
    // Held cooperatively: the engine parks at a point where it does not
    // touch the list (or, not yet in a run, waits to enter it).
    gate_.hold();
    bool deleted = false;
    {
        auto guard = list_.lock();
        const auto boundary = list_.deletionBoundary();
        for (int row = boundary.n; row >= 0; --row) {
            char status[128];
            std::snprintf(status, sizeof status, " %d 번째 목록을 삭제 중 입니다. ", row);
            view_.setText(control::kStatusLine, status);
            list_.deleteRow(row, list_.rowKind(row));
            deleted = true;
        }
        // The engine's own row moves up by the rows removed before it, so
        // that it goes on with the file it was working on. While it waits on
        // the network its row may be finished and go too: it then stands just
        // before the first row left, which its run loop takes next.
        if (deleted) {
            const int floor = running_ != 0 ? -1 : 0;
            list_.setCurrentRow(std::max(floor, list_.currentRow() - (boundary.n + 1)));
        }
    }
    view_.setEnabled(control::kStartStop, true);
    list_.setBusy(false);
    if (deleted) {
        view_.setText(control::kStatusLine, "완료 / 오류 목록을 삭제 하였습니다.");
        barPlacement_.place(list_, 0, active_ != 0, *geometry_);
    } else {
        view_.setText(control::kStatusLine, "");
    }
    gate_.release();
}

void UploadMainWindow::hideToTray() {
    view_.setWindowState(WindowState::Hidden);
    tray_.setHidden(true);
}

void UploadMainWindow::showFromTray() {
    view_.setWindowState(WindowState::Normal);
    tray_.setHidden(false);
    view_.raise();
}

void UploadMainWindow::onSystemClose() {
    hideToTray();
}

void UploadMainWindow::onWindowStateChanged(WindowState state) {
    if (view_.windowState() != state) {
        view_.setWindowState(state);
    }
}

void UploadMainWindow::onTrayMouse(TrayIcon::Mouse mouse) {
    if (mouse != TrayIcon::Mouse::LeftDoubleClick) {
        return;  // the right button's menu is the front-end's
    }
    if (tray_.hidden()) {
        view_.setWindowState(WindowState::Normal);
        tray_.setHidden(false);
    } else {
        hideToTray();
    }
}

void UploadMainWindow::openWebSite() {
    const auto r = services_.launcher.start(platform::browserCommand(services_.webSiteUrl));
    if (!r.started) {
        services_.notices.show("웹 브라우저를 열 수 없습니다: " + services_.webSiteUrl);
    }
}

void UploadMainWindow::onRowClick(const std::vector<int>& selectedRows) {
    view_.setText(control::kStatusLine,
                  list_presentation::statusLineForSelection(list_, selectedRows));
}

void UploadMainWindow::onCloseWindowCheck() {
    const int state = view_.check(control::kCloseWindowCheck);
    if (state == 2 || services_.settingsStore == nullptr) {
        return;
    }
    if (auto st = services_.settingsStore->writeAutoEnd(state == 1); !st) {
        services_.notices.show(st.error());
    }
}

void UploadMainWindow::onNotificationsOffCheck() {
    notificationsOff_ = view_.check(control::kNotificationsOffCheck) == 1;
    if (services_.settingsStore == nullptr) {
        return;
    }
    if (auto st = services_.settingsStore->writeNotificationsOff(notificationsOff_); !st) {
        services_.notices.show(st.error());
    }
}

void UploadMainWindow::destroy() {
    tray_.remove();
    list_.clear();
}

void UploadMainWindow::endWindow() {
    if (ended_) {
        return;
    }
    ended_ = true;
    services_.loop.killTimer(timer::kProgressTick);
    services_.loop.killTimer(timer::kTrayFrame);
    // The owner sees the last state of the window before it is emptied.
    if (onEnd_) {
        onEnd_();
    }
    destroy();
}

}  // namespace quenvara::uploader
