#include <gtest/gtest.h>

#include <mutex>
#include <thread>

#include "handover_client/pipe_list_writer.h"
#include "platform/local_pipe.h"
#include "protocol/list_message.h"
#include "tests/support/recording_notices.h"
#include "tests/support/temp_dir.h"
#include "tests/support/virtual_clock.h"
#include "uploader/handover/overlapped_name_pipe_server.h"

namespace quenvara::uploader {
namespace {

using namespace std::chrono_literals;
using handover::ListMessage;
using handover::ListMessageKind;

// A server on a private socket whose window records what it is handed and
// refuses kinds it does not know, as the real window does.
class HandoverTest : public ::testing::Test {
  protected:
    void startServer(long allowedUid = platform::currentUserId(),
                     platform::Millis frameTimeout = 5000ms) {
        COverlappedNamePipeServer::Options options;
        options.socketPath =
            dir_ / "pipes" / ("quenvaraupload" + std::string(platform::executableSuffix()));
        options.allowedUid = allowedUid;
        options.frameTimeout = frameTimeout;
        server_ = std::make_unique<COverlappedNamePipeServer>(
            options,
            [this](const ListMessage& m) -> Status {
                auto item = handover::interpret(m);
                if (!item) {
                    return Status::failure(item.error());
                }
                std::lock_guard lock(mutex_);
                received_.push_back(m);
                return {};
            },
            serverNotices_, clock_);
        server_->start();
        ASSERT_TRUE(server_->waitUntilListening(5000ms));
    }

    std::filesystem::path socketPath() const {
        return dir_ / "pipes" / ("quenvaraupload" + std::string(platform::executableSuffix()));
    }

    handover::PipeListWriter writer() {
        return handover::PipeListWriter(clientNotices_, clock_, [this](std::string_view name) {
            return dir_ / "pipes" / std::string(name);
        });
    }

    std::vector<ListMessage> received() {
        std::lock_guard lock(mutex_);
        return received_;
    }

    // Sends raw bytes on one connection and waits for the server to finish
    // with it (the server closes its end).
    void sendRaw(std::span<const std::uint8_t> bytes) {
        int err = 0;
        auto c = platform::connectLocalPipe(socketPath(), err);
        ASSERT_TRUE(c) << c.error();
        c->writeAll(bytes);
    }

    void expectServedAfterwards() {
        const auto before = received().size();
        auto w = writer();
        ASSERT_TRUE(w.write(
            handover::makeServerAddressMessage(ListMessageKind::ServerAddress, "1.2.3.4", 1)))
            << w.lastError();
        EXPECT_EQ(received().size(), before + 1);
    }

    std::string lastServerNotice() {
        auto texts = serverNotices_.texts();
        return texts.empty() ? "" : texts.back();
    }

    testing::TempDir dir_;
    testing::VirtualClock clock_;
    testing::RecordingNotices serverNotices_;
    testing::RecordingNotices clientNotices_;
    std::unique_ptr<COverlappedNamePipeServer> server_;
    std::mutex mutex_;
    std::vector<ListMessage> received_;
};

TEST_F(HandoverTest, ThreeMessagesArriveInOrderAndAreAcknowledged) {
    startServer();
    auto w = writer();
    UploadJobRecord job;
    ASSERT_TRUE(job.setItemName("노래.mp3"));
    ASSERT_TRUE(w.write(
        handover::makeServerAddressMessage(ListMessageKind::ServerAddress, "127.0.0.1", 9000)));
    ASSERT_TRUE(w.write(
        handover::makeMusicListMessage(std::vector{handover::MusicListEntry('Y', 'Y', "x.mp3")})));
    ASSERT_TRUE(w.write(handover::makeUploadJobMessage(job)));

    auto got = received();
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0].kind, 0);
    EXPECT_EQ(got[0].payload.size(), 20u);
    EXPECT_EQ(got[1].kind, 13);
    EXPECT_EQ(got[1].payload.size(), 516u);
    EXPECT_EQ(got[2].kind, 4);
    EXPECT_EQ(*UploadJobRecord::fromBytes(got[2].payload), job);
    EXPECT_TRUE(serverNotices_.boxes().empty());
}

TEST_F(HandoverTest, ShortFrameIsReportedAndDropped) {
    startServer();
    auto frame = *handover::encodeFrame(
        handover::makeServerAddressMessage(ListMessageKind::ServerAddress, "9.9.9.9", 9));
    sendRaw(std::span(frame).first(1000));
    expectServedAfterwards();
    EXPECT_EQ(received().size(), 1u);
    EXPECT_EQ(received()[0].payload[0], '1');  // only the later, whole message
    const auto notice = serverNotices_.texts().at(0);
    EXPECT_EQ(notice.rfind("데이터 목록내용 전송 오류입니다", 0), 0u);
    EXPECT_NE(notice.find("1000 of 1048584"), std::string::npos);
}

