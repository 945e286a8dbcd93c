// The data phase: the file's bytes from the resume offset, the progress
// accounting and displays, and the end of a file.
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
#include "platform/path_text.h"
#include "protocol/record_path.h"
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
constexpr double kQueueAskStep = 131'072;
}  // namespace

// ---- the data phase ----

long UploadSession::countedSend(std::span<const std::uint8_t> data) {
    if (!conversation_.isOpen()) {
        setRowStatus("소켓의 핸들을 찾을수 없습니다.");
        return -1;
    }
    std::size_t sent = 0;
    long result = 0;
    while (sent < data.size()) {
        const long k = conversation_.sendSome(data.subspan(sent));
        if (k <= 0) {
            result = k;
            break;
        }
        sent += static_cast<std::size_t>(k);
    }
    // What went out counts, also the part of a chunk before a failure.
    fileBytesSent_ += static_cast<double>(sent);
    // The displays follow what the server has acknowledged, not what waits
    // in the send queue (megabytes on a fast link to a slow server); the
    // queue is asked every 128 KiB, not at every chunk.
    if (fileBytesSent_ - queueAskedAt_ >= kQueueAskStep) {
        queueAskedAt_ = fileBytesSent_;
        showAcknowledged(fileBytesSent_ - static_cast<double>(conversation_.unacknowledged()));
    }
    return sent == data.size() ? static_cast<long>(sent) : result;
}

void UploadSession::showAcknowledged(double acknowledged) {
    const double change = acknowledged - bytesShown_;
    if (change > 0) {
        bytesShown_ = acknowledged;
        counted_.sent(change);
        events_.bytesSent(retry_.workRow(), change);
    }
}

