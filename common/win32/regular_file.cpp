#include "common/regular_file.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/path_text.h"

namespace quenvara {
namespace {

// Opening failures read as they do on Linux: the C library's texts.
std::string openFailure(DWORD code) {
    switch (code) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
            return std::strerror(ENOENT);
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
            return std::strerror(EACCES);
        default:
            return platform::systemErrorText(code);
    }
}

std::string failureText(const std::filesystem::path& path, const std::string& why) {
    return platform::utf8Text(path) + ": " + why;
}

std::string notRegular(const std::filesystem::path& path, const char* what) {
    return failureText(path, std::string("일반 파일이 아니어서 올릴 수 없습니다. (") + what + ")");
}

// Windows names are case-blind: the same place may be spelt either way.
bool samePlace(const std::filesystem::path& a, const std::filesystem::path& b) {
    return ::CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

// `path` is `root` or lies below it, part by part.
bool inside(const std::filesystem::path& path, const std::filesystem::path& root) {
    auto r = root.begin();
    auto p = path.begin();
    for (; r != root.end() && p != path.end(); ++r, ++p) {
        if (!samePlace(*r, *p)) {
            break;
        }
    }
    return r == root.end() || (std::next(r) == root.end() && r->empty());
}

std::int64_t nanosOf(const FILETIME& time) {
    // 100 ns steps since 1601 to nanoseconds since 1970.
    constexpr std::int64_t kEpochSteps = 116'444'736'000'000'000;
    const std::int64_t steps =
        (static_cast<std::int64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    return (steps - kEpochSteps) * 100;
}

// Opens `path` for reading as a regular file on disk: never a folder, a
// device or a pipe. `noFollow` opens a link itself rather than what it
// names, so that a link is caught rather than followed.
Result<int> openDiskFile(const std::filesystem::path& path, bool noFollow) {
    const DWORD flags = FILE_FLAG_SEQUENTIAL_SCAN | (noFollow ? FILE_FLAG_OPEN_REPARSE_POINT : 0);
    HANDLE handle = ::CreateFileW(path.c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, flags | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return Result<int>::failure(failureText(path, openFailure(::GetLastError())));
    }
    BY_HANDLE_FILE_INFORMATION info{};
    const DWORD type = ::GetFileType(handle);
    const bool known = ::GetFileInformationByHandle(handle, &info) != 0;
    const char* what = type != FILE_TYPE_DISK                                    ? "장치"
                       : !known                                                  ? "특수 파일"
                       : (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? "폴더"
                       : (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? "링크"
                                                                                     : nullptr;
    if (what != nullptr) {
        ::CloseHandle(handle);
        return Result<int>::failure(notRegular(path, what));
    }
    const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDONLY | _O_BINARY);
    if (fd < 0) {
        ::CloseHandle(handle);
        return Result<int>::failure(failureText(path, "cannot be opened"));
    }
    return fd;
}

}  // namespace

std::string notRegularFileReason(const std::filesystem::path& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return {};
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return notRegular(path, "폴더");
    }
    if ((attributes & FILE_ATTRIBUTE_DEVICE) != 0) {
        return notRegular(path, "장치");
    }
    return {};
}

Result<int> openRegularFile(const std::filesystem::path& path) {
    return openDiskFile(path, false);
}

std::int64_t modifiedTime(const std::filesystem::path& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) == 0) {
        return 0;
    }
    return nanosOf(data.ftLastWriteTime);
}

std::int64_t modifiedTime(int fd) {
    const auto handle = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
    FILETIME written{};
    if (handle == INVALID_HANDLE_VALUE || ::GetFileTime(handle, nullptr, nullptr, &written) == 0) {
        return 0;
    }
    return nanosOf(written);
}

Result<int> openFileInside(const std::filesystem::path& path, const std::filesystem::path& root) {
    const auto fail = [&](const std::string& why) {
        return Result<int>::failure(failureText(path, why));
    };
    std::error_code error;
    auto normalRoot = root.lexically_normal();
    if (!normalRoot.has_filename()) {
        normalRoot = normalRoot.parent_path();
    }
    const auto realRoot = std::filesystem::canonical(root, error);
    if (error) {
        return fail(root == path ? error.message()
                                 : platform::utf8Text(root) + ": " + error.message());
    }
    if (!samePlace(realRoot, normalRoot)) {
        return fail("선택한 곳이 다른 곳을 가리키는 링크로 바뀌어 올리지 않습니다.");
    }
    const auto real = std::filesystem::canonical(path, error);
    if (error) {
        return fail(error.message());
    }
    if (!inside(real, realRoot)) {
        return fail("선택한 폴더 밖을 가리키는 링크여서 올리지 않습니다.");
    }
    // The real place is opened without following a link: a link put there
    // since the check is refused, not read.
    return openDiskFile(real, true);
}

}  // namespace quenvara
