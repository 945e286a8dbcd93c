// File locks with LockFileEx. A lock belongs to the open file (a handle
// that no started program inherits) and ends when it is closed. Two bytes
// make it askable: the holder locks byte 0 (the lock itself), then byte 1;
// asking tries a shared lock on byte 1 alone and lets go at once, so it can
// only ever make a holder wait a moment for byte 1, never turn it away.
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cerrno>
#include <cstring>

#include "platform/file_lock.h"
#include "platform/path_text.h"

namespace quenvara::platform {
namespace {

std::string failureText(const std::filesystem::path& file, DWORD code) {
    const int err = code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND ? ENOENT
                    : code == ERROR_ACCESS_DENIED                                ? EACCES
                                                                                 : EIO;
    return utf8Text(file) + ": " + std::strerror(err) + " (Windows error " + std::to_string(code) +
           ")";
}

bool lockByte(HANDLE file, DWORD offset, DWORD flags) {
    OVERLAPPED at{};
    at.Offset = offset;
    return ::LockFileEx(file, flags, 0, 1, 0, &at) != 0;
}

void unlockByte(HANDLE file, DWORD offset) {
    OVERLAPPED at{};
    at.Offset = offset;
    ::UnlockFileEx(file, 0, 1, 0, &at);
}

// A link in the file's place is refused, as O_NOFOLLOW does.
HANDLE openLockFile(const std::filesystem::path& file, DWORD access, DWORD creation) {
    HANDLE h =
        ::CreateFileW(file.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, creation, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        return h;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (::GetFileInformationByHandle(h, &info) == 0 ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
        ::CloseHandle(h);
        ::SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    return h;
}

}  // namespace

Result<FileLock> FileLock::take(const std::filesystem::path& file, bool wait) {
    HANDLE h = openLockFile(file, GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS);
    if (h == INVALID_HANDLE_VALUE) {
        return Result<FileLock>::failure(failureText(file, ::GetLastError()));
    }
    const DWORD flags = LOCKFILE_EXCLUSIVE_LOCK | (wait ? 0 : LOCKFILE_FAIL_IMMEDIATELY);
    if (!lockByte(h, 0, flags)) {
        const DWORD code = ::GetLastError();
        ::CloseHandle(h);
        if (!wait && code == ERROR_LOCK_VIOLATION) {
            return FileLock{};
        }
        return Result<FileLock>::failure(failureText(file, code));
    }
    // Someone asking may hold byte 1 for a moment: wait for it.
    if (!lockByte(h, 1, LOCKFILE_EXCLUSIVE_LOCK)) {
        const DWORD code = ::GetLastError();
        ::CloseHandle(h);
        return Result<FileLock>::failure(failureText(file, code));
    }
    const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(h), _O_RDWR | _O_BINARY);
    if (fd < 0) {
        ::CloseHandle(h);
        return Result<FileLock>::failure(utf8Text(file) + ": no descriptor for the lock");
    }
    return FileLock(UniqueFd(fd));
}

Result<FileLock> FileLock::tryLock(const std::filesystem::path& file) {
    return take(file, false);
}

Result<FileLock> FileLock::lock(const std::filesystem::path& file) {
    return take(file, true);
}

Result<bool> lockIsHeld(const std::filesystem::path& file) {
    HANDLE h = openLockFile(file, GENERIC_READ, OPEN_EXISTING);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD code = ::GetLastError();
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) {
            return false;
        }
        return Result<bool>::failure(failureText(file, code));
    }
    const bool free = lockByte(h, 1, LOCKFILE_FAIL_IMMEDIATELY);
    if (free) {
        unlockByte(h, 1);
    }
    ::CloseHandle(h);
    return !free;
}

}  // namespace quenvara::platform
