// Running a recursive filter and evaluating pole/zero sets at given frequencies.
#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>
#include <vector>

#include "platform/numeric/numeric.h"
#include "platform/numeric/numeric_internal.h"

namespace zentor {

using numeric_detail::Clamp;

namespace {

using cd = std::complex<double>;

struct RootSet {
  std::span<const double> poleRe, poleIm, zeroRe, zeroIm;
  int32_t poles = 0, zeros = 0;
  int32_t domain = 0;
  double gain = 1.0;
};

RootSet MakeRootSet(std::span<const double> pole_re, std::span<const double> pole_im,
                    std::span<const double> zero_re, std::span<const double> zero_im, int32_t num_poles,
                    int32_t num_zeros, int32_t domain, double analog_gain, double digital_gain) {
  RootSet r{pole_re, pole_im, zero_re, zero_im, 0, 0, domain, 1.0};
  r.poles = std::min(Clamp(pole_re, num_poles), Clamp(pole_im, num_poles));
  r.zeros = std::min(Clamp(zero_re, num_zeros), Clamp(zero_im, num_zeros));
  r.gain = domain == kAnalogDomain ? analog_gain : digital_gain;
  return r;
}

// Response at f Hz. The z plane uses the z^-1 form g prod(1 - q/z) / prod(1 - p/z),
// the same phase as RecursiveFilter run on the expanded polynomials.
cd Response(const RootSet& r, double f, double rate) {
  cd num(r.gain, 0.0), den(1.0, 0.0);
  if (r.domain == kAnalogDomain) {
    const cd s(0.0, 2.0 * std::numbers::pi * f);
    for (int32_t i = 0; i < r.zeros; ++i) num *= s - cd(r.zeroRe[i], r.zeroIm[i]);
    for (int32_t i = 0; i < r.poles; ++i) den *= s - cd(r.poleRe[i], r.poleIm[i]);
  } else {
    const cd zinv = std::polar(1.0, -2.0 * std::numbers::pi * f / rate);
    for (int32_t i = 0; i < r.zeros; ++i) num *= 1.0 - cd(r.zeroRe[i], r.zeroIm[i]) * zinv;
    for (int32_t i = 0; i < r.poles; ++i) den *= 1.0 - cd(r.poleRe[i], r.poleIm[i]) * zinv;
  }
  // A pole exactly on the evaluated frequency gives a huge but finite value, never NaN.
  if (std::abs(den) < 1e-300) den = cd(1e-300, 0.0);
  const cd h = num / den;
  return std::isfinite(h.real()) && std::isfinite(h.imag()) ? h : cd(0.0, 0.0);
}

bool DomainKnown(int32_t domain) { return domain == kAnalogDomain || domain == kDigitalDomain; }

}  // namespace

bool RecursiveFilter(std::span<const double> b, int32_t nb, std::span<const double> a, int32_t na,
                     std::span<const float> x, std::span<float> y, int32_t n, double gain) {
  const int32_t nB = Clamp(b, nb);
  const int32_t nA = Clamp(a, na);
  const int32_t count = std::min(Clamp(x, n), Clamp(y, n));
  if (nA <= 0 || a[0] == 0.0 || !std::isfinite(a[0])) return false;
  const double a0 = a[0];
  const int32_t order = std::max(nB, nA) - 1;
  std::vector<double> bn(static_cast<std::size_t>(order) + 1, 0.0), an(static_cast<std::size_t>(order) + 1, 0.0);
  for (int32_t i = 0; i < nB; ++i) bn[static_cast<std::size_t>(i)] = gain * b[i] / a0;
  for (int32_t i = 0; i < nA; ++i) an[static_cast<std::size_t>(i)] = a[i] / a0;
  // Transposed direct form II; the state is double so high orders stay accurate.
  // Sections of order 1 and 2 (nearly every call) keep their state in registers;
  // the arithmetic is the general loop's, so both give the same samples.
  if (order == 2) {
    const double b0 = bn[0], b1 = bn[1], b2 = bn[2], a1 = an[1], a2 = an[2];
    double z0 = 0.0, z1 = 0.0;
    for (int32_t i = 0; i < count; ++i) {
      const double xi = x[i];
      const double yi = b0 * xi + z0;
      z0 = b1 * xi - a1 * yi + z1;
      z1 = b2 * xi - a2 * yi + 0.0;
      y[i] = static_cast<float>(yi);
    }
    return true;
  }
  if (order == 1) {
    const double b0 = bn[0], b1 = bn[1], a1 = an[1];
    double z0 = 0.0;
    for (int32_t i = 0; i < count; ++i) {
      const double xi = x[i];
      const double yi = b0 * xi + z0;
      z0 = b1 * xi - a1 * yi + 0.0;
      y[i] = static_cast<float>(yi);
    }
    return true;
  }
  std::vector<double> z(static_cast<std::size_t>(order) + 1, 0.0);
  for (int32_t i = 0; i < count; ++i) {
    const double xi = x[i];
    const double yi = bn[0] * xi + (order > 0 ? z[0] : 0.0);
    for (int32_t j = 0; j < order; ++j) {
      const auto u = static_cast<std::size_t>(j);
      z[u] = bn[u + 1] * xi - an[u + 1] * yi + z[u + 1];
    }
    y[i] = static_cast<float>(yi);
  }
  return true;
}

void FilterFrequencyDomainLinArrayC(std::span<double> out, std::span<const float> freqs, int32_t n, int32_t rate,
                                    std::span<const double> pole_re, std::span<const double> pole_im,
                                    std::span<const double> zero_re, std::span<const double> zero_im,
                                    int32_t num_poles, int32_t num_zeros, int32_t domain, double analog_gain,
                                    double digital_gain) {
  if (!DomainKnown(domain)) return;
  if (domain == kDigitalDomain && rate <= 0) return;
  const RootSet r =
      MakeRootSet(pole_re, pole_im, zero_re, zero_im, num_poles, num_zeros, domain, analog_gain, digital_gain);
  const int32_t m = std::min(Clamp(out, n), Clamp(freqs, n));
  for (int32_t i = 0; i < m; ++i) out[i] *= std::abs(Response(r, freqs[i], rate));
}

void ComplexZFilterC(std::span<float> re, std::span<float> im, int32_t n, int32_t rate,
                     std::span<const double> pole_re, std::span<const double> pole_im,
                     std::span<const double> zero_re, std::span<const double> zero_im, int32_t num_poles,
                     int32_t num_zeros, int32_t domain, double analog_gain, double digital_gain) {
  if (!DomainKnown(domain) || rate <= 0) return;
  const int32_t m = std::min(Clamp(re, n), Clamp(im, n));
  if (m < 2 || m != n) return;
  const RootSet r =
      MakeRootSet(pole_re, pole_im, zero_re, zero_im, num_poles, num_zeros, domain, analog_gain, digital_gain);
  const int32_t half = n / 2;
  // z^-1 steps round the unit circle bin by bin: one rotation per bin, re-anchored
  // to an exact cosine and sine every kAnchor bins so the drift stays far below
  // float rounding; each bin is then evaluated in plain doubles.
  constexpr int32_t kAnchor = 64;
  const double step = -2.0 * std::numbers::pi / n;
  const double stepRe = std::cos(step), stepIm = std::sin(step);
  double zr = 1.0, zi = 0.0;
  for (int32_t i = 0; i <= half; ++i) {
    cd h;
    if (r.domain == kDigitalDomain) {
      if (i % kAnchor == 0) {
        zr = std::cos(step * i);
        zi = std::sin(step * i);
      } else {
        const double t = zr * stepRe - zi * stepIm;
        zi = zr * stepIm + zi * stepRe;
        zr = t;
      }
      double nr = r.gain, ni = 0.0, dr = 1.0, di = 0.0;
      for (int32_t k = 0; k < r.zeros; ++k) {
        const double tr = 1.0 - (r.zeroRe[k] * zr - r.zeroIm[k] * zi), ti = -(r.zeroRe[k] * zi + r.zeroIm[k] * zr);
        const double u = nr * tr - ni * ti;
        ni = nr * ti + ni * tr;
        nr = u;
      }
      for (int32_t k = 0; k < r.poles; ++k) {
        const double tr = 1.0 - (r.poleRe[k] * zr - r.poleIm[k] * zi), ti = -(r.poleRe[k] * zi + r.poleIm[k] * zr);
        const double u = dr * tr - di * ti;
        di = dr * ti + di * tr;
        dr = u;
      }
      const double m = dr * dr + di * di;
      // Near a pole on the circle (or any overflow) the careful evaluation decides.
      if (m > 1e-200 && std::isfinite(m) && std::isfinite(nr) && std::isfinite(ni))
        h = cd((nr * dr + ni * di) / m, (ni * dr - nr * di) / m);
      else
        h = Response(r, static_cast<double>(i) * rate / n, rate);
      if (!std::isfinite(h.real()) || !std::isfinite(h.imag())) h = cd(0.0, 0.0);
    } else {
      h = Response(r, static_cast<double>(i) * rate / n, rate);
    }
    // DC and Nyquist are their own mirror images and must stay real.
    if (i == 0 || (i == half && n % 2 == 0)) h = cd(std::copysign(std::abs(h), h.real()), 0.0);
    const double hr = h.real(), hi = h.imag();
    const double a = re[i], b = im[i];
    re[i] = static_cast<float>(a * hr - b * hi);
    im[i] = static_cast<float>(a * hi + b * hr);
    const int32_t mirror = n - i;
    if (i == 0 || mirror <= half) continue;
    const double c = re[mirror], d = im[mirror];
    re[mirror] = static_cast<float>(c * hr + d * hi);
    im[mirror] = static_cast<float>(d * hr - c * hi);
  }
}

}  // namespace zentor
