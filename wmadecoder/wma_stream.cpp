#include "wmadecoder/wma_stream.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/mem.h>
#include <libswresample/swresample.h>
}

namespace quenvara::wmadecoder {
namespace {

constexpr int kIoBufferSize = 32 * 1024;
// Sanity limits for what a damaged header may claim.
constexpr int kMaxChannels = 8;
constexpr int kMaxSampleRate = 384000;
// How far before the start time the decoder resumes.
constexpr std::int32_t kPrerollMs = 500;

int readCallback(void* opaque, std::uint8_t* to, int size) {
    return static_cast<WmaStream*>(opaque)->readBytes(to, size);
}

std::int64_t seekCallback(void* opaque, std::int64_t offset, int whence) {
    return static_cast<WmaStream*>(opaque)->seekBytes(offset, whence);
}

// Packet times are whole milliseconds, but frames sit on a grid of their
// own length from the stream start: a time within a millisecond of a grid
// point is that point. The grid is tried at the frame's length and its
// halves while only one point can be that close.
std::int64_t snapToFrameGrid(std::int64_t sample, int frameSamples, int rate) {
    const std::int64_t tolerance = rate / 1000 + 1;
    for (std::int64_t grid = frameSamples; grid > 2 * tolerance; grid /= 2) {
        const std::int64_t snapped = (sample + grid / 2) / grid * grid;
        if (std::abs(snapped - sample) <= tolerance) {
            return snapped;
        }
        if (grid % 2 != 0) {
            break;
        }
    }
    return sample;
}

std::int32_t clampToInt32(std::int64_t value) {
    return static_cast<std::int32_t>(
        std::clamp<std::int64_t>(value, 0, std::numeric_limits<std::int32_t>::max()));
}

}  // namespace

WmaStream::~WmaStream() {
    close();
}

bool WmaStream::setRange(std::int32_t startMs, std::int32_t endMs) {
    if (startMs < 0 || endMs <= startMs) {
        return false;
    }
    startMs_ = startMs;
    endMs_ = endMs;
    return true;
}

int WmaStream::readBytes(std::uint8_t* to, int size) {
    const std::int64_t remaining = length_ - position_;
    if (size <= 0 || remaining <= 0) {
        return AVERROR_EOF;
    }
    const int n = static_cast<int>(std::min<std::int64_t>(size, remaining));
    std::memcpy(to, data_ + position_, static_cast<std::size_t>(n));
    position_ += n;
    return n;
}

std::int64_t WmaStream::seekBytes(std::int64_t offset, int whence) {
    if ((whence & AVSEEK_SIZE) != 0) {
        return length_;
    }
    std::int64_t base = 0;
    switch (whence & ~AVSEEK_FORCE) {
        case SEEK_SET:
            break;
        case SEEK_CUR:
            base = position_;
            break;
        case SEEK_END:
            base = length_;
            break;
        default:
            return AVERROR(EINVAL);
    }
    // Checked first, so the sum below cannot overflow.
    if (offset > length_ || offset < -length_) {
        return AVERROR(EINVAL);
    }
    const std::int64_t target = base + offset;
    if (target < 0 || target > length_) {
        return AVERROR(EINVAL);
    }
    position_ = target;
    return target;
}

bool WmaStream::open(const void* data, std::uint64_t length) {
    close();
    if (data == nullptr || length == 0 ||
        length > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
        return false;
    }
    data_ = static_cast<const std::uint8_t*>(data);
    length_ = static_cast<std::int64_t>(length);
    position_ = 0;

    auto* buffer = static_cast<std::uint8_t*>(av_malloc(kIoBufferSize));
    if (buffer == nullptr) {
        close();
        return false;
    }
    io_ = avio_alloc_context(buffer, kIoBufferSize, 0, this, readCallback, nullptr, seekCallback);
    if (io_ == nullptr) {
        av_free(buffer);
        close();
        return false;
    }
    AVFormatContext* context = avformat_alloc_context();
    if (context == nullptr) {
        close();
        return false;
    }
    context->pb = io_;
    context->flags |= AVFMT_FLAG_CUSTOM_IO;
    // Only the ASF demuxer: anything else is not a WMA file, however it probes.
    const AVInputFormat* asf = av_find_input_format("asf");
    if (asf == nullptr || avformat_open_input(&context, nullptr, asf, nullptr) < 0) {
        // avformat_open_input freed the context on failure.
        close();
        return false;
    }
    format_ = context;
    if (avformat_find_stream_info(format_, nullptr) < 0) {
        close();
        return false;
    }
    streamIndex_ = av_find_best_stream(format_, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (streamIndex_ < 0) {
        close();
        return false;
    }
    const AVCodecParameters* par = format_->streams[streamIndex_]->codecpar;
    info_.bitRateKbps = clampToInt32((par->bit_rate + 500) / 1000);
    info_.sampleRate = par->sample_rate;
    info_.channels = par->ch_layout.nb_channels;
    // The ASF demuxer keeps the wave format tag of the stream's header here.
    info_.formatTag = static_cast<std::uint16_t>(par->codec_tag);
    return true;
}

std::int32_t WmaStream::durationMs() const {
    if (format_ == nullptr) {
        return 0;
    }
    if (format_->duration != AV_NOPTS_VALUE) {
        return clampToInt32(av_rescale(format_->duration, 1000, AV_TIME_BASE));
    }
    const AVStream* stream = format_->streams[streamIndex_];
    if (stream->duration != AV_NOPTS_VALUE) {
        return clampToInt32(av_rescale_q(stream->duration, stream->time_base, AVRational{1, 1000}));
    }
    return 0;
}

bool WmaStream::startDecoding() {
    if (format_ == nullptr) {
        return false;
    }
    avcodec_free_context(&codec_);
    swr_free(&resampler_);
    inputSampleFormat_ = -1;

    const AVStream* stream = format_->streams[streamIndex_];
    const AVCodec* decoder = avcodec_find_decoder(stream->codecpar->codec_id);
    if (decoder == nullptr) {
        return false;
    }
    codec_ = avcodec_alloc_context3(decoder);
    if (codec_ == nullptr || avcodec_parameters_to_context(codec_, stream->codecpar) < 0) {
        avcodec_free_context(&codec_);
        return false;
    }
    codec_->pkt_timebase = stream->time_base;
    codec_->thread_count = 1;  // a few seconds of audio; threads cost more than they give
    if (avcodec_open2(codec_, decoder, nullptr) < 0 || codec_->sample_rate <= 0 ||
        codec_->sample_rate > kMaxSampleRate || codec_->ch_layout.nb_channels < 1 ||
        codec_->ch_layout.nb_channels > kMaxChannels) {
        avcodec_free_context(&codec_);
        return false;
    }
    if (packet_ == nullptr) {
        packet_ = av_packet_alloc();
    }
    if (frame_ == nullptr) {
        frame_ = av_frame_alloc();
    }
    if (packet_ == nullptr || frame_ == nullptr) {
        avcodec_free_context(&codec_);
        return false;
    }
    startSample_ = av_rescale(startMs_, codec_->sample_rate, 1000);
    endSample_ = av_rescale(endMs_, codec_->sample_rate, 1000);
    seekToStart();
    return true;
}

void WmaStream::seekToStart() {
    const AVStream* stream = format_->streams[streamIndex_];
    const std::int64_t origin = stream->start_time != AV_NOPTS_VALUE ? stream->start_time : 0;
    // The decoder gives nothing for the first packets after a jump (the bit
    // reservoir and the overlap need their predecessors), so land early
    // enough that it is running by the start time.
    const std::int32_t landMs = std::max(0, startMs_ - kPrerollMs);
    const std::int64_t target =
        origin + av_rescale_q(landMs, AVRational{1, 1000}, stream->time_base);
    // A stream that cannot seek is decoded from where it stands; the samples
    // before the start are dropped by their timestamps all the same.
    av_seek_frame(format_, streamIndex_, target, AVSEEK_FLAG_BACKWARD);
    avcodec_flush_buffers(codec_);
    nextSample_ = -1;
    draining_ = false;
    finished_ = false;
    failed_ = false;
    pending_.clear();
}

bool WmaStream::prepareResampler(const AVFrame& frame) {
    if (resampler_ != nullptr) {
        // Our decoders never change the output shape mid-stream; a stream
        // that claims to is damaged.
        return frame.format == inputSampleFormat_ && frame.sample_rate == codec_->sample_rate &&
               frame.ch_layout.nb_channels == codec_->ch_layout.nb_channels;
    }
    if (frame.sample_rate != codec_->sample_rate ||
        frame.ch_layout.nb_channels != codec_->ch_layout.nb_channels) {
        return false;
    }
    AVChannelLayout layout{};
    if (frame.ch_layout.order == AV_CHANNEL_ORDER_UNSPEC) {
        av_channel_layout_default(&layout, frame.ch_layout.nb_channels);
    } else if (av_channel_layout_copy(&layout, &frame.ch_layout) < 0) {
        return false;
    }
    const int rate = codec_->sample_rate;
    const int result =
        swr_alloc_set_opts2(&resampler_, &layout, AV_SAMPLE_FMT_S16, rate, &layout,
                            static_cast<AVSampleFormat>(frame.format), rate, 0, nullptr);
    av_channel_layout_uninit(&layout);
    if (result < 0 || swr_init(resampler_) < 0) {
        swr_free(&resampler_);
        return false;
    }
    inputSampleFormat_ = frame.format;
    return true;
}

bool WmaStream::appendFrame(const AVFrame& frame) {
    if (nextSample_ < 0) {
        // The first frame after the seek fixes where we are; later frames
        // follow on sample by sample.
        const AVStream* stream = format_->streams[streamIndex_];
        std::int64_t ts =
            frame.best_effort_timestamp != AV_NOPTS_VALUE ? frame.best_effort_timestamp : frame.pts;
        if (ts == AV_NOPTS_VALUE) {
            nextSample_ = startSample_;
        } else {
            if (stream->start_time != AV_NOPTS_VALUE) {
                ts -= stream->start_time;
            }
            const std::int64_t sample =
                av_rescale_q(ts, stream->time_base, AVRational{1, codec_->sample_rate});
            nextSample_ = std::max<std::int64_t>(
                0, snapToFrameGrid(sample, frame.nb_samples, codec_->sample_rate));
        }
    }
    const std::int64_t first = nextSample_;
    const std::int64_t count = frame.nb_samples;
    nextSample_ += count;
    if (first + count >= endSample_) {
        finished_ = true;
    }
    const std::int64_t from = std::max(startSample_, first) - first;
    const std::int64_t to = std::min(endSample_, first + count) - first;
    if (to <= from) {
        return true;  // wholly before the start or after the end
    }
    if (!prepareResampler(frame)) {
        return false;
    }
    const std::size_t frameBytes = 2 * static_cast<std::size_t>(codec_->ch_layout.nb_channels);
    converted_.resize(static_cast<std::size_t>(count) * frameBytes);
    std::uint8_t* out[1] = {converted_.data()};
    const int got =
        swr_convert(resampler_, out, frame.nb_samples,
                    const_cast<const std::uint8_t**>(frame.extended_data), frame.nb_samples);
    if (got < 0) {
        return false;
    }
    const std::int64_t end = std::min<std::int64_t>(to, got);
    if (end > from) {
        pending_.insert(pending_.end(), converted_.data() + from * frameBytes,
                        converted_.data() + end * frameBytes);
    }
    return true;
}

void WmaStream::decodeMore() {
    while (!finished_) {
        int result = avcodec_receive_frame(codec_, frame_);
        if (result == 0) {
            const bool ok = appendFrame(*frame_);
            av_frame_unref(frame_);
            if (!ok) {
                failed_ = finished_ = true;
            }
            return;
        }
        if (result == AVERROR_EOF || draining_) {
            finished_ = true;
            return;
        }
        if (result != AVERROR(EAGAIN)) {
            failed_ = finished_ = true;
            return;
        }
        if (av_read_frame(format_, packet_) < 0) {
            // The end of the data, or data cut short: what the decoder still
            // holds comes out, then the stream ends.
            draining_ = true;
            avcodec_send_packet(codec_, nullptr);
            continue;
        }
        if (packet_->stream_index == streamIndex_) {
            result = avcodec_send_packet(codec_, packet_);
            // A damaged packet is skipped, as a player would.
            if (result < 0 && result != AVERROR_INVALIDDATA && result != AVERROR(EAGAIN)) {
                failed_ = finished_ = true;
            }
        }
        av_packet_unref(packet_);
    }
}

std::int32_t WmaStream::read(std::uint8_t* out, std::size_t capacity) {
    if (codec_ == nullptr || out == nullptr) {
        return -1;
    }
    const std::size_t frameBytes = 2 * static_cast<std::size_t>(codec_->ch_layout.nb_channels);
    const std::size_t limit = std::min<std::size_t>(capacity, std::numeric_limits<int32_t>::max());
    const std::size_t wanted = limit / frameBytes * frameBytes;
    if (wanted == 0) {
        return -1;
    }
    // What the decoder has given of the excerpt so far (one decoded frame,
    // trimmed to the excerpt, at least): a caller can work on it while the
    // next is decoded.
    while (pending_.empty() && !finished_) {
        decodeMore();
    }
    const std::size_t n = std::min(wanted, pending_.size());
    if (n == 0) {
        return failed_ ? -1 : 0;
    }
    // What does not fit stays for the next call (less than one codec frame).
    std::memcpy(out, pending_.data(), n);
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(n));
    return static_cast<std::int32_t>(n);
}

void WmaStream::close() {
    av_frame_free(&frame_);
    av_packet_free(&packet_);
    swr_free(&resampler_);
    avcodec_free_context(&codec_);
    if (format_ != nullptr) {
        avformat_close_input(&format_);
    }
    if (io_ != nullptr) {
        // The demuxer may have replaced the buffer we gave it.
        av_freep(&io_->buffer);
        avio_context_free(&io_);
    }
    streamIndex_ = -1;
    info_ = StreamFormat{};
    data_ = nullptr;
    length_ = 0;
    position_ = 0;
    inputSampleFormat_ = -1;
    nextSample_ = -1;
    draining_ = finished_ = failed_ = false;
    converted_.clear();
    converted_.shrink_to_fit();
    pending_.clear();
    pending_.shrink_to_fit();
}

}  // namespace quenvara::wmadecoder
