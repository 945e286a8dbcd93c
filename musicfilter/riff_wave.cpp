#include "musicfilter/riff_wave.h"

#include <algorithm>
#include <cstring>

#include "common/byte_order.h"

namespace quenvara::musicfilter {
namespace {

constexpr std::size_t kHeader = 8;  // four-character code and 32-bit size
constexpr std::size_t kFormatRecord = 16;

using Bytes = std::span<const std::uint8_t>;

// Declared sizes are 32-bit and sums of them are taken in 64 bits, so that
// a size near 4 GiB cannot wrap around where size_t has 32 bits.
struct Chunk {
    std::size_t body = 0;    // offset of the chunk's data
    std::uint64_t size = 0;  // as declared, not yet checked
};

// The first chunk in [from, end) whose code is `code` (and, for a list
// chunk, whose form type is `form`). Chunks are padded to an even size; a
// chunk that would reach past `end` ends the search unless it is the one.
std::optional<Chunk> findChunk(Bytes file, std::size_t from, std::size_t end, const char* code,
                               const char* form = nullptr) {
    std::size_t at = from;
    while (at + kHeader <= end) {
        const std::uint64_t size = bytes::loadU32(file.data() + at + 4);
        if (std::memcmp(file.data() + at, code, 4) == 0 &&
            (form == nullptr ||
             (at + kHeader + 4 <= end && std::memcmp(file.data() + at + kHeader, form, 4) == 0))) {
            return Chunk{at + kHeader, size};
        }
        const std::uint64_t next = at + kHeader + size + (size & 1);
        if (next > end) {
            return std::nullopt;
        }
        at = static_cast<std::size_t>(next);
    }
    return std::nullopt;
}

}  // namespace

std::optional<WaveLayout> parseWave(Bytes file, std::string& error) {
    const auto riff = findChunk(file, 0, file.size(), "RIFF", "WAVE");
    if (!riff) {
        error = "no RIFF chunk of form WAVE";
        return std::nullopt;
    }
    if (riff->size < 4) {
        error = "RIFF chunk too short for its form type";
        return std::nullopt;
    }
    // A RIFF size beyond the file is common in cut-off recordings: walk
    // what is there.
    const auto riffEnd =
        static_cast<std::size_t>(std::min<std::uint64_t>(file.size(), riff->body + riff->size));

    const auto fmt = findChunk(file, riff->body + 4, riffEnd, "fmt ");
    if (!fmt) {
        error = "no \"fmt \" chunk";
        return std::nullopt;
    }
    const std::uint64_t fmtEnd = fmt->body + fmt->size + (fmt->size & 1);
    if (fmt->size < kFormatRecord || fmtEnd > riffEnd) {
        error = "\"fmt \" chunk shorter than the format record or past the end of the file";
        return std::nullopt;
    }
    // Only the format record is read, however long the chunk is.
    const std::uint8_t* record = file.data() + fmt->body;
    WaveLayout layout;
    layout.formatTag = bytes::loadU16(record);
    layout.channels = bytes::loadU16(record + 2);
    layout.sampleRate = bytes::loadU32(record + 4);
    layout.byteRate = bytes::loadU32(record + 8);
    layout.blockAlign = bytes::loadU16(record + 12);
    layout.bitsPerSample = bytes::loadU16(record + 14);

    const auto data = findChunk(file, static_cast<std::size_t>(fmtEnd), riffEnd, "data");
    if (!data) {
        error = "no \"data\" chunk after the \"fmt \" chunk";
        return std::nullopt;
    }
    layout.dataOffset = data->body;
    layout.dataSize =
        static_cast<std::size_t>(std::min<std::uint64_t>(data->size, file.size() - data->body));
    return layout;
}

}  // namespace quenvara::musicfilter
