// CP949 through the system's code page 949 (the same unified Hangul code as
// glibc's "CP949"), one character at a time so that a failure names its byte
// as the iconv version does.
#include <windows.h>

#include <optional>

#include "common/cp949.h"

namespace quenvara::cp949 {
namespace {

constexpr UINT kCodePage = 949;
constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

struct Decoded {
    char32_t code;
    std::size_t width;
};

// One strict UTF-8 character: no overlong forms, surrogates or values past
// U+10FFFF.
std::optional<Decoded> decodeUtf8(std::string_view text, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[at + i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80) {
        return Decoded{lead, 1};
    }
    const std::size_t width = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
    if (width == 0 || lead > 0xF4 || at + width > text.size()) {
        return std::nullopt;
    }
    char32_t code = lead & (0x7F >> width);
    for (std::size_t i = 1; i < width; ++i) {
        if ((byte(i) & 0xC0) != 0x80) {
            return std::nullopt;
        }
        code = (code << 6) | (byte(i) & 0x3F);
    }
    const char32_t least = width == 2 ? 0x80 : width == 3 ? 0x800 : 0x10000;
    if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
        return std::nullopt;
    }
    return Decoded{code, width};
}

// The CP949 bytes of one character, or nothing when it has none.
std::optional<std::string> encodeCharacter(char32_t code) {
    if (code < 0x80) {
        return std::string(1, static_cast<char>(code));
    }
    wchar_t units[2];
    int count = 1;
    if (code >= 0x10000) {
        units[0] = static_cast<wchar_t>(0xD800 + ((code - 0x10000) >> 10));
        units[1] = static_cast<wchar_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
        count = 2;
    } else {
        units[0] = static_cast<wchar_t>(code);
    }
    char out[8];
    BOOL usedDefault = FALSE;
    const int n = ::WideCharToMultiByte(kCodePage, WC_NO_BEST_FIT_CHARS, units, count, out,
                                        sizeof out, nullptr, &usedDefault);
    if (n <= 0 || usedDefault) {
        return std::nullopt;
    }
    return std::string(out, static_cast<std::size_t>(n));
}

void appendUtf8(std::string& out, char32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

}  // namespace

Result<std::string> fromUtf8(std::string_view utf8) {
    std::string out;
    for (std::size_t at = 0; at < utf8.size();) {
        const auto decoded = decodeUtf8(utf8, at);
        if (!decoded) {
            return Result<std::string>::failure("invalid UTF-8 at byte " + std::to_string(at));
        }
        const auto bytes = encodeCharacter(decoded->code);
        if (!bytes) {
            return Result<std::string>::failure("text cannot be written in CP949 at byte " +
                                                std::to_string(at) + ": \"" + std::string(utf8) +
                                                "\"");
        }
        out += *bytes;
        at += decoded->width;
    }
    return out;
}

std::string fromUtf8Lossy(std::string_view utf8) {
    std::string out;
    for (std::size_t at = 0; at < utf8.size();) {
        const auto decoded = decodeUtf8(utf8, at);
        const auto bytes = decoded ? encodeCharacter(decoded->code) : std::nullopt;
        if (bytes) {
            out += *bytes;
            at += decoded->width;
            continue;
        }
        // The whole character goes: its length from the lead byte, bounded
        // by what is left and by its continuation bytes.
        const auto lead = static_cast<unsigned char>(utf8[at]);
        const std::size_t width = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
        std::size_t skip = 1;
        while (skip < width && at + skip < utf8.size() &&
               (static_cast<unsigned char>(utf8[at + skip]) & 0xC0) == 0x80) {
            ++skip;
        }
        out += '?';
        at += skip;
    }
    return out;
}

std::string toUtf8(std::string_view cp949) {
    std::string out;
    for (std::size_t at = 0; at < cp949.size();) {
        const auto lead = static_cast<unsigned char>(cp949[at]);
        if (lead < 0x80) {
            out += static_cast<char>(lead);
            ++at;
            continue;
        }
        wchar_t unit = 0;
        const bool pair = lead >= 0x81 && lead <= 0xFE && at + 1 < cp949.size();
        if (pair && ::MultiByteToWideChar(kCodePage, MB_ERR_INVALID_CHARS, cp949.data() + at, 2,
                                          &unit, 1) == 1) {
            appendUtf8(out, unit);
            at += 2;
            continue;
        }
        out += kReplacement;
        ++at;
    }
    return out;
}

}  // namespace quenvara::cp949
