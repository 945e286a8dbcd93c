#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/tcp.h"

// The outside service as far as the uploader sees it: a command server that
// assigns data servers, and data servers that register records and receive
// file data into a storage folder. Faults can be injected for tests.
namespace quenvara::service {

struct Faults {
    // Drop the data connection after this many bytes of a file's data, once
    // per file name (0: never).
    std::uint64_t dropAfterBytes = 0;
    // Answer the first upload conversation with 506 (already connected).
    bool alreadyConnectedOnce = false;
    // Ask the same-name question (509) for item names starting with this.
    std::string sameName;
    // Send 514 (disconnected) once.
    bool disconnectOnce = false;
    // Refuse the registration of every record with 517 / 2005 and this number.
    int registerError = 0;
    // Send the error form with this text instead of asking for the record.
    std::string errorText;
    // Report a negative resume offset once.
    bool negativeOffsetOnce = false;
    // Report holding more bytes than the file has, every time.
    bool offsetBeyondEnd = false;
    // Send a packet with this unknown number, so many times.
    int unknownPacket = 0;
    int unknownPacketTimes = 1;
    // Do not listen for this many seconds after start.
    int refuseSeconds = 0;
    // Break only the file of this name (with dropAfterBytes).
    std::string dropName;
    // Answer the first upload conversation after an injected break with the
    // error form.
    bool errorFormAfterBreak = false;
    // Poll with a header-only 505 whose count × size is negative (1 × -1)
    // before every request for a record (507 / 503 and 2004 / 2006).
    bool headerOnlyPoll = false;
    // Packets sent once per file name after its last byte, in order, before
    // the next file is asked for: 505, 508, 203 or 514, each expecting its
    // answer (500 / 2002, 6, 5, 500). After 203 or 514 the server closes.
    std::vector<std::int32_t> afterData;
    // The data server takes 512 and then says nothing.
    bool silentAfterStart = false;
    // Take file data at most this fast (0: as fast as it comes).
    std::uint64_t bytesPerSecond = 0;

    // A cut of one file's data, once for its name: at byte `at` the server
    // stores what it has and either resets the connection or, `orderly`,
    // sends FIN and reads on to the end without storing (a close in order
    // that confirms nothing).
    struct Cut {
        std::string name;
        std::uint64_t at = 0;
        bool orderly = false;
    };
    std::vector<Cut> cuts;
    // Files of these names are stored whole, but the server then closes in
    // order without its confirmation (once per name).
    std::set<std::string> closeUnconfirmed;
    // After the error form, answer the uploader's 5 with the server's 5.
    bool closeAfterErrorForm = false;
    // Poll (505) once per file name after this many bytes of its data (0:
    // never); the uploader answers once it reads again.
    std::uint64_t pollDuringData = 0;
    // Wait this long before confirming a file (503 / 2006 or 5), once.
    std::chrono::milliseconds confirmDelay{0};
    // Report holding one byte more than the file has, once, for the file of
    // this name.
    std::string offsetBeyondEndName;
    // Refuse the first record only (with registerError's number).
    bool registerErrorOnce = false;
    // The server folder path of every location and folder registration
    // answer ("": /contents, /mine and /folders), for long server paths.
    std::string folderRoot;
    // Files of these names, once each: right after the resume answer the
    // server sends this packet (5, or 503 / 2006), then reads the file's
    // data and throws it away: an answer before the data, storing nothing.
    std::map<std::string, std::int32_t> earlyAnswer;
    // Close this many locate (1001 / 1101) and folder registration (518 /
    // 2001) conversations without an answer.
    int unansweredLocates = 0;
    int unansweredRegistrations = 0;
    // The content id of every location answer, all 6 bytes of its slot
    // without a terminator ("": C0001, C0002, …), for one longer than the
    // message tables allow.
    std::string contentId;
};

struct StoredFile {
    std::string itemName;  // UTF-8
    std::filesystem::path path;
    std::uint64_t size = 0;
    int kind = 0;  // 4 or 3
    // From the resume answer to the last byte of the data, for benchmarks.
    double receiveSeconds = 0;
};

class ReferenceService {
  public:
    struct Options {
        std::string address = "127.0.0.1";
        int commandPort = 0;  // 0: ephemeral
        std::filesystem::path storage;
        Faults faults;
        // Take the data and store nothing (bytes are still counted and
        // answered as usual): for measuring the uploader alone.
        bool discard = false;
        // A fixed receive buffer for the data servers (0: the system's,
        // which grows): how far a sender may be ahead of what is stored.
        int receiveBuffer = 0;
    };

