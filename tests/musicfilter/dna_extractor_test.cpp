// The transform, the filter bank and the extractor on generated signals.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <new>
#include <numbers>
#include <random>

#include "musicfilter/dna_extractor.h"

// Counts allocations so the feeding loop can be shown to make none. The
// replacements pair malloc with free; GCC cannot see that through inlining.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
namespace {
std::atomic<long> allocations{0};
}
void* operator new(std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size)) {
        return p;
    }
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

namespace quenvara::musicfilter {
namespace {

TEST(RealFftTest, MatchesDirectDftForEveryLength) {
    std::mt19937 random(7);
    std::uniform_real_distribution<double> value(-32768.0, 32767.0);
    // Up to the longest transform (384 kHz); above 4,096 points only about
    // 32 bins are checked against the (slow) direct sum.
    for (std::size_t m = 2; m <= 262144; m *= 2) {
        std::vector<double> x(m);
        for (auto& v : x) {
            v = value(random);
        }
        RealFft fft;
        ASSERT_TRUE(fft.prepare(m));
        std::vector<std::complex<double>> got(m / 2 + 1);
        fft.transform(x.data(), got.data());
        std::vector<double> power(m / 2 + 1);
        fft.power(x.data(), power.data());
        // A range of bins only: the same values there, nothing written elsewhere.
        std::vector<double> part(m / 2 + 1, -1.0);
        fft.power(x.data(), part.data(), m / 8, m / 4);
        for (std::size_t k = 0; k <= m / 2; ++k) {
            ASSERT_EQ(part[k], k >= m / 8 && k <= m / 4 ? power[k] : -1.0) << m << " " << k;
        }
        for (std::size_t k = 0; k <= m / 2; k += m <= 4096 ? 1 : m / 64 - 1) {
            std::complex<double> want;
            for (std::size_t n = 0; n < m; ++n) {
                const double a = -2.0 * std::numbers::pi * double(k) * double(n) / double(m);
                want += x[n] * std::complex<double>(std::cos(a), std::sin(a));
            }
            const double tolerance = 1e-9 * 32768.0 * double(m);
            ASSERT_NEAR(got[k].real(), want.real(), tolerance) << "M=" << m << " k=" << k;
            ASSERT_NEAR(got[k].imag(), want.imag(), tolerance) << "M=" << m << " k=" << k;
            ASSERT_NEAR(power[k], std::norm(want), 1e-9 * std::max(1.0, std::norm(want)));
        }
    }
}

TEST(RealFftTest, WindowedPowerIsThePowerOfTheWindowedPaddedSamples) {
    std::mt19937 random(11);
    std::uniform_real_distribution<double> value(-1000.0, 1000.0);
    RealFft fft;
    ASSERT_TRUE(fft.prepare(512));
    for (std::size_t count : {512u, 500u, 377u, 1u}) {
        std::vector<double> x(count);
        std::vector<double> w(count);
        std::vector<double> padded(512, 0.0);
        for (std::size_t i = 0; i < count; ++i) {
            x[i] = value(random);
            w[i] = value(random) / 1000.0;
            padded[i] = x[i] * w[i];
        }
        std::vector<double> want(257);
        std::vector<double> got(257, -1.0);
        fft.power(padded.data(), want.data());
        fft.windowedPower(x.data(), w.data(), count, got.data(), 3, 200);
        for (std::size_t k = 0; k < 257; ++k) {
            ASSERT_EQ(got[k], k >= 3 && k <= 200 ? want[k] : -1.0) << count << " " << k;
        }
    }
}

TEST(RealFftTest, RefusesLengthsThatAreNotPowersOfTwo) {
    RealFft fft;
    EXPECT_FALSE(fft.prepare(0));
    EXPECT_FALSE(fft.prepare(1));
    EXPECT_FALSE(fft.prepare(3000));
    EXPECT_TRUE(fft.prepare(4096));
}

struct Worked {
    int rate, hop, frame, transform, low, high;
};

TEST(MelFilterBankTest, WorkedValuesForTheSixRates) {
    const Worked table[] = {
        {8000, 90, 2880, 4096, 156, 2048},     {11025, 124, 3968, 4096, 113, 2048},
        {22050, 249, 7968, 8192, 113, 2601},   {32000, 362, 11584, 16384, 156, 3584},
        {44100, 499, 15968, 16384, 113, 2601}, {48000, 543, 17376, 32768, 207, 4779},
    };
    for (const auto& w : table) {
        DnaExtractor x;
        ASSERT_TRUE(x.Prepare(w.rate, 2, 16, 16384, ""));
        EXPECT_EQ(x.hop(), w.hop) << w.rate;
        EXPECT_EQ(x.hop() * 32, w.frame) << w.rate;
        const auto& bank = x.filterBank();
        EXPECT_EQ(bank.transform, w.transform) << w.rate;
        EXPECT_EQ(bank.lowBin, w.low) << w.rate;
        EXPECT_EQ(bank.highBin, w.high) << w.rate;
    }
}

TEST(MelFilterBankTest, ChannelsRiseAcrossTheUsedBinsWithWeightsBetweenZeroAndOne) {
    const auto bank = MelFilterBank::build(15968, 10'000'000.0 / 44100);
    EXPECT_EQ(bank.lowerChannel[bank.lowBin - 1], -1);
    EXPECT_EQ(bank.lowerChannel[bank.highBin + 1], -1);
    EXPECT_EQ(bank.lowerChannel[bank.lowBin], 0);  // below the first centre
    int last = 0;
    for (int k = bank.lowBin; k <= bank.highBin; ++k) {
        ASSERT_GE(bank.lowerChannel[k], last);
        ASSERT_LE(bank.lowerChannel[k], kMelChannels);
        last = bank.lowerChannel[k];
        ASSERT_GE(bank.weight[k], 0.0) << k;
        ASSERT_LE(bank.weight[k], 1.0) << k;
    }
    EXPECT_EQ(last, kMelChannels);
    EXPECT_NEAR(bank.centre[34], bank.melHigh, 1e-9);
}

// Interleaved 16-bit little-endian PCM.
std::vector<std::uint8_t> pcm(const std::vector<std::int16_t>& samples) {
    std::vector<std::uint8_t> bytes(samples.size() * 2);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        bytes[2 * i] = static_cast<std::uint8_t>(samples[i] & 0xFF);
        bytes[2 * i + 1] = static_cast<std::uint8_t>((samples[i] >> 8) & 0xFF);
    }
    return bytes;
}

std::vector<std::int16_t> signal(int rate, double seconds, unsigned seed) {
    std::mt19937 random(seed);
    std::normal_distribution<double> noise(0.0, 2000.0);
    std::vector<std::int16_t> s(static_cast<std::size_t>(rate * seconds));
    for (std::size_t i = 0; i < s.size(); ++i) {
        const double t = double(i) / rate;
        const double v = 8000 * std::sin(2 * std::numbers::pi * (300 + 400 * t) * t) +
                         5000 * std::sin(2 * std::numbers::pi * 1200 * t) * std::sin(3 * t) +
                         noise(random);
        s[i] = static_cast<std::int16_t>(std::clamp(v, -32768.0, 32767.0));
    }
    return s;
}

// Feeds in chunks of `chunk` bytes until done; returns the table.
DnaTable run(int rate, int channels, const std::vector<std::uint8_t>& bytes, std::size_t chunk,
             std::size_t chunkSize = 16384, bool useWorker = true) {
    DnaExtractor x(useWorker);
    EXPECT_TRUE(x.Prepare(rate, channels, 16, chunkSize, "t"));
    for (std::size_t at = 0; at < bytes.size() && !x.done(); at += chunk) {
        x.Feed(bytes.data() + at, std::min(chunk, bytes.size() - at));
    }
    EXPECT_TRUE(x.done());
    x.Finish();
    return x.table();
}

TEST(DnaExtractorTest, SilenceGivesZeroWordsAndIndexesStepByEight) {
    const std::vector<std::int16_t> silence(44100 * 4 * 2, 0);
    const auto table = run(44100, 2, pcm(silence), 3992);
    for (int k = 0; k < 32; ++k) {
        EXPECT_EQ(table[k].dna_index, 8 * k);
        EXPECT_EQ(table[k].fdna, 0);
    }
}

TEST(DnaExtractorTest, ConsumesExactly288HopsOfSamples) {
    const int rate = 44100;
    const std::size_t needed = 288 * 499;  // sample pairs
    const auto stereo = pcm(std::vector<std::int16_t>(2 * needed, 100));
    DnaExtractor x;
    ASSERT_TRUE(x.Prepare(rate, 2, 16, 4 * needed + 64, ""));
    x.Feed(stereo.data(), stereo.size() - 4);  // one pair short
    EXPECT_FALSE(x.done());
    EXPECT_EQ(x.frameCounter(), 256);
    x.Feed(stereo.data(), 4);
    EXPECT_TRUE(x.done());
}

TEST(DnaExtractorTest, WordsDoNotDependOnHowTheAudioIsCut) {
    const auto mono = pcm(signal(22050, 3.5, 1));
    const auto whole = run(22050, 1, mono, mono.size(), mono.size());
    int nonZero = 0;
    for (const auto& e : whole) {
        nonZero += e.fdna != 0;
    }
    EXPECT_GT(nonZero, 16);  // a changing signal sets bits
    for (std::size_t chunk : {2u, 998u, 3992u, 16384u}) {
        const auto table = run(22050, 1, mono, chunk);
        for (int k = 0; k < 32; ++k) {
            ASSERT_EQ(table[k].fdna, whole[k].fdna) << "chunk " << chunk << " word " << k;
        }
    }
    // Chunks far larger than the one it was prepared for, and every frame
    // transformed by Finish instead of the worker thread.
    const auto big = run(22050, 1, mono, 200'000, 3992);
    const auto inFinish = run(22050, 1, mono, 998, 998, false);
    for (int k = 0; k < 32; ++k) {
        ASSERT_EQ(big[k].fdna, whole[k].fdna) << k;
        ASSERT_EQ(inFinish[k].fdna, whole[k].fdna) << k;
    }
}

TEST(DnaExtractorTest, AnAbandonedRunEndsItsWorkerCleanly) {
    const auto stereo = pcm(signal(44100, 7.0, 9));  // taken as 3.5 s of pairs
    const std::size_t half = stereo.size() / 2 / 4 * 4;
    {
        DnaExtractor x;
        ASSERT_TRUE(x.Prepare(44100, 2, 16, 16384, ""));
        x.Feed(stereo.data(), half);
    }  // destroyed in the middle of the run
    DnaExtractor x;
    ASSERT_TRUE(x.Prepare(44100, 2, 16, 16384, ""));
    x.Feed(stereo.data(), half);
    // Prepared again mid-run: a fresh run, the same words as a clean one.
    ASSERT_TRUE(x.Prepare(44100, 2, 16, 16384, ""));
    for (std::size_t at = 0; !x.done(); at += 6) {  // three samples: pairs split
        x.Feed(stereo.data() + at, 6);
    }
    x.Finish();
    const auto clean = run(44100, 2, stereo, 16384);
    for (int k = 0; k < 32; ++k) {
        ASSERT_EQ(x.table()[k].fdna, clean[k].fdna) << k;
    }
}

TEST(DnaExtractorTest, StereoWithIdenticalChannelsEqualsMono) {
    const auto mono = signal(44100, 3.5, 2);
    std::vector<std::int16_t> twin;
    for (auto s : mono) {
        twin.push_back(s);
        twin.push_back(s);
    }
    const auto a = run(44100, 1, pcm(mono), 4096);
    const auto b = run(44100, 2, pcm(twin), 4096);
    for (int k = 0; k < 32; ++k) {
        EXPECT_EQ(a[k].fdna, b[k].fdna) << k;
    }
}

TEST(DnaExtractorTest, StereoIsTheMeanOfBothChannels) {
    const auto left = signal(8000, 4, 3);
    const auto right = signal(8000, 4, 4);
    std::vector<std::int16_t> both;
    std::vector<std::int16_t> mean;
    for (std::size_t i = 0; i < left.size(); ++i) {
        both.push_back(left[i]);
        both.push_back(right[i]);
        // Even sums, so the mean is exact in 16 bits.
        both[both.size() - 1] = static_cast<std::int16_t>(right[i] & ~1);
        both[both.size() - 2] = static_cast<std::int16_t>(left[i] & ~1);
        mean.push_back(static_cast<std::int16_t>(((left[i] & ~1) + (right[i] & ~1)) / 2));
    }
    const auto a = run(8000, 2, pcm(both), 1000);
    const auto b = run(8000, 1, pcm(mean), 1000);
    for (int k = 0; k < 32; ++k) {
        EXPECT_EQ(a[k].fdna, b[k].fdna) << k;
    }
}

TEST(DnaExtractorTest, AHopLargerThanTheChunkStillCompletesTheRun) {
    // 380 kHz stereo: one hop is 8,608 samples, more than a 3,992-byte chunk.
    const int rate = 380'000;
    const std::vector<std::int16_t> silence(2 * 288 * 4304 + 2, 0);
    const auto bytes = pcm(silence);
    DnaExtractor x;
    ASSERT_TRUE(x.Prepare(rate, 2, 16, 3992, ""));
    ASSERT_EQ(x.hop(), 4304);
    for (std::size_t at = 0; at < bytes.size() && !x.done(); at += 3992) {
        x.Feed(bytes.data() + at, std::min<std::size_t>(3992, bytes.size() - at));
    }
    EXPECT_TRUE(x.done());
}

TEST(DnaExtractorTest, RefusesRatesWithoutAWholeSamplePerHop) {
    DnaExtractor x;
    EXPECT_FALSE(x.Prepare(0, 1, 16, 3992, ""));
    EXPECT_FALSE(x.Prepare(88, 1, 16, 3992, ""));
    EXPECT_FALSE(x.Prepare(kMaxSampleRate + 1, 2, 16, 3992, ""));
    EXPECT_FALSE(x.Prepare(44100, 2, 16, 0, ""));
    x.Feed("\1\2\3\4", 4);  // ignored: nothing is prepared
    x.Finish();
    for (const auto& e : x.table()) {
        EXPECT_EQ(e.fdna, 0);
    }
    EXPECT_TRUE(x.Prepare(89, 1, 16, 3992, ""));
    EXPECT_EQ(x.hop(), 1);
}

TEST(DnaExtractorTest, FeedingAllocatesNothing) {
    const auto bytes = pcm(signal(48000, 3.6, 6));
    DnaExtractor x;
    ASSERT_TRUE(x.Prepare(48000, 1, 16, 16384, "x"));
    const long before = allocations.load();
    for (std::size_t at = 0; at < bytes.size() && !x.done(); at += 16384) {
        x.Feed(bytes.data() + at, std::min<std::size_t>(16384, bytes.size() - at));
    }
    x.Finish();
    EXPECT_EQ(allocations.load(), before);
    EXPECT_TRUE(x.done());
}

}  // namespace
}  // namespace quenvara::musicfilter
