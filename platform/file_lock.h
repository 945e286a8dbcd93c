#pragma once

#include <filesystem>

#include "platform/result.h"
#include "platform/unique_fd.h"

namespace quenvara::platform {

// An exclusive lock on a whole file, owned by the open file rather than by
// the process: it ends when its object goes or the process ends, a program
// started meanwhile does not inherit it, and two locks taken in one process
// exclude each other as two processes' locks do. Whether it is held can be
// asked without taking it, so asking never turns away someone taking it.
class FileLock {
  public:
    // Holds nothing.
    FileLock() = default;

    // Takes the lock when it is free; an empty lock (held() false) when
    // someone else holds it. The file is created (0600) when missing; a
    // symbolic link in its place is refused.
    static Result<FileLock> tryLock(const std::filesystem::path& file);
    // Waits until the lock is free, then takes it.
    static Result<FileLock> lock(const std::filesystem::path& file);

    bool held() const { return fd_.valid(); }

  private:
    explicit FileLock(UniqueFd fd) : fd_(std::move(fd)) {}
    static Result<FileLock> take(const std::filesystem::path& file, bool wait);

    UniqueFd fd_;
};

// Whether someone holds the lock on `file`, learnt without taking it; false
// when the file does not exist.
Result<bool> lockIsHeld(const std::filesystem::path& file);

}  // namespace quenvara::platform
