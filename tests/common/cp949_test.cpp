#include "common/cp949.h"

#include <gtest/gtest.h>

namespace quenvara {
namespace {

TEST(Cp949, RoundTripsHangulOutsideEucKr) {
    // 퀜 exists in CP949 only (B3 90), not in plain EUC-KR.
    auto bytes = cp949::fromUtf8("퀜바라 파일 올리기");
    ASSERT_TRUE(bytes);
    EXPECT_EQ(bytes->substr(0, 2), "\xB3\x90");
    EXPECT_EQ(cp949::toUtf8(*bytes), "퀜바라 파일 올리기");
}

TEST(Cp949, RefusesWhatItCannotExpress) {
    EXPECT_FALSE(cp949::fromUtf8("\xF0\x9F\x98\x80"));  // emoji
    EXPECT_FALSE(cp949::fromUtf8("\xC3"));              // cut UTF-8
    EXPECT_TRUE(cp949::fromUtf8(""));
}

TEST(Cp949, LossyConversionMarksOnlyTheCharactersItCannotExpress) {
    EXPECT_EQ(cp949::fromUtf8Lossy("가🎵나"), "\xB0\xA1?\xB3\xAA");
    EXPECT_EQ(cp949::fromUtf8Lossy("a\xFF"
                                   "b"),
              "a?b");                                    // no UTF-8 at all
    EXPECT_EQ(cp949::fromUtf8Lossy("x\xE2\x82"), "x?");  // cut off at the end
    EXPECT_EQ(cp949::fromUtf8Lossy("ÿ가"), "?\xB0\xA1");
    EXPECT_EQ(cp949::fromUtf8Lossy(""), "");
}

TEST(Cp949, UndecodableBytesBecomeReplacementCharacters) {
    EXPECT_EQ(cp949::toUtf8("a\xFF"
                            "b"),
              "a\xEF\xBF\xBD"
              "b");
    // A lead byte cut off at the end of a field.
    EXPECT_EQ(cp949::toUtf8("ab\xB0"), "ab\xEF\xBF\xBD");
}

TEST(Cp949, PrefixNeverSplitsACharacter) {
    const std::string text = "a\xB0\xA1\xB3\xAA";  // a가나
    EXPECT_EQ(cp949::prefixLength(text, 0), 0u);
    EXPECT_EQ(cp949::prefixLength(text, 1), 1u);
    EXPECT_EQ(cp949::prefixLength(text, 2), 1u);
    EXPECT_EQ(cp949::prefixLength(text, 3), 3u);
    EXPECT_EQ(cp949::prefixLength(text, 4), 3u);
    EXPECT_EQ(cp949::prefixLength(text, 99), 5u);
    // A trailing lone lead byte counts as one byte.
    EXPECT_EQ(cp949::prefixLength("ab\xB0", 3), 3u);
}

}  // namespace
}  // namespace quenvara
