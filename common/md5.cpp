#include "common/md5.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "common/byte_order.h"

namespace quenvara {
namespace {

// The four round functions and one step, unrolled below: the digest of every
// file queued runs through here.
struct F {
    static std::uint32_t f(std::uint32_t x, std::uint32_t y, std::uint32_t z) {
        return (x & y) | (~x & z);
    }
};
struct G {
    static std::uint32_t f(std::uint32_t x, std::uint32_t y, std::uint32_t z) {
        return (x & z) | (y & ~z);
    }
};
struct H {
    static std::uint32_t f(std::uint32_t x, std::uint32_t y, std::uint32_t z) { return x ^ y ^ z; }
};
struct I {
    static std::uint32_t f(std::uint32_t x, std::uint32_t y, std::uint32_t z) {
        return y ^ (x | ~z);
    }
};

template <class Fn, int Shift>
inline void step(std::uint32_t& a, std::uint32_t b, std::uint32_t c, std::uint32_t d,
                 std::uint32_t m, std::uint32_t k) {
    a = b + std::rotl(a + Fn::f(b, c, d) + m + k, Shift);
}

}  // namespace

void Md5::transform(const std::uint8_t* block) {
    std::uint32_t m[16];
    for (int i = 0; i < 16; ++i) {
        m[i] = bytes::loadU32(block + 4 * i);
    }
    std::uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3];
    step<F, 7>(a, b, c, d, m[0], 0xd76aa478u);
    step<F, 12>(d, a, b, c, m[1], 0xe8c7b756u);
    step<F, 17>(c, d, a, b, m[2], 0x242070dbu);
    step<F, 22>(b, c, d, a, m[3], 0xc1bdceeeu);
    step<F, 7>(a, b, c, d, m[4], 0xf57c0fafu);
    step<F, 12>(d, a, b, c, m[5], 0x4787c62au);
    step<F, 17>(c, d, a, b, m[6], 0xa8304613u);
    step<F, 22>(b, c, d, a, m[7], 0xfd469501u);
    step<F, 7>(a, b, c, d, m[8], 0x698098d8u);
    step<F, 12>(d, a, b, c, m[9], 0x8b44f7afu);
    step<F, 17>(c, d, a, b, m[10], 0xffff5bb1u);
    step<F, 22>(b, c, d, a, m[11], 0x895cd7beu);
    step<F, 7>(a, b, c, d, m[12], 0x6b901122u);
    step<F, 12>(d, a, b, c, m[13], 0xfd987193u);
    step<F, 17>(c, d, a, b, m[14], 0xa679438eu);
    step<F, 22>(b, c, d, a, m[15], 0x49b40821u);
    step<G, 5>(a, b, c, d, m[1], 0xf61e2562u);
    step<G, 9>(d, a, b, c, m[6], 0xc040b340u);
    step<G, 14>(c, d, a, b, m[11], 0x265e5a51u);
    step<G, 20>(b, c, d, a, m[0], 0xe9b6c7aau);
    step<G, 5>(a, b, c, d, m[5], 0xd62f105du);
    step<G, 9>(d, a, b, c, m[10], 0x02441453u);
    step<G, 14>(c, d, a, b, m[15], 0xd8a1e681u);
    step<G, 20>(b, c, d, a, m[4], 0xe7d3fbc8u);
    step<G, 5>(a, b, c, d, m[9], 0x21e1cde6u);
    step<G, 9>(d, a, b, c, m[14], 0xc33707d6u);
    step<G, 14>(c, d, a, b, m[3], 0xf4d50d87u);
    step<G, 20>(b, c, d, a, m[8], 0x455a14edu);
    step<G, 5>(a, b, c, d, m[13], 0xa9e3e905u);
    step<G, 9>(d, a, b, c, m[2], 0xfcefa3f8u);
    step<G, 14>(c, d, a, b, m[7], 0x676f02d9u);
    step<G, 20>(b, c, d, a, m[12], 0x8d2a4c8au);
    step<H, 4>(a, b, c, d, m[5], 0xfffa3942u);
    step<H, 11>(d, a, b, c, m[8], 0x8771f681u);
    step<H, 16>(c, d, a, b, m[11], 0x6d9d6122u);
    step<H, 23>(b, c, d, a, m[14], 0xfde5380cu);
    step<H, 4>(a, b, c, d, m[1], 0xa4beea44u);
    step<H, 11>(d, a, b, c, m[4], 0x4bdecfa9u);
    step<H, 16>(c, d, a, b, m[7], 0xf6bb4b60u);
    step<H, 23>(b, c, d, a, m[10], 0xbebfbc70u);
    step<H, 4>(a, b, c, d, m[13], 0x289b7ec6u);
    step<H, 11>(d, a, b, c, m[0], 0xeaa127fau);
    step<H, 16>(c, d, a, b, m[3], 0xd4ef3085u);
    step<H, 23>(b, c, d, a, m[6], 0x04881d05u);
    step<H, 4>(a, b, c, d, m[9], 0xd9d4d039u);
    step<H, 11>(d, a, b, c, m[12], 0xe6db99e5u);
    step<H, 16>(c, d, a, b, m[15], 0x1fa27cf8u);
    step<H, 23>(b, c, d, a, m[2], 0xc4ac5665u);
    step<I, 6>(a, b, c, d, m[0], 0xf4292244u);
    step<I, 10>(d, a, b, c, m[7], 0x432aff97u);
    step<I, 15>(c, d, a, b, m[14], 0xab9423a7u);
    step<I, 21>(b, c, d, a, m[5], 0xfc93a039u);
    step<I, 6>(a, b, c, d, m[12], 0x655b59c3u);
    step<I, 10>(d, a, b, c, m[3], 0x8f0ccc92u);
    step<I, 15>(c, d, a, b, m[10], 0xffeff47du);
    step<I, 21>(b, c, d, a, m[1], 0x85845dd1u);
    step<I, 6>(a, b, c, d, m[8], 0x6fa87e4fu);
    step<I, 10>(d, a, b, c, m[15], 0xfe2ce6e0u);
    step<I, 15>(c, d, a, b, m[6], 0xa3014314u);
    step<I, 21>(b, c, d, a, m[13], 0x4e0811a1u);
    step<I, 6>(a, b, c, d, m[4], 0xf7537e82u);
    step<I, 10>(d, a, b, c, m[11], 0xbd3af235u);
    step<I, 15>(c, d, a, b, m[2], 0x2ad7d2bbu);
    step<I, 21>(b, c, d, a, m[9], 0xeb86d391u);
    state_[0] += a;
    state_[1] += b;
    state_[2] += c;
    state_[3] += d;
}

std::string toHexLower(std::span<const std::uint8_t> data) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(data.size() * 2);
    for (auto b : data) {
        out.push_back(kDigits[b >> 4]);
        out.push_back(kDigits[b & 0x0F]);
    }
    return out;
}

}  // namespace quenvara
