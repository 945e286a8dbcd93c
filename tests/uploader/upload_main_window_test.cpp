#include "uploader/app/upload_main_window.h"

#include <gtest/gtest.h>

#include <sstream>

#include "tests/support/recording_notices.h"

namespace quenvara::uploader {
namespace {

using handover::ListMessageKind;

TEST(UploadMainWindow, DispatchesEachKind) {
    testing::RecordingNotices notices;
    std::ostringstream out;
    UploadMainWindow window(notices, out);

    ASSERT_TRUE(window.onCopyData(
        handover::makeServerAddressMessage(ListMessageKind::ServerAddress, "127.0.0.1", 9100)));
    EXPECT_EQ(window.serverAddress(), "127.0.0.1");
    EXPECT_EQ(window.serverPort(), 9100);

    ASSERT_TRUE(window.onCopyData(handover::makeMusicListMessage({})));
    EXPECT_TRUE(window.musicListReceived());
    EXPECT_TRUE(window.musicList().empty());

    UploadJobRecord job;
    ASSERT_TRUE(job.setItemName("a.txt"));
    ASSERT_TRUE(window.onCopyData(handover::makeUploadJobMessage(job)));
    MyStorageJobRecord mine;
    ASSERT_TRUE(mine.setItemName("b.txt"));
    ASSERT_TRUE(window.onCopyData(handover::makeMyStorageJobMessage(mine)));
    ASSERT_EQ(window.uploadRecords().size(), 1u);
    EXPECT_EQ(window.uploadRecords()[0], job);
    ASSERT_EQ(window.myStorageRecords().size(), 1u);
    EXPECT_EQ(window.myStorageRecords()[0].itemName(), "b.txt");
    EXPECT_FALSE(window.handOverBusy());
    EXPECT_TRUE(notices.boxes().empty());
    EXPECT_NE(out.str().find("a.txt"), std::string::npos);
}

TEST(UploadMainWindow, TwentyByteKind3IsTheAddress) {
    testing::RecordingNotices notices;
    std::ostringstream out;
    UploadMainWindow window(notices, out);
    ASSERT_TRUE(window.onCopyData(
        handover::makeServerAddressMessage(ListMessageKind::MyStorage, "10.0.0.5", 7000)));
    EXPECT_EQ(window.serverAddress(), "10.0.0.5");
    EXPECT_TRUE(window.myStorageRecords().empty());
}

TEST(UploadMainWindow, WithoutListViewNothingIsTaken) {
    testing::RecordingNotices notices;
    std::ostringstream out;
    UploadMainWindow window(notices, out);
    window.setListViewCreated(false);
    EXPECT_FALSE(window.onCopyData(handover::makeUploadJobMessage(UploadJobRecord{})));
    EXPECT_TRUE(window.uploadRecords().empty());
    ASSERT_EQ(notices.texts().size(), 1u);
    EXPECT_EQ(notices.texts()[0], "List 핸들을 찾을 수 없습니다.");
}

TEST(UploadMainWindow, UnknownKindIsRefused) {
    testing::RecordingNotices notices;
    std::ostringstream out;
    UploadMainWindow window(notices, out);
    auto st = window.onCopyData({42, std::vector<std::uint8_t>(64)});
    EXPECT_FALSE(st);
    EXPECT_NE(st.error().find("unknown message kind 42"), std::string::npos);
    EXPECT_EQ(window.serverAddress(), "");
}

}  // namespace
}  // namespace quenvara::uploader
