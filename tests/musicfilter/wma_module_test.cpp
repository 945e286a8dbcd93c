// libQuenvaraMFWma.so itself, loaded from the build tree, on generated WMA
// files.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <random>
#include <set>
#include <thread>

#include "musicfilter/wma_binding.h"
#include "tests/musicfilter/wma_test_support.h"

namespace quenvara::musicfilter {
namespace {

using namespace wmatest;

constexpr int kRate = 44100;
constexpr std::size_t kGuard = 64;
constexpr long kCodecFrame = 2048;  // samples per WMA frame at 44.1 kHz
constexpr long kSearch = 3000;

class WmaModule : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        binding_ = new WmaBinding(WMA_MODULE);
        ASSERT_EQ(binding_->bind(false), 1);
    }
    static void TearDownTestSuite() {
        delete binding_;
        binding_ = nullptr;
    }
    const WmaEntryPoints& m() const { return *binding_->entryPoints(); }

    struct Record {
        std::uint32_t kbps, rate, channels;
        std::uint16_t tag;
        std::array<std::uint8_t, 2> tail;
    };
    Record waveFormat(std::int32_t h) const {
        std::array<std::uint8_t, QUENVARA_WMA_FORMAT_RECORD> raw;
        raw.fill(0xEE);
        m().getWaveFormat(h, raw.data());
        Record r{};
        std::memcpy(&r.kbps, &raw[0], 4);
        std::memcpy(&r.rate, &raw[4], 4);
        std::memcpy(&r.channels, &raw[8], 4);
        std::memcpy(&r.tag, &raw[12], 2);
        r.tail = {raw[14], raw[15]};
        return r;
    }

    struct Excerpt {
        std::vector<std::int16_t> pcm;
        std::vector<std::int32_t> reads;  // every result, the final one included
        bool overran = false;             // wrote past the buffer
    };
    // The whole excerpt, read the way the front-end reads it.
    Excerpt decode(const Bytes& file, std::int32_t startMs, std::int32_t endMs) const {
        Excerpt e;
        const std::int32_t h = m().init();
        EXPECT_GT(h, 0);
        EXPECT_NE(m().setParams(h, startMs, endMs, 0, 1, 0, 0), 0);
        EXPECT_NE(m().openMemory(h, file.data(), file.size()), 0);
        EXPECT_NE(m().readSamplesInit(h), 0);
        std::vector<std::uint8_t> buffer(QUENVARA_WMA_SAMPLE_BUFFER + kGuard);
        for (;;) {
            std::fill(buffer.begin(), buffer.end(), 0xA5);
            const std::int32_t n = m().readSamples(h, buffer.data());
            e.reads.push_back(n);
            e.overran |= std::any_of(buffer.end() - kGuard, buffer.end(),
                                     [](std::uint8_t b) { return b != 0xA5; });
            if (n <= 0 || n > QUENVARA_WMA_SAMPLE_BUFFER || e.reads.size() > 10'000) {
                break;
            }
            const std::size_t at = e.pcm.size();
            e.pcm.resize(at + static_cast<std::size_t>(n) / 2);
            std::memcpy(&e.pcm[at], buffer.data(), static_cast<std::size_t>(n));
        }
        m().close(h);
        m().release(h);
        return e;
    }

    static WmaBinding* binding_;
};

WmaBinding* WmaModule::binding_ = nullptr;

TEST_F(WmaModule, WaveFormatRecordOfBothVersions) {
    const Bytes v2 = fixture("wmav2.wma");
    const Bytes v1 = fixture("wmav1.wma");
    ASSERT_FALSE(v2.empty());
    ASSERT_FALSE(v1.empty());
    for (const auto& [file, tag] : {std::pair{&v2, 0x0161}, std::pair{&v1, 0x0160}}) {
        const std::int32_t h = m().init();
        ASSERT_GT(h, 0);
        ASSERT_NE(m().openMemory(h, file->data(), file->size()), 0);
        const Record r = waveFormat(h);
        EXPECT_EQ(r.tag, tag);
        EXPECT_EQ(r.kbps, 128u);
        EXPECT_EQ(r.rate, 44100u);
        EXPECT_EQ(r.channels, 2u);
        EXPECT_EQ(r.tail, (std::array<std::uint8_t, 2>{0xEE, 0xEE})) << "bytes 14-15 are not ours";
        EXPECT_NEAR(m().getTotalPlayTime(h), 70000, 100);
        m().close(h);
        m().release(h);
    }
}

