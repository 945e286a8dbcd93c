#include "musicfilter/ogg_front_end.h"

#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "musicfilter/dna_extractor.h"

namespace quenvara::musicfilter {

std::size_t oggRead(void* ptr, std::size_t size, std::size_t count, void* source) {
    auto& s = *static_cast<OggSource*>(source);
    const std::size_t left = s.length - s.position;
    // size * count may overflow for absurd requests; what is left bounds it.
    const std::size_t wanted = (size != 0 && count > left / size) ? left : size * count;
    const std::size_t n = std::min(wanted, left);
    if (n > 0) {
        std::memcpy(ptr, s.data + s.position, n);
    }
    s.position += n;
    return n;
}

int oggSeek(void* source, std::int64_t offset, int whence) {
    auto& s = *static_cast<OggSource*>(source);
    const auto length = static_cast<std::int64_t>(s.length);
    const auto position = static_cast<std::int64_t>(s.position);
    switch (whence) {
        case SEEK_SET:
            s.position = static_cast<std::size_t>(std::clamp<std::int64_t>(offset, 0, length));
            break;
        case SEEK_CUR:
            s.position = static_cast<std::size_t>(
                std::clamp<std::int64_t>(position + std::max(offset, -position), 0, length));
            break;
        case SEEK_END:
            s.position = s.length;
            break;
        default:
            std::fputs("*** ERROR *** Unknown seek command in VorbisSeek\n", stdout);
            break;
    }
    return 0;
}

int oggClose(void*) {
    return 1;
}

long oggTell(void* source) {
    return static_cast<long>(static_cast<OggSource*>(source)->position);
}

namespace {

// ov_clear on every path.
struct VorbisFile {
    OggVorbis_File file{};
    bool open = false;
    ~VorbisFile() {
        if (open) {
            ov_clear(&file);
        }
    }
};

}  // namespace

FrontEndResult decodeOgg(FileBytes bytes, int startSecond, DnaExtractor& extractor,
                         const ChunkPump& pump) {
    OggSource source{bytes.data(), bytes.size(), 0};
    const ov_callbacks callbacks{
        oggRead, [](void* s, ogg_int64_t offset, int whence) { return oggSeek(s, offset, whence); },
        oggClose, oggTell};
    VorbisFile vf;
    if (ov_open_callbacks(&source, &vf.file, nullptr, 0, callbacks) != 0) {
        return FrontEndResult::Failed;
    }
    vf.open = true;
    if (ov_seekable(&vf.file) == 0) {
        return FrontEndResult::Failed;
    }
    const vorbis_info* info = ov_info(&vf.file, 0);
    if (info == nullptr) {
        return FrontEndResult::Failed;
    }
    std::string bitRateText = std::to_string(info->bitrate_nominal / 1000);
    if (startSecond > 0 && ov_time_seek(&vf.file, startSecond) != 0) {
        return FrontEndResult::Failed;
    }
    if (!extractor.Prepare(static_cast<int>(std::min<long>(info->rate, kMaxSampleRate + 1)),
                           info->channels, 16, kOggChunkBuffer, std::move(bitRateText))) {
        return FrontEndResult::Failed;
    }
    char buffer[kOggReadBytes];
    while (!extractor.done()) {
        int stream = 0;
        const long n = ov_read(&vf.file, buffer, kOggReadBytes, 0, 2, 1, &stream);
        // The end, an error, or the next stream of a chained file: the
        // excerpt must come from the first stream alone.
        if (n <= 0 || stream != 0) {
            return FrontEndResult::Failed;
        }
        extractor.Feed(buffer, static_cast<std::size_t>(n));
        if (pump) {
            pump();
        }
    }
    extractor.Finish();
    return FrontEndResult::Done;
}

}  // namespace quenvara::musicfilter
