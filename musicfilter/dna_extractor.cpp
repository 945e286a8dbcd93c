#include "musicfilter/dna_extractor.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <system_error>

#include "common/byte_order.h"
#include "musicfilter/table_cache.h"
#include "platform/processors.h"

namespace quenvara::musicfilter {
namespace {

constexpr int kHopsPerFrame = 32;
constexpr int kWarmUpHops = kHopsPerFrame - 1;
constexpr int kRunHops = kWarmUpHops + kLastFrame + 1;  // 288
constexpr double kHopSeconds = 0.011328125;
constexpr double kTwoPi = 6.28318530717959;
constexpr std::size_t kMaxChunkBytes = 16u << 20;

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

int counterOf(int job) {
    return 8 * (job / 2) + job % 2;
}

}  // namespace

DnaExtractor::~DnaExtractor() {
    stopWorker();
}

bool DnaExtractor::Prepare(int sampleRate, int channels, int /*bitsPerSample: always 16*/,
                           std::size_t chunkBytes, std::string bitRateText) {
    stopWorker();
    prepared_ = false;
    published_ = 0;
    nextJob_ = 0;
    jobsDone_ = 0;
    const int hop = static_cast<int>(sampleRate * kHopSeconds);
    if (sampleRate <= 0 || sampleRate > kMaxSampleRate || hop < 1 || chunkBytes == 0 ||
        chunkBytes > kMaxChunkBytes) {
        return false;
    }
    hop_ = hop;
    channels_ = channels == 1 ? 1 : 2;
    bitRateText_ = std::move(bitRateText);
    const int n = kHopsPerFrame * hop_;
    frameLength_ = static_cast<std::size_t>(n);

    const std::size_t monoLength = static_cast<std::size_t>(kRunHops) * hop_;
    if (monoLength_ != monoLength) {
        mono_ = std::make_unique_for_overwrite<double[]>(monoLength);
        monoLength_ = monoLength;
    }
    needed_ = monoLength * channels_;
    received_ = 0;
    stored_ = 0;
    halfPair_ = false;

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
    for (Workspace* space : {&own_, &worker_}) {
        space->fft.prepare(static_cast<std::size_t>(m));
        space->spectrum.assign(m / 2 + 1, 0.0);
    }
    for (auto& c : cepstra_) {
        c.fill(0.0);
    }
    table_ = {};
    prepared_ = true;
    static const bool severalProcessors = platform::usableProcessors() > 1;
    if (useWorker_ && severalProcessors) {
        try {
            thread_ = std::thread([this] { work(); });
        } catch (const std::system_error&) {
            // No thread to be had: Finish transforms every frame.
        }
    }
    return true;
}

void DnaExtractor::stopWorker() {
    if (!thread_.joinable()) {
        return;
    }
    {
        std::lock_guard guard(lock_);
        stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
    stopping_ = false;
}

int DnaExtractor::frameCounter() const {
    const std::size_t hops = hop_ > 0 ? stored_ / static_cast<std::size_t>(hop_) : 0;
    return static_cast<int>(std::clamp<std::size_t>(hops, kWarmUpHops, kRunHops) - kWarmUpHops);
}

void DnaExtractor::Feed(const void* data, std::size_t byteLength) {
    if (!prepared_ || done()) {
        return;
    }
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    const std::size_t samples = std::min(byteLength / 2, needed_ - received_);
    const auto sample = [bytes](std::size_t i) {
        return static_cast<double>(static_cast<std::int16_t>(bytes::loadU16(bytes + 2 * i)));
    };
    // Only this thread writes the samples from `stored_` on; the transforms
    // read below `published_`, which moves under the lock.
    double* to = mono_.get() + stored_;
    if (channels_ == 1) {
        for (std::size_t i = 0; i < samples; ++i) {
            to[i] = sample(i);
        }
        stored_ += samples;
    } else {
        std::size_t i = 0;
        if (halfPair_ && samples > 0) {
            *to++ = (firstOfPair_ + sample(0)) * 0.5;
            halfPair_ = false;
            i = 1;
        }
        for (; i + 1 < samples; i += 2) {
            *to++ = (sample(i) + sample(i + 1)) * 0.5;
        }
        if (i < samples) {
            firstOfPair_ = sample(i);
            halfPair_ = true;
        }
        stored_ = static_cast<std::size_t>(to - mono_.get());
    }
    received_ += samples;
    if (thread_.joinable()) {
        bool wake = false;
        {
            std::lock_guard guard(lock_);
            published_ = stored_;
            wake = nextReady();  // the worker only cares once a frame is complete
        }
        if (wake) {
            changed_.notify_all();
        }
    } else {
        published_ = stored_;
    }
}

std::size_t DnaExtractor::samplesFor(int job) const {
    return static_cast<std::size_t>(counterOf(job) + kHopsPerFrame) * hop_;
}

bool DnaExtractor::nextReady() const {
    return prepared_ && nextJob_ < kFrames && published_ >= samplesFor(nextJob_);
}

bool DnaExtractor::runNext(Workspace& space) {
    int job = 0;
    {
        std::lock_guard guard(lock_);
        if (!nextReady()) {
            return false;
        }
        job = nextJob_++;
    }
    cepstrumOf(job, space);
    {
        std::lock_guard guard(lock_);
        ++jobsDone_;
    }
    changed_.notify_all();
    return true;
}

void DnaExtractor::work() {
    for (;;) {
        {
            std::unique_lock guard(lock_);
            changed_.wait(guard, [&] { return stopping_ || nextReady(); });
            if (stopping_) {
                return;
            }
        }
        runNext(worker_);
    }
}

void DnaExtractor::cepstrumOf(int job, Workspace& space) {
    const double* window = tables_->window.data();
    const MelFilterBank& bank = tables_->bank;
    // The frame with counter c holds samples c * hop ... (c + 32) * hop - 1.
    const double* frame = mono_.get() + static_cast<std::size_t>(counterOf(job)) * hop_;
    double* spectrum = space.spectrum.data();
    // Only the bins the filter bank uses (bin k is DFT value k - 1).
    space.fft.windowedPower(frame, window, frameLength_, spectrum,
                            static_cast<std::size_t>(bank.lowBin - 1),
                            static_cast<std::size_t>(bank.highBin - 1));
    // Each bin feeds its lower channel and the one above; lower channels
    // only rise with the bin, so the two sums stay in registers until the
    // channel changes (the additions happen in the same order).
    std::array<double, kMelChannels + 1> channel{};
    int current = -1;
    double low = 0.0;   // channel[current]
    double high = 0.0;  // channel[current + 1]
    const auto flush = [&] {
        if (current > 0) {
            channel[current] = low;
        }
        if (current >= 0 && current < kMelChannels) {
            channel[current + 1] = high;
        }
    };
    for (int k = bank.lowBin; k <= bank.highBin; ++k) {
        const int ch = bank.lowerChannel[k];
        if (ch < 0) {
            continue;
        }
        if (ch != current) {
            flush();
            low = channel[ch];  // what the channel below gave it, if anything
            high = ch < kMelChannels ? channel[ch + 1] : 0.0;
            current = ch;
        }
        const double e = spectrum[k - 1];
        const double g = bank.weight[k];
        low += g * e;
        high += e - g * e;
    }
    flush();
    const double scale = std::sqrt(2.0 / kMelChannels);
    const Dct& dct = dctTable();
    Cepstrum& cep = cepstra_[job];
    for (int i = 1; i <= kMelChannels; ++i) {
        double sum = 0.0;
        for (int j = 1; j <= kMelChannels; ++j) {
            sum += channel[j] * dct[i][j];
        }
        cep[i] = scale * sum;
    }
}

void DnaExtractor::Finish() {
    // Help with the frames that are in, then wait for the worker's last.
    while (runNext(own_)) {
    }
    {
        std::unique_lock guard(lock_);
        changed_.wait(guard, [&] { return jobsDone_ == nextJob_; });
    }
    stopWorker();
    for (int k = 0; k < kDnaWords; ++k) {
        std::uint32_t word = 0;
        // Word k compares frame 8k + 1 with frame 8k; a frame the samples
        // never reached gives 0.
        if (2 * k + 1 < jobsDone_) {
            const Cepstrum& c = cepstra_[2 * k + 1];
            const Cepstrum& p = cepstra_[2 * k];
            for (int i = 1; i <= kDnaWords; ++i) {
                if ((c[i] - c[i + 1]) - (p[i] - p[i + 1]) > 0) {
                    word |= std::uint32_t{1} << (i - 1);
                }
            }
        }
        table_[k] = {static_cast<std::uint16_t>(8 * k), static_cast<std::int32_t>(word)};
    }
}

}  // namespace quenvara::musicfilter
