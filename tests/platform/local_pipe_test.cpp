#include "platform/local_pipe.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <numeric>
#include <thread>
#include <vector>

#include "tests/support/temp_dir.h"

namespace quenvara::platform {
namespace {

using namespace std::chrono_literals;

TEST(LocalPipe, PrivateDirectoryIsCreatedAndCheckedForOthers) {
    testing::TempDir dir;
    const auto pipes = dir / "pipes";
    ASSERT_TRUE(ensurePrivateDirectory(pipes));
    struct stat st {};
    ASSERT_EQ(::stat(pipes.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_TRUE(ensurePrivateDirectory(pipes));  // again: fine

    ::chmod(pipes.c_str(), 0755);
    auto open = ensurePrivateDirectory(pipes);
    EXPECT_FALSE(open);
    EXPECT_NE(open.error().find("open to other users"), std::string::npos);

    dir.write("file", "x");
    EXPECT_FALSE(ensurePrivateDirectory(dir / "file"));
}

TEST(LocalPipe, ReadFullJoinsAFrameSentInPieces) {
    testing::TempDir dir;
    const auto path = dir / "p";
    auto listener = LocalPipeListener::listen(path);
    ASSERT_TRUE(listener) << listener.error();
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0077, 0u);

    std::vector<std::uint8_t> sent(300'000);
    std::iota(sent.begin(), sent.end(), 0);
    std::thread client([&] {
        int err = 0;
        auto c = connectLocalPipe(path, err);
        ASSERT_TRUE(c);
        // Dribble the bytes in uneven pieces.
        std::size_t at = 0;
        for (std::size_t piece = 1; at < sent.size(); piece = piece * 3 + 7) {
            const auto n = std::min(piece, sent.size() - at);
            c->writeAll(std::span(sent).subspan(at, n));
            at += n;
        }
    });
    auto conn = listener->accept();
    ASSERT_TRUE(conn);
    EXPECT_EQ(conn->peerUid(), static_cast<long>(::getuid()));
    std::vector<std::uint8_t> got(sent.size());
    auto r = conn->readFull(got, 5000ms);
    client.join();
    EXPECT_TRUE(r.complete(got.size()));
    EXPECT_EQ(got, sent);
}

TEST(LocalPipe, ReadFullReportsEarlyCloseAndTimeout) {
    testing::TempDir dir;
    const auto path = dir / "p";
    auto listener = LocalPipeListener::listen(path);
    ASSERT_TRUE(listener);
    {
        int err = 0;
        auto c = connectLocalPipe(path, err);
        ASSERT_TRUE(c);
        std::vector<std::uint8_t> some(10, 1);
        c->writeAll(some);
    }
    auto conn = listener->accept();
    ASSERT_TRUE(conn);
    std::vector<std::uint8_t> buf(100);
    auto r = conn->readFull(buf, 5000ms);
    EXPECT_TRUE(r.endOfFile);
    EXPECT_EQ(r.transferred, 10u);

    int err = 0;
    auto idle = connectLocalPipe(path, err);
    ASSERT_TRUE(idle);
    auto conn2 = listener->accept();
    ASSERT_TRUE(conn2);
    auto t = conn2->readFull(buf, 20ms);
    EXPECT_TRUE(t.timedOut);
    EXPECT_EQ(t.transferred, 0u);
}

TEST(LocalPipe, InterruptWakesAcceptAndMissingServerIsReported) {
    testing::TempDir dir;
    auto listener = LocalPipeListener::listen(dir / "p");
    ASSERT_TRUE(listener);
    std::thread waker([&] { listener->interrupt(); });
    EXPECT_FALSE(listener->accept());
    waker.join();

    int err = 0;
    EXPECT_FALSE(connectLocalPipe(dir / "nobody", err));
    EXPECT_EQ(err, ENOENT);
}

}  // namespace
}  // namespace quenvara::platform
