#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace quenvara {

// MD5 message digest (RFC 1321).
class Md5 {
  public:
    using Digest = std::array<std::uint8_t, 16>;

    Md5();
    void update(std::span<const std::uint8_t> data);
    void update(std::string_view text) {
        update({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
    }
    Digest finish();

    static Digest of(std::string_view text) {
        Md5 md5;
        md5.update(text);
        return md5.finish();
    }

  private:
    void transform(const std::uint8_t* block);

    std::array<std::uint32_t, 4> state_;
    std::uint64_t bitCount_ = 0;
    std::array<std::uint8_t, 64> buffer_{};
};

// Lower-case hex, two digits a byte.
std::string toHexLower(std::span<const std::uint8_t> data);

}  // namespace quenvara
