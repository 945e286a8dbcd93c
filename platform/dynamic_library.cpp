#include "platform/dynamic_library.h"

#include <dlfcn.h>

namespace quenvara::platform {

DynamicLibrary::DynamicLibrary(const std::string& fileName) {
    handle_ = ::dlopen(fileName.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) {
        const char* why = ::dlerror();
        error_ = why != nullptr ? why : fileName + ": cannot be loaded";
    }
}

void* DynamicLibrary::symbol(const char* name) const {
    return handle_ != nullptr ? ::dlsym(handle_, name) : nullptr;
}

void DynamicLibrary::release() {
    if (handle_ != nullptr) {
        ::dlclose(handle_);
        handle_ = nullptr;
    }
}

}  // namespace quenvara::platform
