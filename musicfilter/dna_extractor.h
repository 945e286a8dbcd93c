#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "musicfilter/dna_entry.h"
#include "musicfilter/mel_filter_bank.h"
#include "musicfilter/real_fft.h"

namespace quenvara::musicfilter {

// The last frame counter a run needs; a front-end stops feeding once the
// counter has passed it.
inline constexpr int kLastFrame = 256;
inline constexpr int kMaxSampleRate = 384'000;

// Turns about 3.3 s of 16-bit PCM into 32 words. A front-end calls Prepare
// once it knows the stream, Feed per decoded chunk until done(), then
// Finish. Everything is sized in Prepare: Feed never allocates.
class DnaExtractor {
  public:
    // channels: 1 is mono, anything else interleaved stereo. chunkBytes is
    // the front-end's usual chunk; it sizes the sample ring. Returns false
    // for a rate the excerpt cannot be cut at (no whole sample per hop, or
    // above kMaxSampleRate); the front-end then fails.
    bool Prepare(int sampleRate, int channels, int bitsPerSample, std::size_t chunkBytes,
                 std::string bitRateText);
    // Little-endian signed 16-bit samples, interleaved when stereo.
    void Feed(const void* data, std::size_t byteLength);
    // Builds the table; only after a run that passed the last frame.
    void Finish();

    bool prepared() const { return prepared_; }
    bool done() const { return frameCounter_ > kLastFrame; }
    int frameCounter() const { return frameCounter_; }
    int hop() const { return hop_; }
    const MelFilterBank& filterBank() const { return tables_->bank; }
    const std::string& bitRateText() const { return bitRateText_; }
    const DnaTable& table() const { return table_; }
    // The cepstrum of the last computed frame, c[1] ... c[33] (for checks).
    const std::array<double, kMelChannels + 1>& cepstrum() const { return cep_; }

  private:
    std::size_t unread() const;
    double take();
    void consume();
    void computeFrame();
    void computeWord();

    bool prepared_ = false;
    int channels_ = 1;
    int hop_ = 0;
    std::string bitRateText_;
    std::vector<double> ring_;
    std::size_t write_ = 0;
    std::size_t read_ = 0;
    std::vector<double> frame_;  // the frame is frame_[frameStart_ ...], N samples
    std::size_t frameStart_ = 0;
    // The Hamming window and the filter bank depend on the rate alone and
    // are shared between computations.
    struct RateTables {
        std::vector<double> window;
        MelFilterBank bank;
    };
    std::shared_ptr<const RateTables> tables_;
    RealFft fft_;
    std::vector<double> spectrum_;  // power of bins 0 ... M/2
    std::array<double, kMelChannels + 1> channel_{};
    std::array<double, kMelChannels + 1> cep_{};
    std::array<double, kMelChannels + 1> prev_{};
    std::array<std::int32_t, kLastFrame + 1> items_{};
    std::int32_t word_ = 0;
    int warmUp_ = 0;
    int frameCounter_ = 0;
    DnaTable table_{};
};

}  // namespace quenvara::musicfilter
