#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "common/byte_order.h"
#include "common/cp949.h"
#include "platform/result.h"

namespace quenvara {

// Why a text was refused by a field too small for it; callers put what the
// text was (a path, a name) in front.
inline std::string tooLongText(std::size_t bytes, std::size_t room) {
    return "너무 깁니다. (CP949로 " + std::to_string(bytes) + " 바이트, 최대 " +
           std::to_string(room) + " 바이트)";
}

// One field of a fixed-size record: where it starts and how many bytes it has.
struct Field {
    std::size_t offset;
    std::size_t size;
    constexpr std::size_t end() const { return offset + size; }
};

// A zero-filled byte block of fixed size with typed access to its fields:
// little-endian integers and doubles, NUL-terminated CP949 texts that never
// spill out of their field.
template <std::size_t N>
class FixedBlock {
  public:
    static constexpr std::size_t kSize = N;

    FixedBlock() = default;

    // Accepts exactly N bytes; anything else is not this record.
    static std::optional<FixedBlock> fromBytes(std::span<const std::uint8_t> data) {
        if (data.size() != N) {
            return std::nullopt;
        }
        FixedBlock block;
        std::copy(data.begin(), data.end(), block.bytes_.begin());
        return block;
    }

    std::span<const std::uint8_t, N> bytes() const { return bytes_; }
    std::span<std::uint8_t, N> mutableBytes() { return bytes_; }

    std::int32_t int32At(Field f) const { return bytes::loadI32(at(f, 4)); }
    void setInt32At(Field f, std::int32_t v) { bytes::storeI32(at(f, 4), v); }

    double doubleAt(Field f) const { return bytes::loadF64(at(f, 8)); }
    void setDoubleAt(Field f, double v) { bytes::storeF64(at(f, 8), v); }

    // The field's text as stored (CP949 bytes), up to its terminator or the
    // end of the field when a peer left none.
    std::string rawTextAt(Field f) const {
        const auto* p = at(f, 1);
        std::size_t n = 0;
        while (n < f.size && p[n] != 0) {
            ++n;
        }
        return std::string(reinterpret_cast<const char*>(p), n);
    }

    std::string textAt(Field f) const { return cp949::toUtf8(rawTextAt(f)); }

    // The most text bytes a field holds: its size less the terminator.
    static constexpr std::size_t textRoom(Field f) { return f.size - 1; }

    // Stores CP949 bytes when they fit with their terminator; the rest of
    // the field is zeroed. A text too long is refused whole and the field
    // is left as it was: a cut path or name could name another file.
    [[nodiscard]] bool setRawTextAt(Field f, std::string_view cp949Bytes) {
        auto* p = at(f, 1);
        if (cp949Bytes.size() > textRoom(f)) {
            return false;
        }
        std::fill(p, p + f.size, std::uint8_t{0});
        std::copy_n(cp949Bytes.data(), cp949Bytes.size(), p);
        return true;
    }

    // Converts UTF-8 to CP949 first; a text CP949 cannot express, or one too
    // long for the field, is refused with the reason and the field is left
    // as it was.
    [[nodiscard]] Status setTextAt(Field f, std::string_view utf8) {
        auto converted = cp949::fromUtf8(utf8);
        if (!converted) {
            return Status::failure(converted.error());
        }
        if (!setRawTextAt(f, *converted)) {
            return Status::failure(tooLongText(converted->size(), textRoom(f)));
        }
        return {};
    }

    // One character and its terminator ("Y", "N"), or 0 when empty.
    char flagAt(Field f) const { return static_cast<char>(*at(f, 2)); }
    void setFlagAt(Field f, char flag) {
        auto* p = at(f, 2);
        std::fill(p, p + f.size, std::uint8_t{0});
        p[0] = static_cast<std::uint8_t>(flag);
    }

    template <std::size_t M>
    FixedBlock<M> blockAt(Field f) const {
        FixedBlock<M> out;
        std::copy_n(at(f, M), M, out.mutableBytes().begin());
        return out;
    }
    template <std::size_t M>
    void setBlockAt(Field f, const FixedBlock<M>& block) {
        std::copy_n(block.bytes().begin(), M, at(f, M));
    }

    friend bool operator==(const FixedBlock&, const FixedBlock&) = default;

  private:
    // Fields are compile-time constants of the layouts; the check guards
    // against a field used with the wrong accessor.
    const std::uint8_t* at(Field f, std::size_t need) const {
        checkField(f, need);
        return bytes_.data() + f.offset;
    }
    std::uint8_t* at(Field f, std::size_t need) {
        checkField(f, need);
        return bytes_.data() + f.offset;
    }
    static void checkField(Field f, std::size_t need) {
        if (f.size < need || f.end() > N) {
            std::abort();
        }
    }

    std::array<std::uint8_t, N> bytes_{};
};

}  // namespace quenvara
