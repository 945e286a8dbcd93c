// Server packets as the transfer thread reads them: a header, a body bounded
// by the header, and the bodies of the answers that carry data.
#include <array>
#include <cstdint>
#include <span>

#include "protocol/packet.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quenvara::transfer;
    if (size < kHeaderSize) {
        return 0;
    }
    const auto header =
        PacketHeader::decode(std::span<const std::uint8_t, kHeaderSize>(data, kHeaderSize));
    const std::span<const std::uint8_t> rest(data + kHeaderSize, size - kHeaderSize);
    if (header.status < 0) {
        (void)errorText(rest);
        return 0;
    }
    auto length = bodyLength(header);
    if (!length || *length > rest.size()) {
        return 0;
    }
    const auto body = rest.first(*length);
    (void)decodeLocation(body);
    (void)decodeResume(body);
    return 0;
}
