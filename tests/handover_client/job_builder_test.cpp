#include "handover_client/job_builder.h"

#include <gtest/gtest.h>

#include "platform/path_text.h"
#include "tests/support/temp_dir.h"

namespace quenvara::tools {
namespace {

TEST(JobBuilder, SingleFileItem) {
    testing::TempDir dir;
    const auto file = dir.write("곡.mp3", std::string(1500, 'a'));
    PageValues v;
    v.registrant = "member01";
    v.sectionCode = "07";
    auto r = buildUploadJob(file, v);
    ASSERT_TRUE(r) << r.error();
    EXPECT_EQ(r->recordTag(), 4);
    EXPECT_EQ(r->itemKind(), 2);
    EXPECT_EQ(r->userNumberCopy(), 1);
    EXPECT_EQ(r->itemName(), "곡.mp3");
    // The platform's own path, ended by its separator.
    EXPECT_EQ(r->parentFolder(), platform::utf8Text(dir.path()) +
                                     static_cast<char>(std::filesystem::path::preferred_separator));
    EXPECT_EQ(r->itemSize(), 1500.0);
    const auto b = r->userValues();
    EXPECT_EQ(b.sizeCopy(), 1500.0);
    EXPECT_EQ(b.folderFlag(), 'N');
    EXPECT_EQ(b.itemNameCopy(), "곡.mp3");
    EXPECT_EQ(b.registrantName(), "member01");
    EXPECT_EQ(b.sectionCode(), "07");
}

TEST(JobBuilder, FolderItemSumsFilesBelowAndRefusesAtTheLimit) {
    testing::TempDir dir;
    dir.write("album/a.txt", "12345");
    dir.write("album/sub/b.txt", "123");
    dir.write("album/sub/deeper/c.txt", "1");
    auto r = buildUploadJob(dir / "album", {}, 4);
    ASSERT_TRUE(r) << r.error();
    EXPECT_EQ(r->itemKind(), 1);
    EXPECT_EQ(r->folderName(), "album");
    EXPECT_EQ(r->itemName(), "album");
    EXPECT_EQ(r->itemSize(), 9.0);
    EXPECT_EQ(r->userValues().folderFlag(), 'Y');

    auto refused = buildUploadJob(dir / "album", {}, 3);
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error(), "한번에 업로드 할수 있는 목록을 3 개 이상 만들수 없습니다.");
}

TEST(JobBuilder, MyStorageTags) {
    testing::TempDir dir;
    const auto file = dir.write("f/x.bin", "abc");
    PageValues v;
    v.userNumber = 55;
    auto single = buildMyStorageJob(file, v);
    ASSERT_TRUE(single);
    EXPECT_EQ(single->recordTag(), 4);  // a single file keeps tag 4 in my-storage mode
    EXPECT_EQ(single->userNumberCopy(), 55);
    auto folder = buildMyStorageJob(dir / "f", {});
    ASSERT_TRUE(folder);
    EXPECT_EQ(folder->recordTag(), 3);
    EXPECT_EQ(folder->userNumberCopy(), 0);
}

TEST(JobBuilder, MissingPathIsAClearError) {
    auto r = buildUploadJob("/nonexistent/path/x", {});
    ASSERT_FALSE(r);
    EXPECT_NE(r.error().find("No such file"), std::string::npos);
}

}  // namespace
}  // namespace quenvara::tools