TEST_F(HandoverTest, LengthFieldBeyondThePayloadAreaIsRefused) {
    startServer();
    auto frame = *handover::encodeFrame(ListMessage{4, {}});
    frame[4] = 0xFF;
    frame[5] = 0xFF;
    frame[6] = 0xFF;
    frame[7] = 0x7F;
    sendRaw(frame);
    expectServedAfterwards();
    EXPECT_EQ(received().size(), 1u);
    EXPECT_NE(serverNotices_.texts().at(0).find("exceeds the 1048576-byte payload area"),
              std::string::npos);
}

TEST_F(HandoverTest, UnknownKindIsRefusedAndTheClientTold) {
    startServer();
    auto w = writer();
    EXPECT_FALSE(w.write(ListMessage{77, std::vector<std::uint8_t>(300, 1)}));
    EXPECT_EQ(w.lastError(), "the uploader refused the message");
    EXPECT_NE(lastServerNotice().find("unknown message kind 77"), std::string::npos);
    expectServedAfterwards();
}

TEST_F(HandoverTest, ConnectionFromAnotherUserIsRefused) {
    startServer(platform::currentUserId() + 1);
    auto frame = *handover::encodeFrame(
        handover::makeServerAddressMessage(ListMessageKind::ServerAddress, "9.9.9.9", 9));
    sendRaw(frame);
    // The refusal is noticed before the next client: wait for it.
    for (int i = 0; i < 500 && server_->connectionsRefused() == 0; ++i) {
        std::this_thread::sleep_for(2ms);
    }
    EXPECT_EQ(server_->connectionsRefused(), 1u);
    EXPECT_TRUE(received().empty());
    EXPECT_NE(lastServerNotice().find("connection from user id " +
                                      std::to_string(platform::currentUserId())),
              std::string::npos);
}

TEST_F(HandoverTest, SilentClientsAreDroppedAndServingGoesOn) {
    startServer(platform::currentUserId(), 50ms);
    {
        // Connects and hangs up without a byte.
        int err = 0;
        auto c = platform::connectLocalPipe(socketPath(), err);
        ASSERT_TRUE(c);
    }
    expectServedAfterwards();
    {
        // Connects and stays silent: dropped after the frame time-out. The
        // writer is served before or after it (the pipe keeps a free instance
        // beside the one taken, as a socket's backlog would).
        int err = 0;
        auto idle = platform::connectLocalPipe(socketPath(), err);
        ASSERT_TRUE(idle);
        expectServedAfterwards();
        for (int i = 0; i < 500 && serverNotices_.texts().size() < 2; ++i) {
            std::this_thread::sleep_for(10ms);
        }
    }
    const auto texts = serverNotices_.texts();
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_NE(texts[0].find("closed after 0 of 1048584"), std::string::npos);
    EXPECT_NE(texts[1].find("no whole frame within 50 ms"), std::string::npos);
}

TEST_F(HandoverTest, WriterGivesUpAfterThirtyAttempts) {
    auto w = writer();
    EXPECT_FALSE(w.write(handover::makeMusicListMessage({})));
    const auto sleeps = clock_.sleeps();
    EXPECT_EQ(sleeps.size(), 30u);
    EXPECT_EQ(sleeps.front(), 1000ms);
    const auto boxes = clientNotices_.boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Error");
    EXPECT_EQ(boxes[0].text,
              "파이프를 생성할 수 없습니다. \n상세정보 2: No such file or directory");
}

TEST_F(HandoverTest, ServerThatCannotListenReportsOnceAndStops) {
    dir_.write("pipes", "not a folder");
    COverlappedNamePipeServer::Options options;
    options.socketPath = socketPath();
    COverlappedNamePipeServer server(
        options, [](const ListMessage&) { return Status{}; }, serverNotices_, clock_);
    server.start();
    EXPECT_FALSE(server.waitUntilListening(5000ms));
    server.stop();
    EXPECT_EQ(clock_.sleeps().size(), 30u);
    const auto texts = serverNotices_.texts();
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(
        texts[0].rfind("다운로드 파이프 생성 오류입니다.\n프로그램을 종료 후 다시 시작해주세요", 0),
        0u);
}

}  // namespace
}  // namespace quenvara::uploader
