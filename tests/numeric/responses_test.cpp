#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <functional>
#include <limits>
#include <numbers>
#include <vector>

#include "platform/numeric/numeric.h"

namespace zentor {
namespace {

constexpr double kPi = std::numbers::pi;
constexpr int32_t kFs = 48000;
constexpr int32_t kLen = 1 << 17;
constexpr int32_t kZero = 2400;  // time zero 50 ms into the record, as the views place it
const float kNaN = std::numeric_limits<float>::quiet_NaN();

struct Curve {
  std::vector<float> x, y;
  explicit Curve(int points) : x(points), y(points) {}
};

std::vector<float> Impulse(std::initializer_list<std::pair<double, double>> taps) {
  std::vector<float> h(kLen, 0.0f);
  for (auto [ms, amp] : taps) h[kZero + static_cast<int>(std::lround(ms * kFs / 1000.0))] += static_cast<float>(amp);
  return h;
}

Curve Log(const std::vector<float>& h, float gate, float res, int points = 120, int k = 16,
          std::vector<float> calF = {}, std::vector<float> calDb = {}) {
  Curve c(points);
  EXPECT_TRUE(GetLogResponse(h, gate, res, kZero, points, c.x, c.y, k, kFs, calF, calDb,
                             static_cast<int32_t>(calF.size())));
  return c;
}

Curve Psy(const std::vector<float>& h, float lfRes, float gate, float shelfMs, float shelfDb, int points = 400,
          float top = 20000.0f, int32_t len = kLen) {
  Curve c(points);
  EXPECT_TRUE(GetPhsycologicalResponse(h, len, lfRes, gate, shelfMs, shelfDb, kZero, points, c.x, c.y, kFs, top,
                                       {}, {}, 0));
  return c;
}

double ErbOctaves(double f) {
  const double erb = 24.7 * (4.37 * f / 1000.0 + 1.0);
  return 2.0 * std::asinh(erb / (2.0 * f)) / std::numbers::ln2;
}

// Mean of power(f) over [lo, hi] by Simpson's rule: the oracle for band smoothing.
double BandMean(const std::function<double(double)>& power, double lo, double hi) {
  const int m = 4000;
  const double h = (hi - lo) / m;
  double s = power(lo) + power(hi);
  for (int i = 1; i < m; ++i) s += power(lo + i * h) * (i % 2 ? 4 : 2);
  return s * h / 3.0 / (hi - lo);
}

// NaN beyond the gate is never read, nor past a record length that ends there.
TEST(GatedResponses, ImpulsesBiquadsReflectionsResonanceCalibrationAndSliceGate) {
  for (const auto& [ms, amp] : {std::pair{0.0, 1.0}, std::pair{0.0, 0.25}, std::pair{3.0, 1.0}}) {
    auto h = Impulse({{ms, amp}});
    std::fill(h.begin() + kZero + 481, h.end(), kNaN);
    const double want = 20 * std::log10(amp);
    const Curve l = Log(h, 10.0f, 1.0f / 3.0f);
    for (float v : l.y) ASSERT_NEAR(v, want, 0.01) << ms;
    const Curve p = Psy(h, 1.0f / 3.0f, 10.0f, 50.0f, -10.0f, 400, 20000.0f, kZero + 481);
    for (float v : p.y) ASSERT_NEAR(v, want, 0.01) << ms;
  }
  // Grids are log-spaced to their tops.
  const auto h = Impulse({{0.0, 1.0}});
  for (int fs : {48000, 96000}) {
    Curve c(120);
    ASSERT_TRUE(GetLogResponse(h, 10.0f, 0.1f, kZero, 120, c.x, c.y, 16, fs, {}, {}, 0));
    const double top = std::min(20000.0, fs / 2.0 / std::pow(2.0, 0.333));
    EXPECT_NEAR(c.x.back(), top, top * 1e-6);
    EXPECT_NEAR(c.x.front(), top / 1024.0, top * 1e-6);
    for (int i = 1; i < 120; ++i) {
      ASSERT_GT(c.x[i], c.x[i - 1]);
      ASSERT_NEAR(c.x[i] / c.x[i - 1], std::pow(1024.0, 1.0 / 119), 1e-5);
    }
  }
  const Curve p = Psy(h, 0.3f, 10.0f, 50.0f, -10.0f, 400, 16000.0f);
  EXPECT_NEAR(p.x.back(), 16000.0f, 0.01f);
  for (int i = 2; i < 400; ++i) ASSERT_NEAR(p.x[i] / p.x[i - 1], p.x[1] / p.x[0], 1e-5);

  // Low-pass and peaking biquads (bilinear designs), impulse by their difference equation.
  struct Biquad {
    double b0, b1, b2, a1, a2;
  };
  const double w0 = 2 * kPi * 1000.0 / kFs;
  const double q = 0.7071, alpha = std::sin(w0) / (2 * q);
  const double c = std::cos(w0);
  const Biquad lp{(1 - c) / 2 / (1 + alpha), (1 - c) / (1 + alpha), (1 - c) / 2 / (1 + alpha), -2 * c / (1 + alpha),
                  (1 - alpha) / (1 + alpha)};
  const double A = std::pow(10.0, 6.0 / 40), alphaP = std::sin(w0) / (2 * 4.0);
  const double d = 1 + alphaP / A;
  const Biquad peak{(1 + alphaP * A) / d, -2 * c / d, (1 - alphaP * A) / d, -2 * c / d, (1 - alphaP / A) / d};
  for (const Biquad& bq : {lp, peak}) {
    std::vector<float> h(kLen, 0.0f);
    double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    for (int n = 0; n + kZero < kLen; ++n) {
      const double x = n == 0 ? 1.0 : 0.0;
      const double y = bq.b0 * x + bq.b1 * x1 + bq.b2 * x2 - bq.a1 * y1 - bq.a2 * y2;
      x2 = x1, x1 = x, y2 = y1, y1 = y;
      h[kZero + n] = static_cast<float>(y);
    }
    auto power = [&](double f) {
      const std::complex<double> z1 = std::polar(1.0, -2 * kPi * f / kFs);
      const auto H = (bq.b0 + bq.b1 * z1 + bq.b2 * z1 * z1) / (1.0 + bq.a1 * z1 + bq.a2 * z1 * z1);
      return std::norm(H);
    };
    const double res = 1.0 / 6.0;
    const Curve l = Log(h, 500.0f, static_cast<float>(res), 120, 16);
    for (int i = 0; i < 120; ++i) {
      const double f = l.x[i];
      const double want = 10 * std::log10(BandMean(power, f * std::pow(2.0, -res / 2), f * std::pow(2.0, res / 2)));
      ASSERT_NEAR(l.y[i], want, 0.1) << f;
    }
  }

  // Reflections, a resonance, calibration and the slice gate.
  const double r = 0.3, lfRes = 1.0 / 3.0;
  // Inside the gate: full weight, the band mean of 1 + r^2 + 2r cos(2 pi f tau).
  {
    const double tau = 0.009;
    const Curve psy = Psy(Impulse({{0.0, 1.0}, {9.0, r}}), static_cast<float>(lfRes), 10.0f, 50.0f, -10.0f);
    for (int i = 0; i < 400; ++i) {
      const double f = psy.x[i], b = std::min(lfRes, ErbOctaves(f));
      const double lo = f * std::pow(2.0, -b / 2), hi = f * std::pow(2.0, b / 2);
      const double mean = 1 + r * r + 2 * r * (std::sin(2 * kPi * hi * tau) - std::sin(2 * kPi * lo * tau)) /
                                           (2 * kPi * tau * (hi - lo));
      ASSERT_NEAR(psy.y[i], 10 * std::log10(mean), 0.05) << f;
    }
  }
  // Beyond the shelf time: the reflection counts at the shelf level.
  for (float shelf : {-10.0f, -20.0f}) {
    const Curve psy = Psy(Impulse({{0.0, 1.0}, {60.0, r}}), static_cast<float>(lfRes), 10.0f, 40.0f, shelf);
    const double want = 10 * std::log10(1 + r * r * std::pow(10.0, shelf / 10.0));
    for (int i = 0; i < 400; ++i) {
      if (psy.x[i] > 200.0f) {
        ASSERT_NEAR(psy.y[i], want, 0.2) << psy.x[i];
      }
    }
  }
  // Later than the gate: gone completely from the fractional-octave response.
  const Curve l = Log(Impulse({{0.0, 1.0}, {12.0, r}}), 10.0f, 1.0f / 24.0f);
  for (float v : l.y) ASSERT_NEAR(v, 0.0, 0.01);
  // Two-pole resonator at 1 kHz, Q = 20 (50 Hz wide).
  std::vector<float> res(kLen, 0.0f);
  const double wr = 2 * kPi * 1000.0 / kFs, rad = std::exp(-kPi * 50.0 / kFs);
  for (int n = 0; n + kZero < kLen; ++n) res[kZero + n] = static_cast<float>(std::pow(rad, n) * std::sin(wr * (n + 1)));
  const Curve psy = Psy(res, 1.0f, 500.0f, 600.0f, -10.0f, 2001, 16000.0f);
  int top = 0;
  for (int i = 0; i < 2001; ++i)
    if (psy.y[i] > psy.y[top]) top = i;
  const float half = psy.y[top] - 3.0f;
  auto crossing = [&](int step) {
    int i = top;
    while (psy.y[i + step] > half) i += step;
    const double t = (psy.y[i] - half) / (psy.y[i] - psy.y[i + step]);
    return psy.x[i] + t * (psy.x[i + step] - psy.x[i]);
  };
  const double width = crossing(1) - crossing(-1);
  const double erb = 24.7 * (4.37 * 1.0 + 1.0);
  EXPECT_NEAR(width / erb, 1.0, 0.2) << width;

  // Calibration is subtracted, interpolated over log frequency.
  const auto unit = Impulse({{0.0, 1.0}});
  const Curve flat3 = Log(unit, 10.0f, 0.2f, 120, 16, {1000.0f}, {3.0f});
  for (float v : flat3.y) ASSERT_NEAR(v, -3.0, 0.01);
  // Two points, given out of order: 316.2 Hz lies half-way in log frequency.
  const std::vector<float> calF{1000.0f, 100.0f}, calDb{10.0f, 0.0f};
  const std::vector<float> f{316.2278f, 50.0f, 2000.0f, 0.0f};
  std::vector<float> lv(4, 0.0f);
  AmplitudeCalibration(f, lv, 4, calF, calDb, 2);
  EXPECT_NEAR(lv[0], -5.0f, 1e-4);
  EXPECT_NEAR(lv[1], 0.0f, 1e-6);    // constant below the table
  EXPECT_NEAR(lv[2], -10.0f, 1e-6);  // and above it
  EXPECT_NEAR(lv[3], 0.0f, 1e-6);    // 0 Hz read as 1 Hz
  const std::vector<float> zeroHz{0.0f, 2.0f}, zeroDb{4.0f, 8.0f};
  std::vector<float> one{0.0f};
  AmplitudeCalibration(std::vector<float>{std::sqrt(2.0f)}, one, 1, zeroHz, zeroDb, 2);
  EXPECT_NEAR(one[0], -6.0f, 1e-4);  // table's 0 Hz is 1 Hz: half-way from 1 to 2 Hz
  std::vector<float> same{1.0f, 2.0f};
  AmplitudeCalibration(f, same, 2, calF, calDb, 0);
  EXPECT_EQ(same, (std::vector<float>{1.0f, 2.0f}));
  const Curve viaResponse = Log(unit, 10.0f, 0.0f, 120, 16, calF, calDb);
  for (int i = 0; i < 120; ++i) {
    const double fi = viaResponse.x[i];
    const double cal = fi <= 100 ? 0 : fi >= 1000 ? 10 : 10 * std::log2(fi / 100) / std::log2(10.0);
    ASSERT_NEAR(viaResponse.y[i], -cal, 0.01) << fi;
  }
  // The slice gate moves a delta and keeps NaN beyond the gate and the length out.
  const int n = 8192;
  std::vector<float> src(n + 100, 0.0f), dst(n + 100, 7.0f);
  // Delta 25 ms + 2 ms after time zero; a slice starting 25 ms later brings it to 2 ms.
  src[kZero + 1200 + 96] = 1.0f;
  for (int i = kZero + 1200 + 480; i < n + 100; ++i) src[i] = kNaN;  // beyond a 10 ms gate of that slice
  ApplySliceGate(src, dst, kZero, 10.0f, kFs, n, 25.0f);
  for (int i = 0; i < n; ++i) ASSERT_EQ(dst[i], i == kZero + 96 ? 1.0f : 0.0f) << i;
  for (int i = n; i < n + 100; ++i) ASSERT_EQ(dst[i], 7.0f);
  // Without a start time, time zero stays at a; a NaN after n is never read.
  std::vector<float> s2(n + 10, 0.0f), d2(n);
  s2[kZero] = 2.0f;
  for (int i = n; i < n + 10; ++i) s2[i] = kNaN;
  ApplySliceGate(s2, d2, kZero, 1000.0f, kFs, n, 0.0f);  // gate longer than the record
  EXPECT_EQ(d2[kZero], 2.0f);
  for (float v : d2) ASSERT_FALSE(std::isnan(v));
}

}  // namespace
}  // namespace zentor
