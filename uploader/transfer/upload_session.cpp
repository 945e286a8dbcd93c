// The run loop, the per-row session, connecting and sending, and the
// folder-group moves of an upload run.
#include "uploader/transfer/upload_session.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "common/cp949.h"
#include "common/regular_file.h"
#include "uploader/list/engine_gate.h"
#include "uploader/list/file_list_view.h"
#include "uploader/list/job_state.h"
#include "uploader/list/music_list.h"
#include "uploader/transfer/engine_display.h"
#include "uploader/transfer/music_checker.h"
#include "uploader/transfer/progress_texts.h"
#include "uploader/transfer/upload_session_detail.h"

namespace quenvara::uploader {

using namespace std::chrono_literals;
using namespace session_detail;
using transfer::PacketHeader;
namespace msg = transfer::msg;

namespace {

// The header carries the registrant field's own bytes, as the page gave
// them; only a name without a record behind it is converted.
std::array<std::uint8_t, 12> headerRegistrant(EngineOperations& window,
                                              const std::string& registrant) {
    if (auto raw = window.uploadDefaults().registrantBytes; !raw.empty()) {
        return transfer::registrantField(raw);
    }
    auto bytes = cp949::fromUtf8(registrant);
    return transfer::registrantField(bytes ? *bytes : registrant);
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

UploadSession::UploadSession(EngineOperations& window, TransferServices services,
                             std::string registrant)
    : window_(window),
      services_(std::move(services)),
      registrant_(std::move(registrant)),
      conversation_(headerRegistrant(window, registrant_), &window.gate()),
      events_(services_.events != nullptr ? *services_.events : window) {}

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
    // A row whose file cannot be sent is never taken.
    if (row < 0 || row >= list.rowCount() || list.refused(row)) {
        return kNone;
    }
    return list.rowKind(row) == 4 ? kUpload : kMy;
}

int UploadSession::workRow() const {
    return window_.list().rowOfId(retry_.workRow());
}

void UploadSession::sleep(platform::Millis duration) {
    EngineGate::Quiet quiet(window_.gate());
    services_.clock.sleepFor(duration);
}

void UploadSession::setRowTexts(RowState state, std::optional<std::string_view> status,
                                std::string_view failureText) {
    {
        auto& list = window_.list();
        auto guard = list.lock();
        const int row = workRow();
        if (row >= 0) {
            list.setState(row, state, failureText);
            if (status) {
                list.setText(row, CFileListView::kStatusText, std::string(*status));
            }
        }
    }
    // Told outside the list's lock: the window takes its own locks.
    events_.rowStateChanged(retry_.workRow(), state, status.value_or(""));
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
    window_.display().setText(Display::StatusLine, text);
}

// ---- working record ----

const KindTraits& kindTraits(bool myStorage) {
    static constexpr KindTraits kUploadKind{
        msg::kAlive, msg::kRegisterFolder, 2341, 2756, 404, 448, 1814, 1809, 2276, true, ""};
    static constexpr KindTraits kMyStorageKind{
        msg::kAliveMy, msg::kRegisterFolderMy, 2463, 3054, 492, 538, 1332, 1330, 1468,
        false,         "업로드 중입니다."};
    return myStorage ? kMyStorageKind : kUploadKind;
}

std::int32_t UploadSession::workingResumeState() const {
    return onWorking([](const auto& r) { return r.resumeState(); });
}

bool UploadSession::workingIsFolder() const {
    return onWorking([](const auto& r) { return r.itemKind(); }) ==
           static_cast<std::int32_t>(ItemKind::Folder);
}

std::string UploadSession::workingItemName() const {
    return onWorking([](const auto& r) { return r.itemName(); });
}

double UploadSession::workingSize() const {
    return onWorking([](const auto& r) { return r.itemSize(); });
}

// ---- the run ----

void UploadSession::run() {
    auto& gate = window_.gate();
    gate.enterRun();
    alreadyConnected_ = false;
    errorSeen_ = false;
    events_.runStarted();
    failureCount_ = 0;
    setStatusLine("");
    // Every run starts at the top; rows already done are passed over.
    setCurrentRow(0);
    taken_.clear();
    while (!alreadyConnected_ && failureCount_ < kRunFailureLimit && rowCount() > 0) {
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
    settleRows();
    endOfRun(!isStopped() && currentRow() >= rowCount());
    gate.leaveRun();
}

void UploadSession::settleRows() {
    auto& list = window_.list();
    std::vector<std::uint64_t> failed;
    {
        auto guard = list.lock();
        for (int row = 0; row < list.rowCount(); ++row) {
            const auto state = list.state(row);
            const bool took = taken_.contains(list.rowId(row));
            if (took && (state == RowState::Waiting || state == RowState::Uploading)) {
                // Its conversation ended without the file: the status
                // column keeps the reason when one was given.
                const auto status = list.text(row, CFileListView::kStatusText);
                list.setState(row, RowState::Failed);
                if (status.empty() || status == kWaitingStatusText || status == "업로드중입니다." ||
                    status == traits().dataPhaseStatus) {
                    list.setText(row, CFileListView::kStatusText, "업로드하지 못했습니다.");
                }
                failed.push_back(list.rowId(row));
            } else if (!took && state == RowState::Uploading) {
                list.setState(row, RowState::Waiting);
            }
        }
    }
    for (const auto id : failed) {
        events_.rowStateChanged(id, RowState::Failed, "");
    }
}

void UploadSession::endOfRun(bool reachedEnd) {
    conversation_.close();
    events_.runEnded(RunEnd{failureCount_, alreadyConnected_, reachedEnd});
    failureCount_ = 0;
    alreadyConnected_ = false;
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
        workJob_ = list.rowJob(row);
        if (list.state(row) != RowState::Done) {
            taken_.insert(id);
        }
        if (!retry_.takeRow(id)) {
            uploadRecord_.setResumeState(0);
            myRecord_.setResumeState(0);
        }
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
                if (list.state(row) == RowState::Done) {
                    keepGoing_ = false;
                    return;
                }
                working = rec;
                located_ = false;
                keepGoing_ = true;
            },
            rowRecord);
        if (list.state(row) == RowState::Done) {
            return;
        }
    }

