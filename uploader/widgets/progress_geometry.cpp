#include "uploader/widgets/progress_geometry.h"

#include <algorithm>
#include <cmath>

namespace quenvara::widgets {

std::optional<ProgressFill> progressFill(double lower, double upper, double position,
                                         int clientWidth, bool showText,
                                         const std::string& customText) {
    if (!(upper > lower) || clientWidth <= 0) {
        return std::nullopt;
    }
    const double fraction = std::clamp((position - lower) / (upper - lower), 0.0, 1.0);
    ProgressFill fill;
    fill.barWidth = static_cast<int>(std::floor(clientWidth * fraction));
    if (showText) {
        fill.text = customText.empty() ? std::to_string(static_cast<int>(fraction * 100.0)) + "%"
                                       : customText;
    }
    return fill;
}

}  // namespace quenvara::widgets
