#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "common/block_digest.h"

namespace quenvara {

// MD4 message digest (RFC 1320): the music filter's content key.
class Md4 : public BlockDigest<Md4> {
  public:
    static Digest of(std::span<const std::uint8_t> data) {
        Md4 md4;
        md4.update(data);
        return md4.finish();
    }

  private:
    friend class BlockDigest<Md4>;
    void transform(const std::uint8_t* block);
};

}  // namespace quenvara
