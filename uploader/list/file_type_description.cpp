#include "uploader/list/file_type_description.h"

#include <array>
#include <cctype>
#include <utility>

namespace quenvara::uploader {
namespace {

struct KindText {
    std::string_view match;
    std::string_view text;
};

// Compared in this order; the two whole-name entries match the whole name.
constexpr std::array kTable = {
    KindText{".PDF", "PDF File"},        KindText{".CPP", "C++ Source"},
    KindText{".H", "Header File"},       KindText{".C", "C Source"},
    KindText{"SETUP.EXE", "Setup File"}, KindText{"ISUNINST.EXE", "UnInstall File"},
    KindText{".TXT", "Text File"},       KindText{".LOG", "Text File"},
    KindText{".ZIP", "Zip File"},        KindText{".ARJ", "Zip File"},
    KindText{".TGZ", "Zip File"},        KindText{".RAR", "Zip File"},
    KindText{".TAR", "Zip File"},        KindText{".LZH", "Zip File"},
    KindText{".LZA", "Zip File"},        KindText{".CAB", "Zip File"},
    KindText{".EXE", "Application"},     KindText{".COM", "Application"},
    KindText{".BAT", "Application"},     KindText{".AU", "Sound File"},
    KindText{".WAV", "Sound File"},      KindText{".MP3", "Sound File"},
    KindText{".HTM", "HTML Document"},   KindText{".HTML", "HTML Document"},
    KindText{".DOC", "WORD Document"},   KindText{".MPG", "Video File"},
    KindText{".MPEG", "Video File"},     KindText{".AVI", "Video File"},
    KindText{".HLP", "HELP File"},       KindText{".BMP", "Bitmap File"},
    KindText{".ICO", "Icon File"},       KindText{".DBF", "FoxPro File"},
    KindText{".DBT", "FoxPro File"},     KindText{".MEM", "FoxPro File"},
    KindText{".DLL", "Drivers File"},    KindText{".SYS", "Drivers File"},
    KindText{".OCX", "Drivers File"},    KindText{".VXD", "Drivers File"},
    KindText{".INI", "Drivers File"},    KindText{".DRV", "Drivers File"},
    KindText{".JPG", "Picture File"},    KindText{".GIF", "Picture File"},
    KindText{".JPEG", "Picture File"},   KindText{".AIS", "Picture File"},
    KindText{".EMF", "Picture File"},    KindText{".IFF", "Picture File"},
    KindText{".KDC", "Picture File"},    KindText{".PCD", "Picture File"},
    KindText{".PCX", "Picture File"},    KindText{".PIC", "Picture File"},
    KindText{".PIX", "Picture File"},    KindText{".PNG", "Picture File"},
    KindText{".PSD", "Picture File"},    KindText{".SGI", "Picture File"},
    KindText{".TIF", "Picture File"},    KindText{".TIFF", "Picture File"},
    KindText{".WMF", "Picture File"},    KindText{".TSK", "Windows File"},
    KindText{".CPX", "Windows File"},    KindText{".ROM", "Windows File"},
    KindText{".CFG", "Windows File"},    KindText{".STF", "Windows File"},
    KindText{".LST", "Windows File"},    KindText{".INF", "Windows File"},
    KindText{".CUR", "Cursor File"},     KindText{".ANI", "Cursor File"},
    KindText{".FON", "Font File"},       KindText{".BAK", "Backup File"},
    KindText{".JAVA", "Java Source"},    KindText{".CLASS", "Java Class"},
    KindText{".BEAN", "Java Bean"},      KindText{".REG", "Registry File"},
    KindText{".MDB", "Access Database"}, KindText{".XLS", "Excel File"},
    KindText{".CHM", "Html Help"},
};

std::string upper(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return out;
}

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return out;
}

}  // namespace

std::string FileTypeDescription(std::string_view name) {
    const auto dot = name.rfind('.');
    const std::string upperName = upper(name);
    if (dot == 0) {
        return upperName + " File";
    }
    const std::string extension = dot == std::string_view::npos ? upperName : upperName.substr(dot);
    for (const auto& entry : kTable) {
        const bool wholeName = entry.match.front() != '.';
        if ((wholeName ? upperName : extension) == entry.match) {
            return std::string(entry.text);
        }
    }
    std::string fallback = lower(extension);
    if (fallback.find('.') != std::string::npos) {
        fallback.erase(0, 1);
    }
    return fallback + " File";
}

}  // namespace quenvara::uploader
