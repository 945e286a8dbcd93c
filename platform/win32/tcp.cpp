// Plain IPv4 TCP over Winsock, with the POSIX version's behaviour: errors
// are told as errno values, a connect is bounded and can be abandoned, an
// accept can be interrupted. Sockets sit in UniqueFd as their handle values
// and are closed here with closesocket, never as C runtime descriptors.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <mutex>

#include "platform/tcp.h"

namespace quenvara::platform {
namespace {

constexpr DWORD kReceiveTimeoutMs = 300'000;

void startWinsock() {
    static std::once_flag once;
    std::call_once(once, [] {
        WSADATA data;
        ::WSAStartup(MAKEWORD(2, 2), &data);
    });
}

int errnoOf(int wsa) {
    switch (wsa) {
        case WSAECONNRESET:
            return ECONNRESET;
        case WSAECONNABORTED:
            return ECONNABORTED;
        case WSAETIMEDOUT:
            return ETIMEDOUT;
        case WSAECONNREFUSED:
            return ECONNREFUSED;
        case WSAENETUNREACH:
            return ENETUNREACH;
        case WSAEHOSTUNREACH:
            return EHOSTUNREACH;
        case WSAEMFILE:
            return EMFILE;
        case WSAENOBUFS:
            return ENOBUFS;
        case WSAESHUTDOWN:
            return EPIPE;
        case WSAENOTCONN:
            return ENOTCONN;
        case WSAEADDRINUSE:
            return EADDRINUSE;
        case WSAEINVAL:
            return EINVAL;
        default:
            return EIO;
    }
}

SOCKET socketOf(const UniqueFd& fd) {
    return static_cast<SOCKET>(static_cast<unsigned>(fd.get()));
}

// UniqueFd would close the value as a C runtime descriptor.
void closeSocket(UniqueFd& fd) {
    if (fd.valid()) {
        ::closesocket(static_cast<SOCKET>(static_cast<unsigned>(fd.release())));
    }
}

UniqueFd holdSocket(SOCKET s) {
    return UniqueFd(s == INVALID_SOCKET ? -1 : static_cast<int>(s));
}

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

// One part of a dotted address in decimal, octal (leading 0) or hex (0x).
bool parsePart(const std::string& text, std::size_t& at, std::uint32_t& value) {
    int base = 10;
    if (text.compare(at, 2, "0x") == 0 || text.compare(at, 2, "0X") == 0) {
        base = 16;
        at += 2;
    } else if (at < text.size() && text[at] == '0') {
        base = 8;
    }
    const std::size_t start = at;
    std::uint64_t v = 0;
    while (at < text.size() && std::isxdigit(static_cast<unsigned char>(text[at])) != 0) {
        const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(text[at])));
        const int digit = c <= '9' ? c - '0' : c - 'a' + 10;
        if (digit >= base) {
            return false;
        }
        v = v * static_cast<unsigned>(base) + static_cast<unsigned>(digit);
        if (v > 0xFFFFFFFFu) {
            return false;
        }
        ++at;
    }
    value = static_cast<std::uint32_t>(v);
    return at > start;
}

}  // namespace

// The forms inet_addr reads (a, a.b, a.b.c, a.b.c.d; decimal, octal, hex;
// trailing white space), telling 255.255.255.255 from a failure.
std::optional<std::uint32_t> ipv4Address(const std::string& text) {
    std::uint32_t parts[4] = {};
    std::size_t count = 0;
    std::size_t at = 0;
    while (count < 4) {
        if (at >= text.size() || std::isdigit(static_cast<unsigned char>(text[at])) == 0 ||
            !parsePart(text, at, parts[count])) {
            return std::nullopt;
        }
        ++count;
        if (at < text.size() && text[at] == '.') {
            ++at;
            continue;
        }
        break;
    }
    for (; at < text.size(); ++at) {
        if (std::isspace(static_cast<unsigned char>(text[at])) == 0) {
            return std::nullopt;
        }
    }
    // The last part fills the bytes the others leave.
    std::uint32_t host = 0;
    for (std::size_t i = 0; i + 1 < count; ++i) {
        if (parts[i] > 0xFF) {
            return std::nullopt;
        }
        host |= parts[i] << (24 - 8 * i);
    }
    const std::uint32_t lastLimit = count == 1 ? 0xFFFFFFFFu : (0xFFFFFFFFu >> (8 * (count - 1)));
    if (parts[count - 1] > lastLimit) {
        return std::nullopt;
    }
    host |= parts[count - 1];
    return htonl(host);
}

TcpConnection::TcpConnection(UniqueFd fd) : fd_(std::move(fd)) {
    const DWORD timeout = kReceiveTimeoutMs;
    ::setsockopt(socketOf(fd_), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout),
                 sizeof timeout);
    ::setsockopt(socketOf(fd_), SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&timeout),
                 sizeof timeout);
}

