#pragma once

#include <filesystem>
#include <string>
#include <string_view>

// Our texts are UTF-8. A std::filesystem::path made from a narrow string, or
// read back with string(), uses the system's code page on Windows, which
// would turn a Korean name into another name; every crossing between paths
// and our texts goes through these.
namespace quenvara::platform {

std::filesystem::path utf8Path(std::string_view utf8);
std::string utf8Text(const std::filesystem::path& path);

// A text handed over in the system's code page, as the music filter's
// exports take paths and user ids: UTF-8 here, the ANSI code page on
// Windows.
std::string utf8FromSystemText(std::string_view text);
std::string systemTextFromUtf8(std::string_view utf8);
std::filesystem::path systemTextPath(std::string_view text);

// The system's own text for one of its error numbers (Windows error codes
// there, errno values here), as UTF-8.
std::string systemErrorText(unsigned long code);

}  // namespace quenvara::platform
