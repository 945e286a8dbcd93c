// A job record built on Windows: the parent folder is the Windows path
// (drive letter, backslashes, ended by one) in CP949, names are CP949, and
// the record reads back from its bytes as it was built.
#include <gtest/gtest.h>

#include "common/cp949.h"
#include "handover_client/job_builder.h"
#include "platform/path_text.h"
#include "tests/support/temp_dir.h"

namespace quenvara::tools {
namespace {

TEST(WindowsRecords, AFolderWithAKoreanNameAsTheRecordCarriesIt) {
    testing::TempDir dir;
    dir.write("노래 모음/a.mp3", "abc");
    dir.write("노래 모음/안/b.mp3", "defg");
    auto record = buildUploadJob(dir / "노래 모음", {}, 10);
    ASSERT_TRUE(record) << record.error();

    const std::string parent = platform::utf8Text(dir.path()) + "\\";
    ASSERT_GE(parent.size(), 3u);
    EXPECT_EQ(parent.substr(1, 2), ":\\") << parent;
    EXPECT_EQ(parent.find('/'), std::string::npos) << parent;
    EXPECT_EQ(record->parentFolderBytes(), cp949::fromUtf8(parent).value());
    EXPECT_EQ(record->itemNameBytes(), "\xB3\xEB\xB7\xA1 \xB8\xF0\xC0\xBD");
    EXPECT_EQ(record->folderNameBytes(), "\xB3\xEB\xB7\xA1 \xB8\xF0\xC0\xBD");
    EXPECT_EQ(record->itemSize(), 7.0);
    EXPECT_EQ(record->itemKind(), 1);

    const auto bytes = record->bytes();
    const auto again = UploadJobRecord::fromBytes(bytes);
    ASSERT_TRUE(again);
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), again->bytes().begin()));
    // The uploader opens what the record names.
    EXPECT_TRUE(std::filesystem::is_directory(platform::utf8Path(again->localPath())));
}

}  // namespace
}  // namespace quenvara::tools