TcpConnection::~TcpConnection() {
    closeSocket(fd_);
}

long TcpConnection::sendSome(std::span<const std::uint8_t> data) {
    const int want = static_cast<int>(std::min<std::size_t>(data.size(), 1u << 30));
    const int n = ::send(socketOf(fd_), reinterpret_cast<const char*>(data.data()), want, 0);
    if (n >= 0) {
        return n;
    }
    lastError_ = errnoOf(::WSAGetLastError());
    return (lastError_ == EPIPE || lastError_ == ECONNRESET || lastError_ == ECONNABORTED) ? 0 : -1;
}

// A receive blocked in one thread is not ended by a shutdown from another
// here: it waits in short slices and stops once shutdownBoth() was called,
// as a shut-down socket reads as closed elsewhere.
bool TcpConnection::readable(std::chrono::milliseconds timeout) const {
    const auto end = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (shutDown_) {
            return true;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end - std::chrono::steady_clock::now());
        const long ms = static_cast<long>(std::clamp<std::int64_t>(left.count(), 0, 50));
        fd_set readSet;
        FD_ZERO(&readSet);
        FD_SET(socketOf(fd_), &readSet);
        timeval tv{ms / 1000, (ms % 1000) * 1000};
        if (::select(0, &readSet, nullptr, nullptr, &tv) != 0) {
            return true;  // bytes, a close, or an error to be read
        }
        if (ms == 0) {
            return false;
        }
    }
}

long TcpConnection::recvExact(std::span<std::uint8_t> buffer) {
    std::size_t got = 0;
    while (got < buffer.size()) {
        if (!readable(std::chrono::milliseconds{kReceiveTimeoutMs}) || shutDown_) {
            if (got == 0 && shutDown_) {
                return 0;
            }
            lastError_ = shutDown_ ? ECONNABORTED : ETIMEDOUT;
            return -1;
        }
        const int want = static_cast<int>(std::min<std::size_t>(buffer.size() - got, 1u << 30));
        const int n = ::recv(socketOf(fd_), reinterpret_cast<char*>(buffer.data() + got), want, 0);
        if (n == 0) {
            if (got == 0) {
                return 0;
            }
            lastError_ = ECONNABORTED;
            return -1;
        }
        if (n < 0) {
            lastError_ = errnoOf(::WSAGetLastError());
            return -1;
        }
        got += static_cast<std::size_t>(n);
    }
    return static_cast<long>(got);
}

void TcpConnection::shutdownBoth() {
    std::lock_guard lock(closeMutex_);
    shutDown_ = true;
    if (fd_.valid()) {
        ::shutdown(socketOf(fd_), SD_BOTH);
    }
}

void TcpConnection::shutdownWrite() {
    std::lock_guard lock(closeMutex_);
    if (fd_.valid()) {
        ::shutdown(socketOf(fd_), SD_SEND);
    }
}

// Windows does not tell a socket's unacknowledged bytes in a way every
// version has: "cannot tell".
long TcpConnection::unacknowledged() const {
    return -1;
}

void TcpConnection::abort() {
    std::lock_guard lock(closeMutex_);
    if (fd_.valid()) {
        linger l{1, 0};
        ::setsockopt(socketOf(fd_), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&l),
                     sizeof l);
        closeSocket(fd_);
    }
}

bool isSocketCreationError(int error) {
    return error == EMFILE || error == ENFILE || error == ENOBUFS || error == ENOMEM;
}

std::unique_ptr<TcpConnection> PosixTcpConnector::connect(const std::string& address, int port,
                                                          int& error, const Abandon& abandon) {
    startWinsock();
    sockaddr_in addr;
    if (!fillAddress(address, port, addr)) {
        error = EINVAL;
        return nullptr;
    }
    UniqueFd fd = holdSocket(
        ::WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT));
    if (!fd.valid()) {
        error = errnoOf(::WSAGetLastError());
        return nullptr;
    }
    const auto fail = [&](int code) {
        error = code;
        closeSocket(fd);
        return nullptr;
    };
    u_long nonBlocking = 1;
    ::ioctlsocket(socketOf(fd), FIONBIO, &nonBlocking);
    if (::connect(socketOf(fd), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        const int started = ::WSAGetLastError();
        if (started != WSAEWOULDBLOCK) {
            return fail(errnoOf(started));
        }
        // Wait in short slices, so that a pause or a close is seen at once.
        constexpr long kSliceMs = 50;
        const auto deadline = std::chrono::steady_clock::now() + timeout_;
        for (;;) {
            if (abandon && abandon()) {
                return fail(ECANCELED);
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                return fail(ETIMEDOUT);
            }
            const long slice = std::min<long>(static_cast<long>(left.count()), kSliceMs);
            fd_set writeSet;
            fd_set failSet;
            FD_ZERO(&writeSet);
            FD_ZERO(&failSet);
            FD_SET(socketOf(fd), &writeSet);
            FD_SET(socketOf(fd), &failSet);
            timeval tv{0, slice * 1000};
            const int n = ::select(0, nullptr, &writeSet, &failSet, &tv);
            if (n < 0) {
                return fail(errnoOf(::WSAGetLastError()));
            }
            if (n > 0) {
                int soError = 0;
                int len = sizeof soError;
                ::getsockopt(socketOf(fd), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&soError),
                             &len);
                if (soError != 0 || FD_ISSET(socketOf(fd), &failSet)) {
                    return fail(errnoOf(soError != 0 ? soError : WSAECONNREFUSED));
                }
                break;
            }
        }
    }
    // Blocking from here on, as the protocol's sends and receives expect.
    nonBlocking = 0;
    ::ioctlsocket(socketOf(fd), FIONBIO, &nonBlocking);
    const BOOL one = TRUE;
    ::setsockopt(socketOf(fd), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one),
                 sizeof one);
    error = 0;
    return std::make_unique<TcpConnection>(std::move(fd));
}

