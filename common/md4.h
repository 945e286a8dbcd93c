#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

namespace quenvara {

// MD4 message digest (RFC 1320): the music filter's content key.
class Md4 {
  public:
    using Digest = std::array<std::uint8_t, 16>;

    Md4();
    void update(std::span<const std::uint8_t> data);
    void update(std::string_view text) {
        update({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
    }
    Digest finish();

    static Digest of(std::span<const std::uint8_t> data) {
        Md4 md4;
        md4.update(data);
        return md4.finish();
    }

  private:
    void transform(const std::uint8_t* block);

    std::array<std::uint32_t, 4> state_;
    std::uint64_t bitCount_ = 0;
    std::array<std::uint8_t, 64> buffer_{};
};

}  // namespace quenvara
