#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <span>

// Little-endian loads and stores for the fixed records that cross process
// and network boundaries. Callers pass offsets they have already checked.
namespace quenvara::bytes {

static_assert(std::endian::native == std::endian::little ||
              std::endian::native == std::endian::big);

template <class T>
T byteSwapIfBig(T v) {
    if constexpr (std::endian::native == std::endian::big) {
        auto raw = std::bit_cast<std::array<std::uint8_t, sizeof(T)>>(v);
        std::reverse(raw.begin(), raw.end());
        return std::bit_cast<T>(raw);
    }
    return v;
}

inline std::int32_t loadI32(const std::uint8_t* p) {
    std::int32_t v;
    std::memcpy(&v, p, sizeof v);
    return byteSwapIfBig(v);
}

inline std::uint16_t loadU16(const std::uint8_t* p) {
    std::uint16_t v;
    std::memcpy(&v, p, sizeof v);
    return byteSwapIfBig(v);
}

inline std::uint32_t loadU32(const std::uint8_t* p) {
    std::uint32_t v;
    std::memcpy(&v, p, sizeof v);
    return byteSwapIfBig(v);
}

inline double loadF64(const std::uint8_t* p) {
    std::uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return std::bit_cast<double>(byteSwapIfBig(v));
}

inline void storeI32(std::uint8_t* p, std::int32_t v) {
    v = byteSwapIfBig(v);
    std::memcpy(p, &v, sizeof v);
}

inline void storeU16(std::uint8_t* p, std::uint16_t v) {
    v = byteSwapIfBig(v);
    std::memcpy(p, &v, sizeof v);
}

inline void storeU32(std::uint8_t* p, std::uint32_t v) {
    v = byteSwapIfBig(v);
    std::memcpy(p, &v, sizeof v);
}

inline void storeF64(std::uint8_t* p, double v) {
    auto raw = byteSwapIfBig(std::bit_cast<std::uint64_t>(v));
    std::memcpy(p, &raw, sizeof raw);
}

}  // namespace quenvara::bytes
