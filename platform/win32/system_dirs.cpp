#include "platform/system_dirs.h"

#include <windows.h>

#include <cstdlib>

#include "platform/path_text.h"

namespace quenvara::platform {
namespace {

std::optional<std::string> nonEmpty(const EnvLookup& env, const char* name) {
    auto v = env(name);
    if (v && !v->empty()) {
        return v;
    }
    return std::nullopt;
}

}  // namespace

// Variables are read wide and handed on as UTF-8, as every text of ours is.
EnvLookup processEnvironment() {
    return [](const char* name) -> std::optional<std::string> {
        const std::wstring wideName = utf8Path(name).native();
        if (const wchar_t* v = ::_wgetenv(wideName.c_str())) {
            return utf8Text(std::filesystem::path(v));
        }
        return std::nullopt;
    };
}

std::filesystem::path executablePath() {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n =
            ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) {
            return {};
        }
        if (n < buffer.size()) {
            buffer.resize(n);
            return std::filesystem::path(buffer);
        }
        buffer.resize(buffer.size() * 2);
    }
}

// Program files are the program's own folder.
std::filesystem::path systemDirectory(const EnvLookup& env,
                                      const std::filesystem::path& moduleDir) {
    if (auto dir = nonEmpty(env, "QUENVARA_SYSTEM_DIR")) {
        return utf8Path(*dir);
    }
    return moduleDir;
}

std::filesystem::path settingsDirectory(const EnvLookup& env) {
    if (auto dir = nonEmpty(env, "QUENVARA_CONFIG_DIR")) {
        return utf8Path(*dir);
    }
    if (auto appData = nonEmpty(env, "APPDATA")) {
        return utf8Path(*appData) / "Quenvara";
    }
    return executablePath().parent_path();
}

std::string_view executableSuffix() {
    return ".exe";
}

std::string sharedLibraryName(std::string_view base) {
    return std::string(base) + ".dll";
}

// The named pipes' namespace; a folder given instead (tests) gets pipes
// of its own (see win32/local_pipe.cpp).
std::filesystem::path pipeDirectory(const EnvLookup& env) {
    if (auto dir = nonEmpty(env, "QUENVARA_PIPE_DIR")) {
        return utf8Path(*dir);
    }
    return L"\\\\.\\pipe";
}

}  // namespace quenvara::platform
