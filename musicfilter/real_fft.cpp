#include "musicfilter/real_fft.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "musicfilter/table_cache.h"

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

namespace {

RealFft::Plan makePlan(std::size_t length) {
    const std::size_t half = length / 2;
    RealFft::Plan plan;
    int bits = 0;
    while ((std::size_t{1} << bits) < half) {
        ++bits;
    }
    plan.reversed.resize(half);
    for (std::size_t i = 0; i < half; ++i) {
        std::size_t r = 0;
        for (int b = 0; b < bits; ++b) {
            r |= ((i >> b) & 1u) << (bits - 1 - b);
        }
        plan.reversed[i] = r;
    }
    const double tau = 2.0 * std::numbers::pi;
    plan.twiddleRe.assign(half > 1 ? half - 1 : 0, 0.0);
    plan.twiddleIm.assign(plan.twiddleRe.size(), 0.0);
    for (std::size_t size = 2; size <= half; size *= 2) {
        for (std::size_t j = 0; j < size / 2; ++j) {
            const double a = -tau * static_cast<double>(j) / static_cast<double>(size);
            plan.twiddleRe[size / 2 - 1 + j] = std::cos(a);
            plan.twiddleIm[size / 2 - 1 + j] = std::sin(a);
        }
    }
    plan.splitRe.resize(half + 1);
    plan.splitIm.resize(half + 1);
    for (std::size_t k = 0; k <= half; ++k) {
        const double a = -tau * static_cast<double>(k) / static_cast<double>(length);
        plan.splitRe[k] = std::cos(a);
        plan.splitIm[k] = std::sin(a);
    }
    return plan;
}

TableCache<RealFft::Plan>& plans() {
    static TableCache<RealFft::Plan> cache;
    return cache;
}

}  // namespace

bool RealFft::prepare(std::size_t length) {
    if (length < 2 || (length & (length - 1)) != 0) {
        return false;
    }
    length_ = length;
    half_ = length / 2;
    plan_ = plans().get(length, makePlan);
    re_.assign(half_, 0.0);
    im_.assign(half_, 0.0);
    return true;
}

void RealFft::butterflies(const double* input) {
    double* re = re_.data();
    double* im = im_.data();
    // Pack: z[n] = x[2n] + i x[2n+1], in natural order; the stages leave
    // the transform in bit-reversed order, read through the plan.
    for (std::size_t n = 0; n < half_; ++n) {
        re[n] = input[2 * n];
        im[n] = input[2 * n + 1];
    }
    const std::size_t last = half_ >= 4 ? 8 : 2;  // the last two stages are done below
    for (std::size_t size = half_; size >= last; size /= 2) {
        const std::size_t span = size / 2;
        const double* wr = plan_->twiddleRe.data() + span - 1;
        const double* wi = plan_->twiddleIm.data() + span - 1;
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
        const std::size_t a = plan_->reversed[k == half_ ? 0 : k];
        const std::size_t b = plan_->reversed[k == 0 ? 0 : half_ - k];
        const double zr = re_[a], zi = im_[a];
        const double cr = re_[b], ci = -im_[b];  // conj(z[M/2 - k])
        const double er = (zr + cr) * 0.5, ei = (zi + ci) * 0.5;
        const double orr = (zi - ci) * 0.5, oi = -(zr - cr) * 0.5;  // (z - c) / 2i
        output[k] = {er + plan_->splitRe[k] * orr - plan_->splitIm[k] * oi,
                     ei + plan_->splitRe[k] * oi + plan_->splitIm[k] * orr};
    }
}

void RealFft::power(const double* input, double* output, std::size_t first, std::size_t last) {
    butterflies(input);
    last = std::min(last, half_);
    for (std::size_t k = first; k <= last; ++k) {
        const std::size_t a = plan_->reversed[k == half_ ? 0 : k];
        const std::size_t b = plan_->reversed[k == 0 ? 0 : half_ - k];
        const double zr = re_[a], zi = im_[a];
        const double cr = re_[b], ci = -im_[b];
        const double er = (zr + cr) * 0.5, ei = (zi + ci) * 0.5;
        const double orr = (zi - ci) * 0.5, oi = -(zr - cr) * 0.5;
        const double xr = er + plan_->splitRe[k] * orr - plan_->splitIm[k] * oi;
        const double xi = ei + plan_->splitRe[k] * oi + plan_->splitIm[k] * orr;
        output[k] = xr * xr + xi * xi;
    }
}

}  // namespace quenvara::musicfilter
