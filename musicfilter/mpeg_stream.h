#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace quenvara::musicfilter {

using ByteSpan = std::span<const std::uint8_t>;

enum class MpegVersion { Mpeg1, Mpeg2, Mpeg25 };

// One decoded 4-byte MPEG audio frame header.
struct FrameHeader {
    MpegVersion version = MpegVersion::Mpeg1;
    int layer = 3;        // 1, 2 or 3
    int bitRateKbps = 0;  // never 0: free-format frames are not accepted
    int sampleRate = 0;   // Hz
    bool padding = false;
    int channelMode = 0;          // 0 stereo, 1 joint stereo, 2 dual channel, 3 mono
    std::size_t frameLength = 0;  // bytes, header included
    int samplesPerFrame = 0;

    bool mono() const { return channelMode == 3; }
    // Frames of one stream agree on these; the bit rate and padding may vary.
    bool sameStream(const FrameHeader& other) const;
};

// The header starting at bytes[0], or nothing when fewer than 4 bytes are
// given or they are not a usable header (no sync, reserved fields, free format).
std::optional<FrameHeader> decodeFrameHeader(ByteSpan bytes);

// The file in memory with a read position, as the decoder reads it. A read
// that would reach the end of the data fails as a whole, and so does a seek
// to the end or beyond: the last byte is never handed out.
class MemorySource {
  public:
    explicit MemorySource(ByteSpan data) : data_(data) {}
    // Copies exactly n bytes and advances; -1 (nothing copied) when
    // position + n reaches or passes the data length.
    std::int64_t read(void* destination, std::size_t n);
    // False (position unchanged) when p is not below the data length.
    bool seek(std::uint64_t p);
    std::uint64_t size() const { return data_.size(); }
    std::uint64_t tell() const { return position_; }
    ByteSpan data() const { return data_; }

  private:
    ByteSpan data_;
    std::uint64_t position_ = 0;
};

inline constexpr std::size_t kFirstFrameSearchBytes = 65'536;
inline constexpr std::size_t kSearchReadBytes = 4'096;

// Finds the first frame from the source's position: reads at most
// kFirstFrameSearchBytes in kSearchReadBytes reads, and accepts the first
// candidate that three later candidates of the same stream chain with.
// Returns its offset in the data; the source's position is left undefined.
std::optional<std::uint64_t> findFirstFrame(MemorySource& source);

// The optional "Xing" header of a variable-rate stream's first frame.
struct XingHeader {
    std::optional<std::uint32_t> frames;
    std::optional<std::uint32_t> bytes;
    std::optional<std::array<std::uint8_t, 100>> toc;
    std::optional<std::uint32_t> quality;
    // A field the flags announce runs past the frame (or the data): it and
    // every field after it are missing.
    bool truncated = false;
};

inline constexpr std::size_t kXingMinFrameLength = 152;

// Where a "Xing" header would sit in a frame of this kind.
std::size_t xingOffset(const FrameHeader& header);
// The "Xing" header of the frame at data[frameOffset] with this header, if
// it has one ("Info" does not count).
std::optional<XingHeader> parseXing(ByteSpan data, std::uint64_t frameOffset,
                                    const FrameHeader& header);

// The fraction of the audio bytes where fraction f of the playing time
// starts, by the table of contents.
double tocFraction(const std::array<std::uint8_t, 100>& toc, double f);

// What opening a stream found.
struct MpegStreamInfo {
    std::uint64_t tagLength = 0;   // ID3v2 tag at the start, skipped
    std::uint64_t audioStart = 0;  // offset of the first frame
    std::uint64_t audioBytes = 0;  // data length - audioStart
    FrameHeader first;
    std::optional<XingHeader> xing;
    double durationMs = 0;
};

// The byte offset in the data where a seek to ms lands before resyncing;
// nothing when the time cannot be turned into a position (negative, or no
// duration to scale it by). A time at or past the end gives the data's
// length, which the source rejects.
std::optional<std::uint64_t> seekPosition(const MpegStreamInfo& info, std::int64_t ms);

// The first offset at or after `from` where a frame of `stream` starts that
// lies wholly within the data and whose following header, where the data
// holds one, belongs to the stream as well.
std::optional<std::uint64_t> resyncFrame(ByteSpan data, std::uint64_t from,
                                         const FrameHeader& stream);

// One frame ready for the decoder.
struct MpegFrame {
    FrameHeader header;
    std::uint64_t offset = 0;
    ByteSpan bytes;  // valid until the next call
};

// An MPEG audio stream over the file bytes: tag skip, first-frame search,
// "Xing" header, duration, seek by time, then frame by frame.
class MpegStream {
  public:
    // False when no stream is found.
    bool open(ByteSpan data);
    const MpegStreamInfo& info() const { return info_; }
    // Positions the stream at ms; false when the position is rejected.
    bool seekMs(std::int64_t ms);
    // The next whole frame, resyncing over bytes that do not belong to the
    // stream; nothing at the end of the stream.
    std::optional<MpegFrame> nextFrame();

  private:
    MemorySource source_{ByteSpan{}};
    MpegStreamInfo info_;
    bool opened_ = false;
    bool inSync_ = true;  // the position is known to be a frame boundary
    std::vector<std::uint8_t> frame_;
};

}  // namespace quenvara::musicfilter
