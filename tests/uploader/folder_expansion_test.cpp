#include "uploader/transfer/folder_expansion.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <numeric>
#include <random>

#include "common/file_digest.h"
#include "handover_client/job_builder.h"
#include "platform/path_text.h"
#include "protocol/record_path.h"
#include "tests/support/special_paths.h"
#include "tests/support/temp_dir.h"

namespace quenvara::uploader {
namespace {

namespace fs = std::filesystem;

// A path as the records read it ('/' between parts), and as a record built
// here writes it (the system's separator).
std::string generic(const fs::path& path) {
    return record_path::normalSeparators(platform::utf8Text(path));
}
std::string native(const fs::path& path) {
    return record_path::systemSeparators(platform::utf8Text(path));
}

class FolderExpansionTest : public ::testing::Test {
  protected:
    UploadJobRecord folderItem(const fs::path& folder, tools::PageValues values = {}) {
        auto r = tools::buildUploadJob(folder, values);
        EXPECT_TRUE(r) << r.error();
        return *r;
    }
    FolderExpansion expansion{fileDigest, [this](const std::string& t) { reports.push_back(t); }};
    std::vector<std::string> reports;
    testing::TempDir dir;
};

TEST_F(FolderExpansionTest, NineHundredNinetyNineFilesExpandAThousandAreRefused) {
    for (int i = 0; i < 999; ++i) {
        dir.write("many/sub" + std::to_string(i % 7) + "/f" + std::to_string(i), "");
    }
    auto item = folderItem(dir / "many");
    auto ok = expansion.expand(item);
    EXPECT_FALSE(ok.refused);
    EXPECT_EQ(ok.records.size(), 999u);

    dir.write("many/one-more", "");
    auto refused = expansion.expand(item);
    EXPECT_TRUE(refused.refused);
    EXPECT_TRUE(refused.records.empty());
}

TEST_F(FolderExpansionTest, ALinkThatLeadsInACircleIsNotWalked) {
    dir.write("album/a.bin", "a");
    dir.write("album/sub/b.bin", "bb");
    if (!testing::makeLink(".", dir / "album" / "loop") ||
        !testing::makeLink("..", dir / "album" / "sub" / "up")) {
        GTEST_SKIP() << "no symbolic links here";
    }
    const auto item = folderItem(dir / "album");
    EXPECT_EQ(item.itemSize(), 3.0);
    EXPECT_EQ(expansion.expand(item).records.size(), 2u);
}

TEST_F(FolderExpansionTest, FilesAreQueuedInNameOrderSubFoldersWhereTheyStand) {
    // Thirty files written in a shuffled order, a sub-folder among them: the
    // rows come in name order (letters without regard to case), descending
    // into a folder where its name stands.
    std::vector<int> order(30);
    std::iota(order.begin(), order.end(), 1);
    std::shuffle(order.begin(), order.end(), std::mt19937(7));
    for (const int i : order) {
        char name[32];
        std::snprintf(name, sizeof name, "top/%02d.txt", i);
        dir.write(name, "x");
    }
    dir.write("top/15a/inner.txt", "i");
    dir.write("top/B.txt", "b");
    dir.write("top/a.txt", "a");
    const auto out = expansion.expand(folderItem(dir / "top"));
    std::vector<std::string> expected;
    for (int i = 1; i <= 30; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "%02d.txt", i);
        expected.push_back(generic(dir / "top" / name));
        if (i == 15) {
            expected.push_back(generic(dir / "top/15a/inner.txt"));
        }
    }
    expected.push_back(generic(dir / "top/a.txt"));
    expected.push_back(generic(dir / "top/B.txt"));
    std::vector<std::string> got;
    for (const auto& r : out.records) {
        got.push_back(r.localPath());
    }
    EXPECT_EQ(got, expected);
}

TEST_F(FolderExpansionTest, RecordsCarryTheTemplateAndTheirOwnFile) {
    dir.write("album/sub/one.mp3", std::string(1234, 'x'));
    tools::PageValues v;
    v.userNumber = 55;
    v.registrant = "member";
    v.sectionCode = "07";
    auto item = folderItem(dir / "album", v);
    auto out = expansion.expand(item);
    ASSERT_EQ(out.records.size(), 1u);
    const auto& r = out.records[0];
    EXPECT_EQ(r.recordTag(), 4);
    EXPECT_EQ(r.itemKind(), 1);
    EXPECT_EQ(r.itemSize(), 1234.0);
    EXPECT_EQ(r.itemName(), "one.mp3");
    EXPECT_EQ(r.parentFolder(), native(dir / "album/sub/"));
    EXPECT_EQ(r.fileDigest(), *fileDigest(dir / "album/sub/one.mp3"));
    EXPECT_EQ(r.userValues().displayText(), item.parentFolder());
    EXPECT_EQ(r.userValues().registrantName(), "member");
    // The last (here the only) record carries the user number.
    EXPECT_EQ(r.userNumberCopy(), 55);
}

TEST_F(FolderExpansionTest, DoubledSeparatorsInTheFolderPathAreFound) {
    dir.write("d/x.txt", "x");
    auto item = folderItem(dir / "d");
    ASSERT_TRUE(item.setParentFolder(platform::utf8Text(dir.path()) + "//"));
    EXPECT_EQ(FolderExpansion::folderPath(item), generic(dir / "d"));
    EXPECT_EQ(expansion.expand(item).records.size(), 1u);
}

TEST_F(FolderExpansionTest, DisplayTextIsCutTo255Bytes) {
    // A parent folder of 300 bytes: a deep path of short names.
    std::string deep = "p";
    while (platform::utf8Text(dir.path() / deep).size() < 300) {
        deep += "/abcdefghij";
    }
    dir.write(deep + "/leaf/f.txt", "1");
    std::error_code listing;
    fs::directory_iterator(dir / deep / "leaf", listing);
    if (listing) {
        GTEST_SKIP() << "this system lists no folder of 300 characters: " << listing.message();
    }
    auto item = folderItem(dir / deep / "leaf");
    ASSERT_GE(item.parentFolder().size(), 300u);
    auto out = expansion.expand(item);
    ASSERT_EQ(out.records.size(), 1u);
    EXPECT_EQ(out.records[0].userValues().displayText(), item.parentFolder().substr(0, 255));
}

TEST_F(FolderExpansionTest, SharedFirstTenMebibytesShareTheDigest) {
    std::string head(kDigestWindow, 'h');
    dir.write("same/a.bin", head + std::string(kDigestWindow, 'a'));  // 20 MiB
    dir.write("same/b.bin", head + "different tail");
    auto out = expansion.expand(folderItem(dir / "same"));
    ASSERT_EQ(out.records.size(), 2u);
    EXPECT_EQ(out.records[0].fileDigest(), out.records[1].fileDigest());
}

TEST_F(FolderExpansionTest, ServerFoldersOfAThreeLevelTree) {
    dir.write("root/a.txt", "1");
    dir.write("root/l1/b.txt", "2");
    dir.write("root/l1/l2/c.txt", "3");
    auto item = folderItem(dir / "root");
    ASSERT_TRUE(item.setServerFolderPath("/srv"));
    auto values = item.userValues();
    ASSERT_TRUE(values.setFolderGroupText("G7"));
    item.setUserValues(values);
    auto out = expansion.expand(item);
    std::map<std::string, std::string> byName;
    for (const auto& r : out.records) {
        byName[r.itemName()] = r.serverFolderPath();
    }
    // The top folder's own name is replaced by the group text.
    EXPECT_EQ(byName["a.txt"], "/srv/G7");
    EXPECT_EQ(byName["b.txt"], "/srv/G7/l1");
    EXPECT_EQ(byName["c.txt"], "/srv/G7/l1/l2");
}

TEST_F(FolderExpansionTest, MyStorageGroupMarks) {
    dir.write("mine/a", "1");
    dir.write("mine/b", "2");
    dir.write("mine/c", "3");
    tools::PageValues v;
    v.userNumber = 9;
    auto item = tools::buildMyStorageJob(dir / "mine", v);
    ASSERT_TRUE(item);
    auto out = expansion.expand(*item);
    ASSERT_EQ(out.records.size(), 3u);
    EXPECT_EQ(out.records[0].groupPosition(), 2);
    EXPECT_EQ(out.records[1].groupPosition(), 0);
    EXPECT_EQ(out.records[2].groupPosition(), 1);
    EXPECT_EQ(out.records[0].userNumberCopy(), 0);
    EXPECT_EQ(out.records[2].userNumberCopy(), 9);
    EXPECT_EQ(out.records[0].recordTag(), 3);
}

TEST_F(FolderExpansionTest, FilesTheRecordsCannotCarryAreLeftOutEachWithItsReason) {
    dir.write("odd/fine.txt", "1");
    dir.write("odd/emoji-\xF0\x9F\x98\x80.txt", "2");
    dir.write("odd/back\\slash.txt", "3");
    dir.write("secret.txt", "s");
    // (Where links cannot be made, a name with '\' cannot be either.)
    if (!testing::makeLink(dir / "secret.txt", dir / "odd" / "out") ||
        !testing::makeLink(dir / "odd" / "fine.txt", dir / "odd" / "in")) {
        GTEST_SKIP() << "no symbolic links here";
    }
    auto item = folderItem(dir / "odd");
    // A server folder that leaves no room for the group text and the sub-folder.
    ASSERT_TRUE(item.setServerFolderPath("/" + std::string(505, 's')));
    dir.write("odd/deeper/x.txt", "4");
    const auto out = expansion.expand(item);
    std::map<std::string, std::string> leftOut;
    for (const auto& l : out.leftOut) {
        leftOut[l.name] = l.reason;
    }
    std::vector<std::string> sent;
    for (const auto& r : out.records) {
        sent.push_back(r.itemName());
    }
    EXPECT_EQ(sent, (std::vector<std::string>{"fine.txt", "in"}));
    ASSERT_EQ(leftOut.size(), 4u);
    EXPECT_NE(leftOut["emoji-\xF0\x9F\x98\x80.txt"].find("CP949"), std::string::npos);
    EXPECT_NE(leftOut["back\\slash.txt"].find("'\\'"), std::string::npos);
    EXPECT_NE(leftOut["out"].find("링크"), std::string::npos);
    EXPECT_NE(leftOut["x.txt"].find("서버 폴더 경로가 너무 깁니다"), std::string::npos)
        << leftOut["x.txt"];
    EXPECT_TRUE(reports.empty());
}

}  // namespace
}  // namespace quenvara::uploader
