#pragma once

#include <string>

namespace quenvara::platform {

// A shared library loaded by plain file name (the loader's search order,
// which includes our RPATH), released when the object goes.
class DynamicLibrary {
  public:
    DynamicLibrary() = default;
    explicit DynamicLibrary(const std::string& fileName);
    ~DynamicLibrary();
    DynamicLibrary(DynamicLibrary&& other) noexcept;
    DynamicLibrary& operator=(DynamicLibrary&& other) noexcept;
    DynamicLibrary(const DynamicLibrary&) = delete;
    DynamicLibrary& operator=(const DynamicLibrary&) = delete;

    bool loaded() const { return handle_ != nullptr; }
    // The loader's reason when loading failed.
    const std::string& error() const { return error_; }
    void* symbol(const char* name) const;
    void release();

  private:
    void* handle_ = nullptr;
    std::string error_;
};

}  // namespace quenvara::platform
