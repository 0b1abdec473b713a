// Complex transforms on split arrays, the real-transform helpers the library uses
// inside, complex bin arithmetic and the energy-time envelope.
#include <fftw3.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <vector>

#include "platform/numeric/numeric.h"
#include "platform/numeric/numeric_internal.h"

namespace zentor {
namespace numeric_detail {

DoubleBuffer AllocDoubles(std::size_t n) {
  DoubleBuffer b(fftw_alloc_real(n ? n : 1));
  std::memset(b.get(), 0, sizeof(double) * (n ? n : 1));
  return b;
}

ComplexBuffer AllocComplex(std::size_t n) {
  ComplexBuffer b(fftw_alloc_complex(n ? n : 1));
  std::memset(b.get(), 0, sizeof(fftw_complex) * (n ? n : 1));
  return b;
}

int OrderFor(std::size_t n) {
  int k = 0;
  while ((std::size_t{1} << k) < n) ++k;
  return k;
}

namespace {

// FFTW's planner is not re-entrant; execution of a finished plan is.
std::mutex& PlannerMutex() {
  static std::mutex m;
  return m;
}

// One in-place interleaved plan per order, with its own aligned buffer per thread.
// (A split-array plan only runs on arrays whose real/imaginary separation matches the
// planning arrays, which callers' arrays never do; interleaving also runs fastest.)
constexpr int kMaxOrder = 20;
std::array<fftwf_plan, kMaxOrder + 1> g_complex{};

struct FloatFree {
  void operator()(void* p) const { fftwf_free(p); }
};
using WorkBuffer = std::unique_ptr<fftwf_complex[], FloatFree>;

fftwf_plan ComplexPlanFor(int k) {
  std::lock_guard lock(PlannerMutex());
  fftwf_plan& p = g_complex[k];
  if (!p) {
    const int n = 1 << k;
    WorkBuffer t(fftwf_alloc_complex(n));
    p = fftwf_plan_dft_1d(n, t.get(), t.get(), FFTW_FORWARD, FFTW_ESTIMATE);
  }
  return p;
}

fftwf_complex* WorkFor(int k) {
  thread_local std::array<WorkBuffer, kMaxOrder + 1> work;
  if (!work[k]) work[k].reset(fftwf_alloc_complex(std::size_t{1} << k));
  return work[k].get();
}

// Forward transform of (a + jb); results back into a and b, times scale. The inverse
// is the forward transform with the parts exchanged on the way in and out.
void RunForward(int k, float* a, float* b, float scale) {
  const fftwf_plan plan = ComplexPlanFor(k);
  fftwf_complex* w = WorkFor(k);
  const std::size_t n = std::size_t{1} << k;
  for (std::size_t j = 0; j < n; ++j) {
    w[j][0] = a[j];
    w[j][1] = b[j];
  }
  fftwf_execute_dft(plan, w, w);
  if (scale == 1.0f) {
    for (std::size_t j = 0; j < n; ++j) {
      a[j] = w[j][0];
      b[j] = w[j][1];
    }
  } else {
    for (std::size_t j = 0; j < n; ++j) {
      a[j] = w[j][0] * scale;
      b[j] = w[j][1] * scale;
    }
  }
}

struct RealPlan {
  fftw_plan forward = nullptr;
  fftw_plan inverse = nullptr;
};
std::array<RealPlan, kMaxRealOrder + 1> g_real{};

const RealPlan& RealPlanFor(int k) {
  std::lock_guard lock(PlannerMutex());
  RealPlan& p = g_real[k];
  if (!p.forward) {
    const int n = 1 << k;
    double* r = fftw_alloc_real(n);
    fftw_complex* c = fftw_alloc_complex(n / 2 + 1);
    p.forward = fftw_plan_dft_r2c_1d(n, r, c, FFTW_ESTIMATE);
    p.inverse = fftw_plan_dft_c2r_1d(n, c, r, FFTW_ESTIMATE | FFTW_DESTROY_INPUT);
    fftw_free(r);
    fftw_free(c);
  }
  return p;
}

bool TransformArgsOk(std::span<float> re, std::span<float> im, int32_t k) {
  if (k < 1 || k > kMaxOrder) return false;
  const std::size_t n = std::size_t{1} << k;
  return re.size() >= n && im.size() >= n && re.data() != im.data();
}

}  // namespace

void ForwardReal(int k, double* in, fftw_complex* out) { fftw_execute_dft_r2c(RealPlanFor(k).forward, in, out); }

void InverseReal(int k, fftw_complex* in, double* out) { fftw_execute_dft_c2r(RealPlanFor(k).inverse, in, out); }

}  // namespace numeric_detail

using namespace numeric_detail;

bool fft(std::span<float> re, std::span<float> im, int32_t k) {
  if (!TransformArgsOk(re, im, k)) return false;
  RunForward(k, re.data(), im.data(), 1.0f);
  return true;
}

bool ifft(std::span<float> re, std::span<float> im, int32_t k) {
  if (!TransformArgsOk(re, im, k)) return false;
  RunForward(k, im.data(), re.data(), 1.0f / static_cast<float>(std::size_t{1} << k));
  return true;
}

bool InvertComplexArrayC(std::span<float> re, std::span<float> im, int32_t order) {
  if (order < 0 || order > 30) return false;
  const std::size_t n = std::size_t{1} << order;
  if (re.size() < n || im.size() < n) return false;
  for (std::size_t j = 0; j < n; ++j) {
    const double a = re[j], b = im[j];
    const double m = a * a + b * b;
    if (!(m > 0.0) || !std::isfinite(m)) {
      // 1/0 and 1/inf are given as 0 so a division never spreads NaN through a spectrum.
      re[j] = 0.0f;
      im[j] = 0.0f;
      continue;
    }
    re[j] = static_cast<float>(a / m);
    im[j] = static_cast<float>(-b / m);
  }
  return true;
}

bool MultiplyComplexArrays(std::span<float> reA, std::span<float> imA, std::span<const float> reB,
                           std::span<const float> imB, int32_t order) {
  if (order < 0 || order > 30) return false;
  const std::size_t n = std::size_t{1} << order;
  if (reA.size() < n || imA.size() < n || reB.size() < n || imB.size() < n) return false;
  for (std::size_t j = 0; j < n; ++j) {
    const float a = reA[j], b = imA[j], c = reB[j], d = imB[j];
    reA[j] = a * c - b * d;
    imA[j] = a * d + b * c;
  }
  return true;
}

bool EnergyEnvelope(std::span<const float> x, std::span<float> env, int32_t k) {
  if (k < 1 || k > kMaxRealOrder) return false;
  const std::size_t n = std::size_t{1} << k;
  if (x.size() < n || env.size() < n) return false;
  DoubleBuffer t = AllocDoubles(n);
  ComplexBuffer spec = AllocComplex(n / 2 + 1);
  for (std::size_t i = 0; i < n; ++i) t[i] = x[i];
  ForwardReal(k, t.get(), spec.get());
  // Hilbert transform: positive bins times -j (negative bins, implied by the real
  // inverse, times +j); DC and Nyquist carry no quadrature part.
  spec[0][0] = spec[0][1] = 0.0;
  spec[n / 2][0] = spec[n / 2][1] = 0.0;
  for (std::size_t b = 1; b < n / 2; ++b) {
    const double r = spec[b][0], i = spec[b][1];
    spec[b][0] = i;
    spec[b][1] = -r;
  }
  DoubleBuffer h = AllocDoubles(n);
  InverseReal(k, spec.get(), h.get());
  const double scale = 1.0 / static_cast<double>(n);
  for (std::size_t i = 0; i < n; ++i) {
    const double xi = x[i];
    const double hi = h[i] * scale;
    env[i] = static_cast<float>(xi * xi + hi * hi);
  }
  return true;
}

}  // namespace zentor
