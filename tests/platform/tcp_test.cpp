#include "platform/tcp.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <vector>

#include "tests/support/black_hole.h"

namespace quenvara::platform {
namespace {

using namespace std::chrono_literals;

TEST(TcpAddress, ReadLikeInetAddr) {
    const auto loopback = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(ipv4Address("127.0.0.1"), loopback);
    EXPECT_EQ(ipv4Address("127.0.0.1 "), loopback);  // a trailing blank
    EXPECT_EQ(ipv4Address("127.1"), loopback);       // the short form
    EXPECT_EQ(ipv4Address("0x7f.0.0.1"), loopback);
    EXPECT_EQ(ipv4Address("255.255.255.255"), 0xffffffffu);
    EXPECT_FALSE(ipv4Address(""));
    EXPECT_FALSE(ipv4Address("server.example"));
    EXPECT_FALSE(ipv4Address("127.0.0.256"));
    EXPECT_FALSE(ipv4Address(" 127.0.0.1x"));
}

using testing::BlackHole;

TEST(TcpConnect, GivesUpAfterItsTimeLimit) {
    BlackHole hole;
    PosixTcpConnector connector(300ms);
    int error = 0;
    auto result = std::async(std::launch::async,
                             [&] { return connector.connect("127.0.0.1", hole.port(), error); });
    // Far less than the system's two minutes; the bound only catches a hang.
    ASSERT_EQ(result.wait_for(20s), std::future_status::ready);
    EXPECT_EQ(result.get(), nullptr);
    EXPECT_EQ(error, ETIMEDOUT);
}

TEST(TcpConnect, AbandonedWhileItWaits) {
    BlackHole hole;
    PosixTcpConnector connector(std::chrono::minutes(10));
    std::atomic<bool> stop{false};
    int error = 0;
    auto result = std::async(std::launch::async, [&] {
        return connector.connect("127.0.0.1", hole.port(), error, [&] { return stop.load(); });
    });
    EXPECT_EQ(result.wait_for(200ms), std::future_status::timeout);
    stop = true;
    ASSERT_EQ(result.wait_for(20s), std::future_status::ready);
    EXPECT_EQ(result.get(), nullptr);
    EXPECT_EQ(error, ECANCELED);
}

TEST(TcpConnect, RefusedAndBadAddressesFailAtOnce) {
    PosixTcpConnector connector;
    int port = 0;
    {
        auto l = TcpListener::listen("127.0.0.1", 0);
        ASSERT_TRUE(l);
        port = l->port();
    }
    int error = 0;
    EXPECT_EQ(connector.connect("127.0.0.1", port, error), nullptr);
    EXPECT_EQ(error, ECONNREFUSED);
    EXPECT_EQ(connector.connect("not an address", port, error), nullptr);
    EXPECT_EQ(error, EINVAL);
    auto l = TcpListener::listen("127.0.0.1", 0);
    ASSERT_TRUE(l);
    auto c = connector.connect("127.1 ", l->port(), error);
    ASSERT_NE(c, nullptr);
    // The connection is blocking again: a whole buffer goes out in one call.
    std::vector<std::uint8_t> data(1000, 7);
    EXPECT_EQ(c->sendAll(data), 1000);
}

}  // namespace
}  // namespace quenvara::platform
