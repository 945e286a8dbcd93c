#pragma once

#include <array>
#include <utility>

namespace quenvara::widgets {

// The captionless main window's frame: what a press at a client point does.
enum class FrameHit {
    Client,
    Move,
    Left,
    Right,
    Top,
    Bottom,
    TopLeft,
    TopRight,
    BottomLeft,
    BottomRight
};

inline constexpr int kFrameBorder = 6;
inline constexpr int kCaptionBand = 57;

FrameHit frameHit(int x, int y, int width, int height, bool maximized);

// The window's outline: nine points that cut the corners by 2 pixels.
std::array<std::pair<int, int>, 9> windowPolygon(int width, int height);

}  // namespace quenvara::widgets
