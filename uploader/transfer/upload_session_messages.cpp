// Reading a conversation and the reactions to every server message. Kept
// in one file (a little over 500 lines) so that the reactions read like the
// message table they follow.
#include "uploader/transfer/upload_session.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

#include "common/cp949.h"
#include "common/regular_file.h"
#include "platform/path_text.h"
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

bool UploadSession::confirms(const ServerMessage& message) {
    using Got = ServerMessage::Kind;
    const Awaiting awaited = awaiting_;
    if (message.kind == Got::Packet) {
        switch (message.name()) {
            case ServerMessageName::RequestRecord:
            case ServerMessageName::Close:
                awaiting_ = Awaiting::Nothing;
                if ((awaited == Awaiting::NextRecord) ==
                    (message.name() == ServerMessageName::RequestRecord)) {
                    markFileDone();
                    return true;
                }
                announcedRow_ = 0;
                break;
            case ServerMessageName::Poll:
            case ServerMessageName::RegisteredRecord:
                return false;  // answered; the confirmation may still come
            case ServerMessageName::CloseRequest:
                // Answered with our 5: the server's 5 may then confirm.
                awaiting_ = Awaiting::Close;
                return false;
            default:
                awaiting_ = Awaiting::Nothing;
                announcedRow_ = 0;
                break;
        }
    } else {
        awaiting_ = Awaiting::Nothing;
        announcedRow_ = 0;
    }
    if (isStopped()) {
        return false;  // paused or closing: not confirmed, not failed
    }
    if (message.kind == Got::Broken) {
        // The server dropped the connection although every send went out.
        brokenTransfer(traits().peerClosedFailure, message.error);
    } else {
        // An orderly close, a reset of the conversation or any other answer
        // says nothing about what the server stored.
        unconfirmedEnd();
    }
    return false;
}

void UploadSession::readConversation() {
    using Got = ServerMessage::Kind;
    readLoopOn_ = true;
    endedUnanswered_ = false;
    failureCounted_ = false;
    awaiting_ = Awaiting::Nothing;
    announcedRow_ = 0;
    dataPhases_ = 0;
    int result = kGoOn;
    while (readLoopOn_ && !isStopped() && result > 0) {
        window_.gate().safePoint();
        const auto message = conversation_.next();
        if (isStopped()) {
            break;  // a pause ends the wait on the server: whatever came is not taken
        }
        const bool wasAwaiting = awaiting_ != Awaiting::Nothing;
        if (wasAwaiting && confirms(message) && message.name() == ServerMessageName::Close) {
            readLoopOn_ = false;
            result = kServerClosed;
            break;
        }
        if (message.kind == Got::Closed || message.kind == Got::Broken) {
            if (!wasAwaiting) {
                endedUnanswered_ = true;
                return;  // a short read ends the conversation at once
            }
            result = kFailed;
            break;
        }
        if (message.kind == Got::ErrorForm) {
            const auto shown = cp949::toUtf8(message.text);
            services_.notices.autoClosingBox(shown, "", 5);
            setRowStatus(shown);
            computeGroupStart();
            closeConversation(3658);
            return;
        }
        if (message.kind == Got::Refused) {
            setRowStatus(message.text);
            result = kFailed;
            break;
        }
        if (message.kind == Got::CutShort) {
            // A cut error text or body ends the conversation; a file that
            // waited for its confirmation is sent again below.
            if (message.header.status < 0 || !wasAwaiting) {
                endedUnanswered_ = true;
                return;
            }
            result = kFailed;
            break;
        }
        result = handle(message);
    }
    // A file still waiting for its confirmation when the conversation ends
    // (paused, a failed answer) is not done.
    if (awaiting_ != Awaiting::Nothing) {
        awaiting_ = Awaiting::Nothing;
        if (!isStopped()) {
            unconfirmedEnd();
        }
    }
    // Ending steps. A row kept for a retry is repeated by the run loop; a
    // retry that did not finish its row counts as a failure, so that a server
    // that never takes the file ends the run.
    const bool retrying = workingResumeState() == 1 && retry_.keptForWorkRow();
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
        setRowTexts(RowState::Paused, "일시중지입니다.");
        window_.list().hideProgressBar();
    } else if (result == kFailed || result == kRowGivenUp) {
        // Every failed conversation counts once towards the limit, so that a
        // row that can never succeed ends the run instead of looping.
        if (!failureCounted_) {
            ++failureCount_;
        }
        if (!retrying && result == kFailed) {
            setCurrentRow(currentRow() - 1);
        }
    }
}

