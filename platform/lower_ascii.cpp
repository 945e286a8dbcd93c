#include <cctype>

#include "platform/system_dirs.h"

namespace quenvara::platform {

std::string lowerAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return out;
}

}  // namespace quenvara::platform
