#pragma once

#include <string>

namespace quenvara {

// A byte count in units of 1024 with the given decimals: "1.5 K", "3.20 M".
std::string formatSize(double bytes, int decimals);

// "512.0 B", "1.5 K", "3.2 M", "1.0 G": one decimal, units of 1024.
inline std::string sizeText(double bytes) {
    return formatSize(bytes, 1);
}

}  // namespace quenvara
