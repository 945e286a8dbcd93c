// TCP over Winsock under Wine, as the engine and the reference service use
// it: address forms, a loopback exchange, a refused or abandoned connect, a
// reset seen by the peer, and an accept that can be woken.
#include <gtest/gtest.h>
#include <winsock2.h>

#include <cerrno>
#include <future>
#include <memory>
#include <vector>

#include "platform/tcp.h"
#include "tests/support/black_hole.h"

namespace quenvara::platform {
namespace {

using namespace std::chrono_literals;

TEST(WinsockTcp, AddressFormsAsInetAddrReadsThem) {
    const struct {
        const char* text;
        std::optional<std::uint32_t> hostOrder;
    } cases[] = {
        {"127.0.0.1", 0x7F000001u},  {"127.1", 0x7F000001u},           {"10.1.2", 0x0A010002u},
        {"0x7f.1", 0x7F000001u},     {"012.0.0.1", 0x0A000001u},       {"3232235777", 0xC0A80101u},
        {"1.2.3.4 ", 0x01020304u},   {"255.255.255.255", 0xFFFFFFFFu}, {"", std::nullopt},
        {"1.2.3.4.5", std::nullopt}, {"256.1.1.1", std::nullopt},      {"1.2.3.256", std::nullopt},
        {"08.1.1.1", std::nullopt},  {"1..2", std::nullopt},           {"a.b.c.d", std::nullopt},
        {"1.2.3.4x", std::nullopt},  {"1.2.65536", std::nullopt},
    };
    for (const auto& c : cases) {
        const auto got = ipv4Address(c.text);
        EXPECT_EQ(got ? std::optional<std::uint32_t>(ntohl(*got)) : std::nullopt, c.hostOrder)
            << '"' << c.text << '"';
    }
}

TEST(WinsockTcp, LoopbackExchangeAndAResetThePeerSees) {
    auto listener = TcpListener::listen("127.0.0.1", 0);
    ASSERT_TRUE(listener) << listener.error();
    auto accepted = std::async(std::launch::async, [&] { return listener->accept(); });
    PosixTcpConnector connector;
    int error = -1;
    auto client = connector.connect("127.0.0.1", listener->port(), error);
    ASSERT_NE(client, nullptr) << error;
    EXPECT_EQ(error, 0);
    auto server = accepted.get();
    ASSERT_TRUE(server) << server.error();

    std::vector<std::uint8_t> data(1 << 20);
    for (std::size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<std::uint8_t>(i % 251);
    }
    auto sent = std::async(std::launch::async, [&] { return client->sendAll(data); });
    std::vector<std::uint8_t> got(data.size());
    EXPECT_EQ((*server)->recvExact(got), static_cast<long>(got.size()));
    EXPECT_EQ(sent.get(), static_cast<long>(data.size()));
    EXPECT_EQ(got, data);
    EXPECT_FALSE((*server)->readable());

    // Half a message, then a reset: no orderly end.
    EXPECT_EQ(client->sendAll(std::vector<std::uint8_t>(3, 1)), 3);
    client->abort();
    EXPECT_TRUE((*server)->readable(2000ms));
    std::vector<std::uint8_t> four(4);
    EXPECT_EQ((*server)->recvExact(four), -1);
    EXPECT_NE((*server)->lastError(), 0);
}

TEST(WinsockTcp, RefusedAbandonedAndBadAddressesSayWhy) {
    auto listener = TcpListener::listen("127.0.0.1", 0);
    ASSERT_TRUE(listener);
    const int port = listener->port();
    *listener = std::move(*TcpListener::listen("127.0.0.1", 0));  // the first port closes
    PosixTcpConnector connector;
    int error = 0;
    EXPECT_EQ(connector.connect("127.0.0.1", port, error), nullptr);
    EXPECT_EQ(error, ECONNREFUSED);
    EXPECT_EQ(connector.connect("127.0.0.1", 70000, error), nullptr);
    EXPECT_EQ(error, EINVAL);
    EXPECT_EQ(connector.connect("not an address", 80, error), nullptr);
    EXPECT_EQ(error, EINVAL);
    // A listener whose queue is full swallows further connects, as an
    // address that drops packets does: the caller abandons the wait.
    testing::BlackHole hole;
    PosixTcpConnector quick(std::chrono::milliseconds(200));
    ASSERT_EQ(quick.connect("127.0.0.1", hole.port(), error), nullptr);
    EXPECT_EQ(error, ETIMEDOUT);
    int asked = 0;
    EXPECT_EQ(connector.connect("127.0.0.1", hole.port(), error, [&] { return ++asked > 2; }),
              nullptr);
    EXPECT_EQ(error, ECANCELED);
}

TEST(WinsockTcp, AWaitingAcceptCanBeWoken) {
    auto listener = TcpListener::listen("127.0.0.1", 0);
    ASSERT_TRUE(listener);
    auto waiting = std::async(std::launch::async, [&] { return listener->accept(); });
    EXPECT_EQ(waiting.wait_for(100ms), std::future_status::timeout);
    listener->interrupt();
    ASSERT_EQ(waiting.wait_for(5s), std::future_status::ready);
    EXPECT_FALSE(waiting.get());
}

}  // namespace
}  // namespace quenvara::platform
