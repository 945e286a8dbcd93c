#include "service/reference_service.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "common/cp949.h"
#include "protocol/job_records.h"
#include "protocol/packet.h"

namespace quenvara::service {
namespace {

namespace msg = transfer::msg;
using platform::TcpConnection;

constexpr int kRoleCommand = 0;
constexpr int kRoleUploadData = 4;
constexpr int kRoleMyData = 3;

struct Packet {
    transfer::PacketHeader header;
    std::vector<std::uint8_t> body;
};

std::optional<Packet> readPacket(TcpConnection& conn) {
    std::array<std::uint8_t, transfer::kHeaderSize> head{};
    if (conn.recvExact(head) != static_cast<long>(head.size())) {
        return std::nullopt;
    }
    Packet p;
    p.header = transfer::PacketHeader::decode(head);
    auto length = transfer::bodyLength(p.header);
    if (!length) {
        return std::nullopt;
    }
    p.body.resize(*length);
    if (!p.body.empty() && conn.recvExact(p.body) != static_cast<long>(p.body.size())) {
        return std::nullopt;
    }
    return p;
}

bool send(TcpConnection& conn, std::int32_t type, std::span<const std::uint8_t> body = {},
          std::int32_t status = 0) {
    const auto packet = transfer::encodePacket(type, body, {}, status);
    return conn.sendAll(packet) == static_cast<long>(packet.size());
}

// A stored name never leaves the storage folder.
std::string safeComponent(std::string text) {
    for (auto& c : text) {
        if (c == '/' || c == '\\' || c == '\0') {
            c = '_';
        }
    }
    if (text.empty() || text == "." || text == "..") {
        text = "_" + text;
    }
    return text;
}

std::filesystem::path safeFolder(const std::string& folder) {
    std::filesystem::path out;
    std::string part;
    for (char c : folder + "/") {
        if (c == '/' || c == '\\') {
            if (!part.empty() && part != "." && part != "..") {
                out /= part;
            }
            part.clear();
        } else {
            part += c;
        }
    }
    return out;
}

template <class Record>
struct KindInfo;
template <>
struct KindInfo<UploadJobRecord> {
    static constexpr int kKind = 4;
    static constexpr std::int32_t kAskRecord = msg::kResendRecord;
    static constexpr std::int32_t kRecordPacket = msg::kFileRecord;
    static constexpr std::int32_t kSendData = msg::kSendData;
    static constexpr std::int32_t kNextFile = msg::kNextFile;
    static constexpr std::int32_t kRequestRecord = msg::kRequestRecord;
    static constexpr std::int32_t kRegisterError = msg::kRegisterError;
    static constexpr std::int32_t kAlive = msg::kAlive;
};
template <>
struct KindInfo<MyStorageJobRecord> {
    static constexpr int kKind = 3;
    static constexpr std::int32_t kAskRecord = msg::kResendRecordMy;
    static constexpr std::int32_t kRecordPacket = msg::kFileRecordMy;
    static constexpr std::int32_t kSendData = msg::kSendDataMy;
    static constexpr std::int32_t kNextFile = msg::kNextFileMy;
    static constexpr std::int32_t kRequestRecord = msg::kRequestRecordMy;
    static constexpr std::int32_t kRegisterError = msg::kRegisterErrorMy;
    static constexpr std::int32_t kAlive = msg::kAliveMy;
};

}  // namespace

ReferenceService::ReferenceService(Options options) : options_(std::move(options)) {}

ReferenceService::~ReferenceService() {
    stop();
}

bool ReferenceService::listen(Server& server, int port, std::string& error) {
    auto l = platform::TcpListener::listen(options_.address, port);
    if (!l) {
        error = l.error();
        return false;
    }
    server.listener = std::make_unique<platform::TcpListener>(std::move(*l));
    return true;
}

bool ReferenceService::start(std::string& error) {
    std::filesystem::create_directories(options_.storage);
    // Content ids go on from those already stored, so a new file never
    // lands on an old one's bytes.
    for (const auto& entry : std::filesystem::directory_iterator(options_.storage)) {
        const auto name = entry.path().filename().string();
        if (name.size() == 5 && name[0] == 'C') {
            nextContentId_ = std::max(nextContentId_, std::atoi(name.c_str() + 1) + 1);
        }
    }
    if (!listen(uploadData_, 0, error) || !listen(myData_, 0, error)) {
        return false;
    }
    uploadDataPort_ = uploadData_.listener->port();
    myDataPort_ = myData_.listener->port();
    if (options_.faults.refuseSeconds > 0 && options_.commandPort == 0) {
        error = "a refusal delay needs a fixed command port";
        return false;
    }
    if (options_.faults.refuseSeconds == 0) {
        if (!listen(command_, options_.commandPort, error)) {
            return false;
        }
        commandPort_ = command_.listener->port();
        command_.acceptor = std::thread([this] { serve(command_, kRoleCommand); });
    } else {
        commandPort_ = options_.commandPort;
        command_.acceptor = std::thread([this] {
            for (int i = 0; i < options_.faults.refuseSeconds * 10 && !stopping_; ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
            std::string e;
            if (!stopping_ && listen(command_, options_.commandPort, e)) {
                serve(command_, kRoleCommand);
            }
        });
    }
    uploadData_.acceptor = std::thread([this] { serve(uploadData_, kRoleUploadData); });
    myData_.acceptor = std::thread([this] { serve(myData_, kRoleMyData); });
    return true;
}

void ReferenceService::stop() {
    if (stopping_.exchange(true)) {
        return;
    }
    for (Server* s : {&command_, &uploadData_, &myData_}) {
        if (s->listener) {
            s->listener->interrupt();
        }
    }
    {
        std::lock_guard lock(mutex_);
        for (auto& c : open_) {
            c->shutdownBoth();
        }
    }
    for (Server* s : {&command_, &uploadData_, &myData_}) {
        if (s->acceptor.joinable()) {
            s->acceptor.join();
        }
        // Closed, so that a client is refused rather than left waiting in
        // the backlog of a service that no longer answers.
        s->listener.reset();
    }
    std::vector<std::thread> workers;
    {
        std::lock_guard lock(mutex_);
        workers.swap(workers_);
    }
    for (auto& w : workers) {
        w.join();
    }
}

void ReferenceService::serve(Server& server, int role) {
    while (!stopping_) {
        auto accepted = server.listener->accept();
        if (!accepted) {
            return;
        }
        std::shared_ptr<TcpConnection> conn = std::move(*accepted);
        std::lock_guard lock(mutex_);
        if (stopping_) {
            return;
        }
        open_.push_back(conn);
        workers_.emplace_back([this, conn, role] {
            converse(*conn, role);
            conn->shutdownBoth();
            std::lock_guard done(mutex_);
            std::erase(open_, conn);
        });
    }
}

void ReferenceService::converse(TcpConnection& conn, int role) {
    auto opening = readPacket(conn);
    if (!opening) {
        return;
    }
    const auto type = opening->header.type;
    {
        std::lock_guard lock(mutex_);
        ++conversations_[type];
        openingRegistrants_.push_back(opening->header.registrant);
        if (type == msg::kLocate) {
            locateBodies_.push_back(opening->body);
        }
    }
    if (role == kRoleCommand && (type == msg::kLocate || type == msg::kLocateMy)) {
        commandConversation(conn, type, opening->body);
    } else if (role != kRoleCommand && type == msg::kRegisterFolder) {
        folderRegistration(conn, 4, std::move(opening->body));
    } else if (role != kRoleCommand && type == msg::kRegisterFolderMy) {
        folderRegistration(conn, 3, std::move(opening->body));
    } else if (role != kRoleCommand && type == msg::kStart) {
        uploadConversation(conn, role);
    }
}

void ReferenceService::commandConversation(TcpConnection& conn, std::int32_t opening,
                                           const std::vector<std::uint8_t>&) {
    transfer::Location location;
    {
        std::lock_guard lock(mutex_);
        char id[16];
        std::snprintf(id, sizeof id, "C%04d", nextContentId_++ % 10000);  // 5 characters at most
        location.contentId = id;
    }
    location.dataServerAddress = options_.address;
    location.dataServerPort = opening == msg::kLocate ? uploadDataPort_ : myDataPort_;
    location.serverFolderPath = opening == msg::kLocate ? "/contents" : "/mine";
    if (!send(conn, opening, transfer::encodeLocation(location))) {
        return;
    }
    readPacket(conn);  // the uploader's 5
}

void ReferenceService::folderRegistration(TcpConnection& conn, int kind,
                                          std::vector<std::uint8_t> body) {
    std::string group;
    {
        std::lock_guard lock(mutex_);
        group = "grp" + std::to_string(nextGroup_++);
    }
    const auto answer = [&](auto record) {
        auto values = record.userValues();
        values.setFolderGroupTextBytes(group);
        record.setUserValues(values);
        record.setServerFolderPathBytes("/folders");
        record.setDataServerAddressBytes(options_.address);
        record.setDataServerPort(dataPort(kind));
        return send(conn, kind == 4 ? msg::kFolderRegistered : msg::kFolderRegisteredMy,
                    record.bytes());
    };
    bool sent = false;
    if (kind == 4) {
        if (auto r = UploadJobRecord::fromBytes(body)) {
            sent = answer(*r);
        }
    } else if (auto r = MyStorageJobRecord::fromBytes(body)) {
        sent = answer(*r);
    }
    if (sent) {
        readPacket(conn);
    }
}

void ReferenceService::protocolError(std::string text) {
    std::lock_guard lock(mutex_);
    protocolErrors_.push_back(std::move(text));
}

bool ReferenceService::expectAnswer(TcpConnection& conn, std::int32_t wanted, std::int32_t after) {
    auto answer = readPacket(conn);
    if (!answer) {
        protocolError("no answer to " + std::to_string(after));
        return false;
    }
    if (answer->header.type != wanted) {
        protocolError(std::to_string(answer->header.type) + " in answer to " +
                      std::to_string(after) + ", not " + std::to_string(wanted));
        return false;
    }
    return true;
}

bool ReferenceService::takeOnce(bool& used) {
    std::lock_guard lock(mutex_);
    if (used) {
        return false;
    }
    used = true;
    return true;
}

void ReferenceService::uploadConversation(TcpConnection& conn, int kind) {
    const auto& f = options_.faults;
    if (f.silentAfterStart) {
        std::array<std::uint8_t, 1> byte{};
        while (!stopping_ && conn.recvExact(byte) > 0) {
        }
        return;
    }
    bool errorForm = !f.errorText.empty();
    if (f.errorFormAfterBreak) {
        std::lock_guard lock(mutex_);
        errorForm = errorForm || brokeSinceErrorForm_;
        brokeSinceErrorForm_ = false;
    }
    if (errorForm) {
        // The text travels in CP949, as every text of the protocol.
        const std::string shown =
            f.errorText.empty() ? "잠시 후 다시 시도해 주십시오" : f.errorText;
        const auto bytes = cp949::fromUtf8(shown);
        const std::string& raw = bytes ? *bytes : shown;
        std::vector<std::uint8_t> text(transfer::kErrorTextSize, 0);
        std::copy_n(raw.begin(), std::min(raw.size(), text.size() - 1), text.begin());
        auto head = transfer::PacketHeader{msg::kClose, 0, 0, -1, {}}.encode();
        conn.sendAll(head);
        conn.sendAll(text);
        readPacket(conn);
        return;
    }
    if (f.alreadyConnectedOnce && takeOnce(alreadyConnectedUsed_)) {
        send(conn, msg::kAlreadyConnected);
        readPacket(conn);
        return;
    }
    if (f.disconnectOnce && takeOnce(disconnectUsed_)) {
        send(conn, msg::kDisconnected);
        readPacket(conn);
        return;
    }
    bool sendUnknown = false;
    {
        std::lock_guard lock(mutex_);
        if (f.unknownPacket != 0 && unknownSent_ < f.unknownPacketTimes) {
            ++unknownSent_;
            sendUnknown = true;
        }
    }
    if (sendUnknown) {
        send(conn, f.unknownPacket);
        readPacket(conn);
        return;
    }
    const auto run = [&](auto tag) {
        using Record = decltype(tag);
        using Info = KindInfo<Record>;
        // A header-only poll: count 1, size -1, so no body follows.
        const auto poll = [&] {
            if (!f.headerOnlyPoll) {
                return true;
            }
            const auto head = transfer::PacketHeader{msg::kPoll, 1, -1, 0, {}}.encode();
            return conn.sendAll(head) == static_cast<long>(head.size()) &&
                   expectAnswer(conn, Info::kAlive, msg::kPoll);
        };
        if (!poll() || !send(conn, Info::kAskRecord)) {
            return;
        }
        auto packet = readPacket(conn);
        int files = 0;
        while (packet && packet->header.type == Info::kRecordPacket) {
            auto record = Record::fromBytes(packet->body);
            if (!record) {
                return;
            }
            {
                std::lock_guard lock(mutex_);
                records_.push_back(packet->body);
            }
            if (f.registerError != 0) {
                send(conn, Info::kRegisterError, {}, f.registerError);
                readPacket(conn);
                return;
            }
            // The record as registered here, handed back with 508.
            Record registered = *record;
            registered.setDataServerAddressBytes(options_.address);
            registered.setDataServerPort(dataPort(Info::kKind));
            if (!send(conn, msg::kRegisteredRecord, registered.bytes())) {
                return;
            }
            auto proceed = readPacket(conn);
            if (!proceed || proceed->header.type != msg::kProceed) {
                return;
            }
            const std::string name = cp949::toUtf8(record->itemNameBytes());
            bool continueExisting = record->resumeState() != 0;
            if (!f.sameName.empty() && name.starts_with(f.sameName)) {
                send(conn, msg::kSameName);
                auto answer = readPacket(conn);
                if (!answer || answer->header.type != msg::kProceed) {
                    return;  // skipped, or the conversation ended
                }
                continueExisting = true;  // "이어 올리기": on top of what is stored
            }
            const auto folder = options_.storage / safeComponent(record->contentIdBytes()) /
                                safeFolder(cp949::toUtf8(record->serverFolderPathBytes()));
            std::filesystem::create_directories(folder);
            const auto path = folder / safeComponent(name);
            std::error_code ec;
            // Only a record sent again, or the same-name "continue", goes on
            // from what is stored; a new upload starts from nothing.
            std::uint64_t held = continueExisting && std::filesystem::exists(path, ec)
                                     ? std::filesystem::file_size(path, ec)
                                     : 0;
            const auto size = static_cast<std::uint64_t>(record->itemSize());
            held = std::min(held, size);
            double reported = static_cast<double>(held);
            if (f.negativeOffsetOnce && takeOnce(negativeOffsetUsed_)) {
                held = 0;
                reported = -1.0;
            }
            if (f.offsetBeyondEnd) {
                send(conn, Info::kSendData, transfer::encodeResume(static_cast<double>(size) + 1));
                readPacket(conn);
                return;
            }
            std::filesystem::resize_file(path, held, ec);
            if (ec) {
                std::ofstream(path, std::ios::binary).close();
            }
            if (!send(conn, Info::kSendData, transfer::encodeResume(reported))) {
                return;
            }
            std::fstream out(path, std::ios::binary | std::ios::in | std::ios::out);
            out.seekp(static_cast<std::streamoff>(held));
            std::uint64_t remaining = size - held;
            std::uint64_t dropAt = 0;
            if (f.dropAfterBytes != 0 && (f.dropName.empty() || f.dropName == name)) {
                std::lock_guard lock(mutex_);
                if (!dropped_.contains(name)) {
                    dropped_.insert(name);
                    dropAt = f.dropAfterBytes;
                }
            }
            std::vector<std::uint8_t> buffer(64 * 1024);
            std::uint64_t received = 0;
            const auto began = std::chrono::steady_clock::now();
            while (remaining > 0) {
                std::size_t want =
                    static_cast<std::size_t>(std::min<std::uint64_t>(remaining, buffer.size()));
                if (dropAt != 0) {
                    if (received >= dropAt) {
                        {
                            std::lock_guard lock(mutex_);
                            brokeSinceErrorForm_ = true;
                        }
                        conn.abort();  // the injected break: no orderly close
                        return;
                    }
                    want =
                        static_cast<std::size_t>(std::min<std::uint64_t>(want, dropAt - received));
                }
                if (conn.recvExact({buffer.data(), want}) != static_cast<long>(want)) {
                    return;
                }
                out.write(reinterpret_cast<const char*>(buffer.data()),
                          static_cast<std::streamsize>(want));
                out.flush();
                if (!out) {
                    return;  // not stored: the conversation ends, the upload fails
                }
                received += want;
                remaining -= want;
            }
            out.close();
            const std::chrono::duration<double> took = std::chrono::steady_clock::now() - began;
            {
                std::lock_guard lock(mutex_);
                std::erase_if(stored_, [&](const StoredFile& s) { return s.path == path; });
                stored_.push_back({name, path, size, Info::kKind, took.count()});
            }
            ++files;
            // The uploader's word after the last byte: 502 / 2007 for the
            // next file of the group, or 5.
            auto next = readPacket(conn);
            if (!next) {
                break;
            }
            if (next->header.type != Info::kNextFile && next->header.type != msg::kClose) {
                protocolError(std::to_string(next->header.type) + " after the data of " + name);
                return;
            }
            bool firstTime = false;
            {
                std::lock_guard lock(mutex_);
                firstTime = afterDataDone_.insert(name).second;
            }
            for (const std::int32_t extra : firstTime ? f.afterData : std::vector<std::int32_t>{}) {
                if (extra == msg::kRegisteredRecord) {
                    if (!send(conn, extra, registered.bytes()) ||
                        !expectAnswer(conn, msg::kProceed, extra)) {
                        return;
                    }
                    continue;
                }
                const std::int32_t wanted = extra == msg::kCloseRequest ? msg::kClose
                                            : extra == msg::kPoll       ? Info::kAlive
                                                                        : msg::kAlive;
                if (!send(conn, extra) || !expectAnswer(conn, wanted, extra)) {
                    return;
                }
                if (extra == msg::kCloseRequest || extra == msg::kDisconnected) {
                    return;  // closed in order
                }
            }
            if (next->header.type != Info::kNextFile) {
                break;  // 5: the uploader closes
            }
            if (!poll() || !send(conn, Info::kRequestRecord)) {
                return;
            }
            packet = readPacket(conn);
        }
        if (files > 1) {
            std::lock_guard lock(mutex_);
            ++multiFile_;
        }
    };
    if (kind == 4) {
        run(UploadJobRecord{});
    } else {
        run(MyStorageJobRecord{});
    }
}

std::vector<StoredFile> ReferenceService::stored() const {
    std::lock_guard lock(mutex_);
    return stored_;
}

int ReferenceService::conversations(int opening) const {
    std::lock_guard lock(mutex_);
    auto it = conversations_.find(opening);
    return it == conversations_.end() ? 0 : it->second;
}

std::vector<std::vector<std::uint8_t>> ReferenceService::receivedRecords() const {
    std::lock_guard lock(mutex_);
    return records_;
}

std::vector<std::string> ReferenceService::protocolErrors() const {
    std::lock_guard lock(mutex_);
    return protocolErrors_;
}

std::vector<std::array<std::uint8_t, 12>> ReferenceService::openingRegistrants() const {
    std::lock_guard lock(mutex_);
    return openingRegistrants_;
}

std::vector<std::vector<std::uint8_t>> ReferenceService::locateBodies() const {
    std::lock_guard lock(mutex_);
    return locateBodies_;
}

int ReferenceService::multiFileConversations() const {
    std::lock_guard lock(mutex_);
    return multiFile_;
}

}  // namespace quenvara::service