TEST_F(WmaModule, ExcerptIsExactlyTheRangeAndEachCallFitsTheBuffer) {
    const Excerpt e = decode(fixture("wmav2.wma"), 60000, 64000);
    EXPECT_EQ(e.pcm.size(), 4u * kRate * 2);
    EXPECT_FALSE(e.overran);
    ASSERT_GE(e.reads.size(), 2u);
    EXPECT_EQ(e.reads.back(), 0);
    for (std::size_t i = 0; i + 1 < e.reads.size(); ++i) {
        EXPECT_GT(e.reads[i], 0);
        EXPECT_LE(e.reads[i], QUENVARA_WMA_SAMPLE_BUFFER);
        EXPECT_EQ(e.reads[i] % 4, 0) << "whole stereo frames only";
    }
}

// Lossy, so the source is matched by correlation. The encoder stamps each
// packet one codec frame after its content, so the excerpt sits exactly
// that far before the source's same time, wherever it starts; a wrong seek
// or cut shifts it.
TEST_F(WmaModule, ExcerptMatchesTheSourceAtTheSameTime) {
    const Bytes wav = fixture("stereo44k.wav");
    const Bytes file = fixture("wmav2.wma");
    std::vector<long> offsets;
    for (const int startMs : {60000, 33333, 1000}) {
        Excerpt e = decode(file, startMs, startMs + 4000);
        ASSERT_EQ(e.pcm.size(), 4u * kRate * 2) << startMs;
        e.pcm.resize(kRate);  // the first half second is plenty to place it
        const std::size_t from = static_cast<std::size_t>(startMs) * kRate / 1000 - kSearch;
        const auto source = wavSamples(wav, 2, from, kRate / 2 + 2 * kSearch);
        ASSERT_FALSE(source.empty());
        const Match best = bestMatch(e.pcm, source, 2, 0, 2 * kSearch);
        EXPECT_GT(best.correlation, 0.99) << startMs;
        offsets.push_back(best.offset - kSearch);
    }
    EXPECT_EQ(offsets, std::vector<long>(offsets.size(), -kCodecFrame));
}

// Two excerpts reached through different seeks agree sample for sample.
TEST_F(WmaModule, InnerExcerptLinesUpWithTheOuterOne) {
    const Bytes file = fixture("wmav2.wma");
    const Excerpt outer = decode(file, 60000, 64000);
    const Excerpt inner = decode(file, 62000, 63000);
    ASSERT_EQ(inner.pcm.size(), 1u * kRate * 2);
    ASSERT_EQ(outer.pcm.size(), 4u * kRate * 2);
    const Match best = bestMatch(inner.pcm, outer.pcm, 2, 2 * kRate - 50, 2 * kRate + 50);
    EXPECT_EQ(best.offset, 2 * kRate);
    EXPECT_GT(best.correlation, 0.99);
}

// Handles are independent: two threads decoding at once get what one
// thread gets alone.
TEST_F(WmaModule, ConcurrentHandlesDecodeIndependently) {
    const Bytes file = fixture("wmav2.wma");
    const Excerpt alone = decode(file, 60000, 64000);
    Excerpt a, b;
    std::thread other([&] { a = decode(file, 60000, 64000); });
    b = decode(file, 60000, 64000);
    other.join();
    EXPECT_TRUE(a.pcm == alone.pcm);
    EXPECT_TRUE(b.pcm == alone.pcm);
}

TEST_F(WmaModule, ShortOrCutStreamsEndEarly) {
    const Bytes file = fixture("wmav2.wma");
    const Excerpt tail = decode(file, 68000, 72000);
    EXPECT_EQ(tail.reads.back(), 0);
    EXPECT_GT(tail.pcm.size(), 1u * kRate * 2);
    EXPECT_LT(tail.pcm.size(), 3u * kRate * 2);

    // The header and a piece of the first packet: it opens, but nothing
    // comes out.
    const Excerpt none = decode(Bytes(file.begin(), file.begin() + 1000), 0, 4000);
    EXPECT_EQ(none.reads, std::vector<std::int32_t>{0});

    // Cut in the middle of the excerpt: what is there comes out, then 0.
    const Bytes cut(file.begin(), file.begin() + static_cast<long>(file.size() * 62 / 70));
    const Excerpt e = decode(cut, 60000, 64000);
    EXPECT_EQ(e.reads.back(), 0);
    EXPECT_GT(e.pcm.size(), 1u * kRate * 2);
    EXPECT_LT(e.pcm.size(), 3u * kRate * 2);
}

