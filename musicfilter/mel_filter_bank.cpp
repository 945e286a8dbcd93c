#include "musicfilter/mel_filter_bank.h"

#include <cmath>

namespace quenvara::musicfilter {
namespace {

double mel(double hz) {
    return 1127.0 * std::log(1.0 + hz / 700.0);
}

}  // namespace

int MelFilterBank::transformLength(int frameLength) {
    int m = 2;
    while (m < frameLength) {
        m *= 2;
    }
    return m;
}

MelFilterBank MelFilterBank::build(int frameLength, double samplePeriod) {
    MelFilterBank bank;
    const int m = transformLength(frameLength);
    const int half = m / 2;
    bank.transform = m;
    const double fres = 10'000'000.0 / (samplePeriod * m * 700.0);
    const auto binMel = [fres](int k) { return 1127.0 * std::log(1.0 + (k - 1) * fres); };

    bank.melLow = mel(kLowCutHz);
    bank.lowBin = static_cast<int>(kLowCutHz * samplePeriod * 1e-7 * m + 2.5);
    if (bank.lowBin < 2) {
        bank.lowBin = 2;
    }
    bank.melHigh = mel(kHighCutHz);
    bank.highBin = static_cast<int>(kHighCutHz * samplePeriod * 1e-7 * m + 0.5);
    if (bank.highBin > half) {
        bank.highBin = half;
    }
    for (int c = 1; c <= kMelChannels + 1; ++c) {
        bank.centre[c] =
            (static_cast<double>(c) / (kMelChannels + 1)) * (bank.melHigh - bank.melLow) +
            bank.melLow;
    }

    bank.lowerChannel.assign(half + 1, -1);
    bank.weight.assign(half + 1, 0.0);
    int cursor = 1;
    for (int k = 1; k <= half; ++k) {
        if (k < bank.lowBin || k > bank.highBin) {
            continue;
        }
        const double mk = binMel(k);
        while (cursor <= kMelChannels + 1 && bank.centre[cursor] < mk) {
            ++cursor;
        }
        // A bin above the last centre has no channel to feed; with the cut
        // below the top centre this only guards against rounding.
        if (cursor > kMelChannels + 1) {
            continue;
        }
        const int ch = cursor - 1;
        bank.lowerChannel[k] = ch;
        bank.weight[k] = ch > 0
                             ? (bank.centre[ch + 1] - mk) / (bank.centre[ch + 1] - bank.centre[ch])
                             : (bank.centre[1] - mk) / (bank.centre[1] - bank.melLow);
    }
    return bank;
}

}  // namespace quenvara::musicfilter