    // 4. Locate.
    const bool needLocate =
        onWorking([](const auto& r) { return r.dataServerAddressBytes().empty(); });
    if (needLocate) {
        const auto address = window_.serverAddress();
        const auto port = window_.serverPort();
        onWorking([&](auto& r) {
            // Both fields hold 16 bytes: the hand-over's address fits.
            (void)r.setDataServerAddressBytes(address);
            r.setDataServerPort(port);
        });
        if (!connect(address, port)) {
            keepGoing_ = false;
            skipRestOfGroup();
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
            conversation_.close();
            return;
        }
        readConversation();
        conversation_.close();
        if (!located_) {
            keepGoing_ = false;
            if (workingIsFolder() && endedUnanswered_ && !isStopped()) {
                retryUnanswered("서버가 위치를 알려주지 않고 연결을 끊었습니다.");
            }
            return;
        }
    }

    // 5. Register a folder item's group.
    if (located_ && workingIsFolder()) {
        const auto address = onWorking([](const auto& r) { return r.dataServerAddressBytes(); });
        const auto port = onWorking([](const auto& r) { return r.dataServerPort(); });
        registered_ = false;
        if (!connect(address, port)) {
            keepGoing_ = false;
            skipRestOfGroup();
        } else {
            const bool sent = onWorking([&](const auto& r) {
                return sendPacket(traits().registerFolder, r.bytes(),
                                  traits().registerFolderFailure);
            });
            if (sent) {
                readConversation();
            }
            conversation_.close();
            if (!registered_) {
                // Without the server's record of the group the rows have no
                // place to go: never on to an empty address.
                keepGoing_ = false;
                if (sent && endedUnanswered_ && !isStopped()) {
                    retryUnanswered("서버가 폴더 등록에 답하지 않고 연결을 끊었습니다.");
                }
                return;
            }
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
        const auto address = onWorking([](const auto& r) { return r.dataServerAddressBytes(); });
        const auto port = onWorking([](const auto& r) { return r.dataServerPort(); });
        if (!connect(address, port)) {
            skipRestOfGroup();
        } else {
            sleep(1000ms);
            if (sendPacket(msg::kStart, {}, traits().startFailure)) {
                readConversation();
            }
            conversation_.close();
        }
    }
}

bool UploadSession::connect(const std::string& address, int port) {
    conversation_.close();
    // A text that is no address, or a port no server can have, fails every
    // attempt alike: say so at once.
    if (!platform::ipv4Address(address) || port < 1 || port > 65535) {
        const std::string text =
            !platform::ipv4Address(address)
                ? "서버 주소가 올바르지 않습니다. (" + cp949::toUtf8(address) + ")"
                : "서버 포트가 올바르지 않습니다. (" + std::to_string(port) + ")";
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
        if (conversation_.connect(services_.connector, address, port, error,
                                  [this] { return isStopped(); })) {
            computeGroupStart();
            setStatusLine("");
            return true;
        }
        if (platform::isSocketCreationError(error)) {
            // No socket at all: no attempt was made, and none would help.
            services_.notices.messageBox("서버 연결을 위한 소켓 생성에 실패 하였습니다.", "알림",
                                         platform::NoticeButtons::Ok, platform::NoticeIcon::Stop);
            computeGroupStart();
            return false;
        }
        if (isStopped()) {
            break;
        }
        // A minute of retries is shown, not spent in silence.
        setStatusLine("서버에 연결하지 못해 다시 시도합니다. (" + std::to_string(attempt + 1) +
                      " / " + std::to_string(kConnectAttempts) + ")");
        sleep(1000ms);
    }
    computeGroupStart();
    setStatusLine("서버에 연결할 수 없습니다.");
    setRowStatus("서버에 연결할 수 없습니다.");
    return false;
}

void UploadSession::interrupt() {
    conversation_.interrupt();
}

bool UploadSession::sendPacket(std::int32_t type, std::span<const std::uint8_t> body,
                               int failureNumber) {
    if (conversation_.send(type, body)) {
        return true;
    }
    const auto text =
        conversation_.isOpen() ? sendErrorText(failureNumber) : "소켓의 핸들을 찾을수 없습니다.";
    setRowStatus(text);
    services_.notices.autoClosingBox(text, "", 5);
    return false;
}

bool UploadSession::closeConversation(int disconnectNumber) {
    if (conversation_.send(msg::kClose)) {
        return true;
    }
    const auto text = "접속 해제 에러 입니다. (code:" + std::to_string(disconnectNumber) + ")";
    setStatusLine(text);
    setRowStatus(text);
    sleep(1000ms);
    return false;
}

// ---- groups ----

bool UploadSession::sameGroup(int row) const {
    return rowKind(row) == kind_ && window_.list().rowJob(row) == workJob_;
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

void UploadSession::retryUnanswered(std::string_view text) {
    if (!failureCounted_) {
        ++failureCount_;
        failureCounted_ = true;
    }
    setRowStatus(text);
    setStatusLine(text);
    sleep(2000ms);
    sleep(1000ms);
    setCurrentRow(currentRow() - 1);
}

void UploadSession::skipRestOfGroup() {
    if (!workingIsFolder() || isStopped()) {
        return;
    }
    auto guard = window_.list().lock();
    int row = currentRow();
    while (row + 1 < rowCount() && sameGroup(row + 1)) {
        ++row;
    }
    setCurrentRow(row);
}

void UploadSession::moveToGroupEnd() {
    // The rows of a folder group that went on the same connection (502/503)
    // are done; the run goes on after them. Rows of the group that are not
    // done stay ahead, so that nothing is left unsent.
    auto& list = window_.list();
    auto guard = list.lock();
    int row = currentRow();
    while (row + 1 < rowCount() && sameGroup(row + 1) && list.state(row + 1) == RowState::Done) {
        ++row;
    }
    setCurrentRow(row);
}

}  // namespace quenvara::uploader
