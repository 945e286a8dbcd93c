#include "uploader/transfer/upload_session.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "common/cp949.h"
#include "common/regular_file.h"
#include "uploader/app/dialog_view.h"
#include "uploader/app/music_filter_binding.h"
#include "uploader/list/engine_gate.h"
#include "uploader/list/file_list_view.h"
#include "uploader/list/job_state.h"
#include "uploader/list/music_list.h"
#include "uploader/transfer/progress_texts.h"

namespace quenvara::uploader {
namespace {

using namespace std::chrono_literals;
using transfer::PacketHeader;
namespace msg = transfer::msg;

constexpr int kConnectAttempts = 60;
constexpr int kFailureLimit = 10;

std::string sendErrorText(int number) {
    return "패킷 전송 에러 입니다. (code:" + std::to_string(number) + ")";
}

bool equalsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

}  // namespace

std::size_t chunkSize(bool myStorage, int speedChoice) {
    if (myStorage) {
        return 32'768;
    }
    switch (speedChoice) {
        case 1:
            return 16'384;
        case 3:
            return 4'096;
        case 4:
            return 1'024;
        default:
            return 32'768;
    }
}

namespace {

std::string joinPath(const std::string& parent, const std::string& name) {
    std::string path = parent;
    if (!path.empty() && path.back() != '/') {
        path += '/';
    }
    path += name;
    for (std::size_t at; (at = path.find("//")) != std::string::npos;) {
        path.erase(at, 1);
    }
    return path;
}

// The service's registered record describes the working file only when it
// names the same file; another file's record must never be resent for it.
template <class Record>
bool sameFile(const Record& registered, const Record& working) {
    return registered.itemNameBytes() == working.itemNameBytes() &&
           registered.parentFolderBytes() == working.parentFolderBytes() &&
           registered.contentIdBytes() == working.contentIdBytes();
}

template <class Record>
std::pair<std::string, std::int32_t> groupOf(const Record& r) {
    const auto values = r.userValues();
    return {values.folderGroupTextBytes(), values.userNumber()};
}

}  // namespace

UploadSession::UploadSession(EngineOperations& window, TransferServices services,
                             std::string registrant)
    : window_(window), services_(std::move(services)), registrant_(std::move(registrant)) {
    // The header carries the registrant field's own bytes, as the page gave
    // them; only a name without a record behind it is converted.
    if (auto raw = window_.uploadDefaults().registrantBytes; !raw.empty()) {
        registrantField_ = transfer::registrantField(raw);
    } else {
        auto bytes = cp949::fromUtf8(registrant_);
        registrantField_ = transfer::registrantField(bytes ? *bytes : registrant_);
    }
}

// ---- rows ----

int UploadSession::currentRow() const {
    return window_.list().currentRow();
}
void UploadSession::setCurrentRow(int row) {
    window_.list().setCurrentRow(row);
}
int UploadSession::rowCount() const {
    return window_.list().rowCount();
}

UploadSession::Kind UploadSession::rowKind(int row) const {
    auto& list = window_.list();
    auto guard = list.lock();
    if (list.rowCount() == 0) {
        return kNone;
    }
    if (row < 0 || row >= list.rowCount()) {
        return kNone;
    }
    return equalsNoCase(list.text(row, CFileListView::kDisk), CFileListView::kUploadDisk) ? kUpload
                                                                                          : kMy;
}

int UploadSession::workRow() const {
    return window_.list().rowOfId(workRowId_);
}

void UploadSession::sleep(platform::Millis duration) {
    EngineGate::Quiet quiet(window_.gate());
    services_.clock.sleepFor(duration);
}

void UploadSession::setRowTexts(std::string_view state, std::string_view status) {
    auto& list = window_.list();
    auto guard = list.lock();
    const int row = workRow();
    if (row >= 0) {
        list.setJobState(row, state);
        list.setText(row, CFileListView::kStatusText, std::string(status));
    }
}

void UploadSession::setRowStatus(std::string_view status) {
    auto& list = window_.list();
    auto guard = list.lock();
    const int row = workRow();
    if (row >= 0) {
        list.setText(row, CFileListView::kStatusText, std::string(status));
    }
}

void UploadSession::setStatusLine(std::string_view text) {
    window_.view().setText(control::kStatusLine, text);
}

// ---- working record ----

std::int32_t UploadSession::workingResumeState() const {
    return kind_ == kMy ? myRecord_.resumeState() : uploadRecord_.resumeState();
}

bool UploadSession::workingIsFolder() const {
    const auto kind = kind_ == kMy ? myRecord_.itemKind() : uploadRecord_.itemKind();
    return kind == static_cast<std::int32_t>(ItemKind::Folder);
}

std::string UploadSession::workingItemName() const {
    return kind_ == kMy ? myRecord_.itemName() : uploadRecord_.itemName();
}

double UploadSession::workingSize() const {
    return kind_ == kMy ? myRecord_.itemSize() : uploadRecord_.itemSize();
}

// ---- the run ----

void UploadSession::run() {
    auto& gate = window_.gate();
    gate.enterRun();
    alreadyConnected_ = false;
    errorSeen_ = false;
    window_.setRunningFlag(1);
    failureCount_ = 0;
    setStatusLine("");
    // Every run starts at the top; rows already done are passed over.
    setCurrentRow(0);
    while (!alreadyConnected_ && failureCount_ < kFailureLimit && rowCount() > 0) {
        gate.safePoint();
        if (currentRow() >= rowCount() || isStopped()) {
            break;
        }
        rowSession();
        if (groupStart_ && workingIsFolder()) {
            moveToGroupEnd();
        }
        setCurrentRow(currentRow() + 1);
        if (alreadyConnected_) {
            break;
        }
    }
    if (window_.shutdownChecked() && !isStopped() && currentRow() >= rowCount()) {
        window_.scheduleShutdown();
    }
    window_.setActiveFlag(0);
    window_.setRunningFlag(0);
    endOfRun();
    gate.leaveRun();
}

void UploadSession::endOfRun() {
    closeSocket();
    window_.resetSpeedDisplay();
    window_.completionCheck();
    window_.view().setEnabled(control::kStartStop, true);
    window_.setStartedFlag(0);
    window_.setRunningFlag(0);
    if (alreadyConnected_) {
        window_.scheduleAutoStart(189'000ms);
        setStatusLine("서버에 접속 되어 있습니다. 3분후 재 전송을 시작합니다.");
    } else if (failureCount_ >= kFailureLimit) {
        setStatusLine("10회 이상 재 업로드가 실패 하였습니다.");
    } else {
        setStatusLine("");
    }
    failureCount_ = 0;
    alreadyConnected_ = false;
    window_.setTrayTip(std::string(job_state::kWaiting));
    window_.stopTimers();
}

void UploadSession::rowSession() {
    auto& list = window_.list();
    const int row = currentRow();
    kind_ = rowKind(row);
    if (kind_ == kNone) {
        return;
    }
    // 1. The record: the row's own, or the working copy of a folder item
    // that failed in its data phase. The kept copy belongs to the row that
    // broke: any other row takes its own record.
    {
        auto guard = list.lock();
        auto rowRecord = list.record(row);
        const std::uint64_t id = list.rowId(row);
        if (retryRowId_ != id) {
            retryRowId_ = 0;
            uploadRecord_.setResumeState(0);
            myRecord_.setResumeState(0);
        }
        workRowId_ = id;
        std::visit(
            [&](auto& rec) {
                using R = std::decay_t<decltype(rec)>;
                auto& working = [&]() -> R& {
                    if constexpr (std::is_same_v<R, UploadJobRecord>) {
                        return uploadRecord_;
                    } else {
                        return myRecord_;
                    }
                }();
                const bool single =
                    rec.itemKind() == static_cast<std::int32_t>(ItemKind::SingleFile);
                if (working.resumeState() == 1) {
                    if (single) {
                        if (!rec.dataServerAddressBytes().empty()) {
                            rec.setResumeState(1);
                            list.setRecord(row, rec);
                        }
                    } else {
                        rec = working;
                    }
                } else if (single && !rec.dataServerAddressBytes().empty()) {
                    rec.setResumeState(2);
                    list.setRecord(row, rec);
                }
                if (equalsNoCase(list.text(row, CFileListView::kState), job_state::kDone)) {
                    keepGoing_ = false;
                    return;
                }
                working = rec;
                located_ = false;
                keepGoing_ = true;
            },
            rowRecord);
        if (equalsNoCase(list.text(row, CFileListView::kState), job_state::kDone)) {
            return;
        }
    }

    // 4. Locate.
    const bool needLocate = kind_ == kMy ? myRecord_.dataServerAddressBytes().empty()
                                         : uploadRecord_.dataServerAddressBytes().empty();
    if (needLocate) {
        const auto address = window_.serverAddress();
        const auto port = window_.serverPort();
        if (kind_ == kMy) {
            myRecord_.setDataServerAddressBytes(address);
            myRecord_.setDataServerPort(port);
        } else {
            uploadRecord_.setDataServerAddressBytes(address);
            uploadRecord_.setDataServerPort(port);
        }
        if (!connect(address, port)) {
            keepGoing_ = false;
            return;
        }
        bool sent;
        if (kind_ == kMy) {
            const auto body = transfer::encodeLocateMyBody(myRecord_.userValues().sizeCopy());
            sent = sendPacket(msg::kLocateMy, body, 2999);
        } else {
            const auto d = window_.uploadDefaults();
            transfer::LocateValues v;
            v.userNumber = d.userNumber;
            // The page's bytes, never decoded and encoded again.
            v.sectionCode = d.sectionCodeBytes;
            v.subSectionCode = d.subSectionCodeBytes;
            v.adultFlag = d.adultFlagBytes;
            v.size = d.sizeCopy;
            sent = sendPacket(msg::kLocate, transfer::encodeLocateBody(v), 2702);
        }
        if (!sent) {
            keepGoing_ = false;
            closeSocket();
            return;
        }
        readConversation();
        closeSocket();
        if (!located_) {
            keepGoing_ = false;
        }
    }

    // 5. Register a folder item's group.
    if (located_ && workingIsFolder()) {
        const auto address = kind_ == kMy ? myRecord_.dataServerAddressBytes()
                                          : uploadRecord_.dataServerAddressBytes();
        const auto port =
            kind_ == kMy ? myRecord_.dataServerPort() : uploadRecord_.dataServerPort();
        if (!connect(address, port)) {
            keepGoing_ = false;
        } else {
            bool sent;
            if (kind_ == kMy) {
                sent = sendPacket(msg::kRegisterFolderMy, myRecord_.bytes(), 3054);
            } else {
                sent = sendPacket(msg::kRegisterFolder, uploadRecord_.bytes(), 2756);
            }
            if (sent) {
                readConversation();
            }
            closeSocket();
            auto guard = list.lock();
            const int now = workRow();
            if (now >= 0) {
                auto updated = list.record(now);
                if (kind_ == kMy) {
                    if (auto* r = std::get_if<MyStorageJobRecord>(&updated)) {
                        myRecord_ = *r;
                    }
                } else if (auto* r = std::get_if<UploadJobRecord>(&updated)) {
                    uploadRecord_ = *r;
                }
            }
        }
    }

    // 6. Upload.
    if (keepGoing_) {
        const auto address = kind_ == kMy ? myRecord_.dataServerAddressBytes()
                                          : uploadRecord_.dataServerAddressBytes();
        const auto port =
            kind_ == kMy ? myRecord_.dataServerPort() : uploadRecord_.dataServerPort();
        if (connect(address, port)) {
            sleep(1000ms);
            if (sendPacket(msg::kStart, {}, kind_ == kMy ? 2463 : 2341)) {
                readConversation();
            }
            closeSocket();
        }
    }
}

bool UploadSession::connect(const std::string& address, int port) {
    closeSocket();
    // A text that is no address fails every attempt alike: say so at once.
    if (!platform::ipv4Address(address)) {
        const std::string text = "서버 주소가 올바르지 않습니다. (" + cp949::toUtf8(address) + ")";
        computeGroupStart();
        setStatusLine(text);
        setRowStatus(text);
        return false;
    }
    int error = 0;
    for (int attempt = 0; attempt < kConnectAttempts; ++attempt) {
        if (isStopped()) {
            break;
        }
        std::unique_ptr<platform::TcpConnection> connection;
        {
            EngineGate::Quiet quiet(window_.gate());
            connection =
                services_.connector.connect(address, port, error, [this] { return isStopped(); });
        }
        if (connection) {
            {
                std::lock_guard lock(socketMutex_);
                socket_ = std::move(connection);
            }
            computeGroupStart();
            setStatusLine("");
            return true;
        }
        if (isStopped()) {
            break;
        }
        sleep(1000ms);
    }
    computeGroupStart();
    setStatusLine("서버에 연결할 수 없습니다.");
    setRowStatus("서버에 연결할 수 없습니다.");
    return false;
}

void UploadSession::closeSocket() {
    std::lock_guard lock(socketMutex_);
    socket_.reset();
}

void UploadSession::interrupt() {
    std::lock_guard lock(socketMutex_);
    if (socket_) {
        socket_->shutdownBoth();
    }
}

long UploadSession::socketRecv(std::span<std::uint8_t> buffer) {
    EngineGate::Quiet quiet(window_.gate());
    return socket_ ? socket_->recvExact(buffer) : -1;
}

int UploadSession::socketError() const {
    return socket_ ? socket_->lastError() : 0;
}

bool UploadSession::sendPacket(std::int32_t type, std::span<const std::uint8_t> body,
                               int failureNumber) {
    const auto packet = transfer::encodePacket(type, body, registrantField_);
    long sent = -1;
    if (socket_) {
        EngineGate::Quiet quiet(window_.gate());
        sent = socket_->sendAll(packet);
    }
    if (sent == static_cast<long>(packet.size())) {
        return true;
    }
    const auto text = socket_ ? sendErrorText(failureNumber) : "소켓의 핸들을 찾을수 없습니다.";
    setRowStatus(text);
    services_.notices.autoClosingBox(text, "", 5);
    return false;
}

bool UploadSession::closeConversation(int disconnectNumber) {
    const auto packet = transfer::encodePacket(msg::kClose, {}, registrantField_);
    long sent = -1;
    if (socket_) {
        EngineGate::Quiet quiet(window_.gate());
        sent = socket_->sendAll(packet);
    }
    if (sent == static_cast<long>(packet.size())) {
        return true;
    }
    const auto text = "접속 해제 에러 입니다. (code:" + std::to_string(disconnectNumber) + ")";
    setStatusLine(text);
    setRowStatus(text);
    sleep(1000ms);
    return false;
}

void UploadSession::readConversation() {
    readLoopOn_ = true;
    failureCounted_ = false;
    pendingDone_ = false;
    int result = kGoOn;
    while (readLoopOn_ && !isStopped() && result > 0) {
        window_.gate().safePoint();
        std::array<std::uint8_t, transfer::kHeaderSize> head{};
        const long got = socketRecv(head);
        if (got != static_cast<long>(head.size())) {
            if (!pendingDone_) {
                return;  // a short read ends the conversation at once
            }
            pendingDone_ = false;
            if (isStopped()) {
                break;  // paused or closing: not confirmed, not failed
            }
            if (got == 0) {
                markFileDone();  // the server closed in order: it has every byte
                return;
            }
            // Reset: the server dropped the connection before it had the
            // whole file, although every send went out.
            brokenTransfer(kind_ == kMy ? 1330 : 1809, socketError());
            result = kFailed;
            break;
        }
        const auto header = PacketHeader::decode(head);
        if (pendingDone_ && header.status >= 0) {
            // The request for the next file, the server's close or its close
            // request confirm the file; a poll or the registered record may
            // come first and leave it pending.
            switch (header.type) {
                case msg::kRequestRecord:
                case msg::kRequestRecordMy:
                case msg::kClose:
                case msg::kCloseRequest:
                    pendingDone_ = false;
                    markFileDone();
                    break;
                case msg::kPoll:
                case msg::kRegisteredRecord:
                    break;
                default:
                    pendingDone_ = false;
                    unconfirmedEnd();
                    break;
            }
        } else if (pendingDone_) {
            pendingDone_ = false;
            unconfirmedEnd();
        }
        if (header.status < 0) {
            std::array<std::uint8_t, transfer::kErrorTextSize> text{};
            if (socketRecv(text) != static_cast<long>(text.size())) {
                return;
            }
            const auto shown = cp949::toUtf8(transfer::errorText(text));
            services_.notices.autoClosingBox(shown, "", 5);
            setRowStatus(shown);
            computeGroupStart();
            closeConversation(3658);
            return;
        }
        auto length = transfer::bodyLength(header);
        if (!length) {
            // Nothing is allocated from a header we do not believe.
            setRowStatus(length.error());
            result = kFailed;
            break;
        }
        std::vector<std::uint8_t> body(*length);
        if (!body.empty() && socketRecv(body) != static_cast<long>(body.size())) {
            if (!pendingDone_) {
                return;
            }
            result = kFailed;
            break;
        }
        result = handle(header, body);
    }
    // A file still waiting for its confirmation when the conversation ends
    // (a short body, a failed answer) is sent again.
    if (pendingDone_) {
        pendingDone_ = false;
        if (!isStopped()) {
            unconfirmedEnd();
        }
    }
    // Ending steps. A row kept for a retry is repeated by the run loop; a
    // retry that did not finish its row counts as a failure, so that a server
    // that never takes the file ends the run.
    const bool retrying = workingResumeState() == 1 && retryRowId_ == workRowId_;
    if (retrying) {
        setCurrentRow(currentRow() - 1);
        if (!isStopped() && !failureCounted_) {
            ++failureCount_;
            failureCounted_ = true;
        }
    }
    if (!isStopped() && (result == kGoOn || result == kServerClosed)) {
        return;
    }
    window_.stopTimers();
    if (isStopped()) {
        setRowTexts(job_state::kPaused, "일시중지입니다.");
        window_.list().hideProgressBar();
    } else if (result == kFailed) {
        // Every failed conversation counts once towards the limit, so that a
        // row that can never succeed ends the run instead of looping.
        if (!failureCounted_) {
            ++failureCount_;
        }
        if (!retrying) {
            setCurrentRow(currentRow() - 1);
        }
    }
}

int UploadSession::handle(const PacketHeader& header, std::span<const std::uint8_t> body) {
    switch (header.type) {
        case msg::kClose:
            readLoopOn_ = false;
            return kServerClosed;
        case msg::kCloseRequest:
            return sendPacket(msg::kClose, {}, 561) ? kGoOn : kFailed;
        case msg::kLocation:
        case msg::kLocationMy:
            return onLocation(body);
        case msg::kFolderRegistered:
        case msg::kFolderRegisteredMy:
            return onFolderRegistered(body);
        case msg::kRequestRecord:
        case msg::kRequestRecordMy:
            return onRequestRecord();
        case msg::kResendRecord:
        case msg::kResendRecordMy:
            return onResendRecord();
        case msg::kPoll:
            setStatusLine("");
            return sendPacket(kind_ == kMy ? msg::kAliveMy : msg::kAlive, {}, 620) ? kGoOn
                                                                                   : kFailed;
        case msg::kAlreadyConnected:
            alreadyConnected_ = true;
            return sendPacket(msg::kClose, {}, 793) ? kGoOn : kFailed;
        case msg::kRegisteredRecord:
            return onRegisteredRecord(body);
        case msg::kSameName:
            return onSameName();
        case msg::kDisconnected: {
            services_.notices.autoClosingBox(
                "접속을 끊었습니다.\n확인을 누르시면 업로드를 시작 합니다.", "", 5);
            const bool sent = sendPacket(msg::kAlive, {}, 588);
            readLoopOn_ = false;
            return sent ? kGoOn : kFailed;
        }
        case msg::kRegisterError:
        case msg::kRegisterErrorMy:
            return onRegisterError(header.status);
        case msg::kSendData:
        case msg::kSendDataMy:
            return dataPhase(body);
        default:
            setRowStatus("알 수 없는 패킷입니다. (" + std::to_string(header.type) + ")");
            return kFailed;
    }
}

int UploadSession::onLocation(std::span<const std::uint8_t> body) {
    auto location = transfer::decodeLocation(body);
    if (!location) {
        setRowStatus(location.error());
        return kFailed;
    }
    const bool folder = workingIsFolder();
    if (kind_ == kMy) {
        myRecord_.setContentIdBytes(location->contentId);
        auto values = myRecord_.userValues();
        values.setContentIdCopyBytes(location->contentId);
        myRecord_.setUserValues(values);
        myRecord_.setDataServerAddressBytes(location->dataServerAddress);
        myRecord_.setDataServerPort(location->dataServerPort);
        myRecord_.setServerFolderPathBytes(location->serverFolderPath);
    } else {
        uploadRecord_.setContentIdBytes(location->contentId);
        auto values = uploadRecord_.userValues();
        values.setContentIdCopyBytes(location->contentId);
        uploadRecord_.setUserValues(values);
        uploadRecord_.setDataServerAddressBytes(location->dataServerAddress);
        uploadRecord_.setDataServerPort(location->dataServerPort);
        uploadRecord_.setServerFolderPathBytes(location->serverFolderPath);
    }
    located_ = true;
    const int number = kind_ == kMy ? (folder ? 492 : 538) : (folder ? 404 : 448);
    if (!sendPacket(msg::kClose, {}, number)) {
        if (!folder) {
            located_ = false;
        }
        return kFailed;
    }
    return kGoOn;
}

int UploadSession::onFolderRegistered(std::span<const std::uint8_t> body) {
    auto& list = window_.list();
    window_.view().setEnabled(control::kStartStop, false);
    std::optional<UploadJobRecord> serverUpload;
    std::optional<MyStorageJobRecord> serverMy;
    if (kind_ == kMy) {
        serverMy = MyStorageJobRecord::fromBytes(body);
    } else {
        serverUpload = UploadJobRecord::fromBytes(body);
    }
    if (!serverUpload && !serverMy) {
        setRowStatus("폴더 등록 응답의 크기가 맞지 않습니다. (" + std::to_string(body.size()) +
                     ")");
        window_.view().setEnabled(control::kStartStop, true);
        return kFailed;
    }
    const auto workingGroup = kind_ == kMy ? groupOf(myRecord_) : groupOf(uploadRecord_);
    const std::string displayText = kind_ == kMy ? myRecord_.userValues().displayTextBytes()
                                                 : uploadRecord_.userValues().displayTextBytes();
    {
        auto guard = list.lock();
        for (int row = currentRow(); row < list.rowCount(); ++row) {
            if (rowKind(row) != kind_) {
                continue;
            }
            auto record = list.record(row);
            const bool inGroup =
                std::visit([&](const auto& r) { return groupOf(r) == workingGroup; }, record);
            if (!inGroup) {
                if (kind_ == kUpload) {
                    break;
                }
                continue;
            }
            std::visit(
                [&](auto& r) {
                    using R = std::decay_t<decltype(r)>;
                    const R& server = [&]() -> const R& {
                        if constexpr (std::is_same_v<R, UploadJobRecord>) {
                            return *serverUpload;
                        } else {
                            return *serverMy;
                        }
                    }();
                    const auto serverValues = server.userValues();
                    r.setUserNumberCopy(serverValues.userNumber());
                    r.setContentIdBytes(server.contentIdBytes());
                    r.setDataServerAddressBytes(server.dataServerAddressBytes());
                    r.setDataServerPort(server.dataServerPort());
                    r.setUserValues(serverValues);
                    // The file system takes UTF-8; the server paths stay CP949.
                    const std::string path = joinPath(r.parentFolderBytes(), r.itemNameBytes());
                    struct stat st {};
                    if (::stat(joinPath(r.parentFolder(), r.itemName()).c_str(), &st) == 0) {
                        r.setItemSize(static_cast<double>(st.st_size));
                    }
                    // The server-side folder: the path below the display text,
                    // under the group's folder.
                    std::string relative = path;
                    if (!displayText.empty()) {
                        if (auto at = relative.find(displayText); at != std::string::npos) {
                            relative.erase(at, displayText.size());
                        }
                    }
                    for (auto& c : relative) {
                        if (c == '\\') {
                            c = '/';
                        }
                    }
                    for (std::size_t at; (at = relative.find("//")) != std::string::npos;) {
                        relative.erase(at, 1);
                    }
                    if (auto slash = relative.find('/'); slash != std::string::npos) {
                        relative = relative.substr(slash);
                    }
                    relative = serverValues.folderGroupTextBytes() + relative;
                    if (auto last = relative.rfind('/'); last != std::string::npos) {
                        relative.resize(last);
                    } else {
                        relative.clear();
                    }
                    r.setServerFolderPathBytes(server.serverFolderPathBytes() + "/" + relative);
                },
                record);
            list.setRecord(row, record);
        }
    }
    window_.view().setEnabled(control::kStartStop, true);
    located_ = true;
    return sendPacket(msg::kClose, {}, 362) ? kGoOn : kFailed;
}

void UploadSession::sendWorkingRecord(std::int32_t type,
                                      const std::variant<UploadJobRecord, MyStorageJobRecord>& r,
                                      int failureNumber, bool& ok) {
    std::visit([&](const auto& rec) { ok = sendPacket(type, rec.bytes(), failureNumber); }, r);
}

int UploadSession::onRequestRecord() {
    auto& list = window_.list();
    std::variant<UploadJobRecord, MyStorageJobRecord> record;
    int next = 0;
    {
        auto guard = list.lock();
        next = currentRow() + 1;
        if (next >= list.rowCount()) {
            setRowStatus("다음 목록이 없습니다.");
            return kFailed;
        }
        setCurrentRow(next);
        record = list.record(next);
        workRowId_ = list.rowId(next);
    }
    // The music check may take long (decoding, queries): not under the lock.
    if (auto* up = std::get_if<UploadJobRecord>(&record)) {
        applyMusicCheck(*up, false);
        auto guard = list.lock();
        if (const int row = workRow(); row >= 0) {
            list.setRecord(row, *up);
        }
    }
    bool ok = false;
    if (auto* up = std::get_if<UploadJobRecord>(&record)) {
        kind_ = kUpload;
        uploadRecord_ = *up;
        sendWorkingRecord(msg::kFileRecord, record, 867, ok);
    } else {
        kind_ = kMy;
        myRecord_ = std::get<MyStorageJobRecord>(record);
        sendWorkingRecord(msg::kFileRecordMy, record, 950, ok);
    }
    return ok ? kGoOn : kFailed;
}

int UploadSession::onResendRecord() {
    const bool resend =
        (workingResumeState() == 1 || workingResumeState() == 2) && !workingIsFolder();
    bool ok = false;
    if (kind_ == kMy) {
        MyStorageJobRecord record = myRecord_;
        if (resend) {
            std::lock_guard lock(services_.registered->mutex);
            const auto& kept = services_.registered->myStorage;
            if (kept && sameFile(*kept, myRecord_)) {
                record = *kept;
                record.setResumeState(myRecord_.resumeState());
            }
        }
        sendWorkingRecord(msg::kFileRecordMy, record, 995, ok);
    } else {
        UploadJobRecord record = uploadRecord_;
        if (resend) {
            std::lock_guard lock(services_.registered->mutex);
            const auto& kept = services_.registered->upload;
            if (kept && sameFile(*kept, uploadRecord_)) {
                record = *kept;
                record.setResumeState(uploadRecord_.resumeState());
            }
        }
        applyMusicCheck(record, true);
        sendWorkingRecord(msg::kFileRecord, record, 1042, ok);
    }
    return ok ? kGoOn : kFailed;
}

void UploadSession::applyMusicCheck(UploadJobRecord& record, bool forResend) {
    if (record.musicCheckedFlag() == 0) {
        record.setMusicCheckedFlag('N');
    }
    if (record.musicListFlag() == 0) {
        record.setMusicListFlag('Y');
    }
    if (record.userValues().sectionCode() != "07") {
        return;
    }
    auto& music = window_.musicList();
    if (!forResend) {
        if (music.received() && music.size() > 0) {
            if (record.musicListFlag() == 'Y') {
                runMusicCheck(record);
            }
        } else {
            record.setMusicCheckedFlag('Y');
        }
        return;
    }
    if (record.itemKind() == static_cast<std::int32_t>(ItemKind::SingleFile)) {
        return;
    }
    if (!music.received()) {
        record.setMusicCheckedFlag('Y');
    } else if (record.musicCheckedFlag() == 'N') {
        runMusicCheck(record);
    } else {
        record.setMusicCheckedFlag('Y');
    }
}

void UploadSession::runMusicCheck(UploadJobRecord& record) {
    auto& music = window_.musicList();
    const auto name = record.itemName();
    const auto entry = music.find(name);
    if (!entry) {
        return;
    }
    if (entry->path.empty()) {
        record.setMusicCheckedFlag('Y');
    } else if (entry->secondFlag == 'Y') {
        std::optional<std::string> key;
        {
            // Up to a minute with the filter service; the list is not touched.
            EngineGate::Quiet quiet(window_.gate());
            key = window_.musicChecker().CheckMusicFile(joinPath(record.parentFolder(), name),
                                                        registrant_);
        }
        if (key) {
            record.setContentKey(*key);
            record.setMusicCheckedFlag('Y');
        } else {
            record.setMusicCheckedFlag('N');
        }
    }
    music.take(name);
}

int UploadSession::onRegisteredRecord(std::span<const std::uint8_t> body) {
    auto& list = window_.list();
    // The service's record of the file: its location goes into the row, the
    // whole record is kept for a later resend (507).
    const auto take = [&](auto server, auto& kept) {
        using Record = std::decay_t<decltype(*server)>;
        if (!server) {
            return;
        }
        const int row = workRow();
        auto record = list.record(row);
        if (auto* r = std::get_if<Record>(&record)) {
            r->setContentIdBytes(server->contentIdBytes());
            r->setDataServerAddressBytes(server->dataServerAddressBytes());
            r->setDataServerPort(server->dataServerPort());
            list.setRecord(row, record);
        }
        std::lock_guard lock(services_.registered->mutex);
        kept = *server;
    };
    if (!errorSeen_ && !body.empty() && !workingIsFolder()) {
        auto guard = list.lock();
        if (workRow() >= 0) {
            if (kind_ == kMy) {
                take(MyStorageJobRecord::fromBytes(body), services_.registered->myStorage);
            } else {
                take(UploadJobRecord::fromBytes(body), services_.registered->upload);
            }
        }
    }
    return sendPacket(msg::kProceed, {}, 1175) ? kGoOn : kFailed;
}

int UploadSession::onSameName() {
    if (!skipAllSameName_ && !resumeAllSameName_) {
        const auto answer = services_.question.ask(workingItemName());
        if (answer.yes) {
            resumeAllSameName_ = answer.applyToAll;
        } else {
            skipAllSameName_ = answer.applyToAll;
            return kStoppedByUser;
        }
    }
    if (!skipAllSameName_) {
        return sendPacket(msg::kProceed, {}, 1141) ? kGoOn : kFailed;
    }
    // Skip the file: it no longer counts towards the run.
    window_.list().setProgressBar(1, 0, "0%");
    window_.view().setRange(control::kHiddenBar, 1);
    window_.view().setPosition(control::kHiddenBar, 0);
    window_.view().setText(control::kHiddenBar, "0%");
    window_.addTotalBytes(-workingSize());
    const double total = window_.totalBytes();
    const double done = window_.doneBytes();
    window_.view().setRange(control::kOverallBar, total / 1024);
    window_.view().setPosition(control::kOverallBar, done / 1024);
    window_.view().setText(control::kOverallBar, transfer::overallPercentText(done, total));
    return closeConversation(1468) ? kGoOn : kFailed;
}

int UploadSession::onRegisterError(std::int32_t number) {
    {
        auto& list = window_.list();
        auto guard = list.lock();
        if (const int row = workRow(); row >= 0) {
            list.setJobState(row, "등록 에러");
        }
    }
    window_.list().hideProgressBar();
    errorSeen_ = true;
    std::string shortText;
    if (kind_ == kUpload && (number == 4001 || number == 4003)) {
        shortText = std::to_string(number) + " 컨텐츠 등록 오류";
    } else if (kind_ == kMy && (number == 2001 || number == 2003)) {
        shortText = "내 자료실 (" + std::to_string(number) + ") 컨텐츠 등록 오류";
    }
    if (!shortText.empty()) {
        setStatusLine(shortText);
        services_.notices.autoClosingBox(shortText, "", 5);
        setRowStatus(shortText + "입니다.");
    }
    return closeConversation(kind_ == kMy ? 1468 : 2276) ? kGoOn : kFailed;
}

// ---- the data phase ----

long UploadSession::countedSend(std::span<const std::uint8_t> data) {
    if (!socket_) {
        setRowStatus("소켓의 핸들을 찾을수 없습니다.");
        return -1;
    }
    std::size_t sent = 0;
    while (sent < data.size()) {
        long k = 0;
        {
            EngineGate::Quiet quiet(window_.gate());
            k = socket_->sendSome(data.subspan(sent));
        }
        if (k <= 0) {
            return k;
        }
        sent += static_cast<std::size_t>(k);
        fileBytesSent_ += static_cast<double>(k);
        if (countedHere_ != nullptr) {
            *countedHere_ += static_cast<double>(k);
        }
        window_.addDoneBytes(static_cast<double>(k));
        window_.addBytesSent(static_cast<double>(k));
        window_.view().setRange(control::kOverallBar, window_.totalBytes() / 1024);
    }
    return static_cast<long>(sent);
}

void UploadSession::startDataPhaseDisplays(double fileSize) {
    auto& view = window_.view();
    auto& list = window_.list();
    const bool kind4 = kind_ == kUpload;
    window_.placeProgressBar(currentRow());
    view.setShowText(control::kHiddenBar, true);
    view.setRange(control::kHiddenBar, fileSize / 1024);
    view.setText(control::kCurrentFile, workingItemName());
    window_.setCurrentFile(fileSize, resumeOffset_);
    // A row sent before in this run counts from where the server's data
    // ends: bytes sent twice around a break count once.
    auto [counted, first] = countedBytes_.try_emplace(workRowId_, 0.0);
    if (!first) {
        window_.addDoneBytes(resumeOffset_ - counted->second);
    } else if (resumeOffset_ != 0 && workingResumeState() != 1) {
        window_.addDoneBytes(resumeOffset_);
    }
    counted->second = resumeOffset_;
    countedHere_ = &counted->second;
    if (resumeOffset_ != 0) {
        view.setPosition(control::kHiddenBar, resumeOffset_ / 1024 + 1);
        view.setText(control::kHiddenBar, transfer::fileBarText(resumeOffset_, fileSize, kind4));
        list.setProgressBar(fileSize / 1024, resumeOffset_ / 1024 + 1,
                            transfer::rowPercentText(resumeOffset_, fileSize));
    }
    if (resumeOffset_ == 0) {
        view.setPosition(control::kHiddenBar, 0);
        view.setText(control::kHiddenBar, transfer::fileBarText(0, fileSize, kind4));
        list.setProgressBar(fileSize / 1024, 0, transfer::rowPercentText(0, fileSize));
    }
    const double total = window_.totalBytes();
    const double done = window_.doneBytes();
    view.setRange(control::kOverallBar, total / 1024);
    view.setPosition(control::kOverallBar, done / 1024);
    view.setText(control::kOverallBar, transfer::overallPercentText(done, total));
    window_.setSizeSummary(transfer::sizeSummaryText(done, total, kind4, false));
    if (!window_.timersRunning()) {
        window_.startTimers();
    }
}

void UploadSession::afterChunkDisplays(double fileSize) {
    auto& view = window_.view();
    auto& list = window_.list();
    const bool kind4 = kind_ == kUpload;
    const double done = resumeOffset_ + fileBytesSent_;
    const auto barText = transfer::fileBarText(done, fileSize, kind4);
    list.setProgressBar(fileSize / 1024, done / 1024 + 1, transfer::rowPercentText(done, fileSize));
    view.setPosition(control::kHiddenBar, done / 1024 + 1);
    view.setText(control::kHiddenBar, barText);
    {
        auto guard = list.lock();
        const int row = workRow();
        if (row >= 0 && list.text(row, CFileListView::kSize) != barText) {
            list.setText(row, CFileListView::kSize, barText);
        }
    }
    window_.setCurrentFileDone(done);
    const double total = window_.totalBytes();
    const double runDone = window_.doneBytes();
    view.setText(control::kOverallBar, transfer::overallPercentText(runDone, total));
    view.setPosition(control::kOverallBar, runDone / 1024);
    window_.setSizeSummary(transfer::sizeSummaryText(runDone, total, kind4, true));
}

int UploadSession::dataPhase(std::span<const std::uint8_t> body) {
    auto resume = transfer::decodeResume(body);
    if (!resume) {
        setRowStatus(resume.error());
        errorSeen_ = true;
        return kFailed;
    }
    setStatusLine(kind_ == kMy ? "업로드 중입니다." : "");
    resumeOffset_ = *resume;
    // The server cannot hold more than the file, nor part of a byte.
    if (!std::isfinite(resumeOffset_) || resumeOffset_ > workingSize() ||
        resumeOffset_ != std::floor(resumeOffset_)) {
        const std::string text =
            "잘못된 이어 올리기 위치입니다. (" + std::to_string(resumeOffset_) + ")";
        setRowStatus(text);
        errorSeen_ = true;
        return kFailed;
    }

    // Records carry CP949; the file system takes UTF-8.
    const auto parent = kind_ == kMy ? myRecord_.parentFolder() : uploadRecord_.parentFolder();
    const auto name = kind_ == kMy ? myRecord_.itemName() : uploadRecord_.itemName();
    const std::string path = joinPath(parent, name);
    int fd = -1;
    std::string openError = path + ": " + std::strerror(ENOENT);
    if (!name.empty()) {
        if (auto opened = openRegularFile(path)) {
            fd = *opened;
        } else {
            openError = opened.error();
        }
    }
    if (fd < 0) {
        const std::string& text = openError;
        services_.notices.autoClosingBox(text, "", 5);
        setRowStatus(text);
        errorSeen_ = true;
        return kFailed;
    }
    window_.view().setText(control::kPathBox, path);
    setRowTexts(job_state::kUploading, "업로드중입니다.");
    const double fileSize = workingSize();
    startDataPhaseDisplays(fileSize);

    double remaining = fileSize - resumeOffset_;
    fileBytesSent_ = 0;
    const std::size_t chunk = chunkSize(kind_ == kMy, window_.speedChoice());
    std::vector<std::uint8_t> buffer(chunk);
    ::lseek(fd, static_cast<off_t>(resumeOffset_), SEEK_SET);
    if (!window_.timersRunning()) {
        window_.startTimers();
    }

    enum class Failure { None, Read, Send, PeerClosed } failure = Failure::None;
    int failureErrno = 0;
    while (remaining > 0 && !isStopped()) {
        window_.gate().safePoint();
        std::fill(buffer.begin(), buffer.end(), std::uint8_t{0});
        const auto want =
            static_cast<std::size_t>(std::min<double>(static_cast<double>(chunk), remaining));
        const ssize_t got = ::read(fd, buffer.data(), want);
        if (got < 1) {
            failure = Failure::Read;
            failureErrno = got < 0 ? errno : 0;
            break;
        }
        const long sent = countedSend({buffer.data(), static_cast<std::size_t>(got)});
        if (sent < 1) {
            failure = sent == 0 ? Failure::PeerClosed : Failure::Send;
            failureErrno = socket_ ? socket_->lastError() : 0;
            break;
        }
        remaining -= static_cast<double>(sent);
        afterChunkDisplays(fileSize);
    }

    if (failure == Failure::None && isStopped()) {
        window_.view().setText(control::kRemainingTime, "00:00:00");
        window_.view().setText(control::kSpeed, "KBps");
        ::close(fd);
        errorSeen_ = true;
        return kFailed;
    }
    ::close(fd);
    if (failure == Failure::None) {
        return finishFile();
    }

    window_.list().hideProgressBar();
    window_.stopTimers();
    if (failure == Failure::Read) {
        ++failureCount_;
        failureCounted_ = true;
        char text[512];
        if (kind_ == kMy) {
            std::snprintf(text, sizeof text, "[ 에러 : 1325 , %d ] %s", failureErrno,
                          std::strerror(failureErrno));
        } else {
            std::snprintf(text, sizeof text, "파일 데이터 읽기 에러 입니다. [code:1797 , %d ]\n",
                          failureErrno);
        }
        setStatusLine(text);
        setRowTexts("오류", text);
    } else {
        const int code = kind_ == kMy ? (failure == Failure::Send ? 1332 : 1330)
                                      : (failure == Failure::Send ? 1814 : 1809);
        brokenTransfer(code, failureErrno);
    }
    errorSeen_ = true;
    return kFailed;
}

void UploadSession::markFileDone() {
    setRowTexts(job_state::kDone, "완료되었습니다.");
    window_.list().hideProgressBar();
    window_.addDoneCount(1);
    // The file is through: its retry mark must not carry over to the next row.
    if (retryRowId_ == workRowId_) {
        retryRowId_ = 0;
    }
    if (kind_ == kMy) {
        myRecord_.setResumeState(0);
    } else {
        uploadRecord_.setResumeState(0);
    }
}

void UploadSession::brokenTransfer(int code, int error) {
    ++failureCount_;
    failureCounted_ = true;
    window_.list().hideProgressBar();
    window_.stopTimers();
    char text[160];
    std::snprintf(text, sizeof text, "패킷 전송 에러 입니다. (code:%d , %d)", code, error);
    setRowTexts("오류", text);
    setStatusLine(text);
    sleep(2000ms);
    setStatusLine("1 초 후 재접속을 시도 합니다.");
    sleep(1000ms);
    keepForRetry();
}

void UploadSession::unconfirmedEnd() {
    // Every byte went out, but the server ended without saying it has them:
    // one failure, and the row is repeated from the server's offset.
    ++failureCount_;
    failureCounted_ = true;
    window_.list().hideProgressBar();
    setRowTexts("오류", "서버가 파일을 모두 받았는지 확인하지 못했습니다.");
    keepForRetry();
}

void UploadSession::keepForRetry() {
    if (kind_ == kMy) {
        myRecord_.setResumeState(1);
    } else {
        uploadRecord_.setResumeState(1);
    }
    retryRowId_ = workRowId_;
    errorSeen_ = true;
}

int UploadSession::finishFile() {
    auto& list = window_.list();
    // The next row continues the folder group on this connection.
    bool continues = false;
    if (workingIsFolder()) {
        auto guard = list.lock();
        const int next = currentRow() + 1;
        if (next < list.rowCount() && rowKind(next) == kind_) {
            const auto nextRecord = list.record(next);
            std::visit(
                [&](const auto& r) {
                    const auto values = r.userValues();
                    if (kind_ == kMy) {
                        continues = values.userNumber() == myRecord_.userValues().userNumber();
                    } else {
                        const auto mine = uploadRecord_.userValues();
                        continues = values.userNumber() == mine.userNumber() &&
                                    values.contentIdCopyBytes() == mine.contentIdCopyBytes();
                    }
                },
                nextRecord);
        }
    }
    // Every byte is out; the file is done once the server's next packet or
    // its orderly close shows that it has them all.
    if (kind_ == kUpload) {
        if (continues) {
            if (!sendPacket(msg::kNextFile, {}, 1724)) {
                return kFailed;
            }
            pendingDone_ = true;
            return kGoOn;
        }
        if (closeConversation(2186)) {
            pendingDone_ = true;
            return kGoOn;
        }
        errorSeen_ = true;
        return kFailed;
    }
    if (continues) {
        const auto packet = transfer::encodePacket(msg::kNextFileMy, {}, registrantField_);
        long sent = -1;
        if (socket_) {
            EngineGate::Quiet quiet(window_.gate());
            sent = socket_->sendAll(packet);
        }
        if (sent != static_cast<long>(packet.size())) {
            setRowTexts("오류", sendErrorText(1447));
            errorSeen_ = true;
            return kFailed;
        }
    } else if (!closeConversation(1817)) {
        setRowTexts("오류", "오류입니다. (code:1817)");
        errorSeen_ = true;
        return kFailed;
    }
    pendingDone_ = true;
    return kGoOn;
}

// ---- groups ----

bool UploadSession::sameGroup(int row) const {
    if (rowKind(row) != kind_) {
        return false;
    }
    const auto record = window_.list().record(row);
    const auto mine = kind_ == kMy ? groupOf(myRecord_) : groupOf(uploadRecord_);
    return std::visit([&](const auto& r) { return groupOf(r) == mine; }, record);
}

void UploadSession::computeGroupStart() {
    auto guard = window_.list().lock();
    const int row = currentRow();
    if (row == 0) {
        groupStart_ = true;
    } else if (row >= rowCount()) {
        groupStart_ = false;
    } else {
        groupStart_ = sameGroup(row - 1);
    }
}

void UploadSession::moveToGroupEnd() {
    // The rows of a folder group that went on the same connection (502/503)
    // are done; the run goes on after them. Rows of the group that are not
    // done stay ahead, so that nothing is left unsent.
    auto& list = window_.list();
    auto guard = list.lock();
    int row = currentRow();
    while (row + 1 < rowCount() && sameGroup(row + 1) &&
           equalsNoCase(list.text(row + 1, CFileListView::kState), job_state::kDone)) {
        ++row;
    }
    setCurrentRow(row);
}

}  // namespace quenvara::uploader
