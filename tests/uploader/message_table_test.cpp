// Every message a data server may send inside the upload conversation, and
// the answer the message tables give for it, kind 4 and kind 3.
#include <future>

#include "tests/uploader/scripted_server.h"
#include "tests/uploader/transfer_fixture.h"

namespace quenvara::uploader {
namespace {

using namespace std::chrono_literals;
using testing_transfer::ScriptedServer;
using testing_transfer::TransferTest;
using S = ScriptedServer;

struct Case {
    const char* name;
    bool myStorage;
    S::Step serverSends;
    std::int32_t answer;  // 0: the uploader answers nothing and closes
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << c.name;
}

S::Step sendWithStatus(std::int32_t type, std::int32_t status) {
    return [=](platform::TcpConnection& c) {
        const auto head = transfer::PacketHeader{type, 0, 0, status, {}}.encode();
        return c.sendAll(head) == static_cast<long>(head.size());
    };
}

S::Step sendHeaderOnly(std::int32_t type, std::int32_t count, std::int32_t size) {
    return [=](platform::TcpConnection& c) {
        const auto head = transfer::PacketHeader{type, count, size, 0, {}}.encode();
        return c.sendAll(head) == static_cast<long>(head.size());
    };
}

S::Step sendErrorForm() {
    return [](platform::TcpConnection& c) {
        const auto head = transfer::PacketHeader{5, 0, 0, -1, {}}.encode();
        std::vector<std::uint8_t> text(transfer::kErrorTextSize, 0);
        const std::string words = "maintenance";
        std::copy(words.begin(), words.end(), text.begin());
        return c.sendAll(head) == static_cast<long>(head.size()) &&
               c.sendAll(text) == static_cast<long>(text.size());
    };
}

// The uploader closes the connection without another packet.
S::Step expectClose() {
    return [](platform::TcpConnection& c) {
        std::array<std::uint8_t, transfer::kHeaderSize> head{};
        const long got = c.recvExact(head);
        EXPECT_LE(got, 0) << "a packet " << transfer::PacketHeader::decode(head).type
                          << " where the uploader should have closed";
        return false;
    };
}

S::Step sendRecord(std::int32_t type, bool myStorage) {
    return [=](platform::TcpConnection& c) {
        const std::vector<std::uint8_t> body(myStorage ? 7772 : 7972, 0);
        const auto packet = transfer::encodePacket(type, body, {});
        return c.sendAll(packet) == static_cast<long>(packet.size());
    };
}

class MessageTableTest : public TransferTest, public ::testing::WithParamInterface<Case> {};

TEST_P(MessageTableTest, UploaderAnswersAsTheTableSays) {
    const auto& c = GetParam();
    std::vector<S::Step> first = {S::expect(512), c.serverSends};
    first.push_back(c.answer == 0 ? expectClose() : S::expect(c.answer));
    // Any later conversation of the run ends it at once.
    ScriptedServer server({first, {S::expect(512), S::send(506), S::expect(5)}});
    h.window.clickCheckBox(control::kCloseWindowCheck);
    question_.answer = {true, false};
    const auto path = file("x.bin", 100);
    if (c.myStorage) {
        auto r = tools::buildMyStorageJob(path, {});
        ASSERT_TRUE(r);
        ASSERT_TRUE(r->setDataServerAddress("127.0.0.1"));
        r->setDataServerPort(server.port());
        ASSERT_TRUE(h.window.onCopyData(handover::makeMyStorageJobMessage(*r)));
    } else {
        auto r = tools::buildUploadJob(path, {});
        ASSERT_TRUE(r);
        ASSERT_TRUE(r->setDataServerAddress("127.0.0.1"));
        r->setDataServerPort(server.port());
        ASSERT_TRUE(h.window.onCopyData(handover::makeUploadJobMessage(*r)));
    }
    h.window.onCommand(control::kStartStop);
    auto ended = std::async(std::launch::async, [&] { h.waitForEngine(); });
    ASSERT_EQ(ended.wait_for(30s), std::future_status::ready);
    server.stop();
    EXPECT_GE(server.connections(), 1);
}

std::string caseName(const ::testing::TestParamInfo<Case>& info) {
    return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(
    Messages, MessageTableTest,
    ::testing::Values(
        Case{"Close5", false, S::send(5), 0}, Case{"CloseRequest203", false, S::send(203), 5},
        Case{"Poll505", false, S::send(505), 500},
        Case{"Poll505HeaderOnlyNegative", false, sendHeaderOnly(505, 1, -1), 500},
        Case{"Poll505MyStorage", true, S::send(505), 2002},
        Case{"AlreadyConnected506", false, S::send(506), 5},
        Case{"ResendRecord507", false, S::send(507), 501},
        Case{"ResendRecord2004", true, S::send(2004), 2003},
        Case{"RegisteredRecord508", false, sendRecord(508, false), 6},
        Case{"RegisteredRecord508WithoutBody", false, S::send(508), 6},
        Case{"RegisteredRecord508MyStorage", true, sendRecord(508, true), 6},
        Case{"SameName509", false, S::send(509), 6},
        Case{"Disconnected514", false, S::send(514), 500},
        Case{"RegisterError517", false, sendWithStatus(517, 4001), 5},
        Case{"RegisterError2005", true, sendWithStatus(2005, 2003), 5},
        Case{"FolderRegistered518", false, sendRecord(518, false), 5},
        Case{"Location1001", false, S::send(1001, std::vector<std::uint8_t>(40, 0)), 5},
        Case{"ErrorForm", false, sendErrorForm(), 5}, Case{"Unknown4242", false, S::send(4242), 0},
        // Asked before any file of the conversation: this row's record.
        Case{"RequestRecord503First", false, S::send(503), 501},
        Case{"RequestRecord2006First", true, S::send(2006), 2003}),
    caseName);

}  // namespace
}  // namespace quenvara::uploader
