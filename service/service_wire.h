// The wire helpers shared by the reference service's source files.
#pragma once

#include <array>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/tcp.h"
#include "protocol/job_records.h"
#include "protocol/packet.h"

namespace quenvara::service::wire {

namespace msg = transfer::msg;
using platform::TcpConnection;

inline constexpr int kRoleCommand = 0;
inline constexpr int kRoleUploadData = 4;
inline constexpr int kRoleMyData = 3;

struct Packet {
    transfer::PacketHeader header;
    std::vector<std::uint8_t> body;
};

inline std::optional<Packet> readPacket(TcpConnection& conn) {
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

inline bool send(TcpConnection& conn, std::int32_t type, std::span<const std::uint8_t> body = {},
                 std::int32_t status = 0) {
    const auto packet = transfer::encodePacket(type, body, {}, status);
    return conn.sendAll(packet) == static_cast<long>(packet.size());
}

// A stored name never leaves the storage folder.
inline std::string safeComponent(std::string text) {
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

inline std::filesystem::path safeFolder(const std::string& folder) {
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

}  // namespace quenvara::service::wire
