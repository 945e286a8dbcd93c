#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/support/audio_fixture.h"

namespace quenvara::musicfilter::wmatest {

using Bytes = std::vector<std::uint8_t>;

inline Bytes fixture(const std::string& name) {
    return testing::audioFixture(name);
}

// The interleaved 16-bit samples of a canonical PCM WAV file's data chunk,
// frames [first, first + count); empty when the file is not one.
inline std::vector<std::int16_t> wavSamples(const Bytes& file, int channels, std::size_t first,
                                            std::size_t count) {
    std::size_t at = 12;
    while (at + 8 <= file.size()) {
        std::uint32_t size = 0;
        std::memcpy(&size, &file[at + 4], 4);
        if (std::memcmp(&file[at], "data", 4) == 0) {
            const std::size_t begin = at + 8 + first * 2 * channels;
            const std::size_t end = begin + count * 2 * channels;
            if (end > file.size() || end > at + 8 + size) {
                return {};
            }
            std::vector<std::int16_t> out(count * channels);
            std::memcpy(out.data(), &file[begin], end - begin);
            return out;
        }
        at += 8 + size + (size & 1);
    }
    return {};
}

// Normalised correlation of a against b shifted by offset frames (a[i]
// against b[i + offset]), over the sum of the channels.
inline double correlation(const std::vector<std::int16_t>& a, const std::vector<std::int16_t>& b,
                          int channels, long offset) {
    const long aFrames = static_cast<long>(a.size()) / channels;
    const long bFrames = static_cast<long>(b.size()) / channels;
    double ab = 0, aa = 0, bb = 0;
    for (long i = std::max(0L, -offset); i < aFrames && i + offset < bFrames; ++i) {
        double x = 0, y = 0;
        for (int c = 0; c < channels; ++c) {
            x += a[i * channels + c];
            y += b[(i + offset) * channels + c];
        }
        ab += x * y;
        aa += x * x;
        bb += y * y;
    }
    return aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : 0.0;
}

struct Match {
    long offset = 0;
    double correlation = -2;
};

// The offset in [first, last] at which a matches b best.
inline Match bestMatch(const std::vector<std::int16_t>& a, const std::vector<std::int16_t>& b,
                       int channels, long first, long last) {
    Match best;
    for (long offset = first; offset <= last; ++offset) {
        const double c = correlation(a, b, channels, offset);
        if (c > best.correlation) {
            best = {offset, c};
        }
    }
    return best;
}

}  // namespace quenvara::musicfilter::wmatest
