#include "musicfilter/mpeg_stream.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <span>

#include "musicfilter/content_key.h"

namespace quenvara::musicfilter {
namespace {

// kbit/s by bit-rate index 1 ... 14 (0 is free format, 15 is invalid).
constexpr int kBitRates[5][15] = {
    {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},  // MPEG-1 layer I
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},     // MPEG-1 layer II
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},      // MPEG-1 layer III
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},     // MPEG-2/2.5 layer I
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},          // MPEG-2/2.5 II, III
};

constexpr int kSampleRates[3][3] = {
    {44'100, 48'000, 32'000},  // MPEG-1
    {22'050, 24'000, 16'000},  // MPEG-2
    {11'025, 12'000, 8'000},   // MPEG-2.5
};

std::uint32_t bigEndian32(const std::uint8_t* p) {
    return (static_cast<std::uint32_t>(p[0]) << 24) | (static_cast<std::uint32_t>(p[1]) << 16) |
           (static_cast<std::uint32_t>(p[2]) << 8) | p[3];
}

// A header the first-frame search may take: the sync byte 0xFF, a second
// byte of 0xE0 or more, and a usable header.
std::optional<FrameHeader> candidateAt(ByteSpan bytes, std::size_t p) {
    if (p + 4 > bytes.size() || bytes[p] != 0xFF || bytes[p + 1] < 0xE0) {
        return std::nullopt;
    }
    return decodeFrameHeader(bytes.subspan(p, 4));
}

}  // namespace

bool FrameHeader::sameStream(const FrameHeader& other) const {
    return version == other.version && layer == other.layer && sampleRate == other.sampleRate &&
           mono() == other.mono();
}

std::optional<FrameHeader> decodeFrameHeader(ByteSpan bytes) {
    if (bytes.size() < 4 || bytes[0] != 0xFF || (bytes[1] & 0xE0) != 0xE0) {
        return std::nullopt;
    }
    const int versionBits = (bytes[1] >> 3) & 3;
    const int layerBits = (bytes[1] >> 1) & 3;
    const int bitRateIndex = bytes[2] >> 4;
    const int rateIndex = (bytes[2] >> 2) & 3;
    if (versionBits == 1 || layerBits == 0 || bitRateIndex == 0 || bitRateIndex == 15 ||
        rateIndex == 3) {
        return std::nullopt;
    }
    FrameHeader h;
    h.version = versionBits == 3   ? MpegVersion::Mpeg1
                : versionBits == 2 ? MpegVersion::Mpeg2
                                   : MpegVersion::Mpeg25;
    h.layer = 4 - layerBits;
    const bool mpeg1 = h.version == MpegVersion::Mpeg1;
    const int table = mpeg1 ? h.layer - 1 : (h.layer == 1 ? 3 : 4);
    h.bitRateKbps = kBitRates[table][bitRateIndex];
    h.sampleRate = kSampleRates[static_cast<int>(h.version)][rateIndex];
    h.padding = ((bytes[2] >> 1) & 1) != 0;
    h.channelMode = bytes[3] >> 6;
    const long bitsPerSecond = h.bitRateKbps * 1000L;
    const long pad = h.padding ? 1 : 0;
    if (h.layer == 1) {
        h.samplesPerFrame = 384;
        h.frameLength = static_cast<std::size_t>((12 * bitsPerSecond / h.sampleRate + pad) * 4);
    } else {
        h.samplesPerFrame = (h.layer == 3 && !mpeg1) ? 576 : 1152;
        const long slots = h.samplesPerFrame / 8;
        h.frameLength = static_cast<std::size_t>(slots * bitsPerSecond / h.sampleRate + pad);
    }
    return h;
}

std::int64_t MemorySource::read(void* destination, std::size_t n) {
    if (n >= data_.size() || position_ >= data_.size() - n) {
        return -1;
    }
    std::memcpy(destination, data_.data() + position_, n);
    position_ += n;
    return static_cast<std::int64_t>(n);
}

bool MemorySource::seek(std::uint64_t p) {
    if (p >= data_.size()) {
        return false;
    }
    position_ = p;
    return true;
}

namespace {

struct Candidate {
    std::size_t offset = 0;
    FrameHeader header;
};

// Whether three frames of `head`'s stream follow among `later` (sorted by
// offset, all starting at or after `from` and seen whole as headers), each
// at or after the end of the one before. Any such chain counts, not only
// the one through the nearest candidates: a false header announcing a long
// frame must not hide real frames. Worked backwards over the candidates.
bool chainFollows(std::span<const Candidate> later, std::size_t from, const FrameHeader& head) {
    constexpr int kLinks = 3;
    std::vector<Candidate> same;
    for (const Candidate& c : later) {
        if (c.offset >= from && c.header.sameStream(head)) {
            same.push_back(c);
        }
    }
    const std::size_t n = same.size();
    // starts[i]: a chain of `level` frames starts at candidate i or later.
    std::vector<bool> starts(n + 1, false);
    for (int level = 1; level <= kLinks; ++level) {
        std::vector<bool> next(n + 1, false);
        for (std::size_t i = n; i-- > 0;) {
            bool here = true;
            if (level > 1) {
                const std::size_t end = same[i].offset + same[i].header.frameLength;
                const auto after = std::lower_bound(
                    same.begin() + static_cast<std::ptrdiff_t>(i), same.end(), end,
                    [](const Candidate& c, std::size_t at) { return c.offset < at; });
                here = starts[static_cast<std::size_t>(after - same.begin())];
            }
            next[i] = here || next[i + 1];
        }
        starts = std::move(next);
    }
    return starts[0];
}

}  // namespace

std::optional<std::uint64_t> findFirstFrame(MemorySource& source) {
    const std::uint64_t base = source.tell();
    std::vector<std::uint8_t> buffer;
    buffer.reserve(kFirstFrameSearchBytes);
    bool more = true;
    const auto readBlock = [&]() {
        if (!more || buffer.size() + kSearchReadBytes > kFirstFrameSearchBytes) {
            more = false;
            return false;
        }
        const std::size_t old = buffer.size();
        buffer.resize(old + kSearchReadBytes);
        if (source.read(buffer.data() + old, kSearchReadBytes) < 0) {
            buffer.resize(old);
            more = false;
            return false;
        }
        return true;
    };

    // Every candidate in the bytes read so far, found once.
    std::vector<Candidate> found;
    std::size_t scanned = 0;
    const auto scanTo = [&](std::size_t limit) {
        for (; scanned + 4 <= std::min(limit, buffer.size()); ++scanned) {
            if (const auto h = candidateAt(buffer, scanned)) {
                found.push_back({scanned, *h});
            }
        }
    };
    for (std::size_t i = 0;; ++i) {
        while (i >= found.size()) {
            if (scanned + 4 > buffer.size() && !readBlock()) {
                return std::nullopt;
            }
            scanTo(buffer.size());
        }
        const Candidate c = found[i];
        // Decided once the scan is this far past the candidate (or the
        // data ends): far enough for three frames and some junk between.
        const std::size_t horizon = c.offset + 3 * (c.header.frameLength + 512) + 4;
        while (buffer.size() < horizon && readBlock()) {
        }
        const std::size_t seen = std::min(horizon, buffer.size());
        scanTo(seen);
        auto later = std::span<const Candidate>(found).subspan(i + 1);
        while (!later.empty() && later.back().offset + 4 > seen) {
            later = later.first(later.size() - 1);
        }
        if (chainFollows(later, c.offset + c.header.frameLength, c.header)) {
            return base + c.offset;
        }
    }
}

std::size_t xingOffset(const FrameHeader& header) {
    if (header.version == MpegVersion::Mpeg1) {
        return header.mono() ? 21 : 36;
    }
    return header.mono() ? 13 : 21;
}

std::optional<XingHeader> parseXing(ByteSpan data, std::uint64_t frameOffset,
                                    const FrameHeader& header) {
    if (header.frameLength < kXingMinFrameLength || frameOffset >= data.size()) {
        return std::nullopt;
    }
    // Every field must lie within the frame and within the data.
    const std::size_t start = static_cast<std::size_t>(frameOffset);
    const std::size_t end = start + std::min(header.frameLength, data.size() - start);
    std::size_t p = start + xingOffset(header);
    if (p + 8 > end || std::memcmp(data.data() + p, "Xing", 4) != 0) {
        return std::nullopt;
    }
    const std::uint32_t flags = bigEndian32(data.data() + p + 4);
    p += 8;
    XingHeader x;
    const auto fits = [&](std::uint32_t flag, std::size_t n) {
        if ((flags & flag) == 0 || x.truncated) {
            return false;
        }
        if (p + n > end) {
            x.truncated = true;
            return false;
        }
        return true;
    };
    if (fits(1, 4)) {
        x.frames = bigEndian32(data.data() + p);
        p += 4;
    }
    if (fits(2, 4)) {
        x.bytes = bigEndian32(data.data() + p);
        p += 4;
    }
    if (fits(4, 100)) {
        std::array<std::uint8_t, 100> toc{};
        std::copy_n(data.data() + p, toc.size(), toc.begin());
        x.toc = toc;
        p += 100;
    }
    if (fits(8, 4)) {
        x.quality = bigEndian32(data.data() + p);
        p += 4;
    }
    return x;
}

double tocFraction(const std::array<std::uint8_t, 100>& toc, double f) {
    // Entries are 256ths of the audio bytes; a table whose first entry is not
    // 0 counts from somewhere before the first frame, so it is shifted to
    // start there. The end of the stream closes the table.
    std::array<double, 101> points{};
    const double origin = toc[0] / 256.0;
    for (std::size_t i = 0; i < toc.size(); ++i) {
        points[i] = toc[i] / 256.0 - origin;
    }
    points[100] = 1.0;
    const double scaled = (f > 0 ? f : 0.0) * 100.0;
    const std::size_t i = scaled >= 99.0 ? 99 : static_cast<std::size_t>(scaled);
    const double value =
        points[i] + (points[i + 1] - points[i]) * (scaled - static_cast<double>(i));
    return std::clamp(value, 0.0, 1.0);
}

std::optional<std::uint64_t> seekPosition(const MpegStreamInfo& info, std::int64_t ms) {
    if (ms < 0) {
        return std::nullopt;
    }
    if (ms == 0) {
        return info.audioStart;
    }
    if (!(info.durationMs > 0)) {
        return std::nullopt;
    }
    const double f = static_cast<double>(ms) / info.durationMs;
    const double bytes = static_cast<double>(info.audioBytes);
    double offset;
    if (info.xing && info.xing->toc) {
        offset = tocFraction(*info.xing->toc, f) * bytes;
    } else {
        offset = f * bytes;
    }
    // Past the end is as good as the end: both are rejected by the source.
    if (!(offset < bytes)) {
        return info.audioStart + info.audioBytes;
    }
    return info.audioStart + static_cast<std::uint64_t>(offset);
}

std::optional<std::uint64_t> resyncFrame(ByteSpan data, std::uint64_t from,
                                         const FrameHeader& stream) {
    for (std::uint64_t q = from; q < data.size() && data.size() - q >= 4; ++q) {
        if (data[q] != 0xFF) {
            continue;
        }
        const auto h = decodeFrameHeader(data.subspan(q, 4));
        if (!h || !h->sameStream(stream) || h->frameLength > data.size() - q) {
            continue;
        }
        const std::uint64_t next = q + h->frameLength;
        if (data.size() - next >= 4) {
            const auto following = decodeFrameHeader(data.subspan(next, 4));
            if (!following || !following->sameStream(stream)) {
                continue;
            }
        }
        return q;
    }
    return std::nullopt;
}

bool MpegStream::open(ByteSpan data) {
    source_ = MemorySource(data);
    info_ = {};
    opened_ = false;
    std::uint8_t head[10];
    if (source_.read(head, sizeof head) == sizeof head) {
        info_.tagLength = id3v2TagLength(head);
    }
    if (!source_.seek(info_.tagLength)) {
        return false;
    }
    const auto first = findFirstFrame(source_);
    if (!first) {
        return false;
    }
    info_.audioStart = *first;
    info_.audioBytes = data.size() - *first;
    info_.first = *decodeFrameHeader(data.subspan(*first));
    info_.xing = parseXing(data, *first, info_.first);
    const FrameHeader& h = info_.first;
    if (info_.xing && info_.xing->frames) {
        info_.durationMs =
            static_cast<double>(*info_.xing->frames) * h.samplesPerFrame * 1000.0 / h.sampleRate;
    } else {
        // audio bytes / average frame length, with the average taken from the
        // first frame's bit rate; frames × samples × 1,000 / rate then
        // leaves bits / (bits per ms).
        info_.durationMs = static_cast<double>(info_.audioBytes) * 8.0 / h.bitRateKbps;
    }
    if (!source_.seek(info_.audioStart)) {
        return false;
    }
    opened_ = true;
    inSync_ = true;
    return true;
}

bool MpegStream::seekMs(std::int64_t ms) {
    if (!opened_) {
        return false;
    }
    const auto position = seekPosition(info_, ms);
    if (!position || !source_.seek(*position)) {
        return false;
    }
    inSync_ = *position == info_.audioStart;
    return true;
}

std::optional<MpegFrame> MpegStream::nextFrame() {
    if (!opened_) {
        return std::nullopt;
    }
    const ByteSpan data = source_.data();
    std::uint64_t p = source_.tell();
    std::optional<FrameHeader> h;
    if (inSync_) {
        h = decodeFrameHeader(data.subspan(p));
        if (h && !h->sameStream(info_.first)) {
            h.reset();
        }
    }
    if (!h) {
        // Out of step after a seek or over junk: the next confirmed frame.
        const auto q = resyncFrame(data, p, info_.first);
        if (!q || !source_.seek(*q)) {
            return std::nullopt;
        }
        p = *q;
        h = decodeFrameHeader(data.subspan(p));
    }
    frame_.resize(h->frameLength);
    if (source_.read(frame_.data(), frame_.size()) < 0) {
        return std::nullopt;
    }
    inSync_ = true;
    return MpegFrame{*h, p, frame_};
}

}  // namespace quenvara::musicfilter
