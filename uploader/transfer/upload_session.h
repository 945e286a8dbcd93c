#pragma once

#include <array>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <variant>

#include "platform/clock.h"
#include "platform/notices.h"
#include "platform/tcp.h"
#include "protocol/job_records.h"
#include "protocol/packet.h"
#include "uploader/list/job_state.h"
#include "uploader/transfer/engine_operations.h"
#include "uploader/transfer/retry_state.h"
#include "uploader/transfer/row_byte_account.h"
#include "uploader/transfer/server_conversation.h"

namespace quenvara::uploader {

// Bytes per send in a data phase: kind 3 always 32 KiB; kind 4 by the entry
// of the speed box ("32K 이상" 16 KiB, "4K 이상" 4 KiB, "1K 이상" 1 KiB, else 32 KiB).
std::size_t chunkSize(bool myStorage, int speedChoice);

// What differs between the two kinds of job (4: upload records, the 500
// family; 3: my-storage records, the 2000 family), in one table.
struct KindTraits {
    std::int32_t alive;           // answer to a poll
    std::int32_t registerFolder;  // opening of the folder registration
    int startFailure;             // failure numbers of the sends
    int registerFolderFailure;
    int locationCloseFolder;
    int locationCloseOther;
    int sendFailure;
    int peerClosedFailure;
    int registerErrorClose;  // disconnection number after a registration error
    bool twoBlankTexts;      // kind 4 writes "%s  / %s " after each chunk
    std::string_view dataPhaseStatus;
};
const KindTraits& kindTraits(bool myStorage);

// The same-name question ("이어 올리시겠습니까?").
class ResumeQuestionDialog {
  public:
    struct Answer {
        bool yes = true;
        bool applyToAll = false;
    };
    virtual ~ResumeQuestionDialog() = default;
    virtual Answer ask(const std::string& itemName) = 0;
};

// The last record each kind's data server registered (message 508); kept
// across runs, like the window's copy.
struct RegisteredRecords {
    std::mutex mutex;
    std::optional<UploadJobRecord> upload;
    std::optional<MyStorageJobRecord> myStorage;
};

struct TransferServices {
    platform::Clock& clock;
    platform::Notices& notices;
    platform::TcpConnector& connector;
    ResumeQuestionDialog& question;
    std::shared_ptr<RegisteredRecords> registered;
    // Where the engine reports a run's events; null: the window it runs for.
    EngineEvents* events = nullptr;
};

// One upload run over the rows of the list: locate, folder registration and
// upload conversations per row, the data phase with resume, retries, and
// the end-of-run work. Runs on the transfer thread.
class UploadSession {
  public:
    UploadSession(EngineOperations& window, TransferServices services, std::string registrant);

    // The run loop (mode 512) and the end-of-run work.
    void run();

    int failureCount() const { return failureCount_; }
    // From any thread: shuts the open connection down so that a blocked
    // send or receive returns (the window is closing).
    void interrupt();
    bool alreadyConnected() const { return alreadyConnected_; }

  private:
    enum Kind { kNone = 0, kMy = 3, kUpload = 4 };
    static constexpr int kGoOn = 1;
    static constexpr int kStoppedByUser = 0;
    static constexpr int kFailed = -1;
    static constexpr int kServerClosed = -2;
    // The working row cannot be sent now (its file does not open, the
    // server's offset is impossible): it reads "오류" and the run goes on
    // with the next row instead of repeating it.
    static constexpr int kRowGivenUp = -3;

    // Rows and the engine's current row.
    int currentRow() const;
    void setCurrentRow(int row);
    int rowCount() const;
    Kind rowKind(int row) const;
    // The working row's state and status text (none: kept), told as an
    // event. A failed row shows `failureText` as its state ("오류" when none).
    void setRowTexts(RowState state, std::optional<std::string_view> status,
                     std::string_view failureText = {});
    void setRowStatus(std::string_view status);
    void setStatusLine(std::string_view text);
    bool isStopped() const { return window_.stopRequested(); }
    // The working row's index now (the delete command may move it), or -1
    // when the row is gone.
    int workRow() const;
    void sleep(platform::Millis duration);
    // A file whose last byte went out but which the server did not confirm:
    // the row is tried again from the server's offset.
    void unconfirmedEnd();
    // The working record is kept, marked 1, for a retry of the working row;
    // the row's own record is marked too, so that a later run also asks the
    // server for its offset.
    void keepForRetry();
    // The working row reads "오류" with `text` and is not repeated in this run.
    void giveUpRow(std::string_view text);
    // The server's answer to a file whose last byte went out: true when it
    // confirms the file; false when the file stays unconfirmed (already
    // dealt with) or the answer merely comes first (a poll, 508, 203).
    bool confirms(const ServerMessage& message);
    // After the run: rows it took and left unfinished read "오류"; a row
    // still shown as being sent that it never took reads "대기중" again.
    void settleRows();

