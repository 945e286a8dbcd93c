#include "platform/dynamic_library.h"

#include <windows.h>

#include "platform/path_text.h"

namespace quenvara::platform {
DynamicLibrary::DynamicLibrary(const std::string& fileName) {
    // A full path is loaded from there alone, its own dependencies from its
    // folder; a plain name goes through the system's search.
    const auto path = utf8Path(fileName);
    const DWORD flags = path.is_absolute() ? LOAD_WITH_ALTERED_SEARCH_PATH : 0;
    handle_ = ::LoadLibraryExW(path.c_str(), nullptr, flags);
    if (handle_ == nullptr) {
        error_ = fileName + ": " + systemErrorText(::GetLastError());
    }
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
