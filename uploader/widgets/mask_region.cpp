#include "uploader/widgets/mask_region.h"

namespace quenvara::widgets {

std::uint32_t RgbImage::at(int x, int y) const {
    const auto i = (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                    static_cast<std::size_t>(x)) *
                   3;
    return rgb(pixels[i], pixels[i + 1], pixels[i + 2]);
}

namespace {

// Row runs of the pixels `keep` accepts (by column and colour).
template <typename Keep>
std::vector<PixelRect> runs(const RgbImage& image, Keep keep) {
    const int width = image.width;
    std::vector<PixelRect> out;
    if (image.pixels.size() <
        static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height) * 3) {
        return out;
    }
    for (int y = 0; y < image.height; ++y) {
        int x = 0;
        while (x < width) {
            while (x < width && !keep(x, image.at(x, y))) {
                ++x;
            }
            const int start = x;
            while (x < width && keep(x, image.at(x, y))) {
                ++x;
            }
            if (x > start) {
                out.push_back({start, y, x - start, 1});
            }
        }
    }
    return out;
}

}  // namespace

std::vector<PixelRect> maskRuns(const RgbImage& mask) {
    constexpr std::uint32_t kWhite = rgb(255, 255, 255);
    return runs(mask, [](int, std::uint32_t c) { return c != kWhite; });
}

std::vector<PixelRect> opaqueRuns(const RgbImage& skin, std::uint32_t transparent) {
    // Only the columns of whole 4-pixel groups are read; the rest stays.
    const int read = skin.width / 4 * 4;
    return runs(skin, [&](int x, std::uint32_t c) { return x >= read || c != transparent; });
}

}  // namespace quenvara::widgets
