#include "musicfilter/real_fft.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace quenvara::musicfilter {
namespace {

// One block of a radix-2 decimation-in-frequency stage: sum in the first
// half, twiddled difference in the second. The halves do not overlap, which
// lets the compiler keep the loop in vector registers; on processors with
// AVX2 a clone with wider registers runs (the same operations, so the same
// results: no fused multiply-add).
__attribute__((target_clones("avx2", "default"))) void stage(double* __restrict re,
                                                             double* __restrict im,
                                                             const double* __restrict wr,
                                                             const double* __restrict wi,
                                                             std::size_t span) {
    double* __restrict br = re + span;
    double* __restrict bi = im + span;
    for (std::size_t j = 0; j < span; ++j) {
        const double dr = re[j] - br[j];
        const double di = im[j] - bi[j];
        re[j] += br[j];
        im[j] += bi[j];
        br[j] = wr[j] * dr - wi[j] * di;
        bi[j] = wr[j] * di + wi[j] * dr;
    }
}

}  // namespace

bool RealFft::prepare(std::size_t length) {
    if (length < 2 || (length & (length - 1)) != 0) {
        return false;
    }
    length_ = length;
    half_ = length / 2;
    int bits = 0;
    while ((std::size_t{1} << bits) < half_) {
        ++bits;
    }
    reversed_.resize(half_);
    for (std::size_t i = 0; i < half_; ++i) {
        std::size_t r = 0;
        for (int b = 0; b < bits; ++b) {
            r |= ((i >> b) & 1u) << (bits - 1 - b);
        }
        reversed_[i] = r;
    }
    const double tau = 2.0 * std::numbers::pi;
    twiddleRe_.assign(half_ > 1 ? half_ - 1 : 0, 0.0);
    twiddleIm_.assign(twiddleRe_.size(), 0.0);
    for (std::size_t size = 2; size <= half_; size *= 2) {
        for (std::size_t j = 0; j < size / 2; ++j) {
            const double a = -tau * static_cast<double>(j) / static_cast<double>(size);
            twiddleRe_[size / 2 - 1 + j] = std::cos(a);
            twiddleIm_[size / 2 - 1 + j] = std::sin(a);
        }
    }
    splitRe_.resize(half_ + 1);
    splitIm_.resize(half_ + 1);
    for (std::size_t k = 0; k <= half_; ++k) {
        const double a = -tau * static_cast<double>(k) / static_cast<double>(length_);
        splitRe_[k] = std::cos(a);
        splitIm_[k] = std::sin(a);
    }
    re_.assign(half_, 0.0);
    im_.assign(half_, 0.0);
    return true;
}

void RealFft::butterflies(const double* input) {
    double* re = re_.data();
    double* im = im_.data();
    // Pack: z[n] = x[2n] + i x[2n+1], in natural order; the stages leave
    // the transform in bit-reversed order, read through reversed_.
    for (std::size_t n = 0; n < half_; ++n) {
        re[n] = input[2 * n];
        im[n] = input[2 * n + 1];
    }
    const std::size_t last = half_ >= 4 ? 8 : 2;  // the last two stages are done below
    for (std::size_t size = half_; size >= last; size /= 2) {
        const std::size_t span = size / 2;
        const double* wr = twiddleRe_.data() + span - 1;
        const double* wi = twiddleIm_.data() + span - 1;
        for (std::size_t start = 0; start < half_; start += size) {
            stage(re + start, im + start, wr, wi, span);
        }
    }
    if (half_ < 4) {
        return;
    }
    // The last two stages at once: their twiddles are 1 and -i.
    for (std::size_t b = 0; b < half_; b += 4) {
        const double s0r = re[b] + re[b + 2], s0i = im[b] + im[b + 2];
        const double d0r = re[b] - re[b + 2], d0i = im[b] - im[b + 2];
        const double s1r = re[b + 1] + re[b + 3], s1i = im[b + 1] + im[b + 3];
        // (p1 - p3) * -i
        const double d1r = im[b + 1] - im[b + 3], d1i = re[b + 3] - re[b + 1];
        re[b] = s0r + s1r;
        im[b] = s0i + s1i;
        re[b + 1] = s0r - s1r;
        im[b + 1] = s0i - s1i;
        re[b + 2] = d0r + d1r;
        im[b + 2] = d0i + d1i;
        re[b + 3] = d0r - d1r;
        im[b + 3] = d0i - d1i;
    }
}

void RealFft::transform(const double* input, std::complex<double>* output) {
    butterflies(input);
    // Split the packed transform into the even and odd samples' spectra:
    // X(k) = E(k) + e^(-2 pi i k / M) O(k).
    for (std::size_t k = 0; k <= half_; ++k) {
        const std::size_t a = reversed_[k == half_ ? 0 : k];
        const std::size_t b = reversed_[k == 0 ? 0 : half_ - k];
        const double zr = re_[a], zi = im_[a];
        const double cr = re_[b], ci = -im_[b];  // conj(z[M/2 - k])
        const double er = (zr + cr) * 0.5, ei = (zi + ci) * 0.5;
        const double orr = (zi - ci) * 0.5, oi = -(zr - cr) * 0.5;  // (z - c) / 2i
        output[k] = {er + splitRe_[k] * orr - splitIm_[k] * oi,
                     ei + splitRe_[k] * oi + splitIm_[k] * orr};
    }
}

void RealFft::power(const double* input, double* output, std::size_t first, std::size_t last) {
    butterflies(input);
    last = std::min(last, half_);
    for (std::size_t k = first; k <= last; ++k) {
        const std::size_t a = reversed_[k == half_ ? 0 : k];
        const std::size_t b = reversed_[k == 0 ? 0 : half_ - k];
        const double zr = re_[a], zi = im_[a];
        const double cr = re_[b], ci = -im_[b];
        const double er = (zr + cr) * 0.5, ei = (zi + ci) * 0.5;
        const double orr = (zi - ci) * 0.5, oi = -(zr - cr) * 0.5;
        const double xr = er + splitRe_[k] * orr - splitIm_[k] * oi;
        const double xi = ei + splitRe_[k] * oi + splitIm_[k] * orr;
        output[k] = xr * xr + xi * xi;
    }
}

}  // namespace quenvara::musicfilter
