#pragma once

#include <array>
#include <cstddef>
#include <vector>

namespace quenvara::musicfilter {

inline constexpr int kMelChannels = 33;
inline constexpr double kLowCutHz = 300.0;
inline constexpr double kHighCutHz = 7000.0;

// Triangular mel channels between the two cut-offs over the bins of a
// transform. Bins are counted from 1: bin k is the frequency
// (k - 1) * rate / M. Each used bin feeds its lower channel with `weight`
// and the channel above with the rest.
struct MelFilterBank {
    int transform = 0;  // M
    int lowBin = 0;
    int highBin = 0;
    double melLow = 0.0;
    double melHigh = 0.0;
    std::array<double, kMelChannels + 2> centre{};  // centre[1 ... 34]
    std::vector<int> lowerChannel;                  // [1 ... M/2]; -1 outside the used bins
    std::vector<double> weight;                     // [1 ... M/2]

    // frameLength: samples per frame; samplePeriod in units of 100 ns
    // (10,000,000 / rate, not rounded).
    static MelFilterBank build(int frameLength, double samplePeriod);
    // The smallest power of two that is at least `frameLength` (at least 2).
    static int transformLength(int frameLength);
};

}  // namespace quenvara::musicfilter
