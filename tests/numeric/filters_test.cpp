#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <random>
#include <vector>

#include "platform/numeric/numeric.h"
#include "platform/numeric/numeric_internal.h"

namespace zentor {
namespace {

using cd = std::complex<double>;
constexpr double kPi = std::numbers::pi;

// Second-order Butterworth low-pass at fc, bilinear with pre-warping, as z-plane roots.
struct DigitalButterworth {
  double fs, fc;
  std::vector<double> pr, pi, zr, zi;
  double gain = 1.0;
  DigitalButterworth(double fs_, double fc_) : fs(fs_), fc(fc_), pr(2), pi(2), zr{-1.0, -1.0}, zi{0.0, 0.0} {
    const double wc = 2 * fs * std::tan(kPi * fc / fs);
    cd prod = 1.0;
    for (int i = 0; i < 2; ++i) {
      const cd s = wc * cd(-std::sqrt(0.5), i == 0 ? std::sqrt(0.5) : -std::sqrt(0.5));
      const cd z = (1.0 + s / (2 * fs)) / (1.0 - s / (2 * fs));
      pr[i] = z.real();
      pi[i] = z.imag();
      prod *= 1.0 - z;
    }
    gain = std::abs(prod) / 4.0;  // unit gain at DC
  }
  // |H| of the pre-warped design in closed form.
  double Magnitude(double f) const {
    const double r = std::tan(kPi * f / fs) / std::tan(kPi * fc / fs);
    return 1.0 / std::sqrt(1.0 + r * r * r * r);
  }
};

TEST(Filters, RecursionConvolutionAndButterworthResponsesMatchTheirOracles) {
  // 1 / (1 - 2 r cos(th) z^-1 + r^2 z^-2): h[n] = r^n sin((n+1) th) / sin(th).
  const double r = 0.97, th = 0.3;
  const std::vector<double> b{1.0}, a{1.0, -2 * r * std::cos(th), r * r};
  std::vector<float> x(400, 0.0f), y(400, 0.0f);
  x[0] = 1.0f;
  ASSERT_TRUE(RecursiveFilter(b, 1, a, 3, x, y, 400, 2.5));
  for (int n = 0; n < 400; ++n)
    ASSERT_NEAR(y[n], 2.5 * std::pow(r, n) * std::sin((n + 1) * th) / std::sin(th), 1e-5) << n;
  // In place, and a denominator not normalised (a0 = 2 halves everything).
  const std::vector<double> a2{2.0, -4 * r * std::cos(th), 2 * r * r};
  ASSERT_TRUE(RecursiveFilter(b, 1, a2, 3, x, x, 400, 2.5));
  for (int n = 0; n < 400; ++n) ASSERT_NEAR(x[n], y[n] / 2, 1e-5);
  const std::vector<double> bad{0.0, 1.0};
  EXPECT_FALSE(RecursiveFilter(b, 1, bad, 2, x, y, 400, 1.0));

  const int n = 1 << 13;
  std::vector<float> delta(n, 0.0f), out(n, 0.0f);
  delta[1000] = 1.0f;
  const int L = 41;
  std::vector<float> w(L);
  GetSymmetricalPsycologicalGaussianWindow(w, L, 6.0f);
  EXPECT_FLOAT_EQ(w[20], 1.0f);
  EXPECT_NEAR(w[26], std::exp(-0.5), 1e-6);
  ASSERT_TRUE(Convolute(delta, out, w, n, L));
  EXPECT_EQ(std::max_element(out.begin(), out.end()) - out.begin(), 1000 + (L - 1) / 2);
  for (int j = 0; j < L; ++j) EXPECT_FLOAT_EQ(out[1000 + j], w[j]);
  EXPECT_FALSE(Convolute(out, out, w, n, L));  // in and out may not alias

  std::mt19937 gen(12345);
  std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
  std::vector<float> noise(n);
  for (auto& v : noise) v = uniform(gen);
  for (int taps : {3, 127, 129, 3600}) {
    std::vector<float> win(taps);
    GetSymmetricalPsycologicalGaussianWindow(win, taps, taps / 6.0f);
    std::vector<float> d(n), f(n);
    numeric_detail::ConvoluteDirect(noise.data(), d.data(), win.data(), n, taps);
    numeric_detail::ConvoluteFft(noise.data(), f.data(), win.data(), n, taps);
    float peak = 0;
    for (float v : d) peak = std::max(peak, std::fabs(v));
    for (int i = 0; i < n; ++i) ASSERT_NEAR(d[i], f[i], 1e-5 * peak) << taps << " " << i;
  }

  // Butterworth magnitude in both planes and in every bin of a long spectrum.
  const double fc = 1000.0, fs = 48000.0, wc = 2 * kPi * fc;
  const std::vector<double> pr{-wc * std::sqrt(0.5), -wc * std::sqrt(0.5)}, pi{wc * std::sqrt(0.5), -wc * std::sqrt(0.5)};
  const std::vector<double> none(2, 0.0);
  std::vector<float> f{20, 100, 500, 1000, 2000, 5000, 15000};
  std::vector<double> mag(f.size(), 1.0);
  FilterFrequencyDomainLinArrayC(mag, f, 7, 48000, pr, pi, none, none, 2, 0, kAnalogDomain, wc * wc, 123.0);
  for (std::size_t i = 0; i < f.size(); ++i) {
    const double r = f[i] / fc;
    EXPECT_NEAR(mag[i], 1.0 / std::sqrt(1.0 + r * r * r * r), 1e-9) << f[i];
  }
  // Multiplies in place: levels already 2 become 2 |H|.
  DigitalButterworth d(fs, fc);
  std::vector<double> out2(f.size(), 2.0);
  FilterFrequencyDomainLinArrayC(out2, f, 7, 48000, d.pr, d.pi, d.zr, d.zi, 2, 2, kDigitalDomain, 99.0, d.gain);
  for (std::size_t i = 0; i < f.size(); ++i) EXPECT_NEAR(out2[i], 2.0 * d.Magnitude(f[i]), 1e-9) << f[i];
  std::vector<double> untouched(f.size(), 1.0);
  FilterFrequencyDomainLinArrayC(untouched, f, 7, 48000, d.pr, d.pi, d.zr, d.zi, 2, 2, 0, 1.0, 1.0);
  EXPECT_EQ(untouched[3], 1.0);

  const int k = 18, len = 1 << k;
  DigitalButterworth low(48000.0, 200.0);
  std::vector<float> re(len, 1.0f), im(len, 0.5f);
  ComplexZFilterC(re, im, len, 48000, low.pr, low.pi, low.zr, low.zi, 2, 2, kDigitalDomain, 1.0, low.gain);
  for (int i = 1; i < len / 2; i += 37) {
    const std::complex<double> zinv = std::polar(1.0, -2 * kPi * i / len);
    std::complex<double> h = low.gain;
    for (int j = 0; j < 2; ++j)
      h *= (1.0 - std::complex<double>(low.zr[j], low.zi[j]) * zinv) / (1.0 - std::complex<double>(low.pr[j], low.pi[j]) * zinv);
    const std::complex<double> want = std::complex<double>(1.0, 0.5) * h, mirror = std::complex<double>(1.0, 0.5) * std::conj(h);
    const double tol = 2e-7 * std::abs(want) + 1e-30;
    ASSERT_NEAR(re[i], want.real(), tol) << i;
    ASSERT_NEAR(im[i], want.imag(), tol) << i;
    ASSERT_NEAR(re[len - i], mirror.real(), tol) << i;
    ASSERT_NEAR(im[len - i], mirror.imag(), tol) << i;
  }
}

// Over a long spectrum every bin (and its mirror, conjugated) carries the section's
// response at that bin's frequency, as a direct evaluation on the unit circle gives
// it, within float rounding.

}  // namespace
}  // namespace zentor
