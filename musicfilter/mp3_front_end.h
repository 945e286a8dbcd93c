#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "musicfilter/front_end.h"
#include "musicfilter/mpeg_stream.h"

struct mpg123_handle_struct;

namespace quenvara::musicfilter {

inline constexpr std::size_t kMp3ChunkBytes = 16'384;
// Frames decoded after a jump but not output: the decoder's bit reservoir
// and filter state are still filling.
inline constexpr int kFramesWithheldAfterSeek = 5;

// An MPEG audio file decoded to signed 16-bit PCM at its own rate and
// channels, one frame per call. Our own stream logic finds the frames;
// libmpg123 only ever sees whole frames.
class Mp3Decoder {
  public:
    Mp3Decoder();
    ~Mp3Decoder();
    Mp3Decoder(const Mp3Decoder&) = delete;
    Mp3Decoder& operator=(const Mp3Decoder&) = delete;

    // False when the data holds no stream or the decoder cannot start.
    bool open(FileBytes file);
    // False when the position is rejected. A jump to a time other than 0
    // withholds the next kFramesWithheldAfterSeek frames.
    bool seekMs(std::int64_t ms);

    struct Chunk {
        std::span<const std::uint8_t> pcm;  // valid until the next call
        FrameHeader header;                 // of the frame fed last
        std::uint64_t offset = 0;           // of that frame in the file
    };
    // The next frame's PCM; nothing on a decoder error or at the end.
    std::optional<Chunk> next();

    const MpegStreamInfo& info() const { return stream_.info(); }
    int channels() const { return stream_.info().first.mono() ? 1 : 2; }
    // The first frame carries a "Xing" header.
    bool variableRate() const { return stream_.info().xing.has_value(); }

  private:
    struct HandleDeleter {
        void operator()(mpg123_handle_struct* h) const;
    };
    MpegStream stream_;
    std::unique_ptr<mpg123_handle_struct, HandleDeleter> handle_;
    int withheld_ = 0;
};

// The bit-rate text: kbit/s, with "V" in front for a variable-rate stream.
std::string mp3BitRateText(bool variableRate, int bitRateKbps);

class DnaExtractor;

// Decodes from startSecond on into the extractor until it is done.
FrontEndResult decodeMp3(FileBytes file, int startSecond, DnaExtractor& extractor,
                         const ChunkPump& pump);

}  // namespace quenvara::musicfilter
