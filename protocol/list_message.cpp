#include "protocol/list_message.h"

#include <algorithm>

#include "common/byte_order.h"

namespace quenvara::handover {

std::string MusicListEntry::baseNameBytes() const {
    const std::string name = fileNameBytes();
    // CP949 trail bytes are letters or 0x81-0xFE, never a backslash or a
    // slash, so a byte search cannot split a Hangul character.
    const auto cut = name.find_last_of("\\/");
    return cut == std::string::npos ? name : name.substr(cut + 1);
}

Result<HandoverItem> interpret(const ListMessage& message) {
    const auto payload = std::span<const std::uint8_t>(message.payload);
    if (payload.size() == kServerAddressSize) {
        ServerAddressPayload p(*FixedBlock<kServerAddressSize>::fromBytes(payload));
        return HandoverItem{ServerAddress{p.address(), p.port()}};
    }
    switch (message.kind) {
        case static_cast<std::int32_t>(ListMessageKind::MusicList): {
            if (payload.size() % kMusicListEntrySize != 0) {
                return Result<HandoverItem>::failure(
                    "music list of " + std::to_string(payload.size()) +
                    " bytes is not a whole number of 516-byte entries");
            }
            MusicList list;
            list.entries.reserve(payload.size() / kMusicListEntrySize);
            for (std::size_t off = 0; off < payload.size(); off += kMusicListEntrySize) {
                list.entries.emplace_back(*FixedBlock<kMusicListEntrySize>::fromBytes(
                    payload.subspan(off, kMusicListEntrySize)));
            }
            return HandoverItem{std::move(list)};
        }
        case static_cast<std::int32_t>(ListMessageKind::ShowWindow):
            if (payload.empty()) {
                return HandoverItem{ShowWindowRequest{}};
            }
            return Result<HandoverItem>::failure("show-window request with a payload of " +
                                                 std::to_string(payload.size()) + " bytes");
        case static_cast<std::int32_t>(ListMessageKind::UploadJob):
            if (auto r = UploadJobRecord::fromBytes(payload)) {
                return HandoverItem{*r};
            }
            return Result<HandoverItem>::failure(
                "upload job record of " + std::to_string(payload.size()) + " bytes, expected 7972");
        case static_cast<std::int32_t>(ListMessageKind::MyStorage):
            if (auto r = MyStorageJobRecord::fromBytes(payload)) {
                return HandoverItem{*r};
            }
            return Result<HandoverItem>::failure("my-storage job record of " +
                                                 std::to_string(payload.size()) +
                                                 " bytes, expected 7772");
        default:
            return Result<HandoverItem>::failure("unknown message kind " +
                                                 std::to_string(message.kind) + " (" +
                                                 std::to_string(payload.size()) + " bytes)");
    }
}

ListMessage makeServerAddressMessage(ListMessageKind kind, std::string_view address,
                                     std::int32_t port) {
    ServerAddressPayload p(address, port);
    return {static_cast<std::int32_t>(kind), {p.bytes().begin(), p.bytes().end()}};
}

ListMessage makeMusicListMessage(std::span<const MusicListEntry> entries) {
    ListMessage m{static_cast<std::int32_t>(ListMessageKind::MusicList), {}};
    m.payload.reserve(entries.size() * kMusicListEntrySize);
    for (const auto& e : entries) {
        m.payload.insert(m.payload.end(), e.bytes().begin(), e.bytes().end());
    }
    return m;
}

ListMessage makeShowWindowMessage() {
    return {static_cast<std::int32_t>(ListMessageKind::ShowWindow), {}};
}

ListMessage makeUploadJobMessage(const UploadJobRecord& record) {
    return {static_cast<std::int32_t>(ListMessageKind::UploadJob),
            {record.bytes().begin(), record.bytes().end()}};
}

ListMessage makeMyStorageJobMessage(const MyStorageJobRecord& record) {
    return {static_cast<std::int32_t>(ListMessageKind::MyStorage),
            {record.bytes().begin(), record.bytes().end()}};
}

Result<std::vector<std::uint8_t>> encodeFrame(const ListMessage& message) {
    if (message.payload.size() > kPayloadCapacity) {
        return Result<std::vector<std::uint8_t>>::failure(
            "payload of " + std::to_string(message.payload.size()) +
            " bytes does not fit a frame (at most 1048576)");
    }
    std::vector<std::uint8_t> frame(kFrameSize, 0);
    bytes::storeI32(frame.data(), message.kind);
    bytes::storeU32(frame.data() + 4, static_cast<std::uint32_t>(message.payload.size()));
    std::copy(message.payload.begin(), message.payload.end(), frame.begin() + kFrameHeaderSize);
    return frame;
}

Result<ListMessage> decodeFrame(std::span<const std::uint8_t> frame) {
    if (frame.size() != kFrameSize) {
        return Result<ListMessage>::failure("frame of " + std::to_string(frame.size()) +
                                            " bytes, expected 1048584");
    }
    const std::uint32_t length = bytes::loadU32(frame.data() + 4);
    if (length > kPayloadCapacity) {
        return Result<ListMessage>::failure("length field " + std::to_string(length) +
                                            " exceeds the 1048576-byte payload area");
    }
    ListMessage m;
    m.kind = bytes::loadI32(frame.data());
    const auto payload = frame.subspan(kFrameHeaderSize, length);
    m.payload.assign(payload.begin(), payload.end());
    return m;
}

}  // namespace quenvara::handover
