#include "tests/support/black_hole.h"

#ifdef _WIN32
#include <winsock2.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace quenvara::testing {

namespace {

#ifdef _WIN32
using Socket = SOCKET;
using Length = int;
constexpr int kCloseOnExec = 0;  // Windows sockets are not inherited unless asked
void closeSocket(Socket s) {
    ::closesocket(s);
}
void startSockets() {
    static const bool started = [] {
        WSADATA data;
        return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    (void)started;
}
#else
using Socket = int;
using Length = socklen_t;
constexpr int kCloseOnExec = SOCK_CLOEXEC;  // not into the programs tests start
void closeSocket(Socket s) {
    ::close(s);
}
void startSockets() {}
#endif

}  // namespace

BlackHole::BlackHole() {
    startSockets();
    const Socket s = ::socket(AF_INET, SOCK_STREAM | kCloseOnExec, IPPROTO_TCP);
    socket_ = static_cast<std::intptr_t>(s);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    ::listen(s, 0);
    Length length = sizeof addr;
    ::getsockname(s, reinterpret_cast<sockaddr*>(&addr), &length);
    port_ = ntohs(addr.sin_port);
    platform::PosixTcpConnector quick(std::chrono::milliseconds(200));
    int error = 0;
    for (int i = 0; i < 8; ++i) {
        auto c = quick.connect("127.0.0.1", port_, error);
        if (!c) {
            break;
        }
        filled_.push_back(std::move(c));
    }
}

BlackHole::~BlackHole() {
    filled_.clear();
    closeSocket(static_cast<Socket>(socket_));
}

}  // namespace quenvara::testing
