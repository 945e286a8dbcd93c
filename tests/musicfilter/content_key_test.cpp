#include "musicfilter/content_key.h"

#include <gtest/gtest.h>

#include <random>

#include "common/md4.h"
#include "musicfilter/music_format.h"
#include "tests/support/temp_dir.h"

namespace quenvara::musicfilter {
namespace {

std::string randomBytes(std::size_t n, unsigned seed) {
    std::string s(n, '\0');
    std::mt19937 gen(seed);
    for (auto& c : s) {
        c = static_cast<char>(gen());
    }
    return s;
}

// The key of a window made by hand: these bytes at the start, zeros after.
std::string keyOf(std::string_view windowStart) {
    std::vector<std::uint8_t> window(kKeyWindow, 0);
    std::copy(windowStart.begin(), windowStart.end(), window.begin());
    std::string hex;
    static constexpr char kDigits[] = "0123456789ABCDEF";
    for (auto b : Md4::of(window)) {
        hex.push_back(kDigits[b >> 4]);
        hex.push_back(kDigits[b & 0x0F]);
    }
    return hex;
}

class ContentKeyTest : public ::testing::Test {
  protected:
    testing::TempDir dir;
};

TEST_F(ContentKeyTest, TinyFileIsPaddedWithZeros) {
    const auto path = dir.write("tiny.mp3", "abcde");
    const auto r = contentKey(path);
    ASSERT_EQ(r.failure, 0);
    EXPECT_EQ(r.key, keyOf("abcde"));
    EXPECT_EQ(r.key.size(), 32u);
}

TEST_F(ContentKeyTest, Id3TagIsSkipped) {
    // A 1,034-byte tag: 1,024 in synchsafe form after the 10-byte header.
    std::string file = randomBytes(300'000, 1);
    const std::string header = {'I', 'D', '3', 3, 0, 0, 0, 0, 8, 0};
    std::copy(header.begin(), header.end(), file.begin());
    const auto path = dir.write("tagged.mp3", file);
    EXPECT_EQ(contentKey(path).key, keyOf(std::string_view(file).substr(1034)));
    std::uint8_t head[10];
    std::copy(header.begin(), header.end(), head);
    EXPECT_EQ(id3v2TagLength(head), 1034u);
    // 298,966 bytes from the tag: five blocks, the last one short.
    EXPECT_EQ(keyWindowFor(300'000, 1034).blocks, 5u);
}

TEST_F(ContentKeyTest, WindowsOfLargerFiles) {
    const std::string two = randomBytes(2'000'000, 2);
    EXPECT_EQ(contentKey(dir.write("two.ogg", two)).key,
              keyOf(std::string_view(two).substr(960'112, 524'288)));
    const std::string one = randomBytes(1'000'000, 3);
    EXPECT_EQ(contentKey(dir.write("one.wav", one)).key,
              keyOf(std::string_view(one).substr(1'000'000 - 524'288)));
    // Over 4 GiB the window is still placed after the first 960,112 bytes.
    const auto big = keyWindowFor(5ull << 30, 0);
    EXPECT_EQ(big.start, 960'112u);
    EXPECT_EQ(big.blocks, 8u);
}

TEST_F(ContentKeyTest, NotATagWhenTheHeaderSaysOtherwise) {
    std::uint8_t bad[10] = {'I', 'D', '3', 0xFF, 0, 0, 0, 0, 8, 0};
    EXPECT_EQ(id3v2TagLength(bad), 0u);
    std::uint8_t topBit[10] = {'I', 'D', '3', 3, 0, 0, 0x80, 0, 8, 0};
    EXPECT_EQ(id3v2TagLength(topBit), 0u);
    // A tag claiming to be longer than the file leaves nothing to read.
    EXPECT_EQ(keyWindowFor(1000, 5000).blocks, 0u);
}

TEST_F(ContentKeyTest, UnreadableAndEmptyFiles) {
    EXPECT_EQ(contentKey(dir / "missing.mp3").failure, 1);
    EXPECT_EQ(contentKey(dir.write("empty.mp3", "")).failure, 2);
}

TEST(MusicFormat, ByExtension) {
    EXPECT_EQ(formatOf("song.Mp3"), MusicFormat::Mp3);
    EXPECT_EQ(formatOf("SONG.MP3"), MusicFormat::Mp3);
    EXPECT_EQ(formatOf("a.wave"), MusicFormat::Wav);
    EXPECT_EQ(formatText(*formatOf("a.wave")), "WAV");
    EXPECT_EQ(formatOf("x.ogg"), MusicFormat::Ogg);
    EXPECT_EQ(formatOf("x.WMA"), MusicFormat::Wma);
    EXPECT_FALSE(formatOf("noextension"));
    EXPECT_FALSE(formatOf("track.flac"));
    EXPECT_EQ(fileNameOf("C:\\music/sub\\x.mp3"), "x.mp3");
    EXPECT_EQ(fileNameOf("/home/u/y.ogg"), "y.ogg");
    EXPECT_EQ(extensionOf("dir.v2/name"), "V2/NAME");  // the last dot of the whole path
}

}  // namespace
}  // namespace quenvara::musicfilter
