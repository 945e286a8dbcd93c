#include "platform/tcp.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/sockios.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace quenvara::platform {
namespace {

// A peer that stops answering or reading does not hold the transfer thread
// for ever.
constexpr int kReceiveTimeoutSeconds = 300;

bool fillAddress(const std::string& address, int port, sockaddr_in& addr) {
    std::memset(&addr, 0, sizeof addr);
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<std::uint16_t>(port));
    const auto ip = ipv4Address(address);
    if (!ip || port < 0 || port > 65535) {
        return false;
    }
    addr.sin_addr.s_addr = *ip;
    return true;
}

}  // namespace

std::optional<std::uint32_t> ipv4Address(const std::string& text) {
    // inet_aton reads the forms inet_addr reads (a, a.b, a.b.c, a.b.c.d, in
    // decimal, octal or hex, trailing white space allowed); unlike inet_addr
    // it tells 255.255.255.255 from a failure.
    in_addr addr{};
    if (text.empty() || ::inet_aton(text.c_str(), &addr) == 0) {
        return std::nullopt;
    }
    return addr.s_addr;
}

TcpConnection::TcpConnection(UniqueFd fd) : fd_(std::move(fd)) {
    timeval tv{kReceiveTimeoutSeconds, 0};
    ::setsockopt(fd_.get(), SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    ::setsockopt(fd_.get(), SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
}

TcpConnection::~TcpConnection() = default;

long TcpConnection::sendSome(std::span<const std::uint8_t> data) {
    for (;;) {
        const ssize_t n = ::send(fd_.get(), data.data(), data.size(), MSG_NOSIGNAL);
        if (n >= 0) {
            return static_cast<long>(n);
        }
        if (errno == EINTR) {
            continue;
        }
        lastError_ = errno;
        return (errno == EPIPE || errno == ECONNRESET) ? 0 : -1;
    }
}

long TcpConnection::recvExact(std::span<std::uint8_t> buffer) {
    std::size_t got = 0;
    while (got < buffer.size()) {
        const ssize_t n = ::recv(fd_.get(), buffer.data() + got, buffer.size() - got, 0);
        if (n == 0) {
            if (got == 0) {
                return 0;
            }
            // Closed in the middle of what was announced: no orderly end.
            lastError_ = ECONNABORTED;
            return -1;
        }
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            lastError_ = errno;
            return -1;
        }
        got += static_cast<std::size_t>(n);
    }
    return static_cast<long>(got);
}

void TcpConnection::shutdownBoth() {
    std::lock_guard lock(closeMutex_);
    // Here the shutdown itself wakes a blocked receive.
    shutDown_ = true;
    if (fd_.valid()) {
        ::shutdown(fd_.get(), SHUT_RDWR);
    }
}

long TcpConnection::unacknowledged() const {
    int queued = 0;
    if (::ioctl(fd_.get(), SIOCOUTQ, &queued) != 0) {
        return -1;
    }
    return queued;
}

bool TcpConnection::readable(std::chrono::milliseconds timeout) const {
    pollfd pfd{fd_.get(), POLLIN, 0};
    return ::poll(&pfd, 1, static_cast<int>(timeout.count())) > 0 &&
           (pfd.revents & (POLLIN | POLLHUP | POLLERR)) != 0;
}

void TcpConnection::shutdownWrite() {
    std::lock_guard lock(closeMutex_);
    if (fd_.valid()) {
        ::shutdown(fd_.get(), SHUT_WR);
    }
}

bool isSocketCreationError(int error) {
    return error == EMFILE || error == ENFILE || error == ENOBUFS || error == ENOMEM;
}

std::unique_ptr<TcpConnection> PosixTcpConnector::connect(const std::string& address, int port,
                                                          int& error, const Abandon& abandon) {
    sockaddr_in addr;
    if (!fillAddress(address, port, addr)) {
        error = EINVAL;
        return nullptr;
    }
    UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!fd.valid()) {
        error = errno;
        return nullptr;
    }
    if (::connect(fd.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        if (errno != EINPROGRESS) {
            error = errno;
            return nullptr;
        }
        // Wait in short slices, so that a pause or a close is seen at once.
        constexpr int kSliceMs = 50;
        const auto deadline = std::chrono::steady_clock::now() + timeout_;
        for (;;) {
            if (abandon && abandon()) {
                error = ECANCELED;
                return nullptr;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                error = ETIMEDOUT;
                return nullptr;
            }
            pollfd p{fd.get(), POLLOUT, 0};
            const int n = ::poll(&p, 1, static_cast<int>(std::min<long>(left.count(), kSliceMs)));
            if (n < 0 && errno != EINTR) {
                error = errno;
                return nullptr;
            }
            if (n > 0) {
                int soError = 0;
                socklen_t len = sizeof soError;
                ::getsockopt(fd.get(), SOL_SOCKET, SO_ERROR, &soError, &len);
                if (soError != 0) {
                    error = soError;
                    return nullptr;
                }
                break;
            }
        }
    }
    // Blocking from here on, as the protocol's sends and receives expect.
    ::fcntl(fd.get(), F_SETFL, ::fcntl(fd.get(), F_GETFL) & ~O_NONBLOCK);
    const int one = 1;
    ::setsockopt(fd.get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    error = 0;
    return std::make_unique<TcpConnection>(std::move(fd));
}

TcpListener::TcpListener(UniqueFd socket, UniqueFd wake, int port)
    : socket_(std::move(socket)), wake_(std::move(wake)), port_(port) {}

TcpListener::~TcpListener() = default;
TcpListener& TcpListener::operator=(TcpListener&&) noexcept = default;

Result<TcpListener> TcpListener::listen(const std::string& address, int port, int receiveBuffer) {
    sockaddr_in addr;
    if (!fillAddress(address, port, addr)) {
        return Result<TcpListener>::failure("bad listen address " + address);
    }
    UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const int one = 1;
    ::setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (receiveBuffer > 0) {
        ::setsockopt(fd.get(), SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    }
    if (::bind(fd.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(fd.get(), 64) != 0) {
        return Result<TcpListener>::failure(address + ":" + std::to_string(port) + ": " +
                                            std::strerror(errno));
    }
    socklen_t len = sizeof addr;
    ::getsockname(fd.get(), reinterpret_cast<sockaddr*>(&addr), &len);
    UniqueFd wake(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    return TcpListener(std::move(fd), std::move(wake), ntohs(addr.sin_port));
}

Result<std::unique_ptr<TcpConnection>> TcpListener::accept() {
    for (;;) {
        pollfd p[2] = {{socket_.get(), POLLIN, 0}, {wake_.get(), POLLIN, 0}};
        if (::poll(p, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return Result<std::unique_ptr<TcpConnection>>::failure(std::strerror(errno));
        }
        if (p[1].revents != 0) {
            return Result<std::unique_ptr<TcpConnection>>::failure("listener interrupted");
        }
        UniqueFd client(::accept4(socket_.get(), nullptr, nullptr, SOCK_CLOEXEC));
        if (client.valid()) {
            const int one = 1;
            ::setsockopt(client.get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            return std::make_unique<TcpConnection>(std::move(client));
        }
        if (errno != EINTR && errno != ECONNABORTED && errno != EAGAIN) {
            return Result<std::unique_ptr<TcpConnection>>::failure(std::strerror(errno));
        }
    }
}

void TcpListener::interrupt() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto n = ::write(wake_.get(), &one, sizeof one);
}

}  // namespace quenvara::platform

namespace quenvara::platform {

void TcpConnection::abort() {
    std::lock_guard lock(closeMutex_);
    linger l{1, 0};
    ::setsockopt(fd_.get(), SOL_SOCKET, SO_LINGER, &l, sizeof l);
    fd_.reset();
}

}  // namespace quenvara::platform
