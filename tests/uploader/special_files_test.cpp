// A FIFO, a device, a socket or a folder where a file is expected is refused
// with its reason; nothing opens it in a way that blocks.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <future>

#include "common/file_digest.h"
#include "common/regular_file.h"
#include "handover_client/job_builder.h"
#include "tests/support/temp_dir.h"
#include "tests/uploader/window_harness.h"
#include "uploader/transfer/folder_expansion.h"

namespace quenvara::uploader {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

fs::path makeFifo(const fs::path& path) {
    fs::create_directories(path.parent_path());
    EXPECT_EQ(::mkfifo(path.c_str(), 0600), 0);
    return path;
}

void makeSocket(const fs::path& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", path.c_str());
    EXPECT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ::close(fd);
}

// Runs `body` on its own thread; false when it is still blocked after a
// generous bound.
template <class F>
bool returns(F&& body) {
    auto done = std::async(std::launch::async, std::forward<F>(body));
    const bool ready = done.wait_for(10s) == std::future_status::ready;
    if (!ready) {
        std::abort();  // a blocked open cannot be cancelled: fail loudly
    }
    return ready;
}

TEST(SpecialFiles, OpeningIsRefusedWithTheReason) {
    testing::TempDir dir;
    const auto fifo = makeFifo(dir / "pipe");
    EXPECT_TRUE(returns([&] {
        auto fd = openRegularFile(fifo);
        ASSERT_FALSE(fd);
        EXPECT_NE(fd.error().find("(FIFO)"), std::string::npos) << fd.error();
        auto digest = fileDigest(fifo);
        ASSERT_FALSE(digest);
        EXPECT_NE(digest.error().find("일반 파일이 아니어서 올릴 수 없습니다."), std::string::npos);
    }));
    EXPECT_NE(notRegularFileReason("/dev/null").find("(장치)"), std::string::npos);
    EXPECT_NE(notRegularFileReason(dir.path()).find("(폴더)"), std::string::npos);
    EXPECT_EQ(notRegularFileReason(dir.write("plain", "x")), "");
    EXPECT_EQ(notRegularFileReason(dir / "missing"), "");
    auto plain = openRegularFile(dir / "plain");
    ASSERT_TRUE(plain);
    char c = 0;
    EXPECT_EQ(::read(*plain, &c, 1), 1);  // blocking again, and readable
    ::close(*plain);
}

TEST(SpecialFiles, FolderWalkReportsAndSkipsThem) {
    testing::TempDir dir;
    dir.write("top/a.txt", "a");
    makeFifo(dir / "top" / "sub" / "pipe");
    makeSocket(dir / "top" / "sock");
    dir.write("top/sub/b.txt", "b");
    std::vector<std::string> reports;
    FolderExpansion expansion{fileDigest, [&](const std::string& t) { reports.push_back(t); }};
    auto item = tools::buildUploadJob(dir / "top", {});
    ASSERT_TRUE(item) << item.error();
    FolderExpansion::Outcome<UploadJobRecord> out;
    EXPECT_TRUE(returns([&] { out = expansion.expand(*item); }));
    ASSERT_EQ(out.records.size(), 2u);
    // One notice naming each.
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find("pipe: 일반 파일이 아니어서 올릴 수 없습니다. (FIFO)"),
              std::string::npos);
    EXPECT_NE(reports[0].find("sock: 일반 파일이 아니어서 올릴 수 없습니다. (소켓)"),
              std::string::npos);
}

TEST(SpecialFiles, FolderThatCannotBeReadIsReported) {
    testing::TempDir dir;
    dir.write("gone/a.txt", "a");
    auto item = tools::buildUploadJob(dir / "gone", {});
    ASSERT_TRUE(item);
    fs::remove_all(dir / "gone");
    std::vector<std::string> reports;
    FolderExpansion expansion{fileDigest, [&](const std::string& t) { reports.push_back(t); }};
    const auto out = expansion.expand(*item);
    EXPECT_TRUE(out.records.empty());
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find("gone"), std::string::npos);
}

TEST(SpecialFiles, IntakeRefusesThemAsSingleFiles) {
    testing_support::WindowHarness h;
    h.window.view().setText(control::kPathBox, "/queued");
    const auto plain = h.dir.write("files/plain.bin", "x");
    auto record = tools::buildUploadJob(plain, {});
    ASSERT_TRUE(record);
    // The page chose a file; by the time it is handed over the name is a
    // FIFO, then a folder.
    fs::remove(plain);
    makeFifo(plain);
    EXPECT_TRUE(returns([&] { h.window.onCopyData(handover::makeUploadJobMessage(*record)); }));
    fs::remove(plain);
    fs::create_directory(plain);
    h.window.onCopyData(handover::makeUploadJobMessage(*record));
    EXPECT_EQ(h.window.list().rowCount(), 0);
    const auto texts = h.notices.texts();
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_NE(texts[0].find("(FIFO)"), std::string::npos) << texts[0];
    EXPECT_NE(texts[1].find("(폴더)"), std::string::npos) << texts[1];
}

}  // namespace
}  // namespace quenvara::uploader
