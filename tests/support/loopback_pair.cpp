#include "tests/support/loopback_pair.h"

#include <stdexcept>
#include <string>
#include <thread>

namespace quenvara::testing {

LoopbackPair loopbackPair() {
    auto listener = platform::TcpListener::listen("127.0.0.1", 0);
    if (!listener) {
        throw std::runtime_error("no loopback listener: " + listener.error());
    }
    LoopbackPair pair;
    std::thread accepting([&] {
        if (auto accepted = listener->accept()) {
            pair.theirs = std::move(*accepted);
        }
    });
    int error = 0;
    pair.ours = platform::PosixTcpConnector().connect("127.0.0.1", listener->port(), error);
    if (!pair.ours) {
        listener->interrupt();
    }
    accepting.join();
    if (!pair.ours || !pair.theirs) {
        throw std::runtime_error("no loopback connection (error " + std::to_string(error) + ")");
    }
    return pair;
}

bool unacknowledgedBytesKnown() {
    return loopbackPair().ours->unacknowledged() >= 0;
}

}  // namespace quenvara::testing