// The wake-up is an event whose handle value sits in wake_.
TcpListener::TcpListener(UniqueFd socket, UniqueFd wake, int port)
    : socket_(std::move(socket)), wake_(std::move(wake)), port_(port) {}

namespace {

void closeListenerHandles(UniqueFd& socket, UniqueFd& wake) {
    closeSocket(socket);
    if (wake.valid()) {
        ::CloseHandle(reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(wake.release())));
    }
}

}  // namespace

TcpListener::~TcpListener() {
    closeListenerHandles(socket_, wake_);
}

// Our handles go the Windows way before the other's are taken over.
TcpListener& TcpListener::operator=(TcpListener&& other) noexcept {
    if (this != &other) {
        closeListenerHandles(socket_, wake_);
        socket_ = std::move(other.socket_);
        wake_ = std::move(other.wake_);
        port_ = other.port_;
    }
    return *this;
}

Result<TcpListener> TcpListener::listen(const std::string& address, int port, int receiveBuffer) {
    startWinsock();
    sockaddr_in addr;
    if (!fillAddress(address, port, addr)) {
        return Result<TcpListener>::failure("bad listen address " + address);
    }
    UniqueFd fd = holdSocket(
        ::WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT));
    if (receiveBuffer > 0) {
        ::setsockopt(socketOf(fd), SOL_SOCKET, SO_RCVBUF,
                     reinterpret_cast<const char*>(&receiveBuffer), sizeof receiveBuffer);
    }
    if (!fd.valid() || ::bind(socketOf(fd), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(socketOf(fd), 64) != 0) {
        const int err = errnoOf(::WSAGetLastError());
        closeSocket(fd);
        return Result<TcpListener>::failure(address + ":" + std::to_string(port) + ": " +
                                            std::strerror(err));
    }
    int len = sizeof addr;
    ::getsockname(socketOf(fd), reinterpret_cast<sockaddr*>(&addr), &len);
    HANDLE wake = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    return TcpListener(std::move(fd),
                       UniqueFd(static_cast<int>(reinterpret_cast<std::uintptr_t>(wake))),
                       ntohs(addr.sin_port));
}

Result<std::unique_ptr<TcpConnection>> TcpListener::accept() {
    const auto wake = reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(wake_.get()));
    for (;;) {
        if (::WaitForSingleObject(wake, 0) == WAIT_OBJECT_0) {
            return Result<std::unique_ptr<TcpConnection>>::failure("listener interrupted");
        }
        // Short slices, so that an interrupt is seen soon.
        fd_set readSet;
        FD_ZERO(&readSet);
        FD_SET(socketOf(socket_), &readSet);
        timeval tv{0, 50'000};
        const int ready = ::select(0, &readSet, nullptr, nullptr, &tv);
        if (ready < 0) {
            return Result<std::unique_ptr<TcpConnection>>::failure(
                std::strerror(errnoOf(::WSAGetLastError())));
        }
        if (ready == 0) {
            continue;
        }
        UniqueFd client = holdSocket(::accept(socketOf(socket_), nullptr, nullptr));
        if (client.valid()) {
            const BOOL one = TRUE;
            ::setsockopt(socketOf(client), IPPROTO_TCP, TCP_NODELAY,
                         reinterpret_cast<const char*>(&one), sizeof one);
            return std::make_unique<TcpConnection>(std::move(client));
        }
        const int err = ::WSAGetLastError();
        if (err != WSAECONNRESET && err != WSAEWOULDBLOCK && err != WSAEINTR) {
            return Result<std::unique_ptr<TcpConnection>>::failure(std::strerror(errnoOf(err)));
        }
    }
}

void TcpListener::interrupt() {
    ::SetEvent(reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(wake_.get())));
}

}  // namespace quenvara::platform
