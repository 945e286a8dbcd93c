// A server's byte stream as the engine's conversation reads it: the input is
// written into a socket pair and read message by message until the stream
// ends. Every message must be whole, refused or cut short, never more.
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <memory>

#include "uploader/transfer/server_conversation.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quenvara;
    // More than a socket pair buffers would block the writer.
    if (size > 64 * 1024) {
        return 0;
    }
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) {
        return 0;
    }
    if (size > 0 && ::send(fds[1], data, size, MSG_NOSIGNAL) != static_cast<ssize_t>(size)) {
        std::abort();
    }
    ::close(fds[1]);
    uploader::ServerConversation conversation({});
    conversation.attach(std::make_unique<platform::TcpConnection>(platform::UniqueFd(fds[0])));
    std::size_t consumed = 0;
    for (;;) {
        const auto message = conversation.next();
        using Kind = uploader::ServerMessage::Kind;
        if (message.kind == Kind::Packet) {
            consumed += transfer::kHeaderSize + message.body.size();
        } else if (message.kind == Kind::ErrorForm) {
            consumed += transfer::kHeaderSize + transfer::kErrorTextSize;
        } else {
            break;
        }
        if (consumed > size || message.body.size() > static_cast<std::size_t>(transfer::kMaxBody)) {
            std::abort();
        }
    }
    return 0;
}
