#include "handover_client/pipe_list_writer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <thread>

#include "tests/support/recording_notices.h"
#include "tests/support/temp_dir.h"
#include "tests/support/virtual_clock.h"

namespace quenvara::handover {
namespace {

using namespace std::chrono_literals;

// A listener that takes one connection, counts the bytes it receives and
// acknowledges a whole frame.
class CountingListener {
  public:
    explicit CountingListener(const std::filesystem::path& socketPath)
        : listener_(platform::LocalPipeListener::listen(socketPath)) {
        if (listener_) {
            thread_ = std::thread([this] { serveOne(); });
        }
    }
    ~CountingListener() {
        if (thread_.joinable()) {
            thread_.join();
        }
    }
    bool listening() const { return listener_.ok(); }
    std::size_t received() {
        thread_.join();
        return received_;
    }

  private:
    void serveOne() {
        auto connection = listener_->accept();
        if (!connection) {
            return;
        }
        std::vector<std::uint8_t> frame(kFrameSize);
        received_ = connection->readFull(frame, 5000ms).transferred;
        if (received_ == kFrameSize) {
            connection->writeAll(std::vector<std::uint8_t>(kAckSize, 0));
        }
    }

    Result<platform::LocalPipeListener> listener_;
    std::thread thread_;
    std::size_t received_ = 0;
};

TEST(PipeListWriter, SendsOnlyToOurOwnUsersListenerInAPrivateFolder) {
    struct Case {
        const char* name;
        ::mode_t folderMode;
        bool folderIsLink;
        long peerUidOffset;  // added to ours: what the system reports of the peer
        bool sent;
    };
    const Case cases[] = {
        {"private folder, our peer", 0700, false, 0, true},
        {"folder others can enter", 0755, false, 0, false},
        {"folder reached through a link", 0700, true, 0, false},
        {"peer of another user", 0700, false, 1, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        testing::TempDir dir;
        const auto real = dir / "real";
        ASSERT_EQ(::mkdir(real.c_str(), c.folderMode), 0);
        ASSERT_EQ(::chmod(real.c_str(), c.folderMode), 0);
        auto folder = real;
        if (c.folderIsLink) {
            folder = dir / "link";
            std::filesystem::create_directory_symlink(real, folder);
        }
        CountingListener listener(folder / "quenvaraupload");
        ASSERT_TRUE(listener.listening());

        testing::RecordingNotices notices;
        testing::VirtualClock clock;
        PipeListWriter writer(notices, clock,
                              [&](std::string_view name) { return folder / std::string(name); });
        writer.setPeerUid([&](const platform::LocalPipeConnection& connection) {
            return connection.peerUid() + c.peerUidOffset;
        });
        const bool written = writer.write(
            makeServerAddressMessage(ListMessageKind::ServerAddress, "127.0.0.1", 9000));

        EXPECT_EQ(written, c.sent) << writer.lastError();
        EXPECT_EQ(listener.received(), c.sent ? kFrameSize : 0u);
        const auto boxes = notices.boxes();
        EXPECT_EQ(boxes.size(), c.sent ? 0u : 1u);
        for (const auto& box : boxes) {
            EXPECT_EQ(box.icon, platform::NoticeIcon::Stop);
            EXPECT_NE(box.text.find(writer.lastError()), std::string::npos) << box.text;
        }
    }
}

}  // namespace
}  // namespace quenvara::handover