int UploadSession::handle(const ServerMessage& message) {
    const std::span<const std::uint8_t> body = message.body;
    switch (message.name()) {
        case ServerMessageName::Close:
            readLoopOn_ = false;
            return kServerClosed;
        case ServerMessageName::CloseRequest:
            return sendPacket(msg::kClose, {}, 561) ? kGoOn : kFailed;
        case ServerMessageName::Location:
            return onLocation(body);
        case ServerMessageName::FolderRegistered:
            return onFolderRegistered(body);
        case ServerMessageName::RequestRecord:
            return onRequestRecord();
        case ServerMessageName::ResendRecord:
            return onResendRecord();
        case ServerMessageName::Poll:
            setStatusLine("");
            return sendPacket(traits().alive, {}, 620) ? kGoOn : kFailed;
        case ServerMessageName::AlreadyConnected:
            alreadyConnected_ = true;
            return sendPacket(msg::kClose, {}, 793) ? kGoOn : kFailed;
        case ServerMessageName::RegisteredRecord:
            return onRegisteredRecord(body);
        case ServerMessageName::SameName:
            return onSameName();
        case ServerMessageName::Disconnected: {
            services_.notices.autoClosingBox(
                "접속을 끊었습니다.\n확인을 누르시면 업로드를 시작 합니다.", "", 5);
            const bool sent = sendPacket(msg::kAlive, {}, 588);
            readLoopOn_ = false;
            if (!sent) {
                return kFailed;
            }
            // The server cut the conversation: a row it did not confirm is
            // sent again (a failure, so that a server that always cuts ends
            // the run), never passed over.
            auto& list = window_.list();
            auto guard = list.lock();
            const int row = workRow();
            return row >= 0 && list.state(row) != RowState::Done ? kFailed : kGoOn;
        }
        case ServerMessageName::RegisterError:
            return onRegisterError(message.header.status);
        case ServerMessageName::SendData:
            return dataPhase(body);
        case ServerMessageName::Unknown:
            setRowStatus("알 수 없는 패킷입니다. (" + std::to_string(message.header.type) + ")");
            return kFailed;
    }
    return kFailed;
}

int UploadSession::onLocation(std::span<const std::uint8_t> body) {
    auto location = transfer::decodeLocation(body);
    if (!location) {
        setRowStatus(location.error());
        return kFailed;
    }
    const bool folder = workingIsFolder();
    // Every value is kept whole or the row is not sent: a cut folder path
    // could name another file's place on the server.
    const std::string cut = onWorking([&](auto& r) -> std::string {
        auto located = r;
        auto values = located.userValues();
        const struct {
            bool kept;
            std::string_view what;
            const std::string& text;
        } fields[] = {
            {located.setContentIdBytes(location->contentId), "콘텐츠 번호", location->contentId},
            {values.setContentIdCopyBytes(location->contentId), "콘텐츠 번호", location->contentId},
            {located.setDataServerAddressBytes(location->dataServerAddress), "데이터 서버 주소",
             location->dataServerAddress},
            {located.setServerFolderPathBytes(location->serverFolderPath), "서버 폴더 경로",
             location->serverFolderPath},
        };
        for (const auto& field : fields) {
            if (!field.kept) {
                return std::string(field.what) + "가 기록에 들어가지 않아 올리지 않습니다. (" +
                       std::to_string(field.text.size()) + " 바이트)";
            }
        }
        located.setUserValues(values);
        located.setDataServerPort(location->dataServerPort);
        r = located;
        return {};
    });
    if (!cut.empty()) {
        giveUpRow(cut);
        return kRowGivenUp;
    }
    located_ = true;
    const int number = folder ? traits().locationCloseFolder : traits().locationCloseOther;
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
    window_.display().setEnabled(Display::StartButton, false);
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
        window_.display().setEnabled(Display::StartButton, true);
        return kFailed;
    }
    const std::string displayText =
        onWorking([](const auto& r) { return r.userValues().displayTextBytes(); });
    {
        auto guard = list.lock();
        // Only the rows of this folder item: a single file or another folder
        // item of the same user keeps its own location and path.
        for (int row = currentRow(); row < list.rowCount(); ++row) {
            if (!sameGroup(row)) {
                continue;
            }
            auto record = list.record(row);
            std::string cutPath;
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
                    if (!r.setContentIdBytes(server.contentIdBytes()) ||
                        !r.setDataServerAddressBytes(server.dataServerAddressBytes())) {
                        cutPath = "폴더 등록 응답의 콘텐츠 번호나 서버 주소가 끝나지 않습니다.";
                    }
                    r.setDataServerPort(server.dataServerPort());
                    r.setUserValues(serverValues);
                    // The file system takes UTF-8; the server paths stay CP949.
                    const std::string path = joinPath(r.parentFolderBytes(), r.itemNameBytes());
                    std::error_code sizeError;
                    const auto size =
                        std::filesystem::file_size(platform::utf8Path(r.localPath()), sizeError);
                    if (!sizeError) {
                        r.setItemSize(static_cast<double>(size));
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
                    const std::string serverPath = server.serverFolderPathBytes() + "/" + relative;
                    if (!r.setServerFolderPathBytes(serverPath) && cutPath.empty()) {
                        cutPath = "서버 폴더 경로가 " +
                                  tooLongText(serverPath.size(),
                                              R::textRoom(R::Layout::kServerFolderPath));
                    }
                },
                record);
            list.setRecord(row, record);
            if (!cutPath.empty()) {
                // Sent under a cut path it could land on another file.
                list.refuse(row, cutPath);
            }
        }
    }
    window_.display().setEnabled(Display::StartButton, true);
    located_ = true;
    registered_ = true;
    return sendPacket(msg::kClose, {}, 362) ? kGoOn : kFailed;
}

