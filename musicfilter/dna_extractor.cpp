#include "musicfilter/dna_extractor.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

#include "musicfilter/table_cache.h"

namespace quenvara::musicfilter {
namespace {

constexpr int kHopsPerFrame = 32;
constexpr int kWarmUpHops = kHopsPerFrame - 1;
constexpr double kHopSeconds = 0.011328125;
constexpr double kTwoPi = 6.28318530717959;
constexpr std::size_t kMaxChunkBytes = 16u << 20;
constexpr std::size_t kSlideHops = 32;

using Dct = std::array<std::array<double, kMelChannels + 1>, kMelChannels + 1>;

// cos(i (pi / 33) (j - 0.5)) for the cepstrum, i and j from 1.
const Dct& dctTable() {
    static const Dct table = [] {
        Dct t{};
        for (int i = 1; i <= kMelChannels; ++i) {
            for (int j = 1; j <= kMelChannels; ++j) {
                t[i][j] = std::cos(i * (std::numbers::pi / kMelChannels) * (j - 0.5));
            }
        }
        return t;
    }();
    return table;
}

}  // namespace

bool DnaExtractor::Prepare(int sampleRate, int channels, int /*bitsPerSample: always 16*/,
                           std::size_t chunkBytes, std::string bitRateText) {
    prepared_ = false;
    const int hop = static_cast<int>(sampleRate * kHopSeconds);
    if (sampleRate <= 0 || sampleRate > kMaxSampleRate || hop < 1 || chunkBytes == 0 ||
        chunkBytes > kMaxChunkBytes) {
        return false;
    }
    hop_ = hop;
    channels_ = channels == 1 ? 1 : 2;
    bitRateText_ = std::move(bitRateText);
    const int n = kHopsPerFrame * hop_;

    // Room for a chunk and what the previous one left unread, and at least
    // for one hop of every channel, however small the chunk; a larger chunk
    // is taken in parts by Feed.
    ring_.assign(std::max(chunkBytes, static_cast<std::size_t>(hop_) * channels_) +
                     static_cast<std::size_t>(hop_) + 1,
                 0.0);
    write_ = 0;
    read_ = 0;
    // The frame slides along a longer buffer and is moved back to its start
    // only once per kSlideHops hops.
    frame_.assign(static_cast<std::size_t>(n) + kSlideHops * static_cast<std::size_t>(hop_), 0.0);
    frameStart_ = 0;
    static TableCache<RateTables> rateTables;
    tables_ = rateTables.get(static_cast<std::size_t>(sampleRate), [n](std::size_t rate) {
        RateTables t;
        t.window.resize(n);
        for (int i = 0; i < n; ++i) {
            t.window[i] = 0.54 - 0.46 * std::cos(kTwoPi * i / (n - 1));
        }
        t.bank = MelFilterBank::build(n, 10'000'000.0 / static_cast<double>(rate));
        return t;
    });
    const int m = tables_->bank.transform;
    fft_.prepare(static_cast<std::size_t>(m));
    spectrum_.assign(m / 2 + 1, 0.0);
    channel_.fill(0.0);
    cep_.fill(0.0);
    prev_.fill(0.0);
    items_.fill(0);
    table_ = {};
    word_ = 0;
    warmUp_ = 0;
    frameCounter_ = 0;
    prepared_ = true;
    return true;
}

std::size_t DnaExtractor::unread() const {
    if (write_ >= read_) {
        return write_ - read_;
    }
    return ring_.size() - read_ + write_;
}

inline double DnaExtractor::take() {
    const double v = ring_[read_];
    read_ = read_ + 1 == ring_.size() ? 0 : read_ + 1;
    return v;
}

void DnaExtractor::Feed(const void* data, std::size_t byteLength) {
    if (!prepared_ || done()) {
        return;
    }
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    std::size_t samples = byteLength / 2;
    // A chunk larger than the ring is taken in parts, so nothing unread is
    // ever overwritten.
    while (samples > 0 && !done()) {
        const std::size_t room = ring_.size() - 1 - unread();
        const std::size_t now = std::min(room, samples);
        if (now == 0) {
            return;  // cannot happen with the ring sized above; never spin
        }
        // In at most two runs: up to the end of the ring, then from its start.
        for (std::size_t left = now; left > 0;) {
            const std::size_t run = std::min(left, ring_.size() - write_);
            double* to = ring_.data() + write_;
            for (std::size_t i = 0; i < run; ++i) {
                to[i] = static_cast<std::int16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
            }
            bytes += 2 * run;
            left -= run;
            write_ = write_ + run == ring_.size() ? 0 : write_ + run;
        }
        samples -= now;
        consume();
    }
}

void DnaExtractor::consume() {
    const std::size_t hop = static_cast<std::size_t>(hop_);
    const std::size_t n = tables_->window.size();
    while (unread() >= hop * channels_) {
        // Shift the frame by one hop: the newest samples go last.
        if (frameStart_ + n + hop > frame_.size()) {
            std::memmove(frame_.data(), frame_.data() + frameStart_ + hop,
                         (n - hop) * sizeof(double));
            frameStart_ = 0;
        } else {
            frameStart_ += hop;
        }
        double* tail = frame_.data() + frameStart_ + (n - hop);
        if (channels_ == 1) {
            for (std::size_t i = 0; i < hop; ++i) {
                tail[i] = take();
            }
        } else {
            for (std::size_t i = 0; i < hop; ++i) {
                const double a = take();
                const double b = take();
                tail[i] = (a + b) * 0.5;
            }
        }
        if (warmUp_ < kWarmUpHops) {
            ++warmUp_;
            continue;
        }
        const int phase = frameCounter_ % 8;
        if (phase == 0 || phase == 1) {
            computeFrame();
            if (phase == 1) {
                computeWord();
            }
            prev_ = cep_;
            items_[frameCounter_] = word_;
        }
        ++frameCounter_;
        if (done()) {
            return;
        }
    }
}

void DnaExtractor::computeFrame() {
    const std::size_t n = tables_->window.size();
    const double* window = tables_->window.data();
    const MelFilterBank& bank = tables_->bank;
    const double* frame = frame_.data() + frameStart_;
    // Only the bins the filter bank uses (bin k is DFT value k - 1).
    fft_.windowedPower(frame, window, n, spectrum_.data(),
                       static_cast<std::size_t>(bank.lowBin - 1),
                       static_cast<std::size_t>(bank.highBin - 1));
    // Each bin feeds its lower channel and the one above; lower channels
    // only rise with the bin, so the two sums stay in registers until the
    // channel changes (the additions happen in the same order).
    channel_.fill(0.0);
    int current = -1;
    double low = 0.0;   // channel_[current]
    double high = 0.0;  // channel_[current + 1]
    const auto flush = [&] {
        if (current > 0) {
            channel_[current] = low;
        }
        if (current >= 0 && current < kMelChannels) {
            channel_[current + 1] = high;
        }
    };
    for (int k = bank.lowBin; k <= bank.highBin; ++k) {
        const int ch = bank.lowerChannel[k];
        if (ch < 0) {
            continue;
        }
        if (ch != current) {
            flush();
            low = channel_[ch];  // what the channel below gave it, if anything
            high = ch < kMelChannels ? channel_[ch + 1] : 0.0;
            current = ch;
        }
        const double e = spectrum_[k - 1];
        const double g = bank.weight[k];
        low += g * e;
        high += e - g * e;
    }
    flush();
    const double scale = std::sqrt(2.0 / kMelChannels);
    const Dct& dct = dctTable();
    for (int i = 1; i <= kMelChannels; ++i) {
        double sum = 0.0;
        for (int j = 1; j <= kMelChannels; ++j) {
            sum += channel_[j] * dct[i][j];
        }
        cep_[i] = scale * sum;
    }
}

void DnaExtractor::computeWord() {
    std::uint32_t word = 0;
    for (int i = 1; i <= kDnaWords; ++i) {
        if ((cep_[i] - cep_[i + 1]) - (prev_[i] - prev_[i + 1]) > 0) {
            word |= std::uint32_t{1} << (i - 1);
        }
    }
    word_ = static_cast<std::int32_t>(word);
}

void DnaExtractor::Finish() {
    for (int k = 0; k < kDnaWords; ++k) {
        table_[k] = {static_cast<std::uint16_t>(8 * k), items_[8 * k + 1]};
    }
}

}  // namespace quenvara::musicfilter