int UploadSession::dataPhase(std::span<const std::uint8_t> body) {
    auto resume = transfer::decodeResume(body);
    if (!resume) {
        setRowStatus(resume.error());
        errorSeen_ = true;
        return kFailed;
    }
    ++dataPhases_;
    setStatusLine(traits().dataPhaseStatus);
    resumeOffset_ = *resume;
    // The server cannot hold more than the file, nor part of a byte: this
    // row is refused (a later start asks again); the run goes on.
    if (!std::isfinite(resumeOffset_) || resumeOffset_ > workingSize() ||
        resumeOffset_ != std::floor(resumeOffset_)) {
        char text[160];
        std::snprintf(text, sizeof text, "잘못된 이어 올리기 위치입니다. (%.0f / %.0f 바이트)",
                      resumeOffset_, workingSize());
        giveUpRow(text);
        return kRowGivenUp;
    }

    // Records carry CP949; the file system takes UTF-8.
    const auto parent = onWorking([](const auto& r) { return r.parentFolder(); });
    const auto name = onWorking([](const auto& r) { return r.itemName(); });
    const std::string path = record_path::join(parent, name);
    const RowOrigin origin = window_.list().rowOrigin(workRow());
    int fd = -1;
    std::string openError = path + ": " + std::strerror(ENOENT);
    if (auto plain = record_path::checkPlain(path); !plain) {
        openError = plain.error();
    } else if (!name.empty()) {
        // Only inside what was handed over: the folder the job named, or
        // the file itself.
        const std::string root = origin.root.empty() ? path : origin.root;
        if (auto opened = openFileInside(platform::utf8Path(path), platform::utf8Path(root))) {
            fd = *opened;
        } else {
            openError = opened.error();
        }
    }
    if (fd < 0) {
        services_.notices.autoClosingBox(openError, "", 5);
        giveUpRow(openError);
        return kRowGivenUp;
    }
    // The bytes sent are the file as it is, and only when it is the file
    // that was listed: a file that grew, shrank or was written since is not
    // sent under the old length.
    const double fileSize = workingSize();
    struct stat st {};
    const bool stated = ::fstat(fd, &st) == 0;
    if (!stated || static_cast<double>(st.st_size) != fileSize ||
        (origin.modified != 0 && modifiedTime(fd) != origin.modified)) {
        ::close(fd);
        char text[200];
        std::snprintf(
            text, sizeof text,
            "파일이 바뀌었습니다. 다시 선택해 주세요. (목록 %.0f 바이트, 지금 %lld 바이트)",
            fileSize, stated ? static_cast<long long>(st.st_size) : -1LL);
        giveUpRow(text);
        return kRowGivenUp;
    }
    if (::lseek(fd, static_cast<off_t>(resumeOffset_), SEEK_SET) !=
        static_cast<off_t>(resumeOffset_)) {
        const std::string text = path + ": " + std::strerror(errno);
        ::close(fd);
        giveUpRow(text);
        return kRowGivenUp;
    }
    setRowTexts(RowState::Uploading, "업로드중입니다.");
    const std::uint64_t row = retry_.workRow();
    events_.fileStarted(FileStart{row, name, path, fileSize, resumeOffset_,
                                  counted_.startFile(row, resumeOffset_, workingResumeState() == 1),
                                  traits().twoBlankTexts});

    double remaining = fileSize - resumeOffset_;
    fileBytesSent_ = 0;
    bytesShown_ = 0;
    queueAskedAt_ = -kQueueAskStep;  // asked after the first chunk already
    const std::size_t chunk = chunkSize(kind_ == kMy, window_.speedChoice());
    std::vector<std::uint8_t> buffer(chunk);

    enum class Failure { None, Read, Send, PeerClosed } failure = Failure::None;
    int failureErrno = 0;
    while (remaining > 0 && !isStopped()) {
        // Only the bytes read are sent: the buffer needs no clearing between
        // chunks (a tenth of the time of a chunk on a fast link).
        window_.gate().safePoint();
        const auto want =
            static_cast<std::size_t>(std::min<double>(static_cast<double>(chunk), remaining));
        const ssize_t got = ::read(fd, buffer.data(), want);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 1) {
            failure = Failure::Read;
            failureErrno = got < 0 ? errno : 0;
            break;
        }
        const long sent = countedSend({buffer.data(), static_cast<std::size_t>(got)});
        if (sent < 1 && isStopped()) {
            break;  // the pause ended the connection
        }
        if (sent < 1) {
            failure = sent == 0 ? Failure::PeerClosed : Failure::Send;
            failureErrno = conversation_.lastError();
            break;
        }
        remaining -= static_cast<double>(sent);
    }

    if (failure == Failure::None && isStopped()) {
        events_.fileStopped(row);
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
        // The file cannot give what was listed (cut short, or unreadable):
        // this row is given up, the queue goes on.
        char text[512];
        if (failureErrno == 0) {
            std::snprintf(text, sizeof text,
                          "파일이 올리는 중에 짧아졌습니다. 다시 선택해 주세요. (%.0f 바이트 남음)",
                          remaining);
        } else if (kind_ == kMy) {
            std::snprintf(text, sizeof text, "[ 에러 : 1325 , %d ] %s", failureErrno,
                          std::strerror(failureErrno));
        } else {
            std::snprintf(text, sizeof text, "파일 데이터 읽기 에러 입니다. [code:1797 , %d ]\n",
                          failureErrno);
        }
        giveUpRow(text);
        errorSeen_ = true;
        return kRowGivenUp;
    } else {
        brokenTransfer(failure == Failure::Send ? traits().sendFailure : traits().peerClosedFailure,
                       failureErrno);
    }
    errorSeen_ = true;
    return kFailed;
}

void UploadSession::markFileDone() {
    // Confirmed: every byte of it is with the server.
    showAcknowledged(fileBytesSent_);
    setRowTexts(RowState::Done, "완료되었습니다.");
    {
        // A later resume mark of this row would mean nothing.
        auto& list = window_.list();
        auto guard = list.lock();
        if (const int row = workRow(); row >= 0) {
            auto record = list.record(row);
            std::visit([](auto& r) { r.setResumeState(0); }, record);
            list.setRecord(row, record);
        }
    }
    window_.list().hideProgressBar();
    // The file is through: its retry mark must not carry over to the next row.
    retry_.fileDone();
    onWorking([](auto& r) { r.setResumeState(0); });
}

void UploadSession::brokenTransfer(int code, int error) {
    char text[160];
    std::snprintf(text, sizeof text, "패킷 전송 에러 입니다. (code:%d , %d)", code, error);
    retryAfterBreak(text);
}

