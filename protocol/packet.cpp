#include "protocol/packet.h"

#include <algorithm>
#include <cstring>

#include "common/byte_order.h"

namespace quenvara::transfer {
namespace {

// A NUL-terminated text inside a fixed slot, never read past the slot.
std::string slotText(std::span<const std::uint8_t> slot) {
    const auto end = std::find(slot.begin(), slot.end(), std::uint8_t{0});
    return std::string(slot.begin(), end);
}

void putSlot(std::uint8_t* at, std::size_t slot, std::string_view text) {
    // The text is copied with its terminator into the slot, so a longer one
    // keeps only its first `slot` bytes.
    std::memcpy(at, text.data(), std::min(text.size(), slot));
}

}  // namespace

std::array<std::uint8_t, kHeaderSize> PacketHeader::encode() const {
    std::array<std::uint8_t, kHeaderSize> out{};
    bytes::storeI32(out.data(), type);
    bytes::storeI32(out.data() + 4, count);
    bytes::storeI32(out.data() + 8, size);
    bytes::storeI32(out.data() + 12, status);
    std::copy(registrant.begin(), registrant.end(), out.begin() + 16);
    return out;
}

PacketHeader PacketHeader::decode(std::span<const std::uint8_t, kHeaderSize> in) {
    PacketHeader h;
    h.type = bytes::loadI32(in.data());
    h.count = bytes::loadI32(in.data() + 4);
    h.size = bytes::loadI32(in.data() + 8);
    h.status = bytes::loadI32(in.data() + 12);
    std::copy(in.begin() + 16, in.end(), h.registrant.begin());
    return h;
}

std::array<std::uint8_t, 12> registrantField(std::string_view cp949Name) {
    std::array<std::uint8_t, 12> out{};
    std::memcpy(out.data(), cp949Name.data(), std::min(cp949Name.size(), out.size()));
    return out;
}

Result<std::size_t> bodyLength(const PacketHeader& header) {
    const std::int64_t product =
        static_cast<std::int64_t>(header.count) * static_cast<std::int64_t>(header.size);
    // A product of 0 or less announces a header-only packet.
    if (product <= 0) {
        return std::size_t{0};
    }
    if (product > kMaxBody) {
        return Result<std::size_t>::failure("packet " + std::to_string(header.type) +
                                            " announces a body of " + std::to_string(product) +
                                            " bytes, more than any packet has");
    }
    return static_cast<std::size_t>(product);
}

std::vector<std::uint8_t> encodePacket(std::int32_t type, std::span<const std::uint8_t> body,
                                       const std::array<std::uint8_t, 12>& registrant,
                                       std::int32_t status) {
    PacketHeader h;
    h.type = type;
    h.count = body.empty() ? 0 : 1;
    h.size = static_cast<std::int32_t>(body.size());
    h.status = status;
    h.registrant = registrant;
    std::vector<std::uint8_t> out(kHeaderSize + body.size(), 0);
    const auto head = h.encode();
    std::copy(head.begin(), head.end(), out.begin());
    std::copy(body.begin(), body.end(), out.begin() + kHeaderSize);
    return out;
}

std::array<std::uint8_t, 28> encodeLocateBody(const LocateValues& v) {
    std::array<std::uint8_t, 28> out{};
    bytes::storeI32(out.data(), 1);
    bytes::storeI32(out.data() + 4, v.userNumber);
    putSlot(out.data() + 8, 4, v.sectionCode);
    putSlot(out.data() + 12, 4, v.subSectionCode);
    putSlot(out.data() + 16, 4, v.adultFlag);
    bytes::storeF64(out.data() + 20, v.size);
    return out;
}

std::array<std::uint8_t, 12> encodeLocateMyBody(double size) {
    std::array<std::uint8_t, 12> out{};
    bytes::storeI32(out.data(), 2);
    bytes::storeF64(out.data() + 4, size);
    return out;
}

Result<Location> decodeLocation(std::span<const std::uint8_t> body) {
    if (body.size() < 32) {
        return Result<Location>::failure("location answer of " + std::to_string(body.size()) +
                                         " bytes, at least 32 expected");
    }
    Location l;
    l.contentId = slotText(body.subspan(0, 6));
    l.dataServerAddress = slotText(body.subspan(6, 22));
    l.dataServerPort = bytes::loadI32(body.data() + 28);
    l.serverFolderPath = slotText(body.subspan(32));
    return l;
}

std::vector<std::uint8_t> encodeLocation(const Location& l) {
    std::vector<std::uint8_t> out(32 + l.serverFolderPath.size() + 1, 0);
    putSlot(out.data(), 5, l.contentId);
    putSlot(out.data() + 6, 21, l.dataServerAddress);
    bytes::storeI32(out.data() + 28, l.dataServerPort);
    std::memcpy(out.data() + 32, l.serverFolderPath.data(), l.serverFolderPath.size());
    return out;
}

Result<double> decodeResume(std::span<const std::uint8_t> body) {
    if (body.size() < 8) {
        return Result<double>::failure("resume answer of " + std::to_string(body.size()) +
                                       " bytes, 8 expected");
    }
    const double offset = bytes::loadF64(body.data());
    // NaN or a negative count: the server holds nothing.
    return offset > 0 ? offset : 0.0;
}

std::array<std::uint8_t, 8> encodeResume(double offset) {
    std::array<std::uint8_t, 8> out{};
    bytes::storeF64(out.data(), offset);
    return out;
}

std::string errorText(std::span<const std::uint8_t> bytes) {
    return slotText(bytes.first(std::min(bytes.size(), kErrorTextSize)));
}

}  // namespace quenvara::transfer
