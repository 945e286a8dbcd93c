#pragma once

#include <array>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
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
//
// The frames overlap by all but one hop and only those at counters 8k and
// 8k + 1 give words, so the run's mono samples are kept whole and each of
// those 64 frames is a window into them. Decoding and the transforms
// overlap: Feed only stores samples, a worker thread started by Prepare
// transforms each frame as soon as its samples are in, and Finish helps
// with what is left. The words do not depend on who computed which frame.
// All calls come from one thread.
class DnaExtractor {
  public:
    // useWorker false: every frame is transformed by Finish.
    explicit DnaExtractor(bool useWorker = true) : useWorker_(useWorker) {}
    ~DnaExtractor();
    DnaExtractor(const DnaExtractor&) = delete;
    DnaExtractor& operator=(const DnaExtractor&) = delete;

    // channels: 1 is mono, anything else interleaved stereo. chunkBytes is
    // the front-end's usual chunk (checked for sanity only). Returns false
    // for a rate the excerpt cannot be cut at (no whole sample per hop, or
    // above kMaxSampleRate); the front-end then fails.
    bool Prepare(int sampleRate, int channels, int bitsPerSample, std::size_t chunkBytes,
                 std::string bitRateText);
    // Little-endian signed 16-bit samples, interleaved when stereo; takes
    // no more than the run needs.
    void Feed(const void* data, std::size_t byteLength);
    // Waits for the transforms, then builds the table. Frames the samples
    // never reached (the WMA front-end may end early) leave their words 0.
    void Finish();

    bool prepared() const { return prepared_; }
    // The samples of the whole run are in: the frame counter has passed the
    // last frame.
    bool done() const { return prepared_ && received_ >= needed_; }
    // Frames counted so far (0 ... 257): a frame counts once its last hop
    // is in, after the 31 hops of warm-up.
    int frameCounter() const;
    int hop() const { return hop_; }
    const MelFilterBank& filterBank() const { return tables_->bank; }
    const std::string& bitRateText() const { return bitRateText_; }
    const DnaTable& table() const { return table_; }

  private:
    static constexpr int kFrames = 2 * kDnaWords;  // counters 0, 1, 8, 9, ... 248, 249
    using Cepstrum = std::array<double, kMelChannels + 1>;
    // What one thread needs to transform a frame.
    struct Workspace {
        RealFft fft;
        std::vector<double> spectrum;  // power of bins 0 ... M/2
    };

    // Frame number `job` (counter 8 (job / 2) + job % 2) is in once this
    // many mono samples are.
    std::size_t samplesFor(int job) const;
    bool nextReady() const;  // under lock_ while the worker runs
    void cepstrumOf(int job, Workspace& space);
    // Takes and transforms the next frame whose samples are in; false when
    // there is none.
    bool runNext(Workspace& space);
    void work();
    void stopWorker();

    bool useWorker_ = true;
    bool prepared_ = false;
    int channels_ = 1;
    int hop_ = 0;
    std::size_t frameLength_ = 0;
    std::string bitRateText_;
    std::size_t needed_ = 0;    // interleaved samples of the whole run
    std::size_t received_ = 0;  // interleaved samples taken so far
    // The run's mono samples; Feed writes past `published_`, the
    // transforms read only below it.
    std::unique_ptr<double[]> mono_;
    std::size_t monoLength_ = 0;
    std::size_t stored_ = 0;
    bool halfPair_ = false;  // a chunk ended between the samples of a pair
    double firstOfPair_ = 0.0;
    // The Hamming window and the filter bank depend on the rate alone and
    // are shared between computations.
    struct RateTables {
        std::vector<double> window;
        MelFilterBank bank;
    };
    std::shared_ptr<const RateTables> tables_;
    Workspace own_;     // Finish's
    Workspace worker_;  // the worker thread's
    std::array<Cepstrum, kFrames> cepstra_{};

    mutable std::mutex lock_;
    std::condition_variable changed_;
    std::thread thread_;
    std::size_t published_ = 0;  // mono samples the transforms may read
    int nextJob_ = 0;            // frames taken by a thread
    int jobsDone_ = 0;
    bool stopping_ = false;

    DnaTable table_{};
};

}  // namespace quenvara::musicfilter