    void rowSession();
    bool connect(const std::string& address, int port);
    bool sendPacket(std::int32_t type, std::span<const std::uint8_t> body, int failureNumber);
    bool closeConversation(int disconnectNumber);
    void readConversation();
    int handle(const ServerMessage& message);
    int onLocation(std::span<const std::uint8_t> body);
    int onFolderRegistered(std::span<const std::uint8_t> body);
    int onRequestRecord();
    int onResendRecord();
    int onRegisteredRecord(std::span<const std::uint8_t> body);
    int onSameName();
    int onRegisterError(std::int32_t number);
    int dataPhase(std::span<const std::uint8_t> body);
    int finishFile();
    void markFileDone();
    // A transfer that broke: the row is shown failed and tried again from
    // where the server's data ends.
    void brokenTransfer(int code, int error);
    // The conversation broke: the row shows `text`, counts one failure, and
    // is sent again after 2 + 1 seconds from the server's offset.
    void retryAfterBreak(const std::string& text);
    // A folder row's locate or registration ended without its answer: one
    // failure, and the same row is tried again after 2 + 1 seconds, so that
    // the folder stays one group.
    void retryUnanswered(std::string_view text);
    // A folder row that cannot go on in this run: the rest of its group
    // waits for the next run rather than form a group of its own.
    void skipRestOfGroup();
    // Reads what the server said before our closing message: a poll is
    // answered; anything else, a confirmation above all, came before it
    // could answer our last byte and breaks the conversation (false).
    bool nothingAnsweredEarly();
    long countedSend(std::span<const std::uint8_t> data);
    // Tells the window of the file's bytes the server has acknowledged so far.
    void showAcknowledged(double acknowledged);
    void applyMusicCheck(UploadJobRecord& record, bool forResend);
    void runMusicCheck(UploadJobRecord& record);
    void computeGroupStart();
    // The row belongs to the working row's folder group: the same kind and
    // the same handed-over job.
    bool sameGroup(int row) const;
    void moveToGroupEnd();
    void endOfRun(bool reachedEnd);

    const KindTraits& traits() const { return kindTraits(kind_ == kMy); }
    // Calls f with the working record of the current kind.
    template <class F>
    decltype(auto) onWorking(F&& f) {
        return kind_ == kMy ? f(myRecord_) : f(uploadRecord_);
    }
    template <class F>
    decltype(auto) onWorking(F&& f) const {
        return kind_ == kMy ? f(myRecord_) : f(uploadRecord_);
    }

    // The working record of the current kind.
    std::int32_t workingResumeState() const;
    bool workingIsFolder() const;
    std::string workingItemName() const;
    double workingSize() const;
    void sendWorkingRecord(std::int32_t type,
                           const std::variant<UploadJobRecord, MyStorageJobRecord>& r,
                           int failureNumber, bool& ok);

    EngineOperations& window_;
    TransferServices services_;
    std::string registrant_;
    ServerConversation conversation_;
    EngineEvents& events_;
    Kind kind_ = kNone;
    UploadJobRecord uploadRecord_;
    MyStorageJobRecord myRecord_;
    double resumeOffset_ = 0;
    double fileBytesSent_ = 0;
    // Bytes of the current file told to the window (acknowledged ones).
    double bytesShown_ = 0;
    double queueAskedAt_ = 0;
    int failureCount_ = 0;
    bool alreadyConnected_ = false;
    bool errorSeen_ = false;
    bool located_ = false;
    // The folder group's registration was answered (518 / 2001).
    bool registered_ = false;
    // The last conversation ended (closed, broken, cut short) before the
    // server answered what was asked.
    bool endedUnanswered_ = false;
    bool keepGoing_ = false;
    bool groupStart_ = false;
    bool readLoopOn_ = false;
    // A file whose bytes all went out waits for the server's confirmation:
    // 503 / 2006 after our 502 / 2007, or the server's 5 after our 5.
    enum class Awaiting { Nothing, NextRecord, Close } awaiting_ = Awaiting::Nothing;
    // The row our 502 / 2007 announced (its list id).
    std::uint64_t announcedRow_ = 0;
    // Data phases begun in this conversation.
    int dataPhases_ = 0;
    // The handed-over job of the working row: its folder group.
    std::uint64_t workJob_ = 0;
    // Rows this run took (list ids), settled at its end.
    std::set<std::uint64_t> taken_;
    // The failure of this conversation is already counted.
    bool failureCounted_ = false;
    RetryState retry_;
    RowByteAccount counted_;
    bool skipAllSameName_ = false;
    bool resumeAllSameName_ = false;
};

}  // namespace quenvara::uploader
