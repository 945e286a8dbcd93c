#pragma once

#include <optional>
#include <string>

namespace quenvara::widgets {

// What a text progress bar paints for its values: the bar's pixel width and
// the text centred over it. Nothing when the range is empty or reversed.
struct ProgressFill {
    int barWidth = 0;
    std::string text;
};

std::optional<ProgressFill> progressFill(double lower, double upper, double position,
                                         int clientWidth, bool showText,
                                         const std::string& customText);

}  // namespace quenvara::widgets
