#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>

#include "platform/clock.h"
#include "platform/result.h"
#include "platform/unique_fd.h"

// The local pipe of the hand-over: a Unix-domain stream socket in a folder
// private to the user; a named pipe on Windows (win32/local_pipe.cpp).
namespace quenvara::platform {

// Creates the folder with mode 0700 when missing and refuses one that
// belongs to someone else or that others can enter.
Status ensurePrivateDirectory(const std::filesystem::path& dir);
// The same checks on an existing folder, creating nothing: refused when it
// is missing, not a folder (a symbolic link included), not ours or open to
// others.
Status checkPrivateDirectory(const std::filesystem::path& dir);

// Beside the socket: the lock its uploader holds for its whole life (one
// uploader per socket), and the lock a client holds over one whole hand-over
// sequence (the sequences of two clients never interleave).
std::filesystem::path instanceLockPath(const std::filesystem::path& socketPath);
std::filesystem::path handoverLockPath(const std::filesystem::path& socketPath);

struct IoOutcome {
    std::size_t transferred = 0;
    int error = 0;           // errno of a failure, 0 otherwise
    bool endOfFile = false;  // the peer closed before the amount was reached
    bool timedOut = false;
    bool complete(std::size_t wanted) const { return transferred == wanted; }
};

class LocalPipeConnection {
  public:
    explicit LocalPipeConnection(UniqueFd fd) : fd_(std::move(fd)) {}

    // The user id of the process at the other end, or -1 when unknown
    // (on Windows: currentUserId() for a client of our own user).
    long peerUid() const;
    // Reads exactly buffer.size() bytes, however the stream splits them,
    // unless the peer closes, an error occurs or the time runs out.
    IoOutcome readFull(std::span<std::uint8_t> buffer, Millis timeout);
    IoOutcome writeAll(std::span<const std::uint8_t> data);

  private:
    UniqueFd fd_;
};

class LocalPipeListener {
  public:
    // Binds the socket path (replacing a stale socket left behind), readable
    // and writable by the owner only.
    static Result<LocalPipeListener> listen(const std::filesystem::path& socketPath);

    LocalPipeListener(LocalPipeListener&&) noexcept;
    LocalPipeListener& operator=(LocalPipeListener&&) noexcept;
    ~LocalPipeListener();

    // Waits for the next client; fails after interrupt() or on an error.
    Result<LocalPipeConnection> accept();
    // Wakes a waiting accept() from another thread; later calls fail too.
    void interrupt();

  private:
    // The system's own: a listening socket and its wake-up here, a pipe
    // instance and its events on Windows.
    struct Handles;
    explicit LocalPipeListener(std::unique_ptr<Handles> handles);

    std::unique_ptr<Handles> handles_;
};

// The user this process runs as, as peerUid() tells it.
long currentUserId();

// Whether the pipes' folder is there (the Windows pipe namespace always
// is); a failure to ask counts as there, so that the checks that follow
// tell why.
bool pipeFolderExists(const std::filesystem::path& dir);
// Whether a listening pipe is there, learnt without connecting to it.
bool localPipeExists(const std::filesystem::path& socketPath);

// Connects to a listening socket; on failure the errno is in `error`.
Result<LocalPipeConnection> connectLocalPipe(const std::filesystem::path& socketPath, int& error);

}  // namespace quenvara::platform
