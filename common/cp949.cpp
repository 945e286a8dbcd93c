#include "common/cp949.h"

namespace quenvara::cp949 {
namespace {

bool isLeadByte(unsigned char c) {
    return c >= 0x81 && c <= 0xFE;
}

}  // namespace

std::size_t prefixLength(std::string_view cp949, std::size_t limit) {
    std::size_t i = 0;
    while (i < cp949.size()) {
        const std::size_t width =
            isLeadByte(static_cast<unsigned char>(cp949[i])) && i + 1 < cp949.size() ? 2 : 1;
        if (i + width > limit) {
            break;
        }
        i += width;
    }
    return i;
}

}  // namespace quenvara::cp949
