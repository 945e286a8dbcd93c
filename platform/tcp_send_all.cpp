#include "platform/tcp.h"

namespace quenvara::platform {

long TcpConnection::sendAll(std::span<const std::uint8_t> data) {
    std::size_t sent = 0;
    while (sent < data.size()) {
        const long n = sendSome(data.subspan(sent));
        if (n <= 0) {
            return n;
        }
        sent += static_cast<std::size_t>(n);
    }
    return static_cast<long>(sent);
}

}  // namespace quenvara::platform
