// Real places as the system finds them: the final path of an open handle,
// which every kind of link and junction has been followed to.
#include "platform/real_path.h"

#include <windows.h>

#include <memory>
#include <string>

namespace quenvara::platform {

namespace {

struct HandleCloser {
    void operator()(HANDLE h) const { ::CloseHandle(h); }
};

std::filesystem::path finalPath(const std::filesystem::path& existing, std::error_code& error) {
    const HANDLE handle =
        ::CreateFileW(existing.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        error = std::error_code(static_cast<int>(::GetLastError()), std::system_category());
        return {};
    }
    const std::unique_ptr<void, HandleCloser> closer(handle);
    std::wstring text(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n =
            ::GetFinalPathNameByHandleW(handle, text.data(), static_cast<DWORD>(text.size()),
                                        FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (n == 0) {
            error = std::error_code(static_cast<int>(::GetLastError()), std::system_category());
            return {};
        }
        if (n < text.size()) {
            text.resize(n);
            break;
        }
        text.resize(n);
    }
    // Back to the form paths are written in: "C:\...", "\\server\share\...".
    if (text.rfind(L"\\\\?\\UNC\\", 0) == 0) {
        text = L"\\\\" + text.substr(8);
    } else if (text.rfind(L"\\\\?\\", 0) == 0) {
        text = text.substr(4);
    }
    return std::filesystem::path(text);
}

}  // namespace

std::filesystem::path realPath(const std::filesystem::path& path, std::error_code& error) {
    error.clear();
    // ".." is taken lexically here, as the system itself takes it.
    std::filesystem::path existing = std::filesystem::absolute(path, error).lexically_normal();
    if (error) {
        return {};
    }
    std::filesystem::path rest;
    while (::GetFileAttributesW(existing.c_str()) == INVALID_FILE_ATTRIBUTES) {
        if (!existing.has_relative_path()) {
            return existing / rest;  // not even the root is there
        }
        if (!existing.filename().empty()) {
            rest = rest.empty() ? existing.filename() : existing.filename() / rest;
        }
        existing = existing.parent_path();
    }
    auto real = finalPath(existing, error);
    if (error) {
        return {};
    }
    return rest.empty() ? real : real / rest;
}

bool samePath(const std::filesystem::path& a, const std::filesystem::path& b) {
    const std::wstring left = std::filesystem::path(a).make_preferred().lexically_normal().native();
    const std::wstring right =
        std::filesystem::path(b).make_preferred().lexically_normal().native();
    return ::CompareStringOrdinal(left.c_str(), static_cast<int>(left.size()), right.c_str(),
                                  static_cast<int>(right.size()), TRUE) == CSTR_EQUAL;
}

bool isLink(const std::filesystem::path& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

}  // namespace quenvara::platform