bool UploadSession::nothingAnsweredEarly() {
    // An answer the server sent before our data reached it comes before its
    // acknowledgement of the data. A larger file waits for that (its last
    // segments are acknowledged at once); a small one, whose single segment
    // the server may acknowledge only after its delayed-ACK time, gives the
    // server a moment instead, so that a folder of small files is not slowed.
    constexpr double kWaitForAcknowledgementFrom = 65'536;
    const bool answered = fileBytesSent_ >= kWaitForAcknowledgementFrom
                              ? (conversation_.waitForAcknowledgement(std::chrono::seconds{60}),
                                 conversation_.pending())
                              : conversation_.pending(std::chrono::milliseconds{2});
    while (answered && conversation_.pending()) {
        const auto message = conversation_.next();
        const bool poll = message.kind == ServerMessage::Kind::Packet &&
                          (message.name() == ServerMessageName::Poll ||
                           message.name() == ServerMessageName::RegisteredRecord);
        if (poll && handle(message) > 0) {
            continue;
        }
        if (!poll) {
            char text[200];
            std::snprintf(text, sizeof text,
                          "서버가 파일을 다 받기 전에 응답해 확인이 되지 않았습니다. (%d)",
                          message.kind == ServerMessage::Kind::Packet ? message.header.type : -1);
            retryAfterBreak(text);
        }
        return false;
    }
    return true;
}

void UploadSession::retryAfterBreak(const std::string& text) {
    ++failureCount_;
    failureCounted_ = true;
    window_.list().hideProgressBar();
    window_.stopTimers();
    setRowTexts(RowState::Failed, text);
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
    setRowTexts(RowState::Failed, "서버가 파일을 모두 받았는지 확인하지 못했습니다.");
    keepForRetry();
}

void UploadSession::giveUpRow(std::string_view text) {
    setRowTexts(RowState::Failed, text);
    setStatusLine(text);
    errorSeen_ = true;
    // Not repeated in this run; the row's record keeps its resume mark, so
    // that a later start asks the server for its offset again.
    retry_.fileDone();
    onWorking([](auto& r) { r.setResumeState(0); });
}

void UploadSession::keepForRetry() {
    onWorking([](auto& r) { r.setResumeState(1); });
    retry_.keep();
    errorSeen_ = true;
    auto& list = window_.list();
    auto guard = list.lock();
    if (const int row = workRow(); row >= 0) {
        onWorking([&](const auto& r) { list.setRecord(row, r); });
    }
}

int UploadSession::finishFile() {
    auto& list = window_.list();
    // The next row continues the folder group on this connection: a file of
    // the same folder item (and, as the server expects, the same user and,
    // kind 4, the same content id).
    std::uint64_t next = 0;
    if (workingIsFolder()) {
        auto guard = list.lock();
        // Files of the group already stored are never sent again.
        int row = currentRow() + 1;
        while (row < list.rowCount() && sameGroup(row) && list.state(row) == RowState::Done) {
            ++row;
        }
        if (row < list.rowCount() && sameGroup(row)) {
            const auto nextRecord = list.record(row);
            bool continues = false;
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
            if (continues) {
                next = list.rowId(row);
            }
        }
    }
    // Every byte is out; the file is done once the server confirms it: 503 /
    // 2006 after our 502 / 2007, or its 5 after our 5. What it said before
    // those is no answer to them.
    if (!nothingAnsweredEarly()) {
        errorSeen_ = true;
        return kFailed;
    }
    if (next != 0) {
        const bool sent = kind_ == kMy ? conversation_.send(msg::kNextFileMy)
                                       : sendPacket(msg::kNextFile, {}, 1724);
        if (!sent) {
            if (kind_ == kMy) {
                setRowTexts(RowState::Failed, sendErrorText(1447));
            }
            errorSeen_ = true;
            return kFailed;
        }
        announcedRow_ = next;
        awaiting_ = Awaiting::NextRecord;
        return kGoOn;
    }
    if (!closeConversation(kind_ == kMy ? 1817 : 2186)) {
        if (kind_ == kMy) {
            setRowTexts(RowState::Failed, "오류입니다. (code:1817)");
        }
        errorSeen_ = true;
        return kFailed;
    }
    awaiting_ = Awaiting::Close;
    return kGoOn;
}

}  // namespace quenvara::uploader
