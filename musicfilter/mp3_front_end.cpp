#include "musicfilter/mp3_front_end.h"

#include <mpg123.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <span>
#include <vector>

#include "musicfilter/dna_extractor.h"

namespace quenvara::musicfilter {

void Mp3Decoder::HandleDeleter::operator()(mpg123_handle_struct* h) const {
    mpg123_delete(h);
}

Mp3Decoder::Mp3Decoder() = default;
Mp3Decoder::~Mp3Decoder() = default;

bool Mp3Decoder::open(FileBytes file) {
    handle_.reset();
    withheld_ = 0;
    if (!stream_.open(file)) {
        return false;
    }
    // Older libmpg123 releases need this once per process; later ones ignore it.
    static std::once_flag initialised;
    static int initResult = MPG123_ERR;
    std::call_once(initialised, [] { initResult = mpg123_init(); });
    if (initResult != MPG123_OK) {
        return false;
    }
    int error = MPG123_OK;
    handle_.reset(mpg123_new(nullptr, &error));
    if (!handle_) {
        return false;
    }
    mpg123_handle* h = handle_.get();
    // Whole frames only, so no read-ahead; no gapless trimming, so every
    // frame gives its full samples; the "Xing" frame is decoded like any
    // other, so frames in and chunks out stay in step.
    const long flags = MPG123_QUIET | MPG123_NO_READAHEAD | MPG123_IGNORE_INFOFRAME;
    const FrameHeader& first = stream_.info().first;
    if (mpg123_param(h, MPG123_FLAGS, flags, 0.0) != MPG123_OK ||
        mpg123_format_none(h) != MPG123_OK ||
        mpg123_format(h, first.sampleRate, channels(), MPG123_ENC_SIGNED_16) != MPG123_OK ||
        mpg123_open_feed(h) != MPG123_OK) {
        handle_.reset();
        return false;
    }
    return true;
}

bool Mp3Decoder::seekMs(std::int64_t ms) {
    if (!handle_ || !stream_.seekMs(ms)) {
        return false;
    }
    withheld_ = ms != 0 ? kFramesWithheldAfterSeek : 0;
    return true;
}

std::optional<Mp3Decoder::Chunk> Mp3Decoder::next() {
    if (!handle_) {
        return std::nullopt;
    }
    mpg123_handle* h = handle_.get();
    Chunk chunk;
    for (;;) {
        const auto frame = stream_.nextFrame();
        if (!frame) {
            return std::nullopt;
        }
        if (mpg123_feed(h, frame->bytes.data(), frame->bytes.size()) != MPG123_OK) {
            return std::nullopt;
        }
        chunk.header = frame->header;
        chunk.offset = frame->offset;
        for (;;) {
            off_t number = 0;
            unsigned char* audio = nullptr;
            std::size_t bytes = 0;
            const int r = mpg123_decode_frame(h, &number, &audio, &bytes);
            if (r == MPG123_NEW_FORMAT) {
                long rate = 0;
                int channels = 0;
                int encoding = 0;
                if (mpg123_getformat(h, &rate, &channels, &encoding) != MPG123_OK ||
                    rate != chunk.header.sampleRate || channels != this->channels() ||
                    encoding != MPG123_ENC_SIGNED_16) {
                    return std::nullopt;
                }
                continue;
            }
            if (r == MPG123_NEED_MORE) {
                break;  // feed the next frame
            }
            if (r != MPG123_OK || bytes > kMp3ChunkBytes) {
                return std::nullopt;  // errors, and the end of the stream
            }
            if (bytes == 0) {
                continue;
            }
            if (withheld_ > 0) {
                --withheld_;
                continue;
            }
            chunk.pcm = std::span<const std::uint8_t>(audio, bytes);
            return chunk;
        }
    }
}

std::string mp3BitRateText(bool variableRate, int bitRateKbps) {
    return (variableRate ? "V" : "") + std::to_string(bitRateKbps);
}

FrontEndResult decodeMp3(FileBytes file, int startSecond, DnaExtractor& extractor,
                         const ChunkPump& pump) {
    Mp3Decoder decoder;
    if (!decoder.open(file)) {
        return FrontEndResult::Failed;
    }
    if (!decoder.seekMs(static_cast<std::int64_t>(startSecond) * 1000)) {
        return FrontEndResult::SeekFailed;
    }
    // Decoded frames fill a chunk buffer; a frame's samples that do not fit
    // start the next chunk. The first full chunk tells the bit rate: that of
    // the frame decoded last.
    std::vector<std::uint8_t> buffer(kMp3ChunkBytes);
    std::span<const std::uint8_t> pending;
    int lastBitRate = 0;
    bool prepared = false;
    do {
        std::size_t filled = 0;
        while (filled < buffer.size()) {
            if (pending.empty()) {
                const auto chunk = decoder.next();
                if (!chunk) {
                    return FrontEndResult::Failed;
                }
                pending = chunk->pcm;
                lastBitRate = chunk->header.bitRateKbps;
            }
            const std::size_t n = std::min(pending.size(), buffer.size() - filled);
            std::memcpy(buffer.data() + filled, pending.data(), n);
            pending = pending.subspan(n);
            filled += n;
        }
        if (!prepared) {
            if (!extractor.Prepare(decoder.info().first.sampleRate, decoder.channels(), 16,
                                   kMp3ChunkBytes,
                                   mp3BitRateText(decoder.variableRate(), lastBitRate))) {
                return FrontEndResult::Failed;
            }
            prepared = true;
        }
        extractor.Feed(buffer.data(), filled);
        if (pump) {
            pump();
        }
    } while (!extractor.done());
    extractor.Finish();
    return FrontEndResult::Done;
}

}  // namespace quenvara::musicfilter
