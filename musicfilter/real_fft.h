#pragma once

#include <complex>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace quenvara::musicfilter {

// Radix-2 transform of a real sequence of length M (a power of two, at
// least 2), in double precision: a complex decimation-in-frequency transform
// of M / 2 points over the packed even and odd samples, then one split pass
// that reads the result, left in bit-reversed order, only at the bins asked
// for. The first stage also packs (and windows); later stages go two at a
// time, block by block. Twiddles and the positions of the results are made
// once per length in the process; transforms never allocate.
class RealFft {
  public:
    // Returns false when `length` is not a power of two of at least 2.
    bool prepare(std::size_t length);
    std::size_t length() const { return length_; }

    // Unnormalised X(m) = sum over n of x[n] e^(-2 pi i m n / M), for
    // m = 0 ... M / 2; `input` holds M values, `output` M / 2 + 1.
    void transform(const double* input, std::complex<double>* output);
    // |X(m)|^2 for m = first ... last (at most M / 2), written at output[m].
    void power(const double* input, double* output, std::size_t first = 0,
               std::size_t last = static_cast<std::size_t>(-1));
    // The same for `count` (at most M) samples multiplied by `window`, the
    // rest taken as zeros: windowing and padding without a copy.
    void windowedPower(const double* samples, const double* window, std::size_t count,
                       double* output, std::size_t first, std::size_t last);

    // What depends on the length alone; shared between transforms.
    struct Plan {
        // Where the transform leaves each packed point's result (bit-reversed,
        // with the last two stages' grouping).
        std::vector<std::size_t> reversed;
        // Stage with blocks of `size` points uses entries [size / 2 - 1, size - 1)
        // of the twiddle tables: e^(-2 pi i j / size), j < size / 2.
        std::vector<double> twiddleRe;
        std::vector<double> twiddleIm;
        std::vector<double> splitRe;  // e^(-2 pi i k / M), k <= M/2
        std::vector<double> splitIm;
        // The stages between the first and the last two, as passes over
        // blocks of `size` points: one stage, or two at once (a pair's
        // twiddles regrouped from `twiddles` on in pairTwiddles).
        struct Pass {
            std::size_t size;
            bool pair;
            std::size_t twiddles;
        };
        std::vector<Pass> passes;
        std::vector<double> pairTwiddles;
    };

  private:
    void butterflies(const double* input, const double* window, std::size_t count);
    std::complex<double> bin(std::size_t k) const;
    void split(double* output, std::size_t first, std::size_t last) const;

    std::size_t length_ = 0;
    std::size_t half_ = 0;
    std::shared_ptr<const Plan> plan_;
    std::vector<double> re_;
    std::vector<double> im_;
    std::vector<double> z_;  // the result: real and imaginary part of each point side by side
};

}  // namespace quenvara::musicfilter
