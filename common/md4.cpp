#include "common/md4.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "common/byte_order.h"

namespace quenvara {
namespace {

std::uint32_t f(std::uint32_t x, std::uint32_t y, std::uint32_t z) {
    return (x & y) | (~x & z);
}
std::uint32_t g(std::uint32_t x, std::uint32_t y, std::uint32_t z) {
    return (x & y) | (x & z) | (y & z);
}
std::uint32_t h(std::uint32_t x, std::uint32_t y, std::uint32_t z) {
    return x ^ y ^ z;
}

}  // namespace

void Md4::transform(const std::uint8_t* block) {
    std::uint32_t x[16];
    for (int i = 0; i < 16; ++i) {
        x[i] = bytes::loadU32(block + 4 * i);
    }
    std::uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3];
    // Each round: sixteen steps over the registers in turn (a, d, c, b).
    const auto round = [&](auto fn, std::uint32_t k, const int(&order)[16], const int(&shift)[4]) {
        for (int i = 0; i < 16; ++i) {
            std::uint32_t* regs[4] = {&a, &d, &c, &b};
            std::uint32_t& r = *regs[i % 4];
            const std::uint32_t r1 = *regs[(i + 3) % 4];  // the register after r in a,b,c,d
            const std::uint32_t r2 = *regs[(i + 2) % 4];
            const std::uint32_t r3 = *regs[(i + 1) % 4];
            r = std::rotl(r + fn(r1, r2, r3) + x[order[i]] + k, shift[i % 4]);
        }
    };
    static constexpr int kOrder1[16] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
    static constexpr int kOrder2[16] = {0, 4, 8, 12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15};
    static constexpr int kOrder3[16] = {0, 8, 4, 12, 2, 10, 6, 14, 1, 9, 5, 13, 3, 11, 7, 15};
    static constexpr int kShift1[4] = {3, 7, 11, 19};
    static constexpr int kShift2[4] = {3, 5, 9, 13};
    static constexpr int kShift3[4] = {3, 9, 11, 15};
    round(f, 0, kOrder1, kShift1);
    round(g, 0x5a827999, kOrder2, kShift2);
    round(h, 0x6ed9eba1, kOrder3, kShift3);
    state_[0] += a;
    state_[1] += b;
    state_[2] += c;
    state_[3] += d;
}

}  // namespace quenvara
