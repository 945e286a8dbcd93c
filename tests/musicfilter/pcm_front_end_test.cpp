// The WAV and Ogg front-ends on generated audio files.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>

#include "common/byte_order.h"
#include "musicfilter/dna_extractor.h"
#include "musicfilter/ogg_front_end.h"
#include "musicfilter/wav_front_end.h"
#include "tests/support/audio_fixture.h"

namespace quenvara::musicfilter {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes fixture(const std::string& name) {
    return testing::audioFixture(name);
}

struct Run {
    FrontEndResult result;
    DnaTable table;
    std::string text;
    int chunks = 0;
};

template <class Decode>
Run run(Decode decode, const Bytes& file, int start = 60) {
    DnaExtractor x;
    Run r{};
    r.result = decode(FileBytes(file), start, x, [&] { ++r.chunks; });
    r.table = x.table();
    r.text = x.bitRateText();
    return r;
}

int nonZeroWords(const DnaTable& t) {
    int n = 0;
    for (const auto& e : t) {
        n += e.fdna != 0;
    }
    return n;
}

void put32(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
    }
}

// A minimal WAV: RIFF, the given chunks in order.
Bytes wave(std::initializer_list<std::pair<std::string, Bytes>> chunks) {
    Bytes out = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'};
    for (const auto& [code, body] : chunks) {
        out.insert(out.end(), code.begin(), code.end());
        out.resize(out.size() + 4);
        put32(out, out.size() - 4, static_cast<std::uint32_t>(body.size()));
        out.insert(out.end(), body.begin(), body.end());
        if (body.size() % 2 != 0) {
            out.push_back(0);
        }
    }
    put32(out, 4, static_cast<std::uint32_t>(out.size() - 8));
    return out;
}

// A "fmt " body: the 16-byte record, cut or padded to `length`.
Bytes format(std::uint16_t channels, std::uint32_t rate, std::uint16_t blockAlign,
             std::size_t length = 16) {
    Bytes f(16, 0);
    f[0] = 1;
    f[2] = static_cast<std::uint8_t>(channels);
    put32(f, 4, rate);
    put32(f, 8, rate * blockAlign);
    f[12] = static_cast<std::uint8_t>(blockAlign);
    f[14] = 16;
    f.resize(length, 0);
    return f;
}

TEST(RiffWaveTest, FindsFormatAndDataAroundOtherChunks) {
    std::string error;
    // A LIST chunk of odd size before "fmt ", a longer "fmt ", a "fact" chunk.
    const auto file = wave({{"LIST", Bytes(5, 'x')},
                            {"fmt ", format(2, 44100, 4, 18)},
                            {"fact", Bytes(4, 0)},
                            {"data", Bytes(100, 1)}});
    const auto layout = parseWave(file, error);
    ASSERT_TRUE(layout) << error;
    EXPECT_EQ(layout->channels, 2);
    EXPECT_EQ(layout->sampleRate, 44100u);
    EXPECT_EQ(layout->blockAlign, 4);
    EXPECT_EQ(layout->dataSize, 100u);
    EXPECT_EQ(file[layout->dataOffset], 1);
    EXPECT_EQ(layout->dataOffset, file.size() - 100);
}

TEST(RiffWaveTest, RefusesBrokenFilesWithAReason) {
    std::string error;
    EXPECT_FALSE(parseWave(Bytes{}, error));
    EXPECT_FALSE(parseWave(Bytes{'R', 'I', 'F', 'F'}, error));
    EXPECT_EQ(error, "no RIFF chunk of form WAVE");
    auto notWave = wave({{"fmt ", format(1, 8000, 2)}, {"data", Bytes(8)}});
    notWave[8] = 'A';
    EXPECT_FALSE(parseWave(notWave, error));
    // "data" before "fmt " is not found after it.
    EXPECT_FALSE(parseWave(wave({{"data", Bytes(8)}, {"fmt ", format(1, 8000, 2)}}), error));
    EXPECT_EQ(error, "no \"data\" chunk after the \"fmt \" chunk");
    EXPECT_FALSE(parseWave(wave({{"fmt ", format(1, 8000, 2, 14)}, {"data", Bytes(8)}}), error));
    // A chunk whose size runs far past the file ends the walk.
    auto huge = wave({{"LIST", Bytes(4)}, {"fmt ", format(1, 8000, 2)}, {"data", Bytes(8)}});
    put32(huge, 16, 0xFFFFFFF0u);
    EXPECT_FALSE(parseWave(huge, error));
    EXPECT_EQ(error, "no \"fmt \" chunk");
    auto longFmt = wave({{"fmt ", format(1, 8000, 2)}, {"data", Bytes(8)}});
    put32(longFmt, 16, 0x7FFFFFFFu);
    EXPECT_FALSE(parseWave(longFmt, error));
}

