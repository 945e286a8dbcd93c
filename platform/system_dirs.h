#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace quenvara::platform {

// Looks up an environment variable; injected so tests need not touch the
// process environment.
using EnvLookup = std::function<std::optional<std::string>(const char* name)>;
EnvLookup processEnvironment();

// The running program's file (the module path).
std::filesystem::path executablePath();

// Program files: QUENVARA_SYSTEM_DIR, else the install's lib/quenvara found
// from the folder of the running module (build trees are laid out alike).
std::filesystem::path systemDirectory(const EnvLookup& env, const std::filesystem::path& moduleDir);

// quenvara.ini and the profile: QUENVARA_CONFIG_DIR, else
// $XDG_CONFIG_HOME/quenvara, else ~/.config/quenvara.
std::filesystem::path settingsDirectory(const EnvLookup& env);

// Hand-over sockets: QUENVARA_PIPE_DIR, else $XDG_RUNTIME_DIR/quenvara,
// else $XDG_STATE_HOME/quenvara, else ~/.local/state/quenvara; the uploader
// and every client find the socket through this one function.
std::filesystem::path pipeDirectory(const EnvLookup& env);

// What ends a program's file name: "" here, ".exe" on Windows.
std::string_view executableSuffix();

// A shared library's file name from its base name: libNAME.so here,
// NAME.dll on Windows.
std::string sharedLibraryName(std::string_view base);

// The image-name rule: the program file name, lower-cased (ASCII only).
std::string lowerAscii(std::string_view text);

}  // namespace quenvara::platform
