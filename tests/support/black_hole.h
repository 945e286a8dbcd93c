#pragma once

#include <memory>
#include <vector>

#include "platform/tcp.h"

namespace quenvara::testing {

// A loopback listener whose accept queue is full: the system drops further
// SYNs, as an address that swallows packets would, so a connect to it never
// completes.
class BlackHole {
  public:
    BlackHole();
    ~BlackHole();
    BlackHole(const BlackHole&) = delete;
    BlackHole& operator=(const BlackHole&) = delete;
    int port() const { return port_; }

  private:
    std::intptr_t socket_ = -1;  // the system's socket, listening with no room
    int port_ = 0;
    std::vector<std::unique_ptr<platform::TcpConnection>> filled_;
};

}  // namespace quenvara::testing
