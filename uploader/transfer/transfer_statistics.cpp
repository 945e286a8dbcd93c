#include "uploader/transfer/transfer_statistics.h"

#include <limits>

namespace quenvara::uploader {

std::optional<std::int64_t> TransferSnapshot::speedKbps(std::int64_t now) const {
    const std::int64_t elapsed = now - startTime;
    if (elapsed <= 0) {
        return std::nullopt;
    }
    const double perSecond = bytesSent / static_cast<double>(elapsed);
    return perSecond > 0 && perSecond < 9.0e18 ? static_cast<std::int64_t>(perSecond) >> 10 : 0;
}

std::optional<std::int64_t> TransferStatistics::remainingSeconds(double bytes, std::int64_t kbps) {
    if (kbps <= 0) {
        return std::nullopt;
    }
    const double seconds = bytes / 1024.0 / static_cast<double>(kbps);
    if (!(seconds >= 0) ||
        seconds > static_cast<double>(std::numeric_limits<std::int64_t>::max())) {
        return std::nullopt;
    }
    return static_cast<std::int64_t>(seconds);
}

}  // namespace quenvara::uploader