TEST_F(WmaModule, DamagedOrForeignDataDoesNotOpen) {
    const Bytes file = fixture("wmav2.wma");
    std::mt19937 random(7);
    Bytes garbage(200000);
    for (auto& b : garbage) {
        b = static_cast<std::uint8_t>(random());
    }
    const Bytes guidOnly(file.begin(), file.begin() + 16);
    const Bytes cutHeader(file.begin(), file.begin() + 300);  // the header is 494 bytes
    Bytes garbledHeader = garbage;                            // a right start, then noise
    std::copy(file.begin(), file.begin() + 30, garbledHeader.begin());
    const Bytes wav = fixture("stereo44k.wav");
    for (const Bytes* bad : std::initializer_list<const Bytes*>{&garbage, &guidOnly, &cutHeader,
                                                                &garbledHeader, &wav}) {
        const std::int32_t h = m().init();
        ASSERT_GT(h, 0);
        EXPECT_EQ(m().openMemory(h, bad->data(), bad->size()), 0);
        EXPECT_EQ(m().readSamplesInit(h), 0);
        std::vector<std::uint8_t> buffer(QUENVARA_WMA_SAMPLE_BUFFER);
        EXPECT_EQ(m().readSamples(h, buffer.data()), -1);
        m().close(h);
        m().release(h);
    }
    const std::int32_t h = m().init();
    EXPECT_EQ(m().openMemory(h, nullptr, 100), 0);
    EXPECT_EQ(m().openMemory(h, file.data(), 0), 0);
    m().release(h);
}

// The stream opens, so its tag can be read, but nothing decodes it.
TEST_F(WmaModule, UnknownCodecOpensButDoesNotDecode) {
    Bytes file = fixture("wmav2.wma");
    // The stream's wave format: tag 0x0161, 2 channels, 44,100 Hz.
    const std::array<std::uint8_t, 8> format = {0x61, 0x01, 0x02, 0x00, 0x44, 0xAC, 0x00, 0x00};
    const auto at = std::search(file.begin(), file.end(), format.begin(), format.end());
    ASSERT_NE(at, file.end());
    at[0] = 0x34;
    at[1] = 0x12;
    const std::int32_t h = m().init();
    ASSERT_NE(m().openMemory(h, file.data(), file.size()), 0);
    EXPECT_EQ(waveFormat(h).tag, 0x1234);
    EXPECT_EQ(m().readSamplesInit(h), 0);
    m().close(h);
    m().release(h);
}

TEST_F(WmaModule, HandlesAreCheckedAndReused) {
    std::vector<std::uint8_t> buffer(QUENVARA_WMA_SAMPLE_BUFFER);
    for (const std::int32_t unknown : {0, -1, 9999}) {
        EXPECT_EQ(m().setParams(unknown, 0, 1000, 0, 1, 0, 0), 0);
        EXPECT_EQ(m().readSamples(unknown, buffer.data()), -1);
        m().close(unknown);
        m().release(unknown);
    }
    std::vector<std::int32_t> handles;
    for (std::int32_t h; (h = m().init()) > 0 && handles.size() < 1000;) {
        handles.push_back(h);
    }
    ASSERT_FALSE(handles.empty());
    ASSERT_LT(handles.size(), 1000u);
    EXPECT_EQ(std::set<std::int32_t>(handles.begin(), handles.end()).size(), handles.size());
    EXPECT_EQ(m().init(), 0) << "the table is full";
    m().release(handles[0]);
    EXPECT_EQ(m().readSamples(handles[0], buffer.data()), -1) << "released";
    const std::int32_t again = m().init();
    EXPECT_EQ(again, handles[0]);
    for (const std::int32_t h : handles) {
        m().release(h);
    }
    // Reading before the decoder is positioned, and a range that is empty.
    const std::int32_t h = m().init();
    EXPECT_EQ(m().setParams(h, 5000, 5000, 0, 1, 0, 0), 0);
    EXPECT_EQ(m().setParams(h, -1, 5000, 0, 1, 0, 0), 0);
    EXPECT_EQ(m().readSamples(h, buffer.data()), -1);
    m().release(h);
}

}  // namespace
}  // namespace quenvara::musicfilter
