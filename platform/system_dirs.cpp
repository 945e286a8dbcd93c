#include "platform/system_dirs.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

#ifndef QUENVARA_INSTALL_SYSTEM_DIR
#define QUENVARA_INSTALL_SYSTEM_DIR "/usr/local/lib/quenvara"
#endif

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

EnvLookup processEnvironment() {
    return [](const char* name) -> std::optional<std::string> {
        if (const char* v = std::getenv(name)) {
            return std::string(v);
        }
        return std::nullopt;
    };
}

std::filesystem::path executablePath() {
    std::error_code ec;
    auto p = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::filesystem::path{} : p;
}

std::filesystem::path systemDirectory(const EnvLookup& env,
                                      const std::filesystem::path& moduleDir) {
    if (auto dir = nonEmpty(env, "QUENVARA_SYSTEM_DIR")) {
        return *dir;
    }
    if (moduleDir.filename() == "quenvara") {
        return moduleDir;
    }
    if (moduleDir.filename() == "bin" || moduleDir.filename() == "lib") {
        return moduleDir.parent_path() / "lib" / "quenvara";
    }
    return QUENVARA_INSTALL_SYSTEM_DIR;
}

namespace {

// The user's home: HOME, else the password database's entry.
std::filesystem::path homeDirectory(const EnvLookup& env) {
    if (auto h = nonEmpty(env, "HOME")) {
        return *h;
    }
    if (const passwd* pw = getpwuid(getuid())) {
        return pw->pw_dir;
    }
    return {};
}

}  // namespace

std::filesystem::path settingsDirectory(const EnvLookup& env) {
    if (auto dir = nonEmpty(env, "QUENVARA_CONFIG_DIR")) {
        return *dir;
    }
    if (auto xdg = nonEmpty(env, "XDG_CONFIG_HOME")) {
        return std::filesystem::path(*xdg) / "quenvara";
    }
    return homeDirectory(env) / ".config" / "quenvara";
}

std::string_view executableSuffix() {
    return {};
}

std::string sharedLibraryName(std::string_view base) {
    return "lib" + std::string(base) + ".so";
}

std::filesystem::path pipeDirectory(const EnvLookup& env) {
    if (auto dir = nonEmpty(env, "QUENVARA_PIPE_DIR")) {
        return *dir;
    }
    if (auto runtime = nonEmpty(env, "XDG_RUNTIME_DIR")) {
        return std::filesystem::path(*runtime) / "quenvara";
    }
    // Never a shared folder such as /tmp, where another user could take
    // the name first and keep the uploader from ever starting: a folder in
    // the user's own state folder.
    if (auto state = nonEmpty(env, "XDG_STATE_HOME")) {
        return std::filesystem::path(*state) / "quenvara";
    }
    return homeDirectory(env) / ".local" / "state" / "quenvara";
}

}  // namespace quenvara::platform
