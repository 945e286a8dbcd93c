#include "musicfilter/music_format.h"

#include <cctype>

namespace quenvara::musicfilter {

std::string fileNameOf(std::string_view path) {
    if (auto cut = path.rfind('\\'); cut != std::string_view::npos) {
        path.remove_prefix(cut + 1);
    }
    if (auto cut = path.rfind('/'); cut != std::string_view::npos) {
        path.remove_prefix(cut + 1);
    }
    return std::string(path);
}

std::string extensionOf(std::string_view path) {
    const auto dot = path.rfind('.');
    if (dot == std::string_view::npos) {
        return {};
    }
    std::string ext(path.substr(dot + 1));
    for (char& c : ext) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return ext;
}

std::optional<MusicFormat> formatOf(std::string_view path) {
    const auto ext = extensionOf(path);
    if (ext == "MP3") {
        return MusicFormat::Mp3;
    }
    if (ext == "OGG") {
        return MusicFormat::Ogg;
    }
    if (ext == "WMA") {
        return MusicFormat::Wma;
    }
    if (ext == "WAV" || ext == "WAVE") {
        return MusicFormat::Wav;
    }
    return std::nullopt;
}

std::string_view formatText(MusicFormat format) {
    switch (format) {
        case MusicFormat::Mp3:
            return "MP3";
        case MusicFormat::Ogg:
            return "OGG";
        case MusicFormat::Wma:
            return "WMA";
        case MusicFormat::Wav:
            return "WAV";
        default:
            return "";
    }
}

}  // namespace quenvara::musicfilter