TEST(RiffWaveTest, CutsADataChunkLongerThanTheFile) {
    std::string error;
    auto file = wave({{"fmt ", format(1, 8000, 2)}, {"data", Bytes(10)}});
    put32(file, file.size() - 14, 0xFFFFFFFFu);  // a recording that never closed its header
    put32(file, 4, 0xFFFFFFFFu);
    const auto layout = parseWave(file, error);
    ASSERT_TRUE(layout) << error;
    EXPECT_EQ(layout->dataSize, 10u);
}

TEST(WavFrontEndTest, ReadSizeOffsetAndBitRateOf44kStereo) {
    const auto file = fixture("stereo44k.wav");
    std::string error;
    const auto layout = parseWave(file, error);
    ASSERT_TRUE(layout) << error;
    EXPECT_EQ(layout->dataOffset, 44u);
    const auto plan = planWav(*layout, 60);
    ASSERT_TRUE(plan);
    EXPECT_EQ(plan->readSize, 1996u);
    EXPECT_EQ(plan->startOffset, 10'584'000u);  // from the start of the file, header included
    EXPECT_EQ(plan->chunkBytes, 3992u);
    EXPECT_EQ(plan->bitRateText, "1411");

    const auto r = run(decodeWav, file);
    EXPECT_EQ(r.result, FrontEndResult::Done);
    EXPECT_EQ(r.text, "1411");
    EXPECT_GT(nonZeroWords(r.table), 10);
    // One chunk per hop: 31 warm-up hops and 257 frames.
    EXPECT_EQ(r.chunks, 288);
}

TEST(WavFrontEndTest, TheExcerptStartsAtTheFileBytePosition) {
    auto file = fixture("silence44k.wav");
    const auto silent = run(decodeWav, file);
    ASSERT_EQ(silent.result, FrontEndResult::Done);
    EXPECT_EQ(nonZeroWords(silent.table), 0);
    std::mt19937 random(1);
    auto noise = [&](std::size_t from, std::size_t to) {
        for (std::size_t i = from; i < to; ++i) {
            file[i] = static_cast<std::uint8_t>(random());
        }
    };
    noise(10'584'000 - 4000, 10'584'000);  // just before: not part of the excerpt
    EXPECT_EQ(nonZeroWords(run(decodeWav, file).table), 0);
    noise(10'584'000, 10'584'000 + 1996);  // the first hop: in frame 0, not in frame 1
    const auto r = run(decodeWav, file);
    EXPECT_NE(r.table[0].fdna, 0);
    EXPECT_EQ(nonZeroWords(r.table), 1);
}

TEST(WavFrontEndTest, IdenticalChannelsGiveTheMonoWordsFromTheSamePosition) {
    const auto monoFile = fixture("mono22k.wav");
    const auto twin = run(decodeWav, fixture("twin22k.wav"));
    const auto mono = run(decodeWav, monoFile);
    ASSERT_EQ(mono.result, FrontEndResult::Done);
    ASSERT_EQ(twin.result, FrontEndResult::Done);
    EXPECT_EQ(mono.text, "352");
    EXPECT_EQ(twin.text, "705");
    // Both start at byte 60 * rate * block align of the file, so the 44-byte
    // header moves the stereo excerpt by 11 sample pairs, the mono one by 22
    // samples. Fed from the stereo file's position, the mono words match.
    const std::size_t pair = (60u * 22050 * 4 - 44) / 4;
    DnaExtractor x;
    ASSERT_TRUE(x.Prepare(22050, 1, 16, 3992, ""));
    for (std::size_t at = 44 + 2 * pair; !x.done(); at += 498) {
        x.Feed(monoFile.data() + at, 498);
    }
    x.Finish();
    for (int k = 0; k < 32; ++k) {
        EXPECT_EQ(mono.table[k].dna_index, 8 * k);
        EXPECT_EQ(x.table()[k].fdna, twin.table[k].fdna) << k;
    }
}

TEST(WavFrontEndTest, LowAndHighRates) {
    const auto low = run(decodeWav, fixture("mono8k.wav"));
    EXPECT_EQ(low.result, FrontEndResult::Done);
    EXPECT_EQ(low.text, "128");
    // 96 kHz stereo reads 4,348 bytes per hop: a larger buffer, no overrun.
    const auto file = fixture("stereo96k.wav");
    std::string error;
    const auto plan = planWav(*parseWave(file, error), 60);
    ASSERT_TRUE(plan);
    EXPECT_EQ(plan->readSize, 4348u);
    EXPECT_EQ(plan->chunkBytes, 4348u);
    const auto high = run(decodeWav, file);
    EXPECT_EQ(high.result, FrontEndResult::Done);
    EXPECT_GT(nonZeroWords(high.table), 10);
}

