#include "core/filter_run.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

#include "base/shared_state.h"
#include "platform/numeric/numeric.h"
#include "platform/dialogs.h"

namespace zentor {

std::array<double, kMaxFilterRoots + 1> NumeratorPolyRe{};
std::array<double, kMaxFilterRoots + 1> NumeratorPolyIm{};
int32_t NumeratorPolyCount = 0;
std::array<double, kMaxFilterRoots + 1> DenominatorPolyRe{};
std::array<double, kMaxFilterRoots + 1> DenominatorPolyIm{};
int32_t DenominatorPolyCount = 0;
std::array<double, kFilterResponseWorkSize> FilterResponseWork{};

namespace {

SharedStateRegistrar resetRunState([] {
  NumeratorPolyRe.fill(0);
  NumeratorPolyIm.fill(0);
  DenominatorPolyRe.fill(0);
  DenominatorPolyIm.fill(0);
  NumeratorPolyCount = DenominatorPolyCount = 0;
  FilterResponseWork.fill(0);
});

constexpr int kMaxOrder = 24;  // 2^24 samples is far beyond any signal held here

bool LengthFits(int64_t n, std::span<float> a, std::span<float> b) {
  return n >= 0 && static_cast<size_t>(n) <= a.size() && static_cast<size_t>(n) <= b.size();
}

bool CountsValid(const FilterBlock& b) {
  return b.NumPoles >= 0 && b.NumPoles <= kMaxFilterRoots && b.NumZeros >= 0 &&
         b.NumZeros <= kMaxFilterRoots;
}

// A list with no roots is the constant polynomial 1 (a block that is only a gain).
void ExpandOrOne(double* re, double* im, int32_t& count, int32_t roots, const double* rootRe,
                 const double* rootIm) {
  count = roots + 1;
  if (roots == 0) {
    re[0] = 1.0;
    im[0] = 0.0;
    return;
  }
  ExpandRootsToPolynomial(re, im, roots, rootRe, rootIm);
}

// G sections in a row over the whole signal, their states in registers. One section's
// output history is the next one's input history. The own previous output enters last,
// so the recursion waits on one multiply-add per sample, and consecutive samples overlap.
template <int G>
void RunBiquadGroup(float* data, int32_t n, const Biquad* s) {
  double h1[G + 1] = {}, h2[G + 1] = {};  // h[0]: input history, h[j+1]: section j's output
  for (int32_t i = 0; i < n; ++i) {
    double v = data[i];
    for (int j = 0; j < G; ++j) {
      const double out =
          (((s[j].b0 * v + s[j].b1 * h1[j]) + s[j].b2 * h2[j]) + s[j].na2 * h2[j + 1]) +
          s[j].na1 * h1[j + 1];
      h2[j] = h1[j];
      h1[j] = v;
      v = out;
    }
    h2[G] = h1[G];
    h1[G] = v;
    data[i] = static_cast<float>(v);
  }
}

#if defined(__x86_64__) && defined(__GNUC__)
#define ZENTOR_HAVE_AVX2_PATH 1
// Four sections per vector, one per lane, as a wavefront: at step t lane j works on
// sample t - j, taking its input from lane j - 1's output of the step before. C such
// wavefronts run in one loop, wavefront g taking its lane-0 input from wavefront g - 1's
// last lane, so their latencies overlap. Every lane does the same arithmetic as the
// one-section-at-a-time loop, in fused form.
template <int C>
__attribute__((target("avx2,fma"))) void RunBiquadWavefronts(float* data, int32_t n, const Biquad* s) {
  alignas(32) double c[C][5][4];
  for (int g = 0; g < C; ++g) {
    for (int j = 0; j < 4; ++j) {
      const Biquad& q = s[4 * g + j];
      c[g][0][j] = q.b0;
      c[g][1][j] = q.b1;
      c[g][2][j] = q.b2;
      c[g][3][j] = q.na1;
      c[g][4][j] = q.na2;
    }
  }
  __m256d x1[C], x2[C], y1[C], y2[C];
  for (int g = 0; g < C; ++g) x1[g] = x2[g] = y1[g] = y2[g] = _mm256_setzero_pd();
  constexpr int32_t lag = 4 * C - 1;
  for (int32_t t = 0; t < n + lag; ++t) {
    const double in = t < n ? static_cast<double>(data[t]) : 0.0;
    __m256d y[C];
#pragma GCC unroll 4
    for (int g = 0; g < C; ++g) {
      const __m256d head = g == 0 ? _mm256_set1_pd(in) : _mm256_permute4x64_pd(y1[g - 1], 0xFF);
      const __m256d x = _mm256_blend_pd(_mm256_permute4x64_pd(y1[g], 0x90), head, 0x1);
      __m256d acc = _mm256_mul_pd(_mm256_load_pd(c[g][2]), x2[g]);
      acc = _mm256_fmadd_pd(_mm256_load_pd(c[g][1]), x1[g], acc);
      acc = _mm256_fmadd_pd(_mm256_load_pd(c[g][4]), y2[g], acc);
      acc = _mm256_fmadd_pd(_mm256_load_pd(c[g][3]), y1[g], acc);
      y[g] = _mm256_fmadd_pd(_mm256_load_pd(c[g][0]), x, acc);
      x2[g] = x1[g];
      x1[g] = x;
    }
#pragma GCC unroll 4
    for (int g = 0; g < C; ++g) {
      y2[g] = y1[g];
      y1[g] = y[g];
    }
    if (t >= lag) {
      alignas(32) double out[4];
      _mm256_store_pd(out, y[C - 1]);
      data[t - lag] = static_cast<float>(out[3]);
    }
  }
}

bool HaveAvx2() {
  static const bool have = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
  return have;
}
#endif

// Cascaded sections commute, so several are run per pass over the signal.
void RunBiquadCascade(float* data, int32_t n, const Biquad* s, int count) {
#ifdef ZENTOR_HAVE_AVX2_PATH
  if (HaveAvx2()) {
    // Up to sixteen sections per pass; the last pass is padded with pass-through ones.
    for (int i = 0; i < count; i += 16) {
      Biquad group[16];
      const int m = std::min(16, count - i);
      for (int j = 0; j < 16; ++j) group[j] = j < m ? s[i + j] : Biquad{1, 0, 0, 0, 0};
      switch ((m + 3) / 4) {
        case 4: RunBiquadWavefronts<4>(data, n, group); break;
        case 3: RunBiquadWavefronts<3>(data, n, group); break;
        case 2: RunBiquadWavefronts<2>(data, n, group); break;
        default: RunBiquadWavefronts<1>(data, n, group); break;
      }
    }
    return;
  }
#endif
  int i = 0;
  for (; i + 4 <= count; i += 4) RunBiquadGroup<4>(data, n, s + i);
  switch (count - i) {
    case 3: RunBiquadGroup<3>(data, n, s + i); break;
    case 2: RunBiquadGroup<2>(data, n, s + i); break;
    case 1: RunBiquadGroup<1>(data, n, s + i); break;
    default: break;
  }
}

// The unit-gain share of a later section: its pass-band level with gain 1, inverted.
// Giving every later section its natural gain (and the first the rest) keeps the
// intermediate signal near the input's level; the product is the block's gain.
double SectionNaturalGain(const FilterBlock& b, int start, int count) {
  const int zeros = std::clamp(b.NumZeros - start, 0, count);
  if (zeros >= count) return 1.0;
  double mag = 1.0;
  for (int i = start; i < start + count; ++i) mag *= std::hypot(b.PoleRe[i], b.PoleIm[i]);
  if (!(mag > 0) || !std::isfinite(mag)) return 1.0;
  return std::pow(mag, static_cast<double>(count - zeros) / count);
}

}  // namespace

namespace {

// Coefficient arrays of one run; the public entry writes the shared ones.
struct Polynomials {
  double* numRe;
  double* numIm;
  int32_t& numCount;
  double* denRe;
  double* denIm;
  int32_t& denCount;
};

bool RunDigitalBlock(std::span<float> signal, std::span<float> scratch, int32_t n, const FilterBlock& block,
                     const Polynomials& p) {
  if (!LengthFits(n, signal, scratch)) return false;
  if (block.Domain != kDomainZPlane) {
    MsgBox("Error 5440");
    return false;
  }
  if (!CountsValid(block)) {
    MsgBox("Error 8725");
    return false;
  }
  ExpandOrOne(p.denRe, p.denIm, p.denCount, block.NumPoles, block.PoleRe.data(), block.PoleIm.data());
  ExpandOrOne(p.numRe, p.numIm, p.numCount, block.NumZeros, block.ZeroRe.data(), block.ZeroIm.data());
  if (p.denRe[0] != 1.0) {
    MsgBox("Error 8725");
    return false;
  }
  const auto count = [](int32_t c) { return static_cast<size_t>(std::clamp(c, 0, kMaxFilterRoots + 1)); };
  ClearArray(scratch, n);
  RecursiveFilter(std::span<const double>(p.numRe, count(p.numCount)), p.numCount,
                  std::span<const double>(p.denRe, count(p.denCount)), p.denCount, signal, scratch, n,
                  block.DigitalGain);
  CopySingle(scratch, signal, n);
  return true;
}

Polynomials SharedPolynomials() {
  return {NumeratorPolyRe.data(),   NumeratorPolyIm.data(),   NumeratorPolyCount,
          DenominatorPolyRe.data(), DenominatorPolyIm.data(), DenominatorPolyCount};
}

}  // namespace

bool RunFilterBlockOnSignal(std::span<float> signal, std::span<float> scratch, int32_t n,
                            const FilterBlock& block) {
  return RunDigitalBlock(signal, scratch, n, block, SharedPolynomials());
}

int32_t FilterSectionLayout(int32_t numPoles, std::array<FilterSection, kMaxFilterRoots>& out) {
  if (numPoles < 0 || numPoles > kMaxFilterRoots) return 0;
  if (numPoles < 4) {
    out[0] = {0, numPoles};
    return 1;
  }
  int32_t count = 0;
  int32_t start = numPoles % 2 == 1 ? 3 : 2;
  out[count++] = {0, start};
  for (; start < numPoles; start += 2) out[count++] = {start, 2};
  return count;
}

namespace {

bool RunInSections(std::span<float> signal, std::span<float> scratch, int32_t n, const FilterBlock& block,
                   FilterBlock& section, const Polynomials& polys) {
  if (!LengthFits(n, signal, scratch)) return false;
  if (!CountsValid(block)) {
    MsgBox("Error 3854");
    return false;
  }
  // A copy: the caller's block stays an s-plane design and can be run again.
  FilterBlock work = block;
  if (work.NumPoles < 4) {
    if (!BilinearTransformFilterBlock(work)) {
      MsgBox("Error 7123");
      return false;
    }
    return RunDigitalBlock(signal, scratch, n, work, polys);
  }
  MoveRealRootFirst(work);
  std::array<FilterSection, kMaxFilterRoots> layout;
  const int32_t sections = FilterSectionLayout(work.NumPoles, layout);
  std::array<double, kMaxFilterRoots> gains;
  double laterGain = 1.0;
  for (int s = 1; s < sections; ++s) {
    gains[s] = SectionNaturalGain(work, layout[s].start, layout[s].count);
    laterGain *= gains[s];
  }
  gains[0] = work.AnalogGain / laterGain;

  const bool odd = work.NumPoles % 2 == 1;
  // The first section is made ready before anything runs: if it cannot be, no later
  // one could be either, and the signal stays untouched.
  if (!CopyFilterBlockSection(work, section, 0, layout[0].count)) {
    MsgBox(odd ? "Error 7124" : "Error 7126");
    return false;
  }
  section.AnalogGain = gains[0];
  if (!BilinearTransformFilterBlock(section)) {
    MsgBox(odd ? "Error 7123" : "Error 7127");
    return false;
  }
  // Second-order sections are gathered and run in one pass; the cascade runs what it
  // holds before a refusal, so the signal is left as section-by-section running left it.
  DigitalSectionCascade cascade;
  const auto add = [&]() {
    if (section.NumPoles <= 2 && section.NumZeros <= 2 && section.Domain == kDomainZPlane &&
        CountsValid(section)) {
      ExpandOrOne(polys.denRe, polys.denIm, polys.denCount, section.NumPoles, section.PoleRe.data(),
                  section.PoleIm.data());
      ExpandOrOne(polys.numRe, polys.numIm, polys.numCount, section.NumZeros, section.ZeroRe.data(),
                  section.ZeroIm.data());
      if (cascade.Add(section)) return true;
    }
    cascade.Run(signal, n);
    cascade = DigitalSectionCascade{};
    return RunDigitalBlock(signal, scratch, n, section, polys);
  };
  const auto refuse = [&](const char* message) {
    MsgBox(message);
    cascade.Run(signal, n);
    return false;
  };
  if (!add()) return refuse("Error 3854");
  for (int s = 1; s < sections; ++s) {
    if (!CopyFilterBlockSection(work, section, layout[s].start, layout[s].count)) return refuse("Error 3854");
    section.AnalogGain = gains[s];
    section.DigitalGain = 1.0;
    if (!BilinearTransformFilterBlock(section)) return refuse("Error 7127");
    if (!add()) return refuse("Error 3854");
  }
  cascade.Run(signal, n);
  return true;
}

// The coefficients of one run of a caller's own section block stay on its stack.
struct LocalPolynomials {
  std::array<double, kMaxFilterRoots + 1> numRe{}, numIm{}, denRe{}, denIm{};
  int32_t numCount = 0, denCount = 0;
  Polynomials Refs() { return {numRe.data(), numIm.data(), numCount, denRe.data(), denIm.data(), denCount}; }
};

}  // namespace

bool RunFilterBlockInSections(std::span<float> signal, std::span<float> scratch,
                              int32_t /*sampleRate*/, int32_t n, const FilterBlock& block) {
  return RunInSections(signal, scratch, n, block, SectionFilterBlock, SharedPolynomials());
}

bool RunFilterBlockInSections(std::span<float> signal, std::span<float> scratch, int32_t /*sampleRate*/,
                              int32_t n, const FilterBlock& block, FilterBlock& section) {
  LocalPolynomials polys;
  return RunInSections(signal, scratch, n, block, section, polys.Refs());
}

bool RunFilterChainOnSignal(std::span<float> signal, std::span<float> scratch, int32_t order,
                            int32_t fs, FilterBlock& block, std::span<const FilterRecord> filters) {
  if (order < 0 || order > kMaxOrder) return false;
  const int32_t n = int32_t{1} << order;
  if (!LengthFits(n, signal, scratch)) return false;
  int32_t count = filters.empty() ? 0 : filters[0].Count;
  count = std::clamp<int32_t>(count, 0, static_cast<int32_t>(filters.size()));

  std::array<Biquad, kMaxFilterRoots> sections;
  int used = 0;
  for (int32_t i = 0; i < count && used < kMaxFilterRoots; ++i) {
    const FilterRecord& r = filters[i];
    const double a = std::fabs(r.Q1), b = std::fabs(r.Q2);
    if (a == 0 || b == 0 || !std::isfinite(a) || !std::isfinite(b)) {
      MsgBox("error 4823");
      continue;  // no sign of Q1 to tell a boost from a cut: flat
    }
    if (a == b) continue;
    // At or above half the sample rate the pre-warped section would be unstable.
    if (!(r.Freq1 > 0) || r.Freq1 >= std::numbers::pi * fs) {
      MsgBox("Error 7122");
      continue;
    }
    const double w = PrewarpFrequency(r.Freq1, fs);
    const double qa = AdaptEmulationQ(static_cast<float>(a), r.Freq1, r.EQEmulationCode, fs);
    const double qb = AdaptEmulationQ(static_cast<float>(b), r.Freq1, r.EQEmulationCode, fs);
    if (qb < 0.05) MsgBox("Error 4929");
    const double zeroQ = r.Q1 > 0 ? qa : qb;
    const double poleQ = r.Q1 > 0 ? qb : qa;
    if (!PeakingSectionBlock(zeroQ, poleQ, w, fs, block)) continue;
    if (!BilinearTransformFilterBlock(block)) {
      MsgBox("Error 7122");
      continue;
    }
    ExpandOrOne(DenominatorPolyRe.data(), DenominatorPolyIm.data(), DenominatorPolyCount, 2,
                block.PoleRe.data(), block.PoleIm.data());
    ExpandOrOne(NumeratorPolyRe.data(), NumeratorPolyIm.data(), NumeratorPolyCount, 2,
                block.ZeroRe.data(), block.ZeroIm.data());
    const double g = block.DigitalGain;
    sections[used++] = {NumeratorPolyRe[0] * g, NumeratorPolyRe[1] * g, NumeratorPolyRe[2] * g,
                        -DenominatorPolyRe[1], -DenominatorPolyRe[2]};
  }
  RunBiquadCascade(signal.data(), n, sections.data(), used);
  return true;
}

bool DigitalSectionCascade::Add(const FilterBlock& block) {
  if (block.Domain != kDomainZPlane || block.NumPoles < 0 || block.NumPoles > 2 || block.NumZeros < 0 ||
      block.NumZeros > 2 || count_ >= kMaxFilterRoots)
    return false;
  double num[3] = {}, numIm[3] = {}, den[3] = {}, denIm[3] = {};
  int32_t numCount = 0, denCount = 0;
  ExpandOrOne(den, denIm, denCount, block.NumPoles, block.PoleRe.data(), block.PoleIm.data());
  ExpandOrOne(num, numIm, numCount, block.NumZeros, block.ZeroRe.data(), block.ZeroIm.data());
  if (den[0] != 1.0) return false;
  const double g = block.DigitalGain;
  sections_[static_cast<size_t>(count_++)] = {num[0] * g, num[1] * g, num[2] * g, -den[1], -den[2]};
  return true;
}

void DigitalSectionCascade::Run(std::span<float> signal, int32_t n) const {
  if (n <= 0 || static_cast<size_t>(n) > signal.size()) return;
  RunBiquadCascade(signal.data(), n, sections_.data(), count_);
}

bool ComputeFilterBlockResponseDb(std::span<float> curve, std::span<const float> frequencies,
                                  int32_t n, int32_t fs, double w, double Q1, double Q2) {
  if (n < 0 || static_cast<size_t>(n) > curve.size() ||
      static_cast<size_t>(n) > frequencies.size() || n > kFilterResponseWorkSize)
    return false;
  if (Q2 < 0.05) MsgBox("Error 4929");
  FilterBlock& block = WorkFilterBlock;
  ClearFilterBlock(block);
  block.samplerate = fs;
  block.Domain = kDomainSPlane;
  if (Q1 != 0) {
    const double zeroQ = Q1 > 0 ? Q1 : Q2;
    const double poleQ = Q1 > 0 ? Q2 : -Q1;
    if (ResonanceRoots(zeroQ, w, block.ZeroRe[0], block.ZeroIm[0], block.ZeroRe[1],
                       block.ZeroIm[1]) &&
        ResonanceRoots(poleQ, w, block.PoleRe[0], block.PoleIm[0], block.PoleRe[1],
                       block.PoleIm[1])) {
      block.NumPoles = block.NumZeros = 2;
    }
  }
  // With no section (Q1 = 0 or a refused Q) the response is flat.
  CopySingleToDouble(curve, FilterResponseWork, n);
  FilterFrequencyDomainLinArrayC(FilterResponseWork, frequencies, n, fs, block.PoleRe, block.PoleIm,
                                 block.ZeroRe, block.ZeroIm, block.NumPoles, block.NumZeros,
                                 block.Domain, block.AnalogGain, block.DigitalGain);
  TwentyLogTenDoubleArray(FilterResponseWork, n);
  CopyDoubleToSingle(FilterResponseWork, curve, n);
  return true;
}

namespace {

template <class Run>
bool BandPass(std::span<float> signal, std::span<float> scratch, int32_t fs, int32_t order, float lowerHz,
              float upperHz, FilterBlock& block, const Run& run) {
  if (order < 0 || order > kMaxOrder) return false;
  const int32_t n = int32_t{1} << order;
  if (!LengthFits(n, signal, scratch)) return false;
  auto setUp = [&] {
    ClearFilterBlock(block);
    block.samplerate = fs;
    block.Domain = kDomainSPlane;
    block.NumZeros = 0;
    block.NumPoles = 4;
    return BuildBesselPrototype(block);
  };
  if (!setUp() || !ScaleFilterBlockFrequency(block, upperHz * 6.283) || !run(n))
    return false;
  if (!setUp() || !LowPassToHighPass(block, 1.0) ||
      !ScaleFilterBlockFrequency(block, lowerHz * 6.283))
    return false;
  return run(n);
}

}  // namespace

bool BandPassFilterSignal(std::span<float> signal, std::span<float> scratch, int32_t fs,
                          int32_t order, float lowerHz, float upperHz, FilterBlock& block) {
  return BandPass(signal, scratch, fs, order, lowerHz, upperHz, block, [&](int32_t n) {
    return RunFilterBlockInSections(signal, scratch, fs, n, block);
  });
}

bool BandPassFilterSignal(std::span<float> signal, std::span<float> scratch, int32_t fs, int32_t order,
                          float lowerHz, float upperHz, FilterBlock& block, FilterBlock& section) {
  return BandPass(signal, scratch, fs, order, lowerHz, upperHz, block, [&](int32_t n) {
    return RunFilterBlockInSections(signal, scratch, fs, n, block, section);
  });
}

bool IntegrateBackward(std::span<float> values, int32_t n) {
  if (n < 1) {
    MsgBox("Error 2905");
    return false;
  }
  if (static_cast<size_t>(n) > values.size()) {
    MsgBox("Error 2901");
    return false;
  }
  float sum = 0;
  for (int32_t i = n - 1; i >= 0; --i) {
    sum += values[i];
    values[i] = sum;
  }
  return true;
}

namespace {

// (1 - r1 z^-1)(1 - r2 z^-1) for a conjugate or real root pair.
std::array<double, 3> PairPolynomial(double re1, double im1, double re2, double im2) {
  const std::complex<double> r1(re1, im1), r2(re2, im2);
  return {1.0, -(r1 + r2).real(), (r1 * r2).real()};
}

}  // namespace

bool DigitalPeakingSection(double zeroQ, double poleQ, float freq1, int32_t fs, FilterBlock& block,
                           PeakingSection& out) {
  if (fs <= 0 || !(freq1 > 0) || !(freq1 < std::numbers::pi * fs) || !(zeroQ > 0) || !(poleQ > 0) ||
      !std::isfinite(zeroQ) || !std::isfinite(poleQ))
    return false;
  const double w = PrewarpFrequency(freq1, fs);
  if (!PeakingSectionBlock(zeroQ, poleQ, w, fs, block) || !BilinearTransformFilterBlock(block)) return false;
  out.b = PairPolynomial(block.ZeroRe[0], block.ZeroIm[0], block.ZeroRe[1], block.ZeroIm[1]);
  out.a = PairPolynomial(block.PoleRe[0], block.PoleIm[0], block.PoleRe[1], block.PoleIm[1]);
  out.gain = block.DigitalGain;
  return true;
}

bool AppliedFilterSection(const FilterRecord& r, int32_t fs, FilterBlock& block, PeakingSection& out) {
  const float q1 = std::fabs(r.Q1), q2 = r.Q2;
  if (r.Q1 == 0 || !(q2 > 0) || !std::isfinite(q1) || !std::isfinite(q2) || !std::isfinite(r.Freq1) ||
      !(r.Freq1 > 0) || fs <= 0)
    return false;
  const double a = AdaptEmulationQ(q1, r.Freq1, r.EQEmulationCode, fs);
  const double b = AdaptEmulationQ(q2, r.Freq1, r.EQEmulationCode, fs);
  return DigitalPeakingSection(r.Q1 > 0 ? a : b, r.Q1 > 0 ? b : a, r.Freq1, fs, block, out);
}

std::vector<PeakingSection> AppliedFilterSections(std::span<const FilterRecord> filters, int32_t fs) {
  std::vector<PeakingSection> sections;
  if (filters.empty()) return sections;
  const int32_t count = std::clamp<int32_t>(filters[0].Count, 0, static_cast<int32_t>(filters.size()));
  FilterBlock block;
  for (int32_t i = 0; i < count; ++i) {
    PeakingSection s;
    if (AppliedFilterSection(filters[static_cast<size_t>(i)], fs, block, s)) sections.push_back(s);
  }
  return sections;
}

double PeakingSectionsLevelDb(std::span<const PeakingSection> sections, double hz, int32_t fs) {
  const std::complex<double> z1 = std::polar(1.0, -2 * std::numbers::pi * hz / fs);
  const std::complex<double> z2 = z1 * z1;
  double power = 1;
  for (const PeakingSection& s : sections) {
    const std::complex<double> h = s.gain * (s.b[0] + s.b[1] * z1 + s.b[2] * z2) / (s.a[0] + s.a[1] * z1 + s.a[2] * z2);
    power *= std::norm(h);
  }
  return 10 * std::log10(power);
}

}  // namespace zentor
