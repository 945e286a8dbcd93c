#pragma once

#include <cstdint>
#include <vector>

namespace quenvara::widgets {

// A 24-bit picture, rows top to bottom, three bytes (red, green, blue) a pixel.
struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;
    std::uint32_t at(int x, int y) const;
};

struct PixelRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    friend bool operator==(const PixelRect&, const PixelRect&) = default;
};

// A button's shape from its mask: every run of pixels in a row that is not
// white becomes a one-row rectangle.
std::vector<PixelRect> maskRuns(const RgbImage& mask);

// A popup's shape from its skin: the full rectangle without every pixel of
// the transparent colour among the columns read (the width rounded down to a
// multiple of 4). The result is given as row runs of what remains.
std::vector<PixelRect> opaqueRuns(const RgbImage& skin, std::uint32_t transparent);

constexpr std::uint32_t rgb(int r, int g, int b) {
    return (static_cast<std::uint32_t>(r) << 16) | (static_cast<std::uint32_t>(g) << 8) |
           static_cast<std::uint32_t>(b);
}

}  // namespace quenvara::widgets
