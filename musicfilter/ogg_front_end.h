#pragma once

#include <cstddef>
#include <cstdint>

#include "musicfilter/front_end.h"

namespace quenvara::musicfilter {

inline constexpr std::size_t kOggChunkBuffer = 16'396;
inline constexpr int kOggReadBytes = 8'192;

// The file in memory as libvorbisfile reads it.
struct OggSource {
    const std::uint8_t* data = nullptr;
    std::size_t length = 0;
    std::size_t position = 0;
};

// The four callbacks libvorbisfile is opened with.
std::size_t oggRead(void* ptr, std::size_t size, std::size_t count, void* source);
int oggSeek(void* source, std::int64_t offset, int whence);
int oggClose(void* source);
long oggTell(void* source);

FrontEndResult decodeOgg(FileBytes file, int startSecond, DnaExtractor& extractor,
                         const ChunkPump& pump);

}  // namespace quenvara::musicfilter
