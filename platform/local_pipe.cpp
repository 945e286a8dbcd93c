#include "platform/local_pipe.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace quenvara::platform {
namespace {

std::string errnoText(const std::string& what, int err) {
    return what + ": " + std::strerror(err);
}

bool fillAddress(const std::filesystem::path& path, sockaddr_un& addr) {
    std::memset(&addr, 0, sizeof addr);
    addr.sun_family = AF_UNIX;
    const auto& s = path.native();
    if (s.size() >= sizeof addr.sun_path) {
        return false;
    }
    std::memcpy(addr.sun_path, s.c_str(), s.size() + 1);
    return true;
}

}  // namespace

Status ensurePrivateDirectory(const std::filesystem::path& dir) {
    std::error_code ec;
    std::filesystem::create_directories(dir.parent_path(), ec);
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
        return Status::failure(errnoText(dir.string(), errno));
    }
    return checkPrivateDirectory(dir);
}

Status checkPrivateDirectory(const std::filesystem::path& dir) {
    struct stat st {};
    if (::lstat(dir.c_str(), &st) != 0) {
        return Status::failure(errnoText(dir.string(), errno));
    }
    if (!S_ISDIR(st.st_mode)) {
        return Status::failure(dir.string() + ": not a folder");
    }
    if (st.st_uid != ::getuid()) {
        return Status::failure(dir.string() + ": belongs to user id " + std::to_string(st.st_uid) +
                               ", not to us");
    }
    if ((st.st_mode & 077) != 0) {
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", st.st_mode & 0777);
        return Status::failure(dir.string() + ": open to other users (mode " + mode +
                               "), expected 0700");
    }
    return {};
}

std::filesystem::path instanceLockPath(const std::filesystem::path& socketPath) {
    return socketPath.string() + ".lock";
}

std::filesystem::path handoverLockPath(const std::filesystem::path& socketPath) {
    return socketPath.string() + ".handover.lock";
}

long LocalPipeConnection::peerUid() const {
    ucred cred{};
    socklen_t len = sizeof cred;
    if (::getsockopt(fd_.get(), SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0) {
        return -1;
    }
    return static_cast<long>(cred.uid);
}

IoOutcome LocalPipeConnection::readFull(std::span<std::uint8_t> buffer, Millis timeout) {
    IoOutcome out;
    SystemClock clock;
    const Millis deadline = clock.monotonic() + timeout;
    while (out.transferred < buffer.size()) {
        const Millis left = deadline - clock.monotonic();
        if (left <= Millis{0}) {
            out.timedOut = true;
            return out;
        }
        pollfd p{fd_.get(), POLLIN, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(left.count()));
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            out.error = errno;
            return out;
        }
        if (ready == 0) {
            continue;
        }
        const ssize_t got =
            ::recv(fd_.get(), buffer.data() + out.transferred, buffer.size() - out.transferred, 0);
        if (got < 0) {
            if (errno == EINTR || errno == EAGAIN) {
                continue;
            }
            out.error = errno;
            return out;
        }
        if (got == 0) {
            out.endOfFile = true;
            return out;
        }
        out.transferred += static_cast<std::size_t>(got);
    }
    return out;
}

IoOutcome LocalPipeConnection::writeAll(std::span<const std::uint8_t> data) {
    IoOutcome out;
    while (out.transferred < data.size()) {
        const ssize_t put = ::send(fd_.get(), data.data() + out.transferred,
                                   data.size() - out.transferred, MSG_NOSIGNAL);
        if (put < 0) {
            if (errno == EINTR) {
                continue;
            }
            out.error = errno;
            return out;
        }
        out.transferred += static_cast<std::size_t>(put);
    }
    return out;
}

struct LocalPipeListener::Handles {
    UniqueFd socket;
    UniqueFd wake;
    std::filesystem::path path;
};

LocalPipeListener::LocalPipeListener(std::unique_ptr<Handles> handles)
    : handles_(std::move(handles)) {}

LocalPipeListener::LocalPipeListener(LocalPipeListener&&) noexcept = default;
LocalPipeListener& LocalPipeListener::operator=(LocalPipeListener&&) noexcept = default;

LocalPipeListener::~LocalPipeListener() {
    if (handles_ && handles_->socket.valid()) {
        ::unlink(handles_->path.c_str());
    }
}

long currentUserId() {
    return static_cast<long>(::getuid());
}

Result<LocalPipeListener> LocalPipeListener::listen(const std::filesystem::path& socketPath) {
    sockaddr_un addr;
    if (!fillAddress(socketPath, addr)) {
        return Result<LocalPipeListener>::failure(socketPath.string() + ": path too long");
    }
    UniqueFd sock(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!sock.valid()) {
        return Result<LocalPipeListener>::failure(errnoText("socket", errno));
    }
    // Only one uploader runs at a time, so a socket file here is stale.
    ::unlink(socketPath.c_str());
    const mode_t old = ::umask(0177);
    const int bound = ::bind(sock.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    const int bindErr = errno;
    ::umask(old);
    if (bound != 0) {
        return Result<LocalPipeListener>::failure(errnoText(socketPath.string(), bindErr));
    }
    if (::listen(sock.get(), 16) != 0) {
        const int err = errno;
        ::unlink(socketPath.c_str());
        return Result<LocalPipeListener>::failure(errnoText(socketPath.string(), err));
    }
    UniqueFd wake(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!wake.valid()) {
        const int err = errno;
        ::unlink(socketPath.c_str());
        return Result<LocalPipeListener>::failure(errnoText("eventfd", err));
    }
    return LocalPipeListener(
        std::make_unique<Handles>(Handles{std::move(sock), std::move(wake), socketPath}));
}

Result<LocalPipeConnection> LocalPipeListener::accept() {
    for (;;) {
        pollfd p[2] = {{handles_->socket.get(), POLLIN, 0}, {handles_->wake.get(), POLLIN, 0}};
        if (::poll(p, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return Result<LocalPipeConnection>::failure(errnoText("poll", errno));
        }
        if (p[1].revents != 0) {
            return Result<LocalPipeConnection>::failure("listener interrupted");
        }
        UniqueFd client(::accept4(handles_->socket.get(), nullptr, nullptr, SOCK_CLOEXEC));
        if (client.valid()) {
            return LocalPipeConnection(std::move(client));
        }
        if (errno == EINTR || errno == ECONNABORTED || errno == EAGAIN) {
            continue;
        }
        return Result<LocalPipeConnection>::failure(errnoText("accept", errno));
    }
}

void LocalPipeListener::interrupt() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto n = ::write(handles_->wake.get(), &one, sizeof one);
}

bool pipeFolderExists(const std::filesystem::path& dir) {
    std::error_code error;
    return std::filesystem::exists(dir, error) || error;
}

bool localPipeExists(const std::filesystem::path& socketPath) {
    std::error_code error;
    return std::filesystem::is_socket(socketPath, error);
}

Result<LocalPipeConnection> connectLocalPipe(const std::filesystem::path& socketPath, int& error) {
    error = 0;
    sockaddr_un addr;
    if (!fillAddress(socketPath, addr)) {
        error = ENAMETOOLONG;
        return Result<LocalPipeConnection>::failure(socketPath.string() + ": path too long");
    }
    UniqueFd sock(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!sock.valid()) {
        error = errno;
        return Result<LocalPipeConnection>::failure(errnoText("socket", error));
    }
    if (::connect(sock.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        error = errno;
        return Result<LocalPipeConnection>::failure(errnoText(socketPath.string(), error));
    }
    return LocalPipeConnection(std::move(sock));
}

}  // namespace quenvara::platform
