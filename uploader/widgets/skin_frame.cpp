#include "uploader/widgets/skin_frame.h"

namespace quenvara::widgets {

FrameHit frameHit(int x, int y, int width, int height, bool maximized) {
    if (maximized) {
        return FrameHit::Client;
    }
    constexpr int b = kFrameBorder;
    if (x >= width - 19 && y >= height - 21) {
        return FrameHit::BottomRight;
    }
    const bool left = x < b;
    const bool right = x >= width - b;
    const bool top = y < b;
    const bool bottom = y >= height - b;
    if (left && top) {
        return FrameHit::TopLeft;
    }
    if (right && top) {
        return FrameHit::TopRight;
    }
    if (left && bottom) {
        return FrameHit::BottomLeft;
    }
    if (left) {
        return FrameHit::Left;
    }
    if (right) {
        return FrameHit::Right;
    }
    if (top) {
        return FrameHit::Top;
    }
    if (bottom) {
        return FrameHit::Bottom;
    }
    return y < kCaptionBand ? FrameHit::Move : FrameHit::Client;
}

std::array<std::pair<int, int>, 9> windowPolygon(int w, int h) {
    return {
        {{2, 0}, {w - 2, 0}, {w, 2}, {w, h - 2}, {w - 2, h}, {2, h}, {0, h - 3}, {0, 2}, {2, 0}}};
}

}  // namespace quenvara::widgets
