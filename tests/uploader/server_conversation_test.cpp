// One conversation with a server over a socket pair: every message the
// tables name, the error form, unknown numbers, cut and refused input, and
// what goes out.
#include "uploader/transfer/server_conversation.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <thread>
#include <vector>

#include "tests/support/loopback_pair.h"
#include "uploader/list/engine_gate.h"

namespace quenvara::uploader {
namespace {

namespace msg = transfer::msg;
using Kind = ServerMessage::Kind;
using Name = ServerMessageName;

const std::array<std::uint8_t, 12> kRegistrant = {'m', 'e', 'm', 'b', 'e', 'r', 0xb1, 0xe8};

std::vector<std::uint8_t> header(std::int32_t type, std::int32_t count, std::int32_t size,
                                 std::int32_t status) {
    transfer::PacketHeader h;
    h.type = type;
    h.count = count;
    h.size = size;
    h.status = status;
    const auto bytes = h.encode();
    return {bytes.begin(), bytes.end()};
}

std::vector<std::uint8_t> pattern(std::size_t n, std::uint8_t seed) {
    std::vector<std::uint8_t> bytes(n);
    for (std::size_t i = 0; i < n; ++i) {
        bytes[i] = static_cast<std::uint8_t>(seed + i * 7);
    }
    return bytes;
}

// The uploader's end in a conversation, the server's end a plain
// connection.
class ConversationTest : public ::testing::Test {
  protected:
    void SetUp() override {
        auto pair = testing::loopbackPair();
        conversation.attach(std::move(pair.ours));
        server = std::move(pair.theirs);
    }

    void serverWrites(const std::vector<std::uint8_t>& bytes) {
        ASSERT_EQ(server->sendAll(bytes), static_cast<long>(bytes.size()));
    }
    void serverSendsPacket(std::int32_t type, const std::vector<std::uint8_t>& body,
                           std::int32_t status = 0) {
        serverWrites(transfer::encodePacket(type, body, {}, status));
    }
    std::vector<std::uint8_t> serverReads(std::size_t n) {
        std::vector<std::uint8_t> bytes(n);
        if (server->recvExact(bytes) != static_cast<long>(n)) {
            ADD_FAILURE() << "the uploader sent fewer than " << n << " bytes";
            bytes.clear();
        }
        return bytes;
    }

