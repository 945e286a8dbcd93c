#pragma once

#include <cstdint>
#include <functional>
#include <span>

namespace quenvara::musicfilter {

class DnaExtractor;

// What a decoding front-end reports.
enum class FrontEndResult : int {
    Done = 0,         // the extractor was fed to the end
    SeekFailed = 1,   // MP3 only: the start second cannot be reached
    Failed = 2,       // the data cannot be opened or decoded, or ends too early
    Unsupported = 3,  // WMA only: a stream kind the fingerprint cannot use
};

// Called after each chunk, so a caller on a window thread can handle one
// pending message; empty when nobody waits.
using ChunkPump = std::function<void()>;

using FileBytes = std::span<const std::uint8_t>;

}  // namespace quenvara::musicfilter
