#pragma once

#include <array>
#include <cstdint>

namespace quenvara::musicfilter {

// One fingerprint word and the frame counter of the first of its two frames.
struct DnaEntry {
    std::uint16_t dna_index = 0;
    std::int32_t fdna = 0;
};
inline constexpr int kDnaWords = 32;
using DnaTable = std::array<DnaEntry, kDnaWords>;

}  // namespace quenvara::musicfilter