    explicit ReferenceService(Options options);
    ~ReferenceService();

    // Starts listening (after the refusal delay, when one is set).
    bool start(std::string& error);
    void stop();

    int commandPort() const { return commandPort_; }
    int dataPort(int kind) const { return kind == 3 ? myDataPort_ : uploadDataPort_; }
    std::vector<StoredFile> stored() const;
    // Connections of each opening packet (1001, 1101, 512, 518, 2001).
    int conversations(int opening) const;
    // Records received in 501 / 2003 packets, in order.
    std::vector<std::vector<std::uint8_t>> receivedRecords() const;
    // Upload conversations (512) that carried more than one file.
    int multiFileConversations() const;
    // Answers of the uploader that the message tables do not allow.
    std::vector<std::string> protocolErrors() const;
    // The registrant field of every opening packet's header.
    std::vector<std::array<std::uint8_t, 12>> openingRegistrants() const;
    // Bodies of the 1001 packets received.
    std::vector<std::vector<std::uint8_t>> locateBodies() const;

  private:
    struct Server {
        std::unique_ptr<platform::TcpListener> listener;
        std::thread acceptor;
    };
    bool listen(Server& server, int port, std::string& error, int receiveBuffer = 0);
    void serve(Server& server, int role);
    void converse(platform::TcpConnection& conn, int role);
    void commandConversation(platform::TcpConnection& conn, std::int32_t opening,
                             const std::vector<std::uint8_t>& body);
    void folderRegistration(platform::TcpConnection& conn, int kind,
                            std::vector<std::uint8_t> body);
    void uploadConversation(platform::TcpConnection& conn, int kind);
    // The file's data from `held` on, into `path`; `polled` tells that a 505
    // went out meanwhile. False when the
    // conversation is over (a cut, the peer gone, a write failure).
    bool receiveData(platform::TcpConnection& conn, const std::string& name,
                     const std::filesystem::path& path, std::uint64_t held, std::uint64_t size,
                     double& seconds, bool& polled);
    // True the first time `what` is asked for `name`.
    bool firstFor(const std::string& what, const std::string& name);
    bool takeOnce(bool& flag);
    void protocolError(std::string text);
    // Reads the uploader's answer and checks its number.
    bool expectAnswer(platform::TcpConnection& conn, std::int32_t wanted, std::int32_t after);

    Options options_;
    int commandPort_ = 0;
    int uploadDataPort_ = 0;
    int myDataPort_ = 0;
    Server command_;
    Server uploadData_;
    Server myData_;
    std::atomic<bool> stopping_{false};

    mutable std::mutex mutex_;
    std::vector<std::thread> workers_;
    std::vector<std::shared_ptr<platform::TcpConnection>> open_;
    std::vector<StoredFile> stored_;
    std::map<int, int> conversations_;
    std::vector<std::vector<std::uint8_t>> records_;
    std::set<std::string> dropped_;
    int nextContentId_ = 1;
    int nextGroup_ = 1;
    int unansweredLocates_ = 0;
    int unansweredRegistrations_ = 0;
    int multiFile_ = 0;
    bool alreadyConnectedUsed_ = false;
    bool disconnectUsed_ = false;
    bool negativeOffsetUsed_ = false;
    int unknownSent_ = 0;
    bool brokeSinceErrorForm_ = false;
    std::set<std::string> afterDataDone_;
    std::set<std::string> onceDone_;
    std::vector<std::string> protocolErrors_;
    std::vector<std::array<std::uint8_t, 12>> openingRegistrants_;
    std::vector<std::vector<std::uint8_t>> locateBodies_;
};

}  // namespace quenvara::service
