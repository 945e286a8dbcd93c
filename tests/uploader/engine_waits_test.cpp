// The engine never keeps the window or the user waiting on the network: a
// silent server, an address that swallows packets, an address that is none.

#include <future>
#include <thread>

#include "tests/support/black_hole.h"
#include "tests/support/special_paths.h"
#include "tests/uploader/transfer_fixture.h"

namespace quenvara::uploader {
namespace {

using namespace std::chrono_literals;
using testing_transfer::TransferTest;

class EngineWaitsTest : public TransferTest {
  protected:
    // Two groups: a finished row the delete command removes, and the row
    // the engine works on.
    void doneRowThenWaitingRow() {
        tools::PageValues first;
        first.userNumber = 1;
        handOver(file("done.bin", 10), first);
        tools::PageValues second;
        second.userNumber = 2;
        handOver(file("waiting.bin", 5000), second);
        h.window.list().setJobState(0, "완료");
    }
};

// Real time here: these tests are about the engine blocked in the network.
template <class F>
bool within(std::chrono::seconds limit, F&& condition) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (condition()) {
            return true;
        }
        std::this_thread::sleep_for(10ms);
    }
    return condition();
}

TEST_F(EngineWaitsTest, DeleteReturnsAtOnceWhileTheServerIsSilent) {
    h.window.clickCheckBox(control::kCloseWindowCheck);
    service::Faults faults;
    faults.silentAfterStart = true;
    startService(faults);
    doneRowThenWaitingRow();
    h.window.list().setCurrentRow(1);  // where the start command marks its row
    h.window.onCommand(control::kStartStop);
    ASSERT_TRUE(within(20s, [&] { return service_->conversations(512) == 1; }));
    std::this_thread::sleep_for(50ms);  // the engine now waits for the server's answer
    auto deleted = std::async(std::launch::async, [&] { h.window.onCommand(control::kDelete); });
    const bool returned = deleted.wait_for(5s) == std::future_status::ready;
    service_->stop();  // lets a blocked engine go, so that the test ends either way
    deleted.wait();
    EXPECT_TRUE(returned) << "delete waited for the network";
    EXPECT_EQ(h.window.list().rowCount(), 1);
    EXPECT_EQ(h.window.list().text(0, CFileListView::kName), "waiting.bin");
    h.waitForEngine();
    EXPECT_NE(rowState(0), "완료");
}

using testing::BlackHole;

TEST_F(TransferTest, PauseEndsAConnectInProgress) {
    h.window.clickCheckBox(control::kCloseWindowCheck);
    BlackHole hole;
    handOverAddress(hole.port());
    handOver(file("never.bin", 100));
    h.window.onCommand(control::kStartStop);
    std::this_thread::sleep_for(300ms);       // the engine is inside its first connect
    h.window.onCommand(control::kStartStop);  // the second press pauses
    auto ended = std::async(std::launch::async, [&] { h.waitForEngine(); });
    EXPECT_EQ(ended.wait_for(10s), std::future_status::ready);
    ended.wait();
    EXPECT_NE(rowState(0), "완료");
}

TEST_F(TransferTest, AddressTextsAreReadLikeInetAddr) {
    startService();
    // A trailing blank and the short form both name the loopback address.
    ASSERT_TRUE(h.window.onCopyData(handover::makeServerAddressMessage(
        handover::ListMessageKind::ServerAddress, "127.1 ", service_->commandPort())));
    const auto f = file("short.bin", 3000);
    handOver(f);
    runToEnd();
    EXPECT_EQ(rowState(0), "완료");
    expectStoredIdentical(f);
}

TEST_F(TransferTest, AddressThatIsNoneIsRefusedAtOnce) {
    h.window.clickCheckBox(control::kCloseWindowCheck);
    startService();
    ASSERT_TRUE(h.window.onCopyData(handover::makeServerAddressMessage(
        handover::ListMessageKind::ServerAddress, "upload.server", service_->commandPort())));
    handOver(file("x.bin", 10));
    const auto before = h.clock.sleeps().size();
    runToEnd();
    EXPECT_EQ(rowStatus(0), "서버 주소가 올바르지 않습니다. (upload.server)");
    const auto sleeps = h.clock.sleeps();
    EXPECT_LT(std::count(sleeps.begin() + static_cast<std::ptrdiff_t>(before), sleeps.end(),
                         platform::Millis{1000}),
              5);
}

TEST_F(TransferTest, FileThatBecameAFifoFailsItsRowWithoutBlocking) {
    h.window.clickCheckBox(control::kCloseWindowCheck);
    startService();
    const auto f = file("turned.bin", 2000);
    handOver(f);
    std::filesystem::remove(f);
    if (!quenvara::testing::makeFifo(f)) {
        GTEST_SKIP() << "no FIFOs here";
    }
    h.loop.advance(1000ms);
    auto ended = std::async(std::launch::async, [&] { h.waitForEngine(); });
    ASSERT_EQ(ended.wait_for(20s), std::future_status::ready);
    EXPECT_NE(rowState(0), "완료");
    EXPECT_NE(rowStatus(0).find("일반 파일이 아니어서 올릴 수 없습니다. (FIFO)"), std::string::npos)
        << rowStatus(0);
}

TEST_F(EngineWaitsTest, DeleteReturnsAtOnceDuringAConnect) {
    h.window.clickCheckBox(control::kCloseWindowCheck);
    BlackHole hole;
    handOverAddress(hole.port());
    doneRowThenWaitingRow();
    h.window.list().setCurrentRow(1);
    h.window.onCommand(control::kStartStop);
    std::this_thread::sleep_for(300ms);  // the engine is inside a connect
    auto deleted = std::async(std::launch::async, [&] { h.window.onCommand(control::kDelete); });
    EXPECT_EQ(deleted.wait_for(2s), std::future_status::ready) << "delete waited for a connect";
    deleted.wait();
    EXPECT_EQ(h.window.list().rowCount(), 1);
    h.window.onCommand(control::kStartStop);  // pause: the run ends
    h.waitForEngine();
}

}  // namespace
}  // namespace quenvara::uploader
