#include "musicfilter/real_fft.h"

#include <cmath>
#include <numbers>

namespace quenvara::musicfilter {
namespace {

// Written out: the library's operator* checks for infinities and NaNs on
// every product, which costs more than the transform itself.
inline std::complex<double> times(std::complex<double> a, std::complex<double> b) {
    return {a.real() * b.real() - a.imag() * b.imag(), a.real() * b.imag() + a.imag() * b.real()};
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
    twiddle_.resize(half_ / 2);
    for (std::size_t j = 0; j < twiddle_.size(); ++j) {
        const double a = -tau * static_cast<double>(j) / static_cast<double>(half_);
        twiddle_[j] = {std::cos(a), std::sin(a)};
    }
    split_.resize(half_ + 1);
    for (std::size_t k = 0; k <= half_; ++k) {
        const double a = -tau * static_cast<double>(k) / static_cast<double>(length_);
        split_[k] = {std::cos(a), std::sin(a)};
    }
    work_.assign(half_, {});
    spectrum_.assign(half_ + 1, {});
    return true;
}

void RealFft::transform(const double* input, std::complex<double>* output) {
    // Pack: z[n] = x[2n] + i x[2n+1], stored in bit-reversed order.
    for (std::size_t n = 0; n < half_; ++n) {
        work_[reversed_[n]] = {input[2 * n], input[2 * n + 1]};
    }
    // Iterative butterflies over M / 2 complex points.
    for (std::size_t size = 2; size <= half_; size *= 2) {
        const std::size_t step = half_ / size;
        const std::size_t span = size / 2;
        for (std::size_t start = 0; start < half_; start += size) {
            for (std::size_t j = 0; j < span; ++j) {
                const std::complex<double> t = times(twiddle_[j * step], work_[start + j + span]);
                work_[start + j + span] = work_[start + j] - t;
                work_[start + j] += t;
            }
        }
    }
    // Split the packed transform into the even and odd halves' spectra.
    for (std::size_t k = 0; k <= half_; ++k) {
        const std::complex<double> z = work_[k == half_ ? 0 : k];
        const std::complex<double> zc = std::conj(work_[k == 0 ? 0 : half_ - k]);
        const std::complex<double> even = (z + zc) * 0.5;
        const std::complex<double> diff = z - zc;
        const std::complex<double> odd{diff.imag() * 0.5, -diff.real() * 0.5};  // diff / 2i
        output[k] = even + times(split_[k], odd);
    }
}

void RealFft::power(const double* input, double* output) {
    transform(input, spectrum_.data());
    for (std::size_t k = 0; k <= half_; ++k) {
        const double re = spectrum_[k].real();
        const double im = spectrum_[k].imag();
        output[k] = re * re + im * im;
    }
}

}  // namespace quenvara::musicfilter
