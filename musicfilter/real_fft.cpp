#include "musicfilter/real_fft.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

#include "musicfilter/table_cache.h"

// The hot loops come in a plain and an AVX2 build, chosen when the library
// is loaded. ThreadSanitizer cannot run that choice (it happens before the
// sanitizer starts), so its builds keep the plain loops, as do builds for
// systems without a loader-time choice (QUENVARA_PLAIN_LOOPS, from the build).
#if defined(__SANITIZE_THREAD__) || defined(QUENVARA_PLAIN_LOOPS)
#define QUENVARA_VECTOR_CLONES
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define QUENVARA_VECTOR_CLONES
#endif
#endif
#ifndef QUENVARA_VECTOR_CLONES
#define QUENVARA_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#endif

namespace quenvara::musicfilter {
namespace {

// Below this many packed points every stage runs on its own and the result
// stays in plain bit-reversed order; only tests use such short transforms.
constexpr std::size_t kSmall = 16;
// Stages on blocks of at most this many points run block by block, all of
// them while the block (16 KiB of real and imaginary parts) stays in the
// first-level cache.
constexpr std::size_t kRegion = 1024;

// One block of a radix-2 decimation-in-frequency stage: sum in the first
// half, twiddled difference in the second. The halves do not overlap, which
// lets the compiler keep the loop in vector registers; on processors with
// AVX2 a clone with wider registers runs (the same operations, so the same
// results: no fused multiply-add).
QUENVARA_VECTOR_CLONES void stage(double* __restrict re, double* __restrict im,
                                  const double* __restrict wr, const double* __restrict wi,
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
// traffic. Four points of each quarter at a time; the twiddles of those
// four come together in one record of 24 (w1, w3 and w2, each as four real
// parts, then four imaginary), so that the loop reads one twiddle stream
// instead of six.
QUENVARA_VECTOR_CLONES void stagePair(double* __restrict re, double* __restrict im,
                                      const double* __restrict tw, std::size_t q) {
    using V4 = double __attribute__((vector_size(32)));
    double* __restrict r1 = re + q;
    double* __restrict r2 = re + 2 * q;
    double* __restrict r3 = re + 3 * q;
    double* __restrict i1 = im + q;
    double* __restrict i2 = im + 2 * q;
    double* __restrict i3 = im + 3 * q;
    for (std::size_t j = 0; j < q; j += 4, tw += 24) {
        V4 a0r, a0i, a1r, a1i, a2r, a2i, a3r, a3i, w1r, w1i, w3r, w3i, w2r, w2i;
        std::memcpy(&a0r, re + j, sizeof(V4));
        std::memcpy(&a0i, im + j, sizeof(V4));
        std::memcpy(&a1r, r1 + j, sizeof(V4));
        std::memcpy(&a1i, i1 + j, sizeof(V4));
        std::memcpy(&a2r, r2 + j, sizeof(V4));
        std::memcpy(&a2i, i2 + j, sizeof(V4));
        std::memcpy(&a3r, r3 + j, sizeof(V4));
        std::memcpy(&a3i, i3 + j, sizeof(V4));
        std::memcpy(&w1r, tw, sizeof(V4));
        std::memcpy(&w1i, tw + 4, sizeof(V4));
        std::memcpy(&w3r, tw + 8, sizeof(V4));
        std::memcpy(&w3i, tw + 12, sizeof(V4));
        std::memcpy(&w2r, tw + 16, sizeof(V4));
        std::memcpy(&w2i, tw + 20, sizeof(V4));
        const V4 d0r = a0r - a2r, d0i = a0i - a2i;
        const V4 s0r = a0r + a2r, s0i = a0i + a2i;
        const V4 d1r = a1r - a3r, d1i = a1i - a3i;
        const V4 s1r = a1r + a3r, s1i = a1i + a3i;
        const V4 t2r = w1r * d0r - w1i * d0i, t2i = w1r * d0i + w1i * d0r;
        const V4 t3r = w3r * d1r - w3i * d1i, t3i = w3r * d1i + w3i * d1r;
        const V4 e0r = s0r - s1r, e0i = s0i - s1i;
        const V4 e1r = t2r - t3r, e1i = t2i - t3i;
        const V4 out[8] = {s0r + s1r, s0i + s1i, w2r * e0r - w2i * e0i, w2r * e0i + w2i * e0r,
                           t2r + t3r, t2i + t3i, w2r * e1r - w2i * e1i, w2r * e1i + w2i * e1r};
        std::memcpy(re + j, &out[0], sizeof(V4));
        std::memcpy(im + j, &out[1], sizeof(V4));
        std::memcpy(r1 + j, &out[2], sizeof(V4));
        std::memcpy(i1 + j, &out[3], sizeof(V4));
        std::memcpy(r2 + j, &out[4], sizeof(V4));
        std::memcpy(i2 + j, &out[5], sizeof(V4));
        std::memcpy(r3 + j, &out[6], sizeof(V4));
        std::memcpy(i3 + j, &out[7], sizeof(V4));
    }
}

// The first stage fused with packing, z[n] = x[2n] + i x[2n+1] (times the
// window when there is one, zero from `count` on): the samples are read
// once and the packed array is written once. The same operations as
// packing and then `stage`.
QUENVARA_VECTOR_CLONES void packedFirstStage(const double* __restrict x, const double* __restrict w,
                                             std::size_t count, double* __restrict re,
                                             double* __restrict im, const double* __restrict wr,
                                             const double* __restrict wi, std::size_t span) {
    const std::size_t points = 2 * span;
    double* __restrict br = re + span;
    double* __restrict bi = im + span;
    // The second point of pair j is z[j + span], samples 2j + points and
    // 2j + points + 1. Below `bothIn` all four samples exist; from `secondOut`
    // on the second point is all padding, and below `firstIn` the first point
    // still lies wholly inside the samples. Pairs outside these runs take the
    // careful path.
    const std::size_t bothIn = count > points ? std::min(span, (count - points) / 2) : 0;
    const std::size_t secondOut = count > points ? std::min(span, (count - points + 1) / 2) : 0;
    const std::size_t firstIn = std::max(secondOut, std::min(span, count / 2));
    const auto sample = [&](std::size_t i) {
        return i >= count ? 0.0 : w != nullptr ? x[i] * w[i] : x[i];
    };
    const auto careful = [&](std::size_t from, std::size_t to) {
        for (std::size_t j = from; j < to; ++j) {
            const double ar = sample(2 * j), ai = sample(2 * j + 1);
            const double cr = sample(2 * j + points), ci = sample(2 * j + points + 1);
            const double dr = ar - cr, di = ai - ci;
            re[j] = ar + cr;
            im[j] = ai + ci;
            br[j] = wr[j] * dr - wi[j] * di;
            bi[j] = wr[j] * di + wi[j] * dr;
        }
    };
    if (w == nullptr) {
        careful(0, span);  // plain transforms are not on the fingerprint's path
        return;
    }
    for (std::size_t j = 0; j < bothIn; ++j) {
        const double ar = x[2 * j] * w[2 * j], ai = x[2 * j + 1] * w[2 * j + 1];
        const double cr = x[points + 2 * j] * w[points + 2 * j];
        const double ci = x[points + 2 * j + 1] * w[points + 2 * j + 1];
        const double dr = ar - cr, di = ai - ci;
        re[j] = ar + cr;
        im[j] = ai + ci;
        br[j] = wr[j] * dr - wi[j] * di;
        bi[j] = wr[j] * di + wi[j] * dr;
    }
    for (std::size_t j = secondOut; j < firstIn; ++j) {
        const double ar = x[2 * j] * w[2 * j], ai = x[2 * j + 1] * w[2 * j + 1];
        re[j] = ar;
        im[j] = ai;
        br[j] = wr[j] * ar - wi[j] * ai;
        bi[j] = wr[j] * ai + wi[j] * ar;
    }
    careful(bothIn, secondOut);
    careful(firstIn, span);
}

// The last two stages on `n` points (a multiple of 16), four groups of four
// at a time: the groups are transposed so that each operation works on the
// same point of four groups, and the results are stored into z without
// transposing back (result j of group l at point 4j + l; the plan's
// positions know this). Their twiddles are 1 and -i.
QUENVARA_VECTOR_CLONES void lastTwoStages(const double* __restrict re, const double* __restrict im,
                                          double* __restrict z, std::size_t n) {
    using V4 = double __attribute__((vector_size(32)));
    for (std::size_t b = 0; b < n; b += 16) {
        // Point j of the four groups, for the real and the imaginary parts.
        V4 p[4];
        V4 q[4];
        for (int part = 0; part < 2; ++part) {
            const double* from = part == 0 ? re + b : im + b;
            V4 g0, g1, g2, g3;
            std::memcpy(&g0, from, sizeof(V4));
            std::memcpy(&g1, from + 4, sizeof(V4));
            std::memcpy(&g2, from + 8, sizeof(V4));
            std::memcpy(&g3, from + 12, sizeof(V4));
            const V4 t0 = __builtin_shufflevector(g0, g1, 0, 4, 2, 6);
            const V4 t1 = __builtin_shufflevector(g0, g1, 1, 5, 3, 7);
            const V4 t2 = __builtin_shufflevector(g2, g3, 0, 4, 2, 6);
            const V4 t3 = __builtin_shufflevector(g2, g3, 1, 5, 3, 7);
            V4* to = part == 0 ? p : q;
            to[0] = __builtin_shufflevector(t0, t2, 0, 1, 4, 5);
            to[1] = __builtin_shufflevector(t1, t3, 0, 1, 4, 5);
            to[2] = __builtin_shufflevector(t0, t2, 2, 3, 6, 7);
            to[3] = __builtin_shufflevector(t1, t3, 2, 3, 6, 7);
        }
        const V4 s0r = p[0] + p[2], s0i = q[0] + q[2];
        const V4 d0r = p[0] - p[2], d0i = q[0] - q[2];
        const V4 s1r = p[1] + p[3], s1i = q[1] + q[3];
        // (p1 - p3) * -i
        const V4 d1r = q[1] - q[3], d1i = p[3] - p[1];
        const V4 out[8] = {s0r + s1r, s0r - s1r, d0r + d1r, d0r - d1r,
                           s0i + s1i, s0i - s1i, d0i + d1i, d0i - d1i};
        // Real and imaginary parts side by side, so that the split's
        // scattered reads of a point touch one cache line, not two.
        for (int j = 0; j < 4; ++j) {
            const V4 low = __builtin_shufflevector(out[j], out[4 + j], 0, 4, 1, 5);
            const V4 high = __builtin_shufflevector(out[j], out[4 + j], 2, 6, 3, 7);
            std::memcpy(z + 2 * (b + 4 * j), &low, sizeof(V4));
            std::memcpy(z + 2 * (b + 4 * j) + 4, &high, sizeof(V4));
        }
    }
}

// One pass over `n` points: a stage, or a pair of stages, on every block.
void runPass(const RealFft::Plan& plan, const RealFft::Plan::Pass& pass, double* re, double* im,
             std::size_t n) {
    const std::size_t size = pass.size;
    if (!pass.pair) {
        const double* wr = plan.twiddleRe.data() + size / 2 - 1;
        const double* wi = plan.twiddleIm.data() + size / 2 - 1;
        for (std::size_t start = 0; start < n; start += size) {
            stage(re + start, im + start, wr, wi, size / 2);
        }
        return;
    }
    const double* tw = plan.pairTwiddles.data() + pass.twiddles;
    for (std::size_t start = 0; start < n; start += size) {
        stagePair(re + start, im + start, tw, size / 4);
    }
}

// Splits the packed transform z (real and imaginary parts side by side)
// into bin k of the real one: X(k) = E(k) + e^(-2 pi i k / M) O(k), with E
// and O the even and odd samples' spectra. Bins 0 and M/2 both use point 0.
[[gnu::always_inline]] inline std::complex<double> splitBin(const double* z,
                                                            const std::size_t* positions,
                                                            const double* wr, const double* wi,
                                                            std::size_t half, std::size_t k) {
    const std::size_t a = positions[k == half ? 0 : k];
    const std::size_t b = positions[k == 0 ? 0 : half - k];
    const double zr = z[2 * a], zi = z[2 * a + 1];
    const double cr = z[2 * b], ci = -z[2 * b + 1];  // conj(z[M/2 - k])
    const double er = (zr + cr) * 0.5, ei = (zi + ci) * 0.5;
    const double orr = (zi - ci) * 0.5, oi = -(zr - cr) * 0.5;  // (z - c) / 2i
    return {er + wr[k] * orr - wi[k] * oi, ei + wr[k] * oi + wi[k] * orr};
}

// Bit-reversed position of each of `half` packed points; from kSmall points
// on, the last two stages store their results transposed in groups of 16
// (result j of group l of four at 4j + l), which moves each position too.
std::vector<std::size_t> resultPositions(std::size_t half) {
    int bits = 0;
    while ((std::size_t{1} << bits) < half) {
        ++bits;
    }
    std::vector<std::size_t> positions(half);
    for (std::size_t i = 0; i < half; ++i) {
        std::size_t r = 0;
        for (int b = 0; b < bits; ++b) {
            r |= ((i >> b) & 1u) << (bits - 1 - b);
        }
        if (half >= kSmall) {
            r = (r & ~std::size_t{15}) | ((r & 3u) << 2) | ((r >> 2) & 3u);
        }
        positions[i] = r;
    }
    return positions;
}

RealFft::Plan makePlan(std::size_t length) {
    const std::size_t half = length / 2;
    RealFft::Plan plan;
    plan.reversed = resultPositions(half);
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
    // Between the first stage (blocks of `half`) and the last two (blocks
    // of 4 and 2): one stage alone when their number is odd, then pairs.
    if (half >= kSmall) {
        std::size_t stages = 0;
        for (std::size_t size = half / 2; size >= 8; size /= 2) {
            ++stages;
        }
        std::size_t size = half / 2;
        if (stages % 2 != 0) {
            plan.passes.push_back({size, false, 0});
            size /= 2;
        }
        for (; size >= 8; size /= 4) {
            // Blocks of `size` are at least 16 points here: q is a multiple of 4.
            const std::size_t q = size / 4;
            plan.passes.push_back({size, true, plan.pairTwiddles.size()});
            const std::size_t w1 = size / 2 - 1;  // w3 is w1 + q
            const std::size_t w2 = q - 1;
            for (std::size_t j = 0; j < q; j += 4) {
                for (const std::size_t from : {w1 + j, w1 + q + j, w2 + j}) {
                    for (const auto* table : {&plan.twiddleRe, &plan.twiddleIm}) {
                        plan.pairTwiddles.insert(plan.pairTwiddles.end(), table->begin() + from,
                                                 table->begin() + from + 4);
                    }
                }
            }
        }
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
    z_.assign(2 * half_, 0.0);
    return true;
}

void RealFft::butterflies(const double* input, const double* window, std::size_t count) {
    double* re = re_.data();
    double* im = im_.data();
    const Plan& plan = *plan_;
    const double* twr = plan.twiddleRe.data();
    const double* twi = plan.twiddleIm.data();
    if (half_ < kSmall) {
        // Pack, then every stage on its own.
        for (std::size_t n = 0; n < half_; ++n) {
            re[n] = 2 * n < count ? input[2 * n] * (window ? window[2 * n] : 1.0) : 0.0;
            im[n] = 2 * n + 1 < count ? input[2 * n + 1] * (window ? window[2 * n + 1] : 1.0) : 0.0;
        }
        for (std::size_t size = half_; size >= 2; size /= 2) {
            runPass(plan, {size, false, 0}, re, im, half_);
        }
        for (std::size_t n = 0; n < half_; ++n) {
            z_[2 * n] = re[n];
            z_[2 * n + 1] = im[n];
        }
        return;
    }
    packedFirstStage(input, window, count, re, im, twr + half_ / 2 - 1, twi + half_ / 2 - 1,
                     half_ / 2);
    // Passes on blocks larger than a region sweep the whole array; the rest
    // run region by region, down to the last two stages.
    std::size_t p = 0;
    for (; p < plan.passes.size() && plan.passes[p].size > kRegion; ++p) {
        runPass(plan, plan.passes[p], re, im, half_);
    }
    const std::size_t region = std::min(kRegion, half_);
    for (std::size_t at = 0; at < half_; at += region) {
        for (std::size_t later = p; later < plan.passes.size(); ++later) {
            runPass(plan, plan.passes[later], re + at, im + at, region);
        }
        lastTwoStages(re + at, im + at, z_.data() + 2 * at, region);
    }
}

std::complex<double> RealFft::bin(std::size_t k) const {
    return splitBin(z_.data(), plan_->reversed.data(), plan_->splitRe.data(), plan_->splitIm.data(),
                    half_, k);
}

void RealFft::transform(const double* input, std::complex<double>* output) {
    butterflies(input, nullptr, length_);
    for (std::size_t k = 0; k <= half_; ++k) {
        output[k] = bin(k);
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
    const double* z = z_.data();
    const std::size_t* positions = plan_->reversed.data();
    const double* wr = plan_->splitRe.data();
    const double* wi = plan_->splitIm.data();
    for (std::size_t k = first; k <= last; ++k) {
        output[k] = std::norm(splitBin(z, positions, wr, wi, half_, k));
    }
}

}  // namespace quenvara::musicfilter
