#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <memory>
#include <vector>

#include "platform/tcp.h"

namespace quenvara::testing {

// A loopback listener whose accept queue is full: the kernel drops further
// SYNs, as an address that swallows packets would, so a connect to it never
// completes.
class BlackHole {
  public:
    BlackHole() : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd_.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        ::listen(fd_.get(), 0);
        socklen_t len = sizeof addr;
        ::getsockname(fd_.get(), reinterpret_cast<sockaddr*>(&addr), &len);
        port_ = ntohs(addr.sin_port);
        platform::PosixTcpConnector quick(std::chrono::milliseconds(200));
        for (int i = 0; i < 8; ++i) {
            int error = 0;
            auto c = quick.connect("127.0.0.1", port_, error);
            if (!c) {
                break;
            }
            filled_.push_back(std::move(c));
        }
    }
    int port() const { return port_; }

  private:
    platform::UniqueFd fd_;
    int port_ = 0;
    std::vector<std::unique_ptr<platform::TcpConnection>> filled_;
};

}  // namespace quenvara::testing
