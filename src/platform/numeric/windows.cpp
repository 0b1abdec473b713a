// Windows, tapers, circular rotation and FIR convolution.
#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "base/text_number.h"
#include "platform/numeric/numeric.h"
#include "platform/numeric/numeric_internal.h"

namespace zentor {

using namespace numeric_detail;

namespace {

inline double HalfHann(int32_t i, int32_t L) {
  return 0.5 * (1.0 - std::cos(std::numbers::pi * static_cast<double>(i) / static_cast<double>(L)));
}

// Windows up to this length run as a direct loop; longer ones through the transform.
constexpr int32_t kDirectConvolutionMax = 128;

template <class T>
bool Overlap(std::span<const T> a, std::span<T> b) {
  if (a.empty() || b.empty()) return false;
  const T* a0 = a.data();
  const T* b0 = b.data();
  return a0 < b0 + b.size() && b0 < a0 + a.size();
}

}  // namespace

void GetSymmetricalPsycologicalGaussianWindow(std::span<float> out, int32_t L, float w) {
  const int32_t m = Clamp(out, L);
  const double c = (static_cast<double>(L) - 1.0) / 2.0;
  for (int32_t i = 0; i < m; ++i) {
    if (!(w > 0.0f)) {
      out[i] = 1.0f;
      continue;
    }
    const double u = (static_cast<double>(i) - c) / w;
    out[i] = static_cast<float>(std::exp(-0.5 * u * u));
  }
}

void TaperStartOfImpulseC(std::span<float> a, int32_t L) {
  const int32_t m = Clamp(a, L);
  for (int32_t i = 0; i < m; ++i) a[i] = static_cast<float>(a[i] * HalfHann(i, m));
}

void TaperEndOfImpulseC(std::span<float> a, int32_t L, int32_t n) {
  const int32_t nn = Clamp(a, n);
  const int32_t m = std::min(std::max(L, 0), nn);
  for (int32_t i = 0; i < m; ++i) a[nn - 1 - i] = static_cast<float>(a[nn - 1 - i] * HalfHann(i, m));
}

void TaperStartOfIntegerArrayC(std::span<int16_t> a, int32_t L) {
  const int32_t m = Clamp(a, L);
  for (int32_t i = 0; i < m; ++i) a[i] = CInt(a[i] * HalfHann(i, m));
}

void TaperEndOfIntegerArrayC(std::span<int16_t> a, int32_t L, int32_t n) {
  const int32_t nn = Clamp(a, n);
  const int32_t m = std::min(std::max(L, 0), nn);
  for (int32_t i = 0; i < m; ++i) a[nn - 1 - i] = CInt(a[nn - 1 - i] * HalfHann(i, m));
}

void RotateImpulseLeftC(int32_t n, std::span<float> a, int32_t s) {
  const int32_t m = Clamp(a, n);
  if (m <= 1) return;
  int64_t r = static_cast<int64_t>(s) % m;
  if (r < 0) r += m;
  std::rotate(a.begin(), a.begin() + r, a.begin() + m);
}

void RotateImpulseRightC(int32_t n, std::span<float> a, int32_t s) {
  const int32_t m = Clamp(a, n);
  if (m <= 1) return;
  int64_t r = static_cast<int64_t>(s) % m;
  if (r < 0) r += m;
  std::rotate(a.begin(), a.begin() + (m - r) % m, a.begin() + m);
}

namespace numeric_detail {

void ConvoluteDirect(const float* in, float* out, const float* win, int32_t n, int32_t L) {
  // Blocked so the double accumulators stay in cache while every tap passes over them.
  constexpr int32_t kBlock = 2048;
  std::vector<double> acc(kBlock);
  for (int32_t b0 = 0; b0 < n; b0 += kBlock) {
    const int32_t b1 = std::min(n, b0 + kBlock);
    std::fill(acc.begin(), acc.end(), 0.0);
    for (int32_t j = 0; j < L && j < b1; ++j) {
      const double wj = win[j];
      const int32_t start = std::max(b0, j);
      double* ac = acc.data() - b0;
      const float* src = in - j;
      for (int32_t i = start; i < b1; ++i) ac[i] += wj * src[i];
    }
    for (int32_t i = b0; i < b1; ++i) out[i] = static_cast<float>(acc[static_cast<std::size_t>(i - b0)]);
  }
}

void ConvoluteFft(const float* in, float* out, const float* win, int32_t n, int32_t L) {
  const int k = std::max(1, OrderFor(static_cast<std::size_t>(n) + static_cast<std::size_t>(L) - 1));
  if (k > kMaxRealOrder) {
    ConvoluteDirect(in, out, win, n, L);
    return;
  }
  const std::size_t m = std::size_t{1} << k;
  DoubleBuffer x = AllocDoubles(m), h = AllocDoubles(m);
  ComplexBuffer X = AllocComplex(m / 2 + 1), H = AllocComplex(m / 2 + 1);
  for (int32_t i = 0; i < n; ++i) x[static_cast<std::size_t>(i)] = in[i];
  for (int32_t j = 0; j < L; ++j) h[static_cast<std::size_t>(j)] = win[j];
  ForwardReal(k, x.get(), X.get());
  ForwardReal(k, h.get(), H.get());
  const double scale = 1.0 / static_cast<double>(m);
  for (std::size_t b = 0; b <= m / 2; ++b) {
    const double a = X[b][0], c = X[b][1], d = H[b][0], e = H[b][1];
    X[b][0] = (a * d - c * e) * scale;
    X[b][1] = (a * e + c * d) * scale;
  }
  InverseReal(k, X.get(), x.get());
  for (int32_t i = 0; i < n; ++i) out[i] = static_cast<float>(x[static_cast<std::size_t>(i)]);
}

}  // namespace numeric_detail

bool Convolute(std::span<const float> in, std::span<float> out, std::span<const float> win, int32_t n, int32_t L) {
  const int32_t nOut = Clamp(out, n);
  if (nOut <= 0) return true;
  if (Overlap(in, out.first(static_cast<std::size_t>(nOut))) ||
      Overlap(win, out.first(static_cast<std::size_t>(nOut))))
    return false;
  const int32_t taps = Clamp(win, L);
  const int32_t nIn = std::min(Clamp(in, n), nOut);
  // Input beyond its span reads as silence; the outputs still cover all n samples.
  std::vector<float> padded;
  const float* src = in.data();
  if (nIn < nOut) {
    padded.assign(static_cast<std::size_t>(nOut), 0.0f);
    std::copy_n(in.begin(), nIn, padded.begin());
    src = padded.data();
  }
  if (taps <= 0) {
    std::fill_n(out.begin(), nOut, 0.0f);
    return true;
  }
  if (taps <= kDirectConvolutionMax)
    ConvoluteDirect(src, out.data(), win.data(), nOut, taps);
  else
    ConvoluteFft(src, out.data(), win.data(), nOut, taps);
  return true;
}

bool NewConvolute(std::span<const float> in, std::span<float> out, std::span<const float> win, int32_t n, int32_t L) {
  return Convolute(in, out, win, n, L);
}

}  // namespace zentor
