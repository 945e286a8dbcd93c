#include "common/size_text.h"

#include <cstdio>

namespace quenvara {

std::string formatSize(double bytes, int decimals) {
    const char* unit = "B";
    double value = bytes;
    if (bytes >= 1073741824.0) {
        value = bytes / 1073741824.0;
        unit = "G";
    } else if (bytes >= 1048576.0) {
        value = bytes / 1048576.0;
        unit = "M";
    } else if (bytes >= 1024.0) {
        value = bytes / 1024.0;
        unit = "K";
    }
    char number[400];  // room for the largest double in fixed notation
    std::snprintf(number, sizeof number, "%.*f", decimals, value);
    return std::string(number) + " " + unit;
}

}  // namespace quenvara
