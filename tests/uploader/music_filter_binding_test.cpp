#include "uploader/app/music_filter_binding.h"

#include <gtest/gtest.h>

#include "tests/support/recording_notices.h"

namespace quenvara::uploader {
namespace {

TEST(MusicFilterBinding, MissingLibraryIsReportedOnceAndNeverGivesAKey) {
    testing::RecordingNotices notices;
    MusicFilterBinding binding(notices, "QuenvaraUpLoad", "libNoSuchMusicFilter.so");
    EXPECT_FALSE(binding.loaded());
    const auto boxes = notices.boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "M Load Library Failed");
    EXPECT_EQ(boxes[0].caption, "QuenvaraUpLoad");
    EXPECT_FALSE(binding.CheckMusicFile("/music/a.mp3", "member"));
}

TEST(MusicFilterBinding, LibraryWithoutStatusEntryPoint) {
    testing::RecordingNotices notices;
    MusicFilterBinding binding(notices, "QuenvaraUpLoad", FAKE_FILTER_UP_ONLY);
    EXPECT_FALSE(binding.loaded());
    EXPECT_EQ(notices.texts(), std::vector<std::string>{"M Load Library DownFunction Failed"});
    EXPECT_FALSE(binding.CheckMusicFile("/music/a.mp3", "member"));
}

TEST(MusicFilterBinding, KeyIsTrimmedAndOnlyAcceptedStatusesGiveIt) {
    testing::RecordingNotices notices;
    MusicFilterBinding binding(notices, "QuenvaraUpLoad", FAKE_FILTER_FULL);
    ASSERT_TRUE(binding.loaded());
    EXPECT_TRUE(notices.boxes().empty());
    EXPECT_EQ(binding.CheckMusicFile("/music/a.mp3", "member"), "ABCDEF");  // status 02
    EXPECT_EQ(binding.CheckMusicFile("/music/full.mp3", "member"),
              "0123456789ABCDEF0123456789ABCDEF");  // 32 bytes, no terminator; status 03
    EXPECT_FALSE(binding.CheckMusicFile("/music/blocked.mp3", "member"));  // status 04
    EXPECT_FALSE(binding.CheckMusicFile("/music/refused.mp3", "member"));  // no key at all
}

}  // namespace
}  // namespace quenvara::uploader
