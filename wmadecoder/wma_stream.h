#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

struct AVIOContext;
struct AVFormatContext;
struct AVCodecContext;
struct AVPacket;
struct AVFrame;
struct SwrContext;

namespace quenvara::wmadecoder {

// What the container says about the audio stream.
struct StreamFormat {
    std::int32_t bitRateKbps = 0;
    std::int32_t sampleRate = 0;
    std::int32_t channels = 0;
    std::uint16_t formatTag = 0;
};

// One audio stream of an ASF file held in the caller's memory, decoded to
// interleaved signed 16-bit PCM between a start and an end time.
class WmaStream {
  public:
    WmaStream() = default;
    ~WmaStream();
    WmaStream(const WmaStream&) = delete;
    WmaStream& operator=(const WmaStream&) = delete;

    // Negative or empty ranges are refused.
    bool setRange(std::int32_t startMs, std::int32_t endMs);
    // Opens any ASF audio stream; whether it can be decoded is decided by
    // startDecoding. The bytes must stay valid until close().
    bool open(const void* data, std::uint64_t length);
    bool isOpen() const { return format_ != nullptr; }
    const StreamFormat& format() const { return info_; }
    std::int32_t durationMs() const;
    // Positions the decoder at the start time.
    bool startDecoding();
    // Up to capacity bytes (whole sample frames) into out: the byte count,
    // 0 at the end of the range or of the stream, -1 on error.
    std::int32_t read(std::uint8_t* out, std::size_t capacity);
    void close();

    // The memory source behind the AVIOContext.
    int readBytes(std::uint8_t* to, int size);
    std::int64_t seekBytes(std::int64_t offset, int whence);

  private:
    void seekToStart();
    // Decodes one frame and appends its samples inside the range to
    // pending_; sets finished_ (and failed_) when nothing more can come.
    void decodeMore();
    bool appendFrame(const AVFrame& frame);
    bool prepareResampler(const AVFrame& frame);

    // Without a range the whole stream is decoded.
    std::int32_t startMs_ = 0;
    std::int32_t endMs_ = std::numeric_limits<std::int32_t>::max();

    const std::uint8_t* data_ = nullptr;
    std::int64_t length_ = 0;
    std::int64_t position_ = 0;

    AVIOContext* io_ = nullptr;
    AVFormatContext* format_ = nullptr;
    AVCodecContext* codec_ = nullptr;
    SwrContext* resampler_ = nullptr;
    AVPacket* packet_ = nullptr;
    AVFrame* frame_ = nullptr;
    int streamIndex_ = -1;
    StreamFormat info_;

    // Sample positions at the stream's rate, counted from the stream start.
    std::int64_t startSample_ = 0;
    std::int64_t endSample_ = 0;
    std::int64_t nextSample_ = -1;  // unknown until the first frame after a seek
    bool draining_ = false;
    bool finished_ = false;
    bool failed_ = false;
    int inputSampleFormat_ = -1;
    std::vector<std::uint8_t> converted_;
    std::vector<std::uint8_t> pending_;  // decoded, not yet handed out
};

}  // namespace quenvara::wmadecoder
