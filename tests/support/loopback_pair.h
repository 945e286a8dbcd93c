#pragma once

#include <memory>

#include "platform/tcp.h"

namespace quenvara::testing {

// Two connected ends of one TCP connection on loopback, made through the
// platform's own listener and connector: a socket pair every system has.
struct LoopbackPair {
    std::unique_ptr<platform::TcpConnection> ours;
    std::unique_ptr<platform::TcpConnection> theirs;
};
LoopbackPair loopbackPair();

// Whether this system tells a connection's bytes the peer has not
// acknowledged yet (Linux does; Windows does not, and what depends on it
// there is looser).
bool unacknowledgedBytesKnown();

}  // namespace quenvara::testing
