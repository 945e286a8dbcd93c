#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/result.h"

// The packets of the command-server and data-server conversations.
namespace quenvara::transfer {

namespace msg {
// Both directions.
inline constexpr std::int32_t kClose = 5;
// Uploader to server.
inline constexpr std::int32_t kProceed = 6;
inline constexpr std::int32_t kAlive = 500;
inline constexpr std::int32_t kFileRecord = 501;
inline constexpr std::int32_t kNextFile = 502;
inline constexpr std::int32_t kStart = 512;
inline constexpr std::int32_t kRegisterFolder = 518;
inline constexpr std::int32_t kLocate = 1001;
inline constexpr std::int32_t kLocateMy = 1101;
inline constexpr std::int32_t kRegisterFolderMy = 2001;
inline constexpr std::int32_t kAliveMy = 2002;
inline constexpr std::int32_t kFileRecordMy = 2003;
inline constexpr std::int32_t kNextFileMy = 2007;
// Server to uploader.
inline constexpr std::int32_t kCloseRequest = 203;
inline constexpr std::int32_t kSendData = 501;
inline constexpr std::int32_t kRequestRecord = 503;
inline constexpr std::int32_t kPoll = 505;
inline constexpr std::int32_t kAlreadyConnected = 506;
inline constexpr std::int32_t kResendRecord = 507;
inline constexpr std::int32_t kRegisteredRecord = 508;
inline constexpr std::int32_t kSameName = 509;
inline constexpr std::int32_t kDisconnected = 514;
inline constexpr std::int32_t kRegisterError = 517;
inline constexpr std::int32_t kFolderRegistered = 518;
inline constexpr std::int32_t kLocation = 1001;
inline constexpr std::int32_t kLocationMy = 1101;
inline constexpr std::int32_t kFolderRegisteredMy = 2001;
inline constexpr std::int32_t kSendDataMy = 2003;
inline constexpr std::int32_t kResendRecordMy = 2004;
inline constexpr std::int32_t kRegisterErrorMy = 2005;
inline constexpr std::int32_t kRequestRecordMy = 2006;
}  // namespace msg

inline constexpr std::size_t kHeaderSize = 28;
inline constexpr std::size_t kErrorTextSize = 256;
// The largest body this protocol has is an upload record (7972 bytes); a
// header announcing more than this is not believed.
inline constexpr std::int64_t kMaxBody = 64 * 1024;

struct PacketHeader {
    std::int32_t type = 0;
    std::int32_t count = 0;
    std::int32_t size = 0;
    std::int32_t status = 0;
    std::array<std::uint8_t, 12> registrant{};

    std::array<std::uint8_t, kHeaderSize> encode() const;
    static PacketHeader decode(std::span<const std::uint8_t, kHeaderSize> bytes);
};

// The first 12 bytes of the registrant name, zero-padded, no terminator
// when it has 12 or more.
std::array<std::uint8_t, 12> registrantField(std::string_view cp949Name);

// The body length a received header announces: 0 when count × size is 0
// or less (a header-only packet). A product beyond kMaxBody is refused.
Result<std::size_t> bodyLength(const PacketHeader& header);

// Header and body in one buffer; count 1 and size = body length, or 0/0.
std::vector<std::uint8_t> encodePacket(std::int32_t type, std::span<const std::uint8_t> body,
                                       const std::array<std::uint8_t, 12>& registrant,
                                       std::int32_t status = 0);

// Body of 1001: the latest page values of the kind 4 records.
struct LocateValues {
    std::int32_t userNumber = 0;
    std::string sectionCode;  // CP949 bytes; only 4 bytes of each text go
    std::string subSectionCode;
    std::string adultFlag;
    double size = 0;
};
std::array<std::uint8_t, 28> encodeLocateBody(const LocateValues& values);
std::array<std::uint8_t, 12> encodeLocateMyBody(double size);

// Body of the 1001/1101 answers.
struct Location {
    std::string contentId;  // CP949 bytes
    std::string dataServerAddress;
    std::int32_t dataServerPort = 0;
    std::string serverFolderPath;  // CP949 bytes
};
Result<Location> decodeLocation(std::span<const std::uint8_t> body);
std::vector<std::uint8_t> encodeLocation(const Location& location);

// Body of 501/2003: bytes the server already holds; negative means none.
Result<double> decodeResume(std::span<const std::uint8_t> body);
std::array<std::uint8_t, 8> encodeResume(double offset);

// The error form's text: at most 256 bytes, terminator or not.
std::string errorText(std::span<const std::uint8_t> bytes);

}  // namespace quenvara::transfer
