#pragma once

#include <string>

namespace quenvara {

// "512.0 B", "1.5 K", "3.2 M", "1.0 G": one decimal, units of 1024.
std::string sizeText(double bytes);

}  // namespace quenvara