TEST(WavFrontEndTest, FailsWhenTheAudioEndsEarlyOrTheFormatIsUnusable) {
    auto file = fixture("stereo44k.wav");
    file.resize(44 + 63 * 44100 * 4);  // 63 s: the excerpt needs about 63.3
    EXPECT_EQ(run(decodeWav, file).result, FrontEndResult::Failed);
    file.resize(44 + 50 * 44100 * 4);
    EXPECT_EQ(run(decodeWav, file).result, FrontEndResult::Failed);
    EXPECT_EQ(run(decodeWav, Bytes(1000, 0)).result, FrontEndResult::Failed);
    EXPECT_EQ(run(decodeWav, wave({{"fmt ", format(0, 44100, 4)}, {"data", Bytes(8000)}})).result,
              FrontEndResult::Failed);  // no channels
    EXPECT_EQ(run(decodeWav, wave({{"fmt ", format(1, 44100, 2)}, {"data", {}}})).result,
              FrontEndResult::Failed);  // nothing to read
    EXPECT_EQ(run(decodeWav, wave({{"fmt ", format(1, 50, 2)}, {"data", Bytes(8000)}}), 0).result,
              FrontEndResult::Failed);  // no whole sample per hop
}

TEST(OggFrontEndTest, NominalBitRateTexts) {
    const auto r160 = run(decodeOgg, fixture("nominal160.ogg"));
    EXPECT_EQ(r160.result, FrontEndResult::Done);
    EXPECT_EQ(r160.text, "160");
    EXPECT_GT(nonZeroWords(r160.table), 10);
    const auto r0 = run(decodeOgg, fixture("nominal0.ogg"));
    EXPECT_EQ(r0.result, FrontEndResult::Done);
    EXPECT_EQ(r0.text, "0");
    // The same audio, only the header field differs.
    for (int k = 0; k < 32; ++k) {
        EXPECT_EQ(r0.table[k].fdna, r160.table[k].fdna);
    }
    EXPECT_EQ(run(decodeOgg, fixture("mono8k.ogg")).result, FrontEndResult::Done);
}

TEST(OggFrontEndTest, TheOggWordsFollowTheWavWords) {
    // Lossy coding changes some bits, not most.
    const auto wav = run(decodeWav, fixture("stereo44k.wav"));
    const auto ogg = run(decodeOgg, fixture("nominal160.ogg"));
    int same = 0;
    for (int k = 0; k < 32; ++k) {
        same +=
            32 - std::popcount(static_cast<std::uint32_t>(wav.table[k].fdna ^ ogg.table[k].fdna));
    }
    EXPECT_GT(same, 32 * 32 * 3 / 4);
}

TEST(OggFrontEndTest, ChainedShortAndBrokenStreamsFail) {
    // The second stream begins at 61.5 s, inside the excerpt.
    EXPECT_EQ(run(decodeOgg, fixture("chained.ogg")).result, FrontEndResult::Failed);
    auto cut = fixture("nominal160.ogg");
    cut.resize(cut.size() / 2);  // about 35 s
    EXPECT_EQ(run(decodeOgg, cut).result, FrontEndResult::Failed);
    EXPECT_EQ(run(decodeOgg, Bytes(5000, 0x4F)).result, FrontEndResult::Failed);
    EXPECT_EQ(run(decodeOgg, Bytes{}).result, FrontEndResult::Failed);
}

TEST(OggFrontEndTest, MemoryCallbacks) {
    const Bytes data = {1, 2, 3, 4, 5};
    OggSource s{data.data(), data.size(), 0};
    std::uint8_t out[8] = {};
    EXPECT_EQ(oggRead(out, 2, 2, &s), 4u);
    EXPECT_EQ(oggTell(&s), 4);
    EXPECT_EQ(oggRead(out, 1, 8, &s), 1u);
    EXPECT_EQ(out[0], 5);
    EXPECT_EQ(oggRead(out, 1, 8, &s), 0u);
    EXPECT_EQ(oggRead(out, SIZE_MAX, 3, &s), 0u);  // never an overflowing product
    EXPECT_EQ(oggSeek(&s, 99, SEEK_SET), 0);
    EXPECT_EQ(oggTell(&s), 5);
    EXPECT_EQ(oggSeek(&s, 1, SEEK_SET), 0);
    EXPECT_EQ(oggSeek(&s, 2, SEEK_CUR), 0);
    EXPECT_EQ(oggTell(&s), 3);
    EXPECT_EQ(oggSeek(&s, 10, SEEK_CUR), 0);
    EXPECT_EQ(oggTell(&s), 5);
    EXPECT_EQ(oggSeek(&s, -10, SEEK_CUR), 0);
    EXPECT_EQ(oggTell(&s), 0);
    EXPECT_EQ(oggSeek(&s, -3, SEEK_END), 0);
    EXPECT_EQ(oggTell(&s), 5);
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(oggSeek(&s, 0, 7), 0);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "*** ERROR *** Unknown seek command in VorbisSeek\n");
    EXPECT_EQ(oggClose(&s), 1);
}

}  // namespace
}  // namespace quenvara::musicfilter