    ServerConversation conversation{kRegistrant};
    std::unique_ptr<platform::TcpConnection> server;
};

TEST_F(ConversationTest, EveryServerNumberIsNamedAndReadWholeWithItsBody) {
    const std::vector<std::pair<std::int32_t, Name>> table = {
        {msg::kClose, Name::Close},
        {msg::kCloseRequest, Name::CloseRequest},
        {msg::kSendData, Name::SendData},
        {msg::kRequestRecord, Name::RequestRecord},
        {msg::kPoll, Name::Poll},
        {msg::kAlreadyConnected, Name::AlreadyConnected},
        {msg::kResendRecord, Name::ResendRecord},
        {msg::kRegisteredRecord, Name::RegisteredRecord},
        {msg::kSameName, Name::SameName},
        {msg::kDisconnected, Name::Disconnected},
        {msg::kRegisterError, Name::RegisterError},
        {msg::kFolderRegistered, Name::FolderRegistered},
        {msg::kLocation, Name::Location},
        {msg::kLocationMy, Name::Location},
        {msg::kFolderRegisteredMy, Name::FolderRegistered},
        {msg::kSendDataMy, Name::SendData},
        {msg::kResendRecordMy, Name::ResendRecord},
        {msg::kRegisterErrorMy, Name::RegisterError},
        {msg::kRequestRecordMy, Name::RequestRecord},
    };
    std::uint8_t seed = 1;
    for (const auto& [type, name] : table) {
        SCOPED_TRACE(type);
        // Bodies of every size the protocol has, from none to a whole record.
        for (const std::size_t size : {std::size_t{0}, std::size_t{8}, std::size_t{7972}}) {
            const auto body = pattern(size, seed++);
            serverSendsPacket(type, body);
            const auto got = conversation.next();
            ASSERT_EQ(got.kind, Kind::Packet);
            EXPECT_EQ(got.header.type, type);
            EXPECT_EQ(got.name(), name);
            EXPECT_EQ(got.body, body);
        }
    }
}

TEST_F(ConversationTest, UnknownNumbersAreReadWholeSoTheNextMessageIsInStep) {
    // Uploader-to-server numbers and numbers of neither table among them.
    for (const std::int32_t type : {0, 1, 6, 500, 502, 512, 1002, 2002, 2007, 9999, -7}) {
        SCOPED_TRACE(type);
        EXPECT_EQ(nameOf(type), Name::Unknown);
        const auto body = pattern(100, static_cast<std::uint8_t>(type));
        serverSendsPacket(type, body);
        serverSendsPacket(msg::kPoll, {});
        const auto unknown = conversation.next();
        ASSERT_EQ(unknown.kind, Kind::Packet);
        EXPECT_EQ(unknown.name(), Name::Unknown);
        EXPECT_EQ(unknown.body, body);
        EXPECT_EQ(conversation.next().name(), Name::Poll);
    }
}

TEST_F(ConversationTest, CountTimesSizeOfZeroOrLessIsAHeaderOnlyPacket) {
    const std::vector<std::pair<std::int32_t, std::int32_t>> shapes = {{0, 0},  {1, 0},  {0, 999},
                                                                       {1, -1}, {-1, 8}, {7, -3}};
    for (const auto& [count, size] : shapes) {
        SCOPED_TRACE(::testing::Message() << count << " x " << size);
        serverWrites(header(msg::kPoll, count, size, 0));
        serverSendsPacket(msg::kRequestRecord, {});
        const auto poll = conversation.next();
        ASSERT_EQ(poll.kind, Kind::Packet);
        EXPECT_TRUE(poll.body.empty());
        // Nothing was taken from the next packet as a body.
        EXPECT_EQ(conversation.next().name(), Name::RequestRecord);
    }
}

TEST_F(ConversationTest, ErrorFormIsTheTextForAnyNumberWhateverCountAndSizeSay) {
    // Terminated text, and a full 256 bytes with no terminator.
    std::vector<std::uint8_t> text(transfer::kErrorTextSize, 0);
    const char message[] = "\xbc\xad\xb9\xf6 error";  // CP949 bytes, as the server sends
    std::memcpy(text.data(), message, sizeof message - 1);
    std::vector<std::uint8_t> full(transfer::kErrorTextSize, 'x');

    for (const std::int32_t type : {msg::kSendData, msg::kPoll, 777}) {
        SCOPED_TRACE(type);
        auto bytes = header(type, 1, 5000, -1);
        bytes.insert(bytes.end(), text.begin(), text.end());
        serverWrites(bytes);
        serverSendsPacket(msg::kPoll, {});
        const auto error = conversation.next();
        ASSERT_EQ(error.kind, Kind::ErrorForm);
        EXPECT_EQ(error.text, std::string(message));
        EXPECT_TRUE(error.body.empty());
        EXPECT_EQ(conversation.next().name(), Name::Poll);
    }
    auto bytes = header(msg::kSendData, 0, 0, -2);
    bytes.insert(bytes.end(), full.begin(), full.end());
    serverWrites(bytes);
    const auto error = conversation.next();
    ASSERT_EQ(error.kind, Kind::ErrorForm);
    EXPECT_EQ(error.text, std::string(transfer::kErrorTextSize, 'x'));
}

TEST_F(ConversationTest, RegistrationErrorsCarryTheirNumberNotAnErrorForm) {
    for (const auto& [type, number] :
         std::vector<std::pair<std::int32_t, std::int32_t>>{{msg::kRegisterError, 4001},
                                                            {msg::kRegisterError, 4003},
                                                            {msg::kRegisterErrorMy, 2001},
                                                            {msg::kRegisterErrorMy, 2003}}) {
        serverSendsPacket(type, {}, number);
        const auto got = conversation.next();
        ASSERT_EQ(got.kind, Kind::Packet);
        EXPECT_EQ(got.name(), Name::RegisterError);
        EXPECT_EQ(got.header.status, number);
    }
}

TEST_F(ConversationTest, HeaderAnnouncingMoreThanAnyBodyIsRefusedBeforeAnythingIsRead) {
    serverWrites(header(msg::kSendData, 1, 64 * 1024 + 1, 0));
    const auto got = conversation.next();
    ASSERT_EQ(got.kind, Kind::Refused);
    EXPECT_FALSE(got.text.empty());
    EXPECT_TRUE(got.body.empty());

    serverWrites(header(msg::kSendData, 1 << 20, 1 << 20, 0));
    EXPECT_EQ(conversation.next().kind, Kind::Refused);
}

TEST_F(ConversationTest, CloseBeforeAHeaderIsOrderly) {
    serverSendsPacket(msg::kRequestRecord, {});
    server.reset();
    EXPECT_EQ(conversation.next().kind, Kind::Packet);
    EXPECT_EQ(conversation.next().kind, Kind::Closed);
}

TEST_F(ConversationTest, CloseInsideAHeaderIsABreak) {
    auto bytes = header(msg::kPoll, 0, 0, 0);
    bytes.resize(10);
    serverWrites(bytes);
    server.reset();
    const auto got = conversation.next();
    EXPECT_EQ(got.kind, Kind::Broken);
    EXPECT_NE(got.error, 0);
}

TEST_F(ConversationTest, CloseInsideABodyOrAnErrorTextIsCutShort) {
    auto bytes = header(msg::kLocation, 1, 300, 0);
    bytes.resize(bytes.size() + 120, 'a');
    serverWrites(bytes);
    server.reset();
    const auto body = conversation.next();
    EXPECT_EQ(body.kind, Kind::CutShort);
    EXPECT_EQ(body.header.type, msg::kLocation);
    EXPECT_TRUE(body.body.empty());

    SetUp();
    bytes = header(msg::kSendData, 0, 0, -1);
    bytes.resize(bytes.size() + 200, 'e');
    serverWrites(bytes);
    server.reset();
    const auto text = conversation.next();
    EXPECT_EQ(text.kind, Kind::CutShort);
    EXPECT_LT(text.header.status, 0);
}

TEST_F(ConversationTest, InterruptEndsAReceiveThatWaitsOnASilentServer) {
    ServerMessage got;
    std::thread engine([&] { got = conversation.next(); });
    // Give the engine thread time to block; the interrupt works either way.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    conversation.interrupt();
    engine.join();
    EXPECT_NE(got.kind, Kind::Packet);
}

TEST_F(ConversationTest, PacketsGoOutWithTheRegistrantAndTheirBody) {
    const auto body = pattern(28, 9);
    ASSERT_TRUE(conversation.send(msg::kLocate, body));
    ASSERT_TRUE(conversation.send(msg::kClose));

    auto head = serverReads(transfer::kHeaderSize);
    auto h = transfer::PacketHeader::decode(std::span<const std::uint8_t, 28>(head.data(), 28));
    EXPECT_EQ(h.type, msg::kLocate);
    EXPECT_EQ(h.count, 1);
    EXPECT_EQ(h.size, 28);
    EXPECT_EQ(h.status, 0);
    EXPECT_EQ(h.registrant, kRegistrant);
    EXPECT_EQ(serverReads(body.size()), body);

    head = serverReads(transfer::kHeaderSize);
    h = transfer::PacketHeader::decode(std::span<const std::uint8_t, 28>(head.data(), 28));
    EXPECT_EQ(h.type, msg::kClose);
    EXPECT_EQ(h.count, 0);
    EXPECT_EQ(h.size, 0);
    EXPECT_EQ(h.registrant, kRegistrant);

    const auto data = pattern(5000, 3);
    std::size_t sent = 0;
    while (sent < data.size()) {
        const long k = conversation.sendSome(std::span(data).subspan(sent));
        ASSERT_GT(k, 0);
        sent += static_cast<std::size_t>(k);
    }
    EXPECT_EQ(serverReads(data.size()), data);
}

TEST_F(ConversationTest, SendsFailOnceTheServerIsGoneOrNothingIsOpen) {
    // Gone with a reset: over TCP, a send after an orderly close would
    // still be taken into the buffers once.
    server->abort();
    server.reset();
    EXPECT_FALSE(conversation.send(msg::kAlive));
    EXPECT_LE(conversation.sendSome(pattern(10, 0)), 0);
    conversation.close();
    EXPECT_FALSE(conversation.isOpen());
    EXPECT_FALSE(conversation.send(msg::kAlive));
    EXPECT_EQ(conversation.sendSome(pattern(10, 0)), -1);
    EXPECT_EQ(conversation.next().kind, Kind::Broken);
}

// A connector that answers from a list, so connect's bookkeeping is seen
// without a network.
class ListConnector final : public platform::TcpConnector {
  public:
    std::unique_ptr<platform::TcpConnection> connect(const std::string&, int, int& error,
                                                     const Abandon& abandon) override {
        ++calls;
        if (abandon && abandon()) {
            error = ECANCELED;
            return nullptr;
        }
        if (!next) {
            error = ECONNREFUSED;
            return nullptr;
        }
        return std::move(next);
    }
    std::unique_ptr<platform::TcpConnection> next;
    int calls = 0;
};

TEST(ConversationConnect, AFailedAttemptLeavesNothingOpenAndSaysWhy) {
    ServerConversation conversation{kRegistrant};
    ListConnector connector;
    int error = 0;
    EXPECT_FALSE(conversation.connect(connector, "127.0.0.1", 1, error, {}));
    EXPECT_EQ(error, ECONNREFUSED);
    EXPECT_FALSE(conversation.isOpen());
    EXPECT_FALSE(conversation.connect(connector, "127.0.0.1", 1, error, [] { return true; }));
    EXPECT_EQ(error, ECANCELED);

    auto pair = testing::loopbackPair();
    connector.next = std::move(pair.ours);
    ASSERT_TRUE(conversation.connect(connector, "127.0.0.1", 1, error, {}));
    EXPECT_TRUE(conversation.isOpen());
    EXPECT_TRUE(conversation.send(msg::kAlive));
}

TEST(ConversationGate, AHoldIsGrantedWhileTheConversationWaitsOnTheServer) {
    EngineGate gate;
    ServerConversation conversation{kRegistrant, &gate};
    auto pair = testing::loopbackPair();
    conversation.attach(std::move(pair.ours));

    gate.enterRun();
    ServerMessage got;
    std::thread engine([&] { got = conversation.next(); });
    // The engine is blocked in its receive: the hold must not wait for it.
    gate.hold();
    const auto poll = transfer::encodePacket(msg::kPoll, {}, {});
    ASSERT_EQ(pair.theirs->sendAll(poll), static_cast<long>(poll.size()));
    gate.release();
    engine.join();
    gate.leaveRun();
    EXPECT_EQ(got.name(), Name::Poll);
}

}  // namespace
}  // namespace quenvara::uploader
