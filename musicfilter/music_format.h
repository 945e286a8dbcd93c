#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quenvara::musicfilter {

// The audio format, fixed by the file name's extension.
enum class MusicFormat : std::int32_t { None = 0, Mp3 = 1, Ogg = 2, Wma = 3, Wav = 4 };

// The part of a path after its last "\" and then after its last "/".
std::string fileNameOf(std::string_view path);
// The part after the last "." of the whole path, upper-cased; empty without one.
std::string extensionOf(std::string_view path);
// MP3, OGG, WMA, WAV or WAVE (any case); nothing for other extensions.
std::optional<MusicFormat> formatOf(std::string_view path);
// The text sent as file_format: "MP3", "OGG", "WMA", "WAV", or empty.
std::string_view formatText(MusicFormat format);

}  // namespace quenvara::musicfilter
