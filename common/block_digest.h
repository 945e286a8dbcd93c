#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>

#include "common/byte_order.h"

namespace quenvara {

// The block handling MD4 and MD5 share: 64-byte blocks, padding with 0x80 and
// zeros, the bit count little-endian at the end, four state words out as the
// 16-byte digest. `Derived` supplies transform(block) over state_.
template <class Derived>
class BlockDigest {
  public:
    using Digest = std::array<std::uint8_t, 16>;

    void update(std::span<const std::uint8_t> data) {
        std::size_t have = static_cast<std::size_t>((bitCount_ / 8) % 64);
        bitCount_ += static_cast<std::uint64_t>(data.size()) * 8;
        std::size_t i = 0;
        if (have > 0) {
            const std::size_t take = std::min(data.size(), 64 - have);
            std::memcpy(buffer_.data() + have, data.data(), take);
            have += take;
            i = take;
            if (have < 64) {
                return;
            }
            self().transform(buffer_.data());
        }
        for (; i + 64 <= data.size(); i += 64) {
            self().transform(data.data() + i);
        }
        if (i < data.size()) {
            std::memcpy(buffer_.data(), data.data() + i, data.size() - i);
        }
    }
    void update(std::string_view text) {
        update({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
    }

    Digest finish() {
        const std::uint64_t bits = bitCount_;
        std::uint8_t pad[72] = {0x80};
        const std::size_t have = static_cast<std::size_t>((bits / 8) % 64);
        update(std::span<const std::uint8_t>(pad, have < 56 ? 56 - have : 120 - have));
        std::uint8_t length[8];
        for (int i = 0; i < 8; ++i) {
            length[i] = static_cast<std::uint8_t>(bits >> (8 * i));
        }
        update(std::span<const std::uint8_t>(length, 8));
        Digest out;
        for (int i = 0; i < 4; ++i) {
            bytes::storeU32(out.data() + 4 * i, state_[i]);
        }
        return out;
    }

  protected:
    BlockDigest() : state_{0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476} {}
    std::array<std::uint32_t, 4> state_;

  private:
    Derived& self() { return static_cast<Derived&>(*this); }

    std::uint64_t bitCount_ = 0;
    std::array<std::uint8_t, 64> buffer_{};
};

}  // namespace quenvara
