#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace quenvara::musicfilter {

// What the fingerprint needs from a RIFF WAVE file: the first 16 bytes of
// its "fmt " chunk and where its "data" chunk lies.
struct WaveLayout {
    std::uint16_t formatTag = 0;
    std::uint16_t channels = 0;
    std::uint32_t sampleRate = 0;
    std::uint32_t byteRate = 0;
    std::uint16_t blockAlign = 0;
    std::uint16_t bitsPerSample = 0;
    std::size_t dataOffset = 0;
    // The declared size, cut to the bytes the file really holds.
    std::size_t dataSize = 0;
};

// Walks the chunks: the "RIFF" chunk of form "WAVE", its "fmt " chunk, then
// a "data" chunk after it. Every size is checked against the bytes there;
// on failure `error` says what is wrong.
std::optional<WaveLayout> parseWave(std::span<const std::uint8_t> file, std::string& error);

}  // namespace quenvara::musicfilter
