// The MPEG stream logic on hand-made frames, and the MP3 front-end on
// generated files checked against libmpg123 decoding them whole.
#include <gtest/gtest.h>
#include <mpg123.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "musicfilter/dna_extractor.h"
#include "musicfilter/mp3_front_end.h"
#include "musicfilter/mpeg_stream.h"
#include "tests/support/audio_fixture.h"

namespace quenvara::musicfilter {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes fixture(const std::string& name) {
    return testing::audioFixture(name);
}

// Header bytes 2-4 of frames used below (byte 1 is 0xFF).
struct Head {
    std::uint8_t b1, b2, b3;
};
constexpr Head kStereo128{0xFB, 0x90, 0x44};  // MPEG-1 III 128k 44.1 kHz joint stereo: 417 bytes
constexpr Head kStereo48k{0xFB, 0x94, 0x44};  // the same at 48 kHz
constexpr Head kMono128{0xFB, 0x90, 0xC4};    // the same, mono
constexpr Head kMpeg2Mono{0xF3, 0x80, 0xC4};  // MPEG-2 III 64k 22.05 kHz mono: 208 bytes

void put(Bytes& out, std::size_t at, Head h) {
    const std::uint8_t b[4] = {0xFF, h.b1, h.b2, h.b3};
    std::copy_n(b, 4, out.begin() + static_cast<std::ptrdiff_t>(at));
}

// Frames of zeros behind their headers.
void appendFrames(Bytes& out, Head h, int n = 1) {
    const std::uint8_t b[4] = {0xFF, h.b1, h.b2, h.b3};
    for (int i = 0; i < n; ++i) {
        const std::size_t at = out.size();
        out.resize(at + decodeFrameHeader(b)->frameLength, 0);
        put(out, at, h);
    }
}

void putBig32(Bytes& out, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        out[at + i] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
    }
}

// An ID3v2 tag of `length` bytes in all, its body full of sync-like bytes.
Bytes id3Tag(std::size_t length) {
    Bytes tag = {'I', 'D', '3', 3, 0, 0};
    for (int shift = 21; shift >= 0; shift -= 7) {
        tag.push_back(static_cast<std::uint8_t>(((length - 10) >> shift) & 0x7F));
    }
    for (std::size_t i = 10; i < length; ++i) {
        tag.push_back(i % 417 == 0 ? 0xFF : (i % 417 == 1 ? 0xFB : 0x11));
    }
    return tag;
}

std::optional<MpegStreamInfo> openInfo(const Bytes& data) {
    MpegStream s;
    if (!s.open(data)) {
        return std::nullopt;
    }
    return s.info();
}

