#include "platform/dynamic_library.h"

#include <windows.h>

#include <utility>

#include "platform/path_text.h"

namespace quenvara::platform {
namespace {

std::string lastErrorText(DWORD code) {
    wchar_t* text = nullptr;
    const DWORD n = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring wide = n > 0 ? std::wstring(text, n) : L"error " + std::to_wstring(code);
    ::LocalFree(text);
    while (!wide.empty() && (wide.back() == L'\n' || wide.back() == L'\r')) {
        wide.pop_back();
    }
    return utf8Text(std::filesystem::path(wide));
}

}  // namespace

DynamicLibrary::DynamicLibrary(const std::string& fileName) {
    // A full path is loaded from there alone, its own dependencies from its
    // folder; a plain name goes through the system's search.
    const auto path = utf8Path(fileName);
    const DWORD flags = path.is_absolute() ? LOAD_WITH_ALTERED_SEARCH_PATH : 0;
    handle_ = ::LoadLibraryExW(path.c_str(), nullptr, flags);
    if (handle_ == nullptr) {
        error_ = fileName + ": " + lastErrorText(::GetLastError());
    }
}

DynamicLibrary::~DynamicLibrary() {
    release();
}

DynamicLibrary::DynamicLibrary(DynamicLibrary&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)), error_(std::move(other.error_)) {}

DynamicLibrary& DynamicLibrary::operator=(DynamicLibrary&& other) noexcept {
    if (this != &other) {
        release();
        handle_ = std::exchange(other.handle_, nullptr);
        error_ = std::move(other.error_);
    }
    return *this;
}

void* DynamicLibrary::symbol(const char* name) const {
    if (handle_ == nullptr) {
        return nullptr;
    }
    return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(handle_), name));
}

void DynamicLibrary::release() {
    if (handle_ != nullptr) {
        ::FreeLibrary(static_cast<HMODULE>(handle_));
        handle_ = nullptr;
    }
}

}  // namespace quenvara::platform
