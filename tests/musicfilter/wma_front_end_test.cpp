// The WMA front-end against a scripted stand-in of the decoder module, and
// end to end with the real module.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "musicfilter/dna_extractor.h"
#include "musicfilter/wma_front_end.h"
#include "tests/musicfilter/wma_test_support.h"

namespace quenvara::musicfilter {
namespace {

using namespace wmatest;

// What the stand-in answers and what it saw. Function pointers cannot carry
// state, so one script is active at a time.
struct Script {
    std::int32_t handle = 7;
    std::int32_t setParamsResult = 1;
    std::int32_t openResult = 1;
    std::int32_t samplesInitResult = 1;
    std::uint32_t kbps = 128, rate = 44100, channels = 2;
    std::uint16_t tag = 0x0161;
    // Results of successive ReadSamples calls; a full buffer when empty.
    std::vector<std::int32_t> reads;
    bool endless = false;

    std::vector<std::string> calls;
    std::vector<std::int32_t> params;
    const void* openedData = nullptr;
    std::uint64_t openedLength = 0;
    int readsAfterDone = 0;
    int dirtyBuffers = 0;  // reads handed a buffer that was not cleared
    const DnaExtractor* extractor = nullptr;
    std::size_t readIndex = 0;
    long phase = 0;
};
Script* script = nullptr;

std::string withHandle(const char* name, std::int32_t h) {
    return std::string(name) + "(" + std::to_string(h) + ")";
}

const WmaEntryPoints kStandIn = {
    [] {
        script->calls.push_back("Init");
        return script->handle;
    },
    [](std::int32_t h, std::int32_t a, std::int32_t b, std::int32_t c, std::int32_t d,
       std::int32_t e, std::int32_t f) {
        script->calls.push_back(withHandle("SetParams", h));
        script->params = {a, b, c, d, e, f};
        return script->setParamsResult;
    },
    [](std::int32_t h, const void* data, std::uint64_t length) {
        script->calls.push_back(withHandle("OpenMemory", h));
        script->openedData = data;
        script->openedLength = length;
        return script->openResult;
    },
    [](std::int32_t h, void* record) {
        script->calls.push_back(withHandle("GetWaveFormat", h));
        auto* r = static_cast<std::uint8_t*>(record);
        std::memcpy(r, &script->kbps, 4);
        std::memcpy(r + 4, &script->rate, 4);
        std::memcpy(r + 8, &script->channels, 4);
        std::memcpy(r + 12, &script->tag, 2);
    },
    [](std::int32_t h) {
        script->calls.push_back(withHandle("ReadSamplesInit", h));
        return script->samplesInitResult;
    },
    [](std::int32_t h, void* buffer) -> std::int32_t {
        script->calls.push_back(withHandle("ReadSamples", h));
        auto* bytes = static_cast<std::uint8_t*>(buffer);
        script->readsAfterDone += script->extractor->done();
        script->dirtyBuffers += std::any_of(bytes, bytes + QUENVARA_WMA_SAMPLE_BUFFER,
                                            [](std::uint8_t b) { return b != 0; });
        std::int32_t n = QUENVARA_WMA_SAMPLE_BUFFER;
        if (script->readIndex < script->reads.size()) {
            n = script->reads[script->readIndex++];
        } else if (!script->endless) {
            n = 0;
        }
        // A changing tone, so the words are not trivial; a claim larger than
        // the buffer writes nothing.
        if (n > 0 && n <= QUENVARA_WMA_SAMPLE_BUFFER) {
            auto* samples = static_cast<std::int16_t*>(buffer);
            for (std::int32_t i = 0; i < n / 2; ++i, ++script->phase) {
                const double t = static_cast<double>(script->phase / 2) / 44100.0;
                samples[i] = static_cast<std::int16_t>(8000 * std::sin(2000 * t * (1 + t)));
            }
        }
        return n;
    },
    [](std::int32_t h) { script->calls.push_back(withHandle("Close", h)); },
    [](std::int32_t h) { script->calls.push_back(withHandle("Release", h)); },
    [](std::int32_t h) {
        script->calls.push_back(withHandle("GetTotalPlayTime", h));
        return 0;
    },
};

class WmaFrontEnd : public ::testing::Test {
  protected:
    WmaFrontEnd() {
        script = &s;
        s.extractor = &x;
    }
    ~WmaFrontEnd() override { script = nullptr; }

    FrontEndResult run(int startSecond = 60) {
        return decodeWma(kStandIn, FileBytes(file), startSecond, x, [this] { ++pumps; });
    }
    int count(const std::string& call) const {
        return static_cast<int>(std::count(s.calls.begin(), s.calls.end(), call));
    }