TEST(FrameHeaderTest, DecodesVersionsLayersAndLengths) {
    struct Case {
        std::uint8_t b[4];
        MpegVersion version;
        int layer, kbps, rate;
        std::size_t length;
        int samples;
        bool mono;
    } cases[] = {
        {{0xFF, 0xFB, 0x90, 0x44}, MpegVersion::Mpeg1, 3, 128, 44'100, 417, 1152, false},
        {{0xFF, 0xFB, 0x92, 0x44}, MpegVersion::Mpeg1, 3, 128, 44'100, 418, 1152, false},
        {{0xFF, 0xFB, 0xE4, 0xC0}, MpegVersion::Mpeg1, 3, 320, 48'000, 960, 1152, true},
        {{0xFF, 0xF3, 0x80, 0xC4}, MpegVersion::Mpeg2, 3, 64, 22'050, 208, 576, true},
        {{0xFF, 0xE3, 0x48, 0x00}, MpegVersion::Mpeg25, 3, 32, 8'000, 288, 576, false},
        {{0xFF, 0xFD, 0x98, 0x00}, MpegVersion::Mpeg1, 2, 160, 32'000, 720, 1152, false},
        // Layer I counts 4-byte slots: 12 × 128000 / 44100 = 34 of them.
        {{0xFF, 0xFF, 0x40, 0x00}, MpegVersion::Mpeg1, 1, 128, 44'100, 136, 384, false},
        {{0xFF, 0xFF, 0x42, 0x00}, MpegVersion::Mpeg1, 1, 128, 44'100, 140, 384, false},
    };
    for (const auto& c : cases) {
        const auto h = decodeFrameHeader(c.b);
        ASSERT_TRUE(h) << c.kbps;
        EXPECT_EQ(h->version, c.version);
        EXPECT_EQ(h->layer, c.layer);
        EXPECT_EQ(h->bitRateKbps, c.kbps);
        EXPECT_EQ(h->sampleRate, c.rate);
        EXPECT_EQ(h->samplesPerFrame, c.samples);
        EXPECT_EQ(h->mono(), c.mono);
        EXPECT_EQ(h->frameLength, c.length) << c.kbps;
    }

    const std::uint8_t rejected[][4] = {
        {0xFF, 0xEB, 0x90, 0x44},  // reserved version
        {0xFF, 0xF9, 0x90, 0x44},  // reserved layer
        {0xFF, 0xFB, 0x00, 0x44},  // free format
        {0xFF, 0xFB, 0xF0, 0x44},  // bit-rate index 15
        {0xFF, 0xFB, 0x9C, 0x44},  // sample-rate index 3
        {0xFE, 0xFB, 0x90, 0x44},  // no sync
        {0xFF, 0xDB, 0x90, 0x44},  // no sync
    };
    for (const auto& b : rejected) {
        EXPECT_FALSE(decodeFrameHeader(b)) << int(b[1]) << " " << int(b[2]);
    }
    const std::uint8_t three[3] = {0xFF, 0xFB, 0x90};
    EXPECT_FALSE(decodeFrameHeader(three));
}

TEST(MemorySourceTest, NeverHandsOutTheLastByte) {
    const Bytes data = {1, 2, 3, 4, 5};
    MemorySource s(data);
    std::uint8_t out[5] = {};
    EXPECT_EQ(s.read(out, 3), 3);
    EXPECT_EQ(s.read(out, 2), -1);  // would reach the end
    EXPECT_EQ(s.read(out, 1), 1);
    EXPECT_EQ(out[0], 4);
    EXPECT_FALSE(s.seek(5));
    EXPECT_FALSE(s.seek(~0ull));
    EXPECT_EQ(s.tell(), 4u);
}

TEST(FirstFrameTest, FalseSyncBytesDoNotChain) {
    constexpr Head kLayer2{0xFD, 0x90, 0x44};  // layer II, also 417 bytes
    Bytes data(8000, 0x11);
    // Three in a row are one short of a chain.
    put(data, 100, kStereo128);
    put(data, 517, kStereo128);
    put(data, 934, kStereo128);
    put(data, 4000, kStereo128);  // the real frames begin too far on
    // Each of these would chain with the real frames but for its kind.
    put(data, 8000 - 834, kMono128);
    put(data, 8000 - 417, kLayer2);
    put(data, 8000 - 384, kStereo48k);
    data[7700] = 0xFF;  // not a valid header
    data[7701] = 0xFB;
    data[7702] = 0xF0;
    appendFrames(data, kStereo128, 40);
    const auto info = openInfo(data);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->audioStart, 8000u);
    EXPECT_EQ(info->audioBytes, data.size() - 8000);

    // A lone header of the stream's kind chains with real frames when the
    // third of them starts within 3 × (417 + 512) + 4 bytes of it.
    const auto startWithFalseHeaderAt = [](std::size_t realFrames) {
        Bytes bytes(realFrames, 0x11);
        put(bytes, 1000, kStereo128);
        appendFrames(bytes, kStereo128, 40);
        return openInfo(bytes)->audioStart;
    };
    const std::size_t reach = 3 * (417 + 512) + 4;
    EXPECT_EQ(startWithFalseHeaderAt(1000 + reach - 2 * 417 - 4), 1000u);
    EXPECT_EQ(startWithFalseHeaderAt(1000 + reach - 2 * 417 - 3), 1000 + reach - 2 * 417 - 3);
}

TEST(FirstFrameTest, ChainAllowsSomeJunkBetweenFrames) {
    // Frames at 0, 617 and 1234, each followed by junk, then 40 in a row.
    Bytes data;
    for (int i = 0; i < 3; ++i) {
        appendFrames(data, kStereo128);
        data.insert(data.end(), 200, 0x11);
    }
    appendFrames(data, kStereo128, 40);
    MpegStream s;
    ASSERT_TRUE(s.open(data));
    EXPECT_EQ(s.info().audioStart, 0u);
    // Walking the frames is stricter: a frame must be followed by another.
    std::vector<std::uint64_t> offsets;
    while (const auto f = s.nextFrame()) {
        offsets.push_back(f->offset);
    }
    ASSERT_EQ(offsets.size(), 40u);  // the last one ends at the data's end: never readable
    EXPECT_EQ(offsets[0], 0u);
    EXPECT_EQ(offsets[1], 1851u);
    EXPECT_EQ(offsets[2], 1851u + 417);
}

TEST(FirstFrameTest, AFalseLongFrameDoesNotHideTheChain) {
    // A frame at 0; a false header of the same stream announcing a 1,044-byte
    // frame right where it ends; the real frames at 500, 917 and 1334; then
    // nothing that looks like a frame. Only the chain through 500 exists.
    Bytes data;
    appendFrames(data, kStereo128);
    data.resize(5000, 0);
    put(data, 417, Head{0xFB, 0xE0, 0x44});  // 320 kbit/s: 1,044 bytes
    for (std::size_t at : {500u, 917u, 1334u}) {
        put(data, at, kStereo128);
    }
    MpegStream s;
    ASSERT_TRUE(s.open(data));
    EXPECT_EQ(s.info().audioStart, 0u);
}

TEST(FirstFrameTest, SearchIsLimitedTo64KiBAfterTheTag) {
    const auto framesAt = [](std::size_t junk) {
        Bytes data(junk, 0);
        appendFrames(data, kStereo128, 400);
        return data;
    };
    // The third frame after the first must start in the window.
    EXPECT_EQ(openInfo(framesAt(65'536 - 3 * 417 - 4))->audioStart, 65'536u - 3 * 417 - 4);
    EXPECT_FALSE(openInfo(framesAt(65'536 - 3 * 417 - 3)));
    EXPECT_FALSE(openInfo(Bytes(200'000, 0)));

    // The tag does not count, and sync bytes inside it are never looked at.
    Bytes tagged = id3Tag(100'000);
    const Bytes rest = framesAt(60'000);
    tagged.insert(tagged.end(), rest.begin(), rest.end());
    const auto info = openInfo(tagged);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->tagLength, 100'000u);
    EXPECT_EQ(info->audioStart, 160'000u);

    // A tag longer than the data leaves nothing to search.
    Bytes overlong = id3Tag(1000);
    overlong[6] = 0x7F;
    appendFrames(overlong, kStereo128, 400);
    EXPECT_FALSE(openInfo(overlong));
}

// A first frame with a "Xing" header at `offset`; fields in flag order.
Bytes xingFrame(Head h, std::size_t offset, std::uint32_t flags, const char* tag = "Xing") {
    Bytes f;
    appendFrames(f, h);
    std::memcpy(f.data() + offset, tag, 4);
    putBig32(f, offset + 4, flags);
    std::size_t p = offset + 8;
    if (flags & 1) {
        putBig32(f, p, 3000);
        p += 4;
    }
    if (flags & 2) {
        putBig32(f, p, 1'000'000);
        p += 4;
    }
    if (flags & 4) {
        for (int i = 0; i < 100; ++i) {
            f[p + i] = static_cast<std::uint8_t>(i * 2 + 1);
        }
        p += 100;
    }
    if (flags & 8) {
        putBig32(f, p, 57);
    }
    return f;
}

FrameHeader headerOf(const Bytes& frame) {
    return *decodeFrameHeader(frame);
}

TEST(XingTest, FlagsSelectTheFieldsInOrder) {
    auto f = xingFrame(kStereo128, 36, 0xF);
    auto x = parseXing(f, 0, headerOf(f));
    ASSERT_TRUE(x);
    EXPECT_EQ(x->frames, 3000u);
    EXPECT_EQ(x->bytes, 1'000'000u);
    ASSERT_TRUE(x->toc);
    EXPECT_EQ((*x->toc)[0], 1);
    EXPECT_EQ((*x->toc)[99], 199);
    EXPECT_EQ(x->quality, 57u);
    EXPECT_FALSE(x->truncated);

    f = xingFrame(kStereo128, 36, 0x4 | 0x8);  // table and quality only
    x = parseXing(f, 0, headerOf(f));
    ASSERT_TRUE(x && x->toc);
    EXPECT_FALSE(x->frames || x->bytes);
    EXPECT_EQ((*x->toc)[1], 3);
    EXPECT_EQ(x->quality, 57u);

    f = xingFrame(kStereo128, 36, 0);
    x = parseXing(f, 0, headerOf(f));
    ASSERT_TRUE(x);
    EXPECT_FALSE(x->frames || x->bytes || x->toc || x->quality);

    // Behind other data: the offset counts from the frame.
    Bytes shifted(700, 0);
    f = xingFrame(kStereo128, 36, 0x1);
    shifted.insert(shifted.end(), f.begin(), f.end());
    EXPECT_EQ(parseXing(shifted, 700, headerOf(f))->frames, 3000u);

    // The offset depends on version and mode.
    for (const auto& [h, offset] : {std::pair{kStereo128, 36}, {kMono128, 21}, {kMpeg2Mono, 13}}) {
        const auto right = xingFrame(h, offset, 1);
        EXPECT_EQ(parseXing(right, 0, headerOf(right))->frames, 3000u) << offset;
        const auto wrong = xingFrame(h, offset == 21 ? 36 : 21, 1);
        EXPECT_FALSE(parseXing(wrong, 0, headerOf(wrong))) << offset;
    }
    f = xingFrame(Head{0xF3, 0x80, 0x44}, 21, 1);  // MPEG-2 stereo
    EXPECT_TRUE(parseXing(f, 0, headerOf(f)));
    f = xingFrame(kStereo128, 36, 0xF, "Info");  // not a "Xing" header
    EXPECT_FALSE(parseXing(f, 0, headerOf(f)));
}

TEST(XingTest, FieldsAreBoundedByTheFrameAndTheData) {
    // Frames under 152 bytes never carry one: MPEG-1 III 48k at 48 kHz is 144.
    const Head small{0xFB, 0x34, 0x44};
    auto f = xingFrame(small, 36, 1);
    ASSERT_EQ(f.size(), 144u);
    EXPECT_FALSE(parseXing(f, 0, headerOf(f)));

    // 48k at 44.1 kHz is 156 bytes: all four fields end exactly at its end.
    const Head exact{0xFB, 0x30, 0x44};
    f = xingFrame(exact, 36, 0xF);
    ASSERT_EQ(f.size(), 156u);
    auto x = parseXing(f, 0, headerOf(f));
    ASSERT_TRUE(x);
    EXPECT_EQ(x->quality, 57u);
    EXPECT_FALSE(x->truncated);

    // A frame whose length says it is longer than it reads behind the
    // header is cut short by the data: fields past the end are missing.
    f = xingFrame(kStereo128, 36, 0xF);
    const FrameHeader h = headerOf(f);
    f.resize(36 + 8 + 4 + 4 + 99);
    x = parseXing(f, 0, h);
    ASSERT_TRUE(x);
    EXPECT_EQ(x->frames, 3000u);
    EXPECT_EQ(x->bytes, 1'000'000u);
    EXPECT_FALSE(x->toc);
    EXPECT_FALSE(x->quality);
    EXPECT_TRUE(x->truncated);

    f.resize(36 + 6);  // inside the flags word
    EXPECT_FALSE(parseXing(f, 0, h));
    EXPECT_FALSE(parseXing(f, f.size(), h));
    EXPECT_FALSE(parseXing(f, ~0ull, h));
}

TEST(SeekTest, TableOfContentsIsInterpolated) {
    std::array<std::uint8_t, 100> toc{};
    for (int i = 0; i < 100; ++i) {
        toc[i] = static_cast<std::uint8_t>(2 * i);
    }
    EXPECT_DOUBLE_EQ(tocFraction(toc, 0.0), 0.0);
    EXPECT_DOUBLE_EQ(tocFraction(toc, 0.25), 50 / 256.0);
    EXPECT_DOUBLE_EQ(tocFraction(toc, 0.255), 51 / 256.0);
    // Between entry 99 and the end of the stream.
    EXPECT_DOUBLE_EQ(tocFraction(toc, 0.995), (198 / 256.0 + 1.0) / 2);
    // Past the end: the index stops at 99 and the result at the whole.
    EXPECT_DOUBLE_EQ(tocFraction(toc, 1.2), 1.0);
    EXPECT_DOUBLE_EQ(tocFraction(toc, -1.0), 0.0);

    // A table that does not start at 0 is taken from its first entry.
    for (int i = 0; i < 100; ++i) {
        toc[i] = static_cast<std::uint8_t>(10 + 2 * i);
    }
    EXPECT_DOUBLE_EQ(tocFraction(toc, 0.0), 0.0);
    EXPECT_DOUBLE_EQ(tocFraction(toc, 0.1), 20 / 256.0);
    // A table that goes backwards never gives a position before the start.
    toc.fill(200);
    toc[0] = 250;
    EXPECT_DOUBLE_EQ(tocFraction(toc, 0.5), 0.0);
}

TEST(SeekTest, PositionsByTableOrLinearly) {
    MpegStreamInfo info;
    info.audioStart = 1000;
    info.audioBytes = 100'000;
    info.durationMs = 10'000;
    EXPECT_EQ(seekPosition(info, 0), 1000u);
    EXPECT_EQ(seekPosition(info, 2500), 1000u + 25'000);
    EXPECT_EQ(seekPosition(info, 7500), 1000u + 75'000);
    EXPECT_EQ(seekPosition(info, 10'000), 101'000u);  // the end: the source rejects it
    EXPECT_EQ(seekPosition(info, 1'000'000'000'000), 101'000u);
    EXPECT_FALSE(seekPosition(info, -1));

    info.xing = XingHeader{};
    info.xing->toc.emplace();
    for (int i = 0; i < 100; ++i) {
        (*info.xing->toc)[i] = static_cast<std::uint8_t>(i * 2);
    }
    EXPECT_EQ(seekPosition(info, 2500), 1000u + 19'531);  // 50/256 of the bytes

    info.durationMs = 0;  // "Xing" says no frames
    EXPECT_FALSE(seekPosition(info, 1));
    EXPECT_EQ(seekPosition(info, 0), 1000u);
}

TEST(SeekTest, StreamDurationAndSeekOnHandMadeFrames) {
    // 1,000 frames of 417 bytes at 128 kbit/s: 417,000 bytes, 26,062.5 ms.
    Bytes data;
    appendFrames(data, kStereo128, 1000);
    MpegStream s;
    ASSERT_TRUE(s.open(data));
    EXPECT_FALSE(s.info().xing);
    EXPECT_DOUBLE_EQ(s.info().durationMs, 417'000 * 8 / 128.0);
    EXPECT_TRUE(s.seekMs(13'000));
    auto frame = s.nextFrame();
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->offset % 417, 0u);
    EXPECT_GE(frame->offset, 417'000ull * 13'000 / 26'062);
    EXPECT_LT(frame->offset, 417'000ull * 13'000 / 26'062 + 417);
    EXPECT_EQ(s.nextFrame()->offset, frame->offset + 417);
    EXPECT_FALSE(s.seekMs(26'063));

    // With a "Xing" first frame its frame count gives the duration.
    Bytes vbr = xingFrame(kStereo128, 36, 0x1 | 0x4);
    putBig32(vbr, 44, 500);
    appendFrames(vbr, kStereo128, 999);
    ASSERT_TRUE(s.open(vbr));
    ASSERT_TRUE(s.info().xing);
    EXPECT_DOUBLE_EQ(s.info().durationMs, 500 * 1152 * 1000.0 / 44'100);
    // Table entries 2i + 1: relative to entry 0, 2i / 256 of the bytes.
    EXPECT_TRUE(s.seekMs(6531));  // f = 0.5
    EXPECT_EQ(s.nextFrame()->offset, 417'000u * 100 / 256 / 417 * 417 + 417);
}

TEST(ResyncTest, FindsTheNextConfirmedFrameOfTheStream) {
    const auto stream = *decodeFrameHeader(std::array<std::uint8_t, 4>{0xFF, 0xFB, 0x90, 0x44});
    Bytes data(300, 0x11);
    put(data, 10, kStereo128);   // nothing follows it where its frame ends
    put(data, 100, kStereo48k);  // another stream
    put(data, 200, kStereo128);  // confirmed: a frame of the stream at 617
    data.resize(617, 0x11);
    appendFrames(data, kStereo128, 2);
    EXPECT_EQ(resyncFrame(data, 0, stream), 200u);
    EXPECT_EQ(resyncFrame(data, 201, stream), 617u);
    // The last frame has nothing after it to confirm it.
    EXPECT_EQ(resyncFrame(data, 618, stream), 1034u);
    EXPECT_FALSE(resyncFrame(data, 1035, stream));
    // A frame that runs past the data is not one.
    data.pop_back();
    EXPECT_FALSE(resyncFrame(data, 618, stream));
    EXPECT_FALSE(resyncFrame(data, ~0ull, stream));
}

// --- The front-end on generated files ----------------------------------

struct Outcome {
    FrontEndResult result{};
    std::string text;
    DnaTable table{};
    int chunks = 0;
};

Outcome decodeFrom(const Bytes& file, int start = 60) {
    DnaExtractor x;
    Outcome r;
    r.result = decodeMp3(file, start, x, [&] { ++r.chunks; });
    r.text = x.bitRateText();
    r.table = x.table();
    return r;
}

void expectSameTable(const DnaTable& a, const DnaTable& b) {
    for (int i = 0; i < kDnaWords; ++i) {
        EXPECT_EQ(a[i].dna_index, b[i].dna_index) << i;
        EXPECT_EQ(a[i].fdna, b[i].fdna) << i;
    }
}

TEST(Mp3FrontEndTest, BitRateTextsAndResults) {
    const Outcome cbr = decodeFrom(fixture("cbr128.mp3"));
    EXPECT_EQ(cbr.result, FrontEndResult::Done);
    EXPECT_EQ(cbr.text, "128");  // its "Info" header does not make it variable
    EXPECT_GT(cbr.chunks, 0);

    const Outcome vbr = decodeFrom(fixture("vbr192.mp3"));
    EXPECT_EQ(vbr.result, FrontEndResult::Done);
    EXPECT_EQ(vbr.text, "V192");

    // Variable frames: the rate of the frame that completes the first
    // 16,384 bytes of samples (mono 22.05 kHz: 1,152 bytes a frame, so the
    // 15th frame after the withheld ones).
    const Bytes monoFile = fixture("vbr22k.mp3");
    const Outcome mono = decodeFrom(monoFile);
    EXPECT_EQ(mono.result, FrontEndResult::Done);
    Mp3Decoder d;
    ASSERT_TRUE(d.open(monoFile));
    ASSERT_TRUE(d.seekMs(60'000));
    std::size_t bytes = 0;
    int rate = 0;
    while (bytes < 16'384) {
        const auto c = d.next();
        ASSERT_TRUE(c);
        bytes += c->pcm.size();
        rate = c->header.bitRateKbps;
    }
    EXPECT_EQ(bytes, 15u * 1152);
    EXPECT_EQ(mono.text, "V" + std::to_string(rate));

    EXPECT_EQ(decodeFrom(fixture("short50.mp3")).result, FrontEndResult::SeekFailed);
    EXPECT_EQ(decodeFrom(fixture("cbr128.mp3"), -1).result, FrontEndResult::SeekFailed);

    // Ends before the extractor is done: decoded to the end, then a failure.
    Bytes cut = fixture("cbr128.mp3");
    cut.resize(cut.size() * 61 / 70);
    EXPECT_EQ(decodeFrom(cut).result, FrontEndResult::Failed);
    EXPECT_EQ(decodeFrom(Bytes(100'000, 0x5A)).result, FrontEndResult::Failed);
    EXPECT_EQ(decodeFrom(Bytes{}).result, FrontEndResult::Failed);
}

TEST(Mp3FrontEndTest, StreamsOfTheFixtures) {
    Mp3Decoder d;
    ASSERT_TRUE(d.open(fixture("vbr192.mp3")));
    ASSERT_TRUE(d.info().xing && d.info().xing->frames && d.info().xing->toc);
    EXPECT_NEAR(d.info().durationMs, 70'000, 100);
    ASSERT_TRUE(d.open(fixture("vbr22k.mp3")));
    EXPECT_EQ(d.info().first.sampleRate, 22'050);
    EXPECT_EQ(d.channels(), 1);
    EXPECT_NEAR(d.info().durationMs, 66'000, 100);  // from its "Xing" frame count
    ASSERT_TRUE(d.open(fixture("cbr128.mp3")));
    EXPECT_NEAR(d.info().durationMs, 70'000, 200);  // from its bit rate
}

TEST(Mp3FrontEndTest, Id3TagInFrontChangesNothing) {
    const Bytes plain = fixture("vbr192.mp3");
    Bytes tagged = id3Tag(30'000);
    tagged.insert(tagged.end(), plain.begin(), plain.end());

    Mp3Decoder d;
    ASSERT_TRUE(d.open(tagged));
    EXPECT_EQ(d.info().tagLength, 30'000u);
    const Outcome ra = decodeFrom(plain);
    const Outcome rb = decodeFrom(tagged);
    EXPECT_EQ(rb.result, FrontEndResult::Done);
    EXPECT_EQ(rb.text, ra.text);
    EXPECT_EQ(rb.chunks, ra.chunks);
    expectSameTable(ra.table, rb.table);
}

// Every frame of the file as libmpg123 decodes it from the start, fed in one
// piece and left to its own frame search.
std::vector<Bytes> referenceFrames(const Bytes& file, long rate, int channels) {
    std::vector<Bytes> frames;
    mpg123_handle* h = mpg123_new(nullptr, nullptr);
    EXPECT_NE(h, nullptr);
    mpg123_param(h, MPG123_REMOVE_FLAGS, MPG123_GAPLESS, 0.0);
    mpg123_param(h, MPG123_ADD_FLAGS, MPG123_QUIET, 0.0);
    mpg123_format_none(h);
    mpg123_format(h, rate, channels, MPG123_ENC_SIGNED_16);
    mpg123_open_feed(h);
    mpg123_feed(h, file.data(), file.size());
    for (;;) {
        off_t number = 0;
        unsigned char* audio = nullptr;
        std::size_t bytes = 0;
        const int r = mpg123_decode_frame(h, &number, &audio, &bytes);
        if (r == MPG123_NEW_FORMAT) {
            continue;
        }
        if (r != MPG123_OK) {
            break;
        }
        frames.emplace_back(audio, audio + bytes);
    }
    mpg123_delete(h);
    return frames;
}

void expectDecodedLikeTheWholeFile(const std::string& name) {
    SCOPED_TRACE(name);
    const Bytes file = fixture(name);
    Mp3Decoder d;
    ASSERT_TRUE(d.open(file));
    const FrameHeader first = d.info().first;
    const auto reference = referenceFrames(file, first.sampleRate, d.channels());
    ASSERT_GT(reference.size(), 1000u);

    ASSERT_TRUE(d.seekMs(60'000));
    std::vector<Bytes> ours;
    for (int i = 0; i < 60; ++i) {
        const auto c = d.next();
        ASSERT_TRUE(c);
        ours.emplace_back(c->pcm.begin(), c->pcm.end());
    }
    // Where our first chunk sits in the reference; everything after it
    // must match sample for sample.
    std::size_t at = 0;
    while (at < reference.size() && reference[at] != ours[0]) {
        ++at;
    }
    ASSERT_LT(at, reference.size()) << "first chunk after the seek not found";
    const double seconds = static_cast<double>(at) * first.samplesPerFrame / first.sampleRate;
    EXPECT_NEAR(seconds, 60.0, 0.7);
    // The same frames with the same decoder: at most a rare rounding step of
    // one in a sample (the decoder's state before the jump differs).
    for (std::size_t i = 0; i < ours.size(); ++i) {
        ASSERT_LT(at + i, reference.size());
        const Bytes& a = ours[i];
        const Bytes& b = reference[at + i];
        ASSERT_EQ(a.size(), b.size()) << "chunk " << i;
        int differing = 0;
        for (std::size_t k = 0; k + 1 < a.size(); k += 2) {
            const int x = static_cast<std::int16_t>(a[k] | a[k + 1] << 8);
            const int y = static_cast<std::int16_t>(b[k] | b[k + 1] << 8);
            ASSERT_LE(std::abs(x - y), 1) << "chunk " << i << " sample " << k / 2;
            differing += x != y;
        }
        EXPECT_LE(differing, 2) << "chunk " << i;
    }
}

TEST(Mp3FrontEndTest, DecodesAfterASeekLikeTheWholeFile) {
    expectDecodedLikeTheWholeFile("vbr192.mp3");
    expectDecodedLikeTheWholeFile("cbr128.mp3");
    expectDecodedLikeTheWholeFile("vbr22k.mp3");
}

TEST(Mp3FrontEndTest, FirstFramesAfterASeekAreWithheld) {
    const Bytes file = fixture("cbr128.mp3");
    Mp3Decoder d;
    ASSERT_TRUE(d.open(file));
    ASSERT_TRUE(d.seekMs(60'000));
    MpegStream s;
    ASSERT_TRUE(s.open(file));
    ASSERT_TRUE(s.seekMs(60'000));
    auto frame = s.nextFrame();
    for (int i = 0; i < kFramesWithheldAfterSeek; ++i) {
        frame = s.nextFrame();
    }
    ASSERT_TRUE(frame);
    EXPECT_EQ(d.next()->offset, frame->offset);

    ASSERT_TRUE(d.seekMs(0));  // from the start nothing is withheld
    EXPECT_EQ(d.next()->offset, d.info().audioStart);
}

}  // namespace
}  // namespace quenvara::musicfilter
