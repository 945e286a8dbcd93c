#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "common/block_digest.h"

namespace quenvara {

// MD5 message digest (RFC 1321).
class Md5 : public BlockDigest<Md5> {
  public:
    static Digest of(std::string_view text) {
        Md5 md5;
        md5.update(text);
        return md5.finish();
    }

  private:
    friend class BlockDigest<Md5>;
    void transform(const std::uint8_t* block);
};

// Lower-case hex, two digits a byte.
std::string toHexLower(std::span<const std::uint8_t> data);

}  // namespace quenvara
