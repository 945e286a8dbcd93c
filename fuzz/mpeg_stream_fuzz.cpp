// The MPEG stream logic on arbitrary bytes: first-frame search, "Xing"
// header, seek positions and the frame walk. Short inputs are also tried
// repeated up to past the search window, so that a frame-sized input
// becomes a stream that the search accepts.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "musicfilter/mpeg_stream.h"

namespace {

using namespace quenvara::musicfilter;

void check(bool ok) {
    if (!ok) {
        __builtin_trap();
    }
}

void exercise(ByteSpan data) {
    MpegStream stream;
    if (!stream.open(data)) {
        return;
    }
    const MpegStreamInfo& info = stream.info();
    check(info.audioStart < data.size() && info.audioStart + info.audioBytes == data.size());
    check(info.audioStart >= info.tagLength);
    for (const std::int64_t ms : {0LL, 1LL, 1000LL, 60'000LL, -5LL, 1LL << 50}) {
        if (const auto p = seekPosition(info, ms)) {
            check(*p >= info.audioStart && *p <= data.size());
        }
    }
    for (const std::int64_t ms : {0LL, 60'000LL, 500LL}) {
        if (!stream.seekMs(ms)) {
            continue;
        }
        for (int i = 0; i < 64; ++i) {
            const auto frame = stream.nextFrame();
            if (!frame) {
                break;
            }
            check(frame->offset + frame->bytes.size() <= data.size());
            check(frame->bytes.size() == frame->header.frameLength);
            check(frame->header.sameStream(info.first));
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const ByteSpan input(data, size);
    if (const auto header = decodeFrameHeader(input)) {
        check(header->frameLength > 0 && header->samplesPerFrame > 0);
        (void)parseXing(input, 0, *header);
        (void)parseXing(input, size / 2, *header);
        (void)resyncFrame(input, size / 3, *header);
    }
    if (size >= 108) {
        std::array<std::uint8_t, 100> toc{};
        std::memcpy(toc.data(), data, toc.size());
        double f = 0;
        std::memcpy(&f, data + 100, sizeof f);
        const double value = tocFraction(toc, f);
        check(value >= 0.0 && value <= 1.0);
    }
    exercise(input);
    if (size > 0 && size < kFirstFrameSearchBytes) {
        std::vector<std::uint8_t> tiled;
        tiled.reserve(kFirstFrameSearchBytes + 2 * size + kSearchReadBytes);
        while (tiled.size() < kFirstFrameSearchBytes / 4) {
            tiled.insert(tiled.end(), data, data + size);
        }
        exercise(tiled);
    }
    return 0;
}