    Script s;
    DnaExtractor x;
    Bytes file = Bytes(1234, 0x42);
    int pumps = 0;
};

TEST_F(WmaFrontEnd, FullRunCallsTheModuleInOrderAndStopsWhenDone) {
    s.endless = true;
    EXPECT_EQ(run(), FrontEndResult::Done);
    EXPECT_EQ(s.params, (std::vector<std::int32_t>{60000, 64000, 0, 1, 0, 0}));
    EXPECT_EQ(s.openedData, file.data());
    EXPECT_EQ(s.openedLength, file.size());
    const int reads = count("ReadSamples(7)");
    ASSERT_GT(reads, 0);
    std::vector<std::string> expected = {"Init", "SetParams(7)", "OpenMemory(7)",
                                         "GetWaveFormat(7)", "ReadSamplesInit(7)"};
    expected.insert(expected.end(), static_cast<std::size_t>(reads), "ReadSamples(7)");
    expected.insert(expected.end(), {"Close(7)", "Release(7)"});
    EXPECT_EQ(s.calls, expected);

    EXPECT_TRUE(x.done());
    EXPECT_EQ(s.readsAfterDone, 0);
    EXPECT_EQ(s.dirtyBuffers, 0);
    EXPECT_EQ(pumps, reads);
    EXPECT_EQ(x.bitRateText(), "128");
    EXPECT_EQ(x.hop(), 499) << "44,100 Hz from the record";
    EXPECT_EQ(x.table()[31].dna_index, 248) << "finished";
}

TEST_F(WmaFrontEnd, FailedInitStillClosesAndReleases) {
    for (const std::int32_t bad : {0, -3}) {
        s.calls.clear();
        s.handle = bad;
        EXPECT_EQ(run(), FrontEndResult::Failed);
        const std::string h = std::to_string(bad);
        EXPECT_EQ(s.calls,
                  (std::vector<std::string>{"Init", "Close(" + h + ")", "Release(" + h + ")"}));
        EXPECT_FALSE(x.prepared());
    }
}

TEST_F(WmaFrontEnd, EachFailingStepEndsTheRunAndClosesTheHandle) {
    struct Case {
        const char* name;
        std::int32_t Script::*result;
        const char* lastCall;
    };
    for (const Case c :
         {Case{"SetParams", &Script::setParamsResult, "SetParams(7)"},
          Case{"OpenMemory", &Script::openResult, "OpenMemory(7)"},
          Case{"ReadSamplesInit", &Script::samplesInitResult, "ReadSamplesInit(7)"}}) {
        Script fresh;
        fresh.extractor = &x;
        s = fresh;
        s.*c.result = 0;
        EXPECT_EQ(run(), FrontEndResult::Failed) << c.name;
        ASSERT_GE(s.calls.size(), 3u);
        EXPECT_EQ(s.calls[s.calls.size() - 3], c.lastCall) << c.name;
        EXPECT_EQ(s.calls[s.calls.size() - 2], "Close(7)") << c.name;
        EXPECT_EQ(s.calls.back(), "Release(7)") << c.name;
        EXPECT_EQ(count("ReadSamples(7)"), 0) << c.name;
        EXPECT_EQ(x.table()[1].dna_index, 0) << c.name << ": not finished";
    }
}

TEST_F(WmaFrontEnd, OtherStreamKindIsUnsupportedWithoutReadingSamples) {
    s.tag = 0x0160;
    EXPECT_EQ(run(), FrontEndResult::Unsupported);
    EXPECT_EQ(s.calls, (std::vector<std::string>{"Init", "SetParams(7)", "OpenMemory(7)",
                                                 "GetWaveFormat(7)", "Close(7)", "Release(7)"}));
    EXPECT_FALSE(x.prepared());
}

TEST_F(WmaFrontEnd, EarlyEndOfSamplesStillFinishesWithLaterWordsZero) {
    s.reads = {QUENVARA_WMA_SAMPLE_BUFFER, 40000};
    EXPECT_EQ(run(), FrontEndResult::Done);
    EXPECT_EQ(count("ReadSamples(7)"), 3);
    EXPECT_FALSE(x.done());
    const int reached = x.frameCounter();
    ASSERT_LT(reached, kLastFrame);
    for (int k = 0; k < kDnaWords; ++k) {
        EXPECT_EQ(x.table()[k].dna_index, 8 * k);
        if (8 * k + 1 >= reached) {
            EXPECT_EQ(x.table()[k].fdna, 0) << "word " << k << " was never reached";
        }
    }

    // A module error (-1) ends the run the same way.
    Script fresh;
    fresh.extractor = &x;
    s = fresh;
    s.reads = {-1};
    EXPECT_EQ(run(), FrontEndResult::Done);
}

TEST_F(WmaFrontEnd, LengthLargerThanTheBufferIsAFailure) {
    s.reads = {QUENVARA_WMA_SAMPLE_BUFFER, QUENVARA_WMA_SAMPLE_BUFFER + 2};
    EXPECT_EQ(run(), FrontEndResult::Failed);
    EXPECT_EQ(count("ReadSamples(7)"), 2);
    EXPECT_EQ(s.calls.back(), "Release(7)");
    EXPECT_EQ(x.table()[1].dna_index, 0) << "not finished";
}

// The real module by path, on the generated files.
TEST(WmaFrontEndEndToEnd, VersionTwoGivesAFingerprintVersionOneIsUnsupported) {
    WmaBinding binding(WMA_MODULE);
    ASSERT_EQ(binding.bind(false), 1);
    const Bytes v2 = fixture("wmav2.wma");
    const Bytes v1 = fixture("wmav1.wma");
    ASSERT_FALSE(v2.empty());
    ASSERT_FALSE(v1.empty());

    DnaExtractor x;
    int pumps = 0;
    EXPECT_EQ(decodeWma(*binding.entryPoints(), FileBytes(v2), 60, x, [&] { ++pumps; }),
              FrontEndResult::Done);
    EXPECT_TRUE(x.done());
    EXPECT_EQ(x.bitRateText(), "128");
    EXPECT_GT(pumps, 0);
    int nonZero = 0;
    for (const auto& e : x.table()) {
        nonZero += e.fdna != 0;
    }
    EXPECT_GT(nonZero, 16);

    DnaExtractor y;
    EXPECT_EQ(decodeWma(*binding.entryPoints(), FileBytes(v1), 60, y, {}),
              FrontEndResult::Unsupported);
    EXPECT_FALSE(y.prepared());
}

}  // namespace
}  // namespace quenvara::musicfilter
