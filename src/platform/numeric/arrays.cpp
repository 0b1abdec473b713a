// Element-wise array operations, levels in dB, extremes and sums.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "base/text_number.h"
#include "platform/numeric/numeric.h"
#include "platform/numeric/numeric_internal.h"
#include "platform/numeric/vector_log.h"

namespace zentor {

using numeric_detail::Clamp;

namespace {

constexpr double kPowerFloor = 1e-30;  // -300 dB: silence never turns into -inf
constexpr float kPositiveFloor = 1e-30f;

// Power floored for the logarithm; NaN counts as silence.
inline double SafePower(double p) { return p > kPowerFloor ? p : kPowerFloor; }

template <class A, class B, class O>
int32_t Common(A a, B b, O out, int32_t n) {
  return std::min({Clamp(a, n), Clamp(b, n), Clamp(out, n)});
}

}  // namespace

void ClearArray(std::span<float> a, int32_t n) { std::fill_n(a.begin(), Clamp(a, n), 0.0f); }

void ClearDoubleArray(std::span<double> a, int32_t n) { std::fill_n(a.begin(), Clamp(a, n), 0.0); }

void CopySingle(std::span<const float> src, std::span<float> dst, int32_t n) {
  const int32_t m = std::min(Clamp(src, n), Clamp(dst, n));
  if (m > 0) std::memmove(dst.data(), src.data(), sizeof(float) * static_cast<std::size_t>(m));
}

void CopySingleToDouble(std::span<const float> src, std::span<double> dst, int32_t n) {
  const int32_t m = std::min(Clamp(src, n), Clamp(dst, n));
  for (int32_t i = 0; i < m; ++i) dst[i] = src[i];
}

void CopyDoubleToSingle(std::span<const double> src, std::span<float> dst, int32_t n) {
  const int32_t m = std::min(Clamp(src, n), Clamp(dst, n));
  for (int32_t i = 0; i < m; ++i) dst[i] = static_cast<float>(src[i]);
}

void CopyIntToSingle(std::span<const int16_t> src, std::span<float> dst, int32_t n) {
  const int32_t m = std::min(Clamp(src, n), Clamp(dst, n));
  for (int32_t i = 0; i < m; ++i) dst[i] = src[i];
}

void CopySingleToInt(std::span<const float> src, std::span<int16_t> dst, int32_t n) {
  const int32_t m = std::min(Clamp(src, n), Clamp(dst, n));
  // Saturated, then rounded half to even by adding and taking away 1.5 x 2^23 (exact
  // for these magnitudes): CInt's result, in a loop the compiler can vectorise.
  constexpr float kRound = 12582912.0f;
  for (int32_t i = 0; i < m; ++i) {
    const float v = src[i];
    const float c = v != v ? 0.0f : std::clamp(v, -32768.0f, 32767.0f);
    dst[i] = static_cast<int16_t>((c + kRound) - kRound);
  }
}

void AddArray(std::span<const float> a, std::span<const float> b, std::span<float> out, int32_t n) {
  const int32_t m = Common(a, b, out, n);
  for (int32_t i = 0; i < m; ++i) out[i] = a[i] + b[i];
}

void AddDoubleArray(std::span<const double> a, std::span<const double> b, std::span<double> out, int32_t n) {
  const int32_t m = Common(a, b, out, n);
  for (int32_t i = 0; i < m; ++i) out[i] = a[i] + b[i];
}

void SubtractCurves(std::span<const float> a, std::span<const float> b, std::span<float> out, int32_t n) {
  const int32_t m = Common(a, b, out, n);
  for (int32_t i = 0; i < m; ++i) out[i] = a[i] - b[i];
}

void MultiplyArray(std::span<const float> a, std::span<const float> b, std::span<float> out, int32_t n) {
  const int32_t m = Common(a, b, out, n);
  for (int32_t i = 0; i < m; ++i) out[i] = a[i] * b[i];
}

void MultSingleByConst(std::span<float> a, int32_t n, float c) {
  const int32_t m = Clamp(a, n);
  for (int32_t i = 0; i < m; ++i) a[i] *= c;
}

void MultSingleByConst(std::span<float> a, float c, int32_t n) { MultSingleByConst(a, n, c); }

void SquareSingle(std::span<float> a, int32_t n) {
  const int32_t m = Clamp(a, n);
  for (int32_t i = 0; i < m; ++i) a[i] *= a[i];
}

void MagArraySquared(std::span<const float> a, std::span<const float> b, std::span<float> out, int32_t n) {
  const int32_t m = Common(a, b, out, n);
  for (int32_t i = 0; i < m; ++i) out[i] = a[i] * a[i] + b[i] * b[i];
}

void LogMagArray(std::span<float> out, std::span<const float> re, std::span<const float> im, int32_t n) {
  const int32_t m = Common(re, im, out, n);
  for (int32_t i = 0; i < m; ++i) {
    const double r = re[i], j = im[i];
    out[i] = static_cast<float>(10.0 * std::log10(SafePower(r * r + j * j)));
  }
}

namespace {

// 10·log10 of floored powers, four at a time: a waterfall takes it of 70 000
// points. In double, within a unit or two of the last place, so the float
// levels are those the library's log10 gives. Four that are not all finite
// go through the library.
[[gnu::always_inline]] inline void TenLogTenBody(float* a, int32_t m) {
  constexpr double kTenOverLn10 = 4.342944819032518;
  int32_t i = 0;
  for (; i + 4 <= m; i += 4) {
    const vec::Quad floor = {kPowerFloor, kPowerFloor, kPowerFloor, kPowerFloor};
    vec::Quad v = {a[i], a[i + 1], a[i + 2], a[i + 3]};
    v = v > kPowerFloor ? v : floor;
    vec::Quad log;
    vec::Log(v, log);
    if (!std::isfinite(log[0] + log[1] + log[2] + log[3])) {
      for (int32_t k = i; k < i + 4; ++k) a[k] = static_cast<float>(10.0 * std::log10(SafePower(a[k])));
      continue;
    }
    log *= kTenOverLn10;
    for (int32_t k = 0; k < 4; ++k) a[i + k] = static_cast<float>(log[k]);
  }
  for (; i < m; ++i) a[i] = static_cast<float>(10.0 * std::log10(SafePower(a[i])));
}

#if defined(__x86_64__) && defined(__GNUC__)
__attribute__((target("avx2"))) void TenLogTenWide(float* a, int32_t m) { TenLogTenBody(a, m); }
#endif

}  // namespace

void TenLogTenArray(std::span<float> a, int32_t n) {
  const int32_t m = Clamp(a, n);
#if defined(__x86_64__) && defined(__GNUC__)
  static const bool wide = __builtin_cpu_supports("avx2");
  if (wide) return TenLogTenWide(a.data(), m);
#endif
  TenLogTenBody(a.data(), m);
}

void TenLogTenDoubleArray(std::span<double> a, int32_t n) {
  const int32_t m = Clamp(a, n);
  for (int32_t i = 0; i < m; ++i) a[i] = 10.0 * std::log10(SafePower(a[i]));
}

void TwentyLogTenDoubleArray(std::span<double> a, int32_t n) {
  const int32_t m = Clamp(a, n);
  // A magnitude's floor is the square root of the power floor, so both read -300 dB.
  for (int32_t i = 0; i < m; ++i) a[i] = 10.0 * std::log10(SafePower(a[i] * a[i]));
}

void TenPowerValueOverTen(std::span<float> a, int32_t n) {
  const int32_t m = Clamp(a, n);
  for (int32_t i = 0; i < m; ++i) a[i] = static_cast<float>(std::pow(10.0, a[i] / 10.0));
}

void TenPowerValueOverTen(std::span<double> a, int32_t n) {
  const int32_t m = Clamp(a, n);
  for (int32_t i = 0; i < m; ++i) a[i] = std::pow(10.0, a[i] / 10.0);
}

void TenPowerValueOverTwenty(std::span<double> a, int32_t n) {
  const int32_t m = Clamp(a, n);
  for (int32_t i = 0; i < m; ++i) a[i] = std::pow(10.0, a[i] / 20.0);
}

void DifferentiateDouble(std::span<double> a, int32_t /*unused*/, int32_t n) {
  const int32_t m = Clamp(a, n);
  for (int32_t i = 0; i + 1 < m; ++i) a[i] = a[i + 1] - a[i];
  if (m > 0) a[m - 1] = 0.0;
}

void CheckForNegatives(std::span<float> a, int32_t n) {
  const int32_t m = Clamp(a, n);
  for (int32_t i = 0; i < m; ++i)
    if (!(a[i] >= kPositiveFloor)) a[i] = kPositiveFloor;
}

void FindMaxValue(std::span<const float> a, int32_t n, float& out) {
  const int32_t m = Clamp(a, n);
  if (m > 0) out = *std::max_element(a.begin(), a.begin() + m);
}

void FindMinValue(std::span<const float> a, int32_t n, float& out) {
  const int32_t m = Clamp(a, n);
  if (m > 0) out = *std::min_element(a.begin(), a.begin() + m);
}

void IntegrateSingle(std::span<const float> a, int32_t first, int32_t n, double& out) {
  double s = 0.0;
  const int64_t size = static_cast<int64_t>(a.size());
  const int64_t lo = std::max<int64_t>(first, 0);
  const int64_t hi = std::min<int64_t>(static_cast<int64_t>(first) + std::max(n, 0), size);
  for (int64_t i = lo; i < hi; ++i) s += a[static_cast<std::size_t>(i)];
  out = s;
}

void SquareAndSumSingle(std::span<const float> a, int32_t n, double& sum) {
  const int32_t m = Clamp(a, n);
  double s = 0.0;
  for (int32_t i = 0; i < m; ++i) s += static_cast<double>(a[i]) * a[i];
  sum = s;
}

void FindImpulseC(std::span<const float> a, int32_t n, int32_t& out) {
  const int32_t m = Clamp(a, n);
  int32_t best = 0;
  float peak = -1.0f;
  for (int32_t i = 0; i < m; ++i) {
    const float v = std::fabs(a[i]);
    if (v > peak) {
      peak = v;
      best = i;
    }
  }
  out = best;
}

void LinearExtrapolationC(std::span<const float> x, std::span<const float> y, int32_t i0, int32_t i1,
                          std::span<float> out) {
  if (out.empty()) return;
  if (i0 > i1) std::swap(i0, i1);
  const int64_t size = static_cast<int64_t>(std::min(x.size(), y.size()));
  const int64_t lo = std::max<int64_t>(i0, 0);
  const int64_t hi = std::min<int64_t>(i1, size - 1);
  double sx = 0, sy = 0, sxx = 0, sxy = 0;
  int64_t count = 0;
  for (int64_t i = lo; i <= hi; ++i) {
    const double xv = x[static_cast<std::size_t>(i)], yv = y[static_cast<std::size_t>(i)];
    sx += xv;
    sy += yv;
    sxx += xv * xv;
    sxy += xv * yv;
    ++count;
  }
  const double den = static_cast<double>(count) * sxx - sx * sx;
  // Fewer than two distinct abscissae give no slope; 0 reads as "no decay".
  out[0] = (count >= 2 && den != 0.0) ? static_cast<float>((static_cast<double>(count) * sxy - sx * sy) / den)
                                      : 0.0f;
}

void TangentC(double x, double& result) { result = std::tan(x); }

void SquareRootC(double x, double& result) { result = x > 0.0 ? std::sqrt(x) : 0.0; }

}  // namespace zentor
