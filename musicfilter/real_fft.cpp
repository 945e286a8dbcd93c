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

// Two stages in one pass over a block of 4q points (quarters p0 ... p3):
// the stage of blocks 4q pairs p0 with p2 (twiddles w1) and p1 with p3
// (twiddles w3, which are w1 moved on by q), then the stage of blocks 2q
// pairs p0 with p1 and p2 with p3 (twiddles w2). The same operations in the
// same order as two passes, so the same results, with half the memory
// traffic.
__attribute__((target_clones("avx2", "default"))) void stagePair(
    double* __restrict r0, double* __restrict i0, double* __restrict r1, double* __restrict i1,
    double* __restrict r2, double* __restrict i2, double* __restrict r3, double* __restrict i3,
    const double* __restrict w1r, const double* __restrict w1i, const double* __restrict w2r,
    const double* __restrict w2i, const double* __restrict w3r, const double* __restrict w3i,
    std::size_t q) {
    for (std::size_t j = 0; j < q; ++j) {
        const double d0r = r0[j] - r2[j], d0i = i0[j] - i2[j];
        const double s0r = r0[j] + r2[j], s0i = i0[j] + i2[j];
        const double d1r = r1[j] - r3[j], d1i = i1[j] - i3[j];
        const double s1r = r1[j] + r3[j], s1i = i1[j] + i3[j];
        const double t2r = w1r[j] * d0r - w1i[j] * d0i, t2i = w1r[j] * d0i + w1i[j] * d0r;
        const double t3r = w3r[j] * d1r - w3i[j] * d1i, t3i = w3r[j] * d1i + w3i[j] * d1r;
        const double e0r = s0r - s1r, e0i = s0i - s1i;
        r0[j] = s0r + s1r;
        i0[j] = s0i + s1i;
        r1[j] = w2r[j] * e0r - w2i[j] * e0i;
        i1[j] = w2r[j] * e0i + w2i[j] * e0r;
        const double e1r = t2r - t3r, e1i = t2i - t3i;
        r2[j] = t2r + t3r;
        i2[j] = t2i + t3i;
        r3[j] = w2r[j] * e1r - w2i[j] * e1i;
        i3[j] = w2r[j] * e1i + w2i[j] * e1r;
    }
}

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

void RealFft::butterflies(const double* input, const double* window, std::size_t count) {
    double* re = re_.data();
    double* im = im_.data();
    // Pack: z[n] = x[2n] + i x[2n+1], in natural order; the stages leave
    // the transform in bit-reversed order, read through the plan.
    const std::size_t pairs = count / 2;
    if (window == nullptr) {
        for (std::size_t n = 0; n < pairs; ++n) {
            re[n] = input[2 * n];
            im[n] = input[2 * n + 1];
        }
    } else {
        for (std::size_t n = 0; n < pairs; ++n) {
            re[n] = input[2 * n] * window[2 * n];
            im[n] = input[2 * n + 1] * window[2 * n + 1];
        }
    }
    for (std::size_t n = pairs; n < half_; ++n) {
        re[n] = 0.0;
        im[n] = 0.0;
    }
    if (count % 2 != 0) {
        re[pairs] = window == nullptr ? input[count - 1] : input[count - 1] * window[count - 1];
    }
    const double* twr = plan_->twiddleRe.data();
    const double* twi = plan_->twiddleIm.data();
    const std::size_t last = half_ >= 4 ? 8 : 2;  // the last two stages are done below
    std::size_t size = half_;
    // One stage alone when their number is odd, then two at a time.
    int stages = 0;
    for (std::size_t s = half_; s >= last; s /= 2) {
        ++stages;
    }
    if (stages % 2 != 0) {
        for (std::size_t start = 0; start < half_; start += size) {
            stage(re + start, im + start, twr + size / 2 - 1, twi + size / 2 - 1, size / 2);
        }
        size /= 2;
    }
    for (; size >= 2 * last; size /= 4) {
        const std::size_t q = size / 4;
        const double* w1r = twr + size / 2 - 1;
        const double* w1i = twi + size / 2 - 1;
        for (std::size_t start = 0; start < half_; start += size) {
            double* r = re + start;
            double* i = im + start;
            stagePair(r, i, r + q, i + q, r + 2 * q, i + 2 * q, r + 3 * q, i + 3 * q, w1r, w1i,
                      twr + q - 1, twi + q - 1, w1r + q, w1i + q, q);
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
    butterflies(input, nullptr, length_);
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
    butterflies(input, nullptr, length_);
    split(output, first, last);
}

void RealFft::windowedPower(const double* samples, const double* window, std::size_t count,
                            double* output, std::size_t first, std::size_t last) {
    butterflies(samples, window, std::min(count, length_));
    split(output, first, last);
}

void RealFft::split(double* output, std::size_t first, std::size_t last) const {
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
