#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "platform/result.h"
#include "protocol/fixed_block.h"
#include "protocol/job_records.h"

// The hand-over messages from the web-page control to the uploader, and the
// fixed frames that carry them over the local pipe.
namespace quenvara::handover {

enum class ListMessageKind : std::int32_t {
    ServerAddress = 0,  // MSG_SERVER_ADDRESS
    MyStorage = 3,      // MSG_MY_STORAGE: address (20 bytes) or MyStorageJobRecord
    UploadJob = 4,      // MSG_UPLOAD_JOB
    MusicList = 13,     // MSG_MUSIC_LIST
    // Not the control's: a second start of the uploader asks the running one
    // to show its window (no payload).
    ShowWindow = 99,
};

inline constexpr std::size_t kFrameSize = 1'048'584;
inline constexpr std::size_t kFrameHeaderSize = 8;
inline constexpr std::size_t kPayloadCapacity = kFrameSize - kFrameHeaderSize;
inline constexpr std::size_t kAckSize = 4096;
inline constexpr std::size_t kServerAddressSize = 20;
inline constexpr std::size_t kMusicListEntrySize = 516;
inline constexpr std::size_t kMaxMusicListEntries = kPayloadCapacity / kMusicListEntrySize;
static_assert(kMaxMusicListEntries == 2032);

// What the receiving window sees: kind, and the payload bytes that matter.
struct ListMessage {
    std::int32_t kind = 0;
    std::vector<std::uint8_t> payload;
};

class ServerAddressPayload : public FixedBlock<kServerAddressSize> {
  public:
    static constexpr Field kAddress{0, 16};
    static constexpr Field kPort{16, 4};

    ServerAddressPayload() = default;
    // An address too long for the field (fits() false) is not stored, never
    // cut: the field stays empty, which no server answers to.
    ServerAddressPayload(std::string_view address, std::int32_t port) {
        (void)setRawTextAt(kAddress, address);
        setInt32At(kPort, port);
    }
    static bool fits(std::string_view address) { return address.size() <= textRoom(kAddress); }
    explicit ServerAddressPayload(const FixedBlock<kServerAddressSize>& raw) : FixedBlock(raw) {}

    std::string address() const { return rawTextAt(kAddress); }
    std::int32_t port() const { return int32At(kPort); }
};

class MusicListEntry : public FixedBlock<kMusicListEntrySize> {
  public:
    static constexpr Field kMusicChecked{0, 2};
    static constexpr Field kSecondFlag{2, 2};
    static constexpr Field kFileName{4, 512};

    MusicListEntry() = default;
    // A name too long for the field (fits() false) is not stored, never cut:
    // an empty name matches no file.
    MusicListEntry(char musicChecked, char secondFlag, std::string_view fileNameCp949) {
        setFlagAt(kMusicChecked, musicChecked);
        setFlagAt(kSecondFlag, secondFlag);
        (void)setRawTextAt(kFileName, fileNameCp949);
    }
    static bool fits(std::string_view fileNameCp949) {
        return fileNameCp949.size() <= textRoom(kFileName);
    }
    explicit MusicListEntry(const FixedBlock<kMusicListEntrySize>& raw) : FixedBlock(raw) {}

    char musicChecked() const { return flagAt(kMusicChecked); }
    char secondFlag() const { return flagAt(kSecondFlag); }
    std::string fileNameBytes() const { return rawTextAt(kFileName); }
    // The part after the last backslash or slash: the name the uploader matches on.
    std::string baseNameBytes() const;
};

// A message as the window dispatch understands it.
struct ServerAddress {
    std::string address;
    std::int32_t port = 0;
};
struct MusicList {
    std::vector<MusicListEntry> entries;
};
struct ShowWindowRequest {};
using HandoverItem =
    std::variant<ServerAddress, MusicList, UploadJobRecord, MyStorageJobRecord, ShowWindowRequest>;

// Sorts a message by the receiver's rules: a 20-byte payload is the server
// address whatever its kind; otherwise the kind decides. A kind or length
// this protocol does not have is refused with the reason.
Result<HandoverItem> interpret(const ListMessage& message);

// The message for each hand-over item, as the control sends it.
ListMessage makeServerAddressMessage(ListMessageKind kind, std::string_view address,
                                     std::int32_t port);
ListMessage makeMusicListMessage(std::span<const MusicListEntry> entries);
ListMessage makeShowWindowMessage();
ListMessage makeUploadJobMessage(const UploadJobRecord& record);
ListMessage makeMyStorageJobMessage(const MyStorageJobRecord& record);

// Builds the full zero-filled frame. Refuses a payload over the capacity.
Result<std::vector<std::uint8_t>> encodeFrame(const ListMessage& message);

// Reads a received frame. The frame must be complete and its length field
// within the payload area; nothing outside the frame is ever read.
Result<ListMessage> decodeFrame(std::span<const std::uint8_t> frame);

}  // namespace quenvara::handover
