#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "musicfilter/front_end.h"
#include "musicfilter/riff_wave.h"

namespace quenvara::musicfilter {

inline constexpr std::size_t kWavChunkBuffer = 3'992;

// How a WAV excerpt is read: `readSize` bytes at a time from `startOffset`,
// counted from the start of the file (not of the data chunk).
struct WavPlan {
    std::size_t readSize = 0;
    std::uint64_t startOffset = 0;
    std::size_t chunkBytes = 0;  // the buffer: larger than 3,992 when one read needs it
    std::string bitRateText;
};
std::optional<WavPlan> planWav(const WaveLayout& layout, int startSecond);

FrontEndResult decodeWav(FileBytes file, int startSecond, DnaExtractor& extractor,
                         const ChunkPump& pump);

}  // namespace quenvara::musicfilter