void UploadSession::sendWorkingRecord(std::int32_t type,
                                      const std::variant<UploadJobRecord, MyStorageJobRecord>& r,
                                      int failureNumber, bool& ok) {
    std::visit([&](const auto& rec) { ok = sendPacket(type, rec.bytes(), failureNumber); }, r);
}

int UploadSession::onRequestRecord() {
    auto& list = window_.list();
    if (announcedRow_ == 0 && dataPhases_ == 0) {
        // Asked before any file of this conversation: the record is the
        // conversation's own row's, never the next row's.
        return onResendRecord();
    }
    std::variant<UploadJobRecord, MyStorageJobRecord> record;
    {
        auto guard = list.lock();
        // Only the row our 502 / 2007 announced follows on this connection.
        const int next = list.rowOfId(std::exchange(announcedRow_, 0));
        if (next < 0) {
            setRowStatus("다음 목록이 없습니다.");
            return kFailed;
        }
        setCurrentRow(next);
        record = list.record(next);
        retry_.nextInGroup(list.rowId(next));
        taken_.insert(list.rowId(next));
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
            key = window_.musicChecker().CheckMusicFile(record.localPath(), registrant_);
        }
        if (key && record.setContentKey(*key)) {
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
        // A field the server left unterminated is not taken: the row keeps
        // the location it has.
        if (auto* r = std::get_if<Record>(&record);
            r != nullptr && r->setContentIdBytes(server->contentIdBytes()) &&
            r->setDataServerAddressBytes(server->dataServerAddressBytes())) {
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

namespace {
constexpr std::string_view kSkippedText = "같은 이름의 파일이 있어 건너뛰었습니다.";
}  // namespace

int UploadSession::onSameName() {
    if (!skipAllSameName_ && !resumeAllSameName_) {
        const auto answer = services_.question.ask(workingItemName());
        if (answer.yes) {
            resumeAllSameName_ = answer.applyToAll;
        } else {
            skipAllSameName_ = answer.applyToAll;
            setRowTexts(RowState::Failed, kSkippedText, "건너뜀");
            return kStoppedByUser;
        }
    }
    if (!skipAllSameName_) {
        return sendPacket(msg::kProceed, {}, 1141) ? kGoOn : kFailed;
    }
    // Skip the file: it no longer counts towards the run.
    window_.list().setProgressBar(1, 0, "0%");
    window_.display().setRange(Display::FileBar, 1);
    window_.display().setPosition(Display::FileBar, 0);
    window_.display().setText(Display::FileBar, "0%");
    window_.addTotalBytes(-workingSize());
    const double total = window_.totalBytes();
    const double done = window_.doneBytes();
    window_.display().setRange(Display::OverallBar, total / 1024);
    window_.display().setPosition(Display::OverallBar, done / 1024);
    window_.display().setText(Display::OverallBar, transfer::overallPercentText(done, total));
    // Passed over, not failed: the row says so.
    setRowTexts(RowState::Failed, kSkippedText, "건너뜀");
    return closeConversation(1468) ? kGoOn : kFailed;
}

int UploadSession::onRegisterError(std::int32_t number) {
    setRowTexts(RowState::Failed, std::nullopt, "등록 에러");
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
    return closeConversation(traits().registerErrorClose) ? kGoOn : kFailed;
}

}  // namespace quenvara::uploader
