#include "core/filter_design.h"

#include <algorithm>
#include <cmath>

#include "base/shared_state.h"
#include "platform/dialogs.h"
#include "platform/numeric/numeric.h"

namespace zentor {

FilterBlock WorkFilterBlock;
FilterBlock SectionFilterBlock;

namespace {

SharedStateRegistrar resetBlocks([] {
  ClearFilterBlock(WorkFilterBlock);
  ClearFilterBlock(SectionFilterBlock);
});

// The prototype angles use this value of pi; keep it so the poles match earlier designs.
constexpr double kPrototypePi = 3.1415926535;

bool CountsValid(const FilterBlock& b) {
  return b.NumPoles >= 0 && b.NumPoles <= kMaxFilterRoots && b.NumZeros >= 0 &&
         b.NumZeros <= kMaxFilterRoots;
}

struct BesselPole {
  double re;
  double im;  // 0 for a real pole; otherwise the pole and its conjugate, adjacent
};

// Normalised Bessel poles by order, in the order they are written.
constexpr std::array<std::array<BesselPole, 4>, 8> kBesselPoles = {{
    {{{-1.0, 0}}},
    {{{-1.103, 0.6368}}},
    {{{-1.327, 0}, {-1.0509, 1.0025}}},
    {{{-1.3596, 0.4071}, {-0.9877, 1.2476}}},
    {{{-1.3851, 0.7201}, {-0.9606, 1.4756}, {-1.5069, 0}}},
    {{{-1.5735, 0.3213}, {-1.3836, 0.9727}, {-0.9318, 1.664}}},
    {{{-1.613, 0.5896}, {-1.3797, 1.1923}, {-0.9104, 1.8375}, {-1.6853, 0}}},
    {{{-1.7627, 0.2737}, {-0.8955, 2.0044}, {-1.378, 1.3926}, {-1.6419, 0.8253}}},
}};
constexpr std::array<int, 8> kBesselEntries = {1, 1, 2, 2, 3, 3, 4, 4};

}  // namespace

void ClearFilterBlock(FilterBlock& block) { block = FilterBlock{}; }

bool PeakingSectionBlock(double zeroQ, double poleQ, double w, int32_t rate, FilterBlock& block) {
  double zr1, zi1, zr2, zi2, pr1, pi1, pr2, pi2;
  if (!ResonanceRoots(zeroQ, w, zr1, zi1, zr2, zi2) || !ResonanceRoots(poleQ, w, pr1, pi1, pr2, pi2)) return false;
  ClearFilterBlock(block);
  block.samplerate = rate;
  block.Domain = kDomainSPlane;
  block.NumPoles = block.NumZeros = 2;
  block.ZeroRe[0] = zr1, block.ZeroIm[0] = zi1, block.ZeroRe[1] = zr2, block.ZeroIm[1] = zi2;
  block.PoleRe[0] = pr1, block.PoleIm[0] = pi1, block.PoleRe[1] = pr2, block.PoleIm[1] = pi2;
  return true;
}

bool BuildButterworthPoles(FilterBlock& block) {
  if (block.NumZeros != 0) {
    MsgBox("Error 7193: Uncleared filterblock");
    return false;
  }
  const int n = block.NumPoles;
  if (n < 1 || n > kMaxFilterRoots) return false;
  for (int k = 1; 2 * k - 2 < n; ++k) {
    const double theta = (2.0 * k + n - 1) * kPrototypePi / (2.0 * n);
    block.PoleRe[2 * k - 2] = std::cos(theta);
    block.PoleIm[2 * k - 2] = std::sin(theta);
    if (2 * k - 1 < n) {
      block.PoleRe[2 * k - 1] = std::cos(theta);
      block.PoleIm[2 * k - 1] = -std::sin(theta);
    }
  }
  block.FilterType = kFilterTypeButterworth;
  return true;
}

bool BuildLinkwitzRileyPrototype(FilterBlock& block) {
  const int n = block.NumPoles;
  if (n % 2 != 0) {
    MsgBox("Error 2834: Even valued of filter order required for LP LW response");
    return false;
  }
  if (n > 10) {
    MsgBox("error 3430");
    return false;
  }
  if (block.NumZeros != 0) {
    MsgBox("Error 7193: Uncleared filterblock");
    MsgBox("Error 8723: Butterworth filter execution error");
    return false;
  }
  if (n < 2) {
    MsgBox("Error 8723: Butterworth filter execution error");
    return false;
  }
  const int m = n / 2;
  block.NumPoles = m;
  BuildButterworthPoles(block);  // cannot fail: zeros checked, 1 <= m <= 5
  if (m % 2 == 0) {
    for (int i = 0; i < m; ++i) {
      block.PoleRe[m + i] = block.PoleRe[i];
      block.PoleIm[m + i] = block.PoleIm[i];
    }
  } else {
    MoveRealRootFirst(block);
    // real, real, then each conjugate pair twice
    std::array<double, 10> re{}, im{};
    re[0] = re[1] = block.PoleRe[0];
    im[0] = im[1] = block.PoleIm[0];
    int out = 2;
    for (int p = 1; p + 1 < m; p += 2) {
      for (int copy = 0; copy < 2; ++copy) {
        re[out] = block.PoleRe[p];
        im[out++] = block.PoleIm[p];
        re[out] = block.PoleRe[p + 1];
        im[out++] = block.PoleIm[p + 1];
      }
    }
    for (int i = 0; i < 2 * m; ++i) {
      block.PoleRe[i] = re[i];
      block.PoleIm[i] = im[i];
    }
  }
  block.NumPoles = 2 * m;
  block.AnalogGain *= block.AnalogGain;
  block.FilterType = kFilterTypeLinkwitzRiley;
  return true;
}

bool BuildBesselPrototype(FilterBlock& block) {
  if (block.NumZeros != 0) {
    MsgBox("Error 7193: Uncleared filterblock");
    return false;
  }
  const int n = block.NumPoles;
  if (n < 1 || n > 8) {
    MsgBox("Error 4523");
    return false;
  }
  block.Domain = kDomainSPlane;
  int out = 0;
  for (int i = 0; i < kBesselEntries[n - 1]; ++i) {
    const BesselPole& p = kBesselPoles[n - 1][i];
    block.PoleRe[out] = p.re;
    block.PoleIm[out++] = p.im;
    if (p.im != 0) {
      block.PoleRe[out] = p.re;
      block.PoleIm[out++] = -p.im;
    }
  }
  for (int i = 0; i < n; ++i) block.AnalogGain *= std::hypot(block.PoleRe[i], block.PoleIm[i]);
  block.FilterType = kFilterTypeBessel;
  return true;
}

bool BuildShelfPrototype(FilterBlock& block, float levelDb) {
  block.NumPoles = 1;
  block.NumZeros = 1;
  block.ZeroRe[0] = -static_cast<double>(std::pow(10.0f, -levelDb / 20.0f));
  block.ZeroIm[0] = 0;
  block.PoleRe[0] = -1.0;
  block.PoleIm[0] = 0;
  block.AnalogGain = std::pow(10.0f, levelDb / 20.0f);
  return true;
}

bool ScaleFilterBlockFrequency(FilterBlock& block, double w) {
  if (block.Domain != kDomainSPlane || !CountsValid(block)) {
    MsgBox("Error 6201: Incorrect Domain");
    return false;
  }
  for (int i = 0; i < block.NumPoles; ++i) {
    block.PoleRe[i] *= w;
    block.PoleIm[i] *= w;
  }
  for (int i = 0; i < block.NumZeros; ++i) {
    block.ZeroRe[i] *= w;
    block.ZeroIm[i] *= w;
  }
  block.AnalogGain *= std::pow(w, block.NumPoles - block.NumZeros);
  return true;
}

bool LowPassToHighPass(FilterBlock& block, double factor) {
  if (block.Domain != kDomainSPlane) {
    MsgBox("Error 7021: Incorrect domain");
    return false;
  }
  if (!CountsValid(block) || block.NumZeros >= block.NumPoles) {
    MsgBox("Error 0273: #zeros >= # poles");
    return false;
  }
  if (block.NumZeros != 0) {
    MsgBox("Error 2943: Incorrect HP Transformation - Filter Not LP");
    return false;
  }
  const int n = block.NumPoles;
  for (int i = 0; i < n; ++i) {
    if (block.PoleRe[i] == 0 && block.PoleIm[i] == 0) {
      MsgBox("Error 9127: Poles at s= 0 in LP filter: Cannot transform to HP");
      return false;
    }
  }
  double pRe = 1.0, pIm = 0.0;
  for (int i = 0; i < n; ++i) ComplexMultiply(pIm, pRe, block.PoleIm[i], block.PoleRe[i], pIm, pRe);
  if (pRe == 0) {
    // A real filter's pole product is real and non-zero; anything else would divide by 0.
    MsgBox("Error 3521: Real Gain = 0");
    return false;
  }
  for (int i = 0; i < n; ++i) {
    block.ZeroRe[i] = 0;
    block.ZeroIm[i] = 0;
  }
  block.NumZeros = n;
  block.AnalogGain /= ((n % 2 == 0) ? 1.0 : -1.0) * pRe;
  for (int i = 0; i < n; ++i) {
    ComplexReciprocal(block.PoleRe[i], block.PoleIm[i]);
    block.PoleRe[i] *= factor;
    block.PoleIm[i] *= factor;
  }
  return true;
}

double PrewarpFrequency(double w, int32_t fs) {
  if (fs == 0) {
    MsgBox("Error 4834");
    return w;
  }
  const double twoFs = 2.0 * fs;
  return twoFs * std::tan(w / twoFs);
}

bool BilinearTransformFilterBlock(FilterBlock& block) {
  if (block.Domain != kDomainSPlane) {
    MsgBox("Error 7051: Incorrect domain");
    return false;
  }
  if (!CountsValid(block) || block.NumZeros > block.NumPoles) {
    MsgBox("Error 0213: #zeros <> # poles");
    return false;
  }
  if (block.samplerate == 0) {
    MsgBox("Error 3426: Filter sample rate not set -normally EQConfig.samplerate");
    return false;
  }
  const double t = block.samplerate;
  auto distance = [t](double re, double im) {
    const double a = 2.0 - re / t, b = im / t;
    return t * std::sqrt(a * a + b * b);
  };
  double d = 1.0, nGain = 1.0;
  for (int i = 0; i < block.NumPoles; ++i) d *= distance(block.PoleRe[i], block.PoleIm[i]);
  for (int i = 0; i < block.NumZeros; ++i) nGain *= distance(block.ZeroRe[i], block.ZeroIm[i]);
  block.DigitalGain = block.AnalogGain * nGain / d;
  auto map = [t](double& re, double& im) {
    const double a = re / t, b = im / t;
    const double den = (2.0 - a) * (2.0 - a) + b * b;
    re = (4.0 - a * a - b * b) / den;
    im = 4.0 * b / den;
  };
  for (int i = 0; i < block.NumPoles; ++i) map(block.PoleRe[i], block.PoleIm[i]);
  for (int i = 0; i < block.NumZeros; ++i) map(block.ZeroRe[i], block.ZeroIm[i]);
  for (int i = block.NumZeros; i < block.NumPoles; ++i) {
    block.ZeroRe[i] = -1.0;
    block.ZeroIm[i] = 0;
  }
  block.NumZeros = block.NumPoles;
  block.Domain = kDomainZPlane;
  return true;
}

bool ResonanceRoots(double Q, double w, double& re1, double& im1, double& re2, double& im2) {
  if (Q == 0) {
    MsgBox("Error 4520");
    return false;
  }
  if (!(Q > 0)) {
    MsgBox("Error 5329: Q < 0");
    return false;
  }
  if (!QuadraticRoots(1.0, w / Q, w * w, re1, im1, re2, im2)) {
    MsgBox("Error 5331: Q < 0");
    return false;
  }
  return true;
}

bool QuadraticRoots(double a, double b, double c, double& re1, double& im1, double& re2,
                    double& im2) {
  if (a == 0) {
    MsgBox("Error 9283: Non Quadratic");
    return false;
  }
  const double d = b * b - 4.0 * a * c;
  if (d < 0) {
    re1 = re2 = -b / (2.0 * a);
    im1 = std::sqrt(-d) / (2.0 * a);
    im2 = -im1;
  } else {
    const double s = std::sqrt(d);
    im1 = im2 = 0;
    re1 = (-b + s) / (2.0 * a);
    re2 = (-b - s) / (2.0 * a);
  }
  return true;
}

bool ExpandRootsToPolynomial(double* polyRe, double* polyIm, int32_t count, const double* rootRe,
                             const double* rootIm) {
  if (count < 1 || count > kMaxFilterRoots) {
    MsgBox("Error 8723: Expansion not necessary");
    return false;
  }
  polyRe[0] = 1.0;
  polyIm[0] = 0.0;
  for (int k = 0; k < count; ++k) {
    // Multiply by (x - r_k): c_j <- c_j - r_k c_(j-1), from the top down.
    polyRe[k + 1] = 0.0;
    polyIm[k + 1] = 0.0;
    for (int j = k + 1; j >= 1; --j) {
      double pIm, pRe;
      ComplexMultiply(polyIm[j - 1], polyRe[j - 1], rootIm[k], rootRe[k], pIm, pRe);
      polyRe[j] -= pRe;
      polyIm[j] -= pIm;
    }
  }
  return true;
}

bool CopyFilterBlockSection(const FilterBlock& source, FilterBlock& target, int32_t start,
                            int32_t count) {
  if (source.Domain != kDomainSPlane || !CountsValid(source) || start < 0 || count < 0 ||
      start + count > source.NumPoles) {
    MsgBox("Error 8321");
    return false;
  }
  target.samplerate = source.samplerate;
  target.Domain = source.Domain;
  target.VavevadoRovo1 = source.VavevadoRovo1;
  target.VavevadoRovo2 = source.VavevadoRovo2;
  target.FilterType = source.FilterType;
  target.Reserved1 = source.Reserved1;
  target.DigitalGain = source.DigitalGain;
  target.AnalogGain = source.AnalogGain;
  target.Reserved2 = source.Reserved2;
  target.Reserved3 = source.Reserved3;
  target.NumPoles = count;
  for (int i = 0; i < count; ++i) {
    target.PoleRe[i] = source.PoleRe[start + i];
    target.PoleIm[i] = source.PoleIm[start + i];
  }
  target.NumZeros = 0;
  if (source.NumZeros > start) {
    target.NumZeros = std::min(source.NumZeros - start, count);
    for (int i = 0; i < target.NumZeros; ++i) {
      target.ZeroRe[i] = source.ZeroRe[start + i];
      target.ZeroIm[i] = source.ZeroIm[start + i];
    }
  }
  return true;
}

namespace {

void MoveMostRealFirst(std::array<double, kMaxFilterRoots>& re,
                       std::array<double, kMaxFilterRoots>& im, int count) {
  if (count < 3 || count % 2 == 0 || count > kMaxFilterRoots) return;
  int best = 0;
  for (int i = 1; i < count; ++i)
    if (std::fabs(im[i]) < std::fabs(im[best])) best = i;
  const double r = re[best], m = im[best];
  for (int i = best; i > 0; --i) {
    re[i] = re[i - 1];
    im[i] = im[i - 1];
  }
  re[0] = r;
  im[0] = m;
}

}  // namespace

void MoveRealRootFirst(FilterBlock& block) {
  MoveMostRealFirst(block.PoleRe, block.PoleIm, block.NumPoles);
  MoveMostRealFirst(block.ZeroRe, block.ZeroIm, block.NumZeros);
}

void ComplexMultiply(double aIm, double aRe, double bIm, double bRe, double& outIm, double& outRe) {
  const double re = aRe * bRe - aIm * bIm;
  const double im = aRe * bIm + aIm * bRe;
  outRe = re;
  outIm = im;
}

bool ComplexReciprocal(double& re, double& im) {
  const double m = re * re + im * im;
  if (m == 0) return false;
  re = re / m;
  im = -im / m;
  return true;
}

double AdaptEmulationQ(float q, float w, int32_t EQEmulationCode, int32_t fs) {
  if (w == 0) MsgBox("Error 7234");
  if (fs == 0) MsgBox("Error 7235");
  if (q == 0) MsgBox("Error 7236");
  switch (EQEmulationCode) {
    case 2: {
      // sin(w0)/w0 tends to 1 as w0 -> 0, and nothing sensible exists without a rate.
      if (w == 0 || fs == 0 || !std::isfinite(w)) return q;
      const double w0 = static_cast<double>(w) / fs;
      return q * std::sin(w0) / w0;
    }
    case 1:
    case 3:
    case 4:
    case 5:
      return q;
    default:
      return 0;
  }
}

float QFromBandwidthOctaves(float bw) {
  const float s = std::sinh(0.693147181f / 2.0f * bw);
  if (!(s > 0) || !std::isfinite(s)) return 0;  // no band: no finite Q
  return 1.0f / (2.0f * s);
}

double Tangent(double x) {
  double r = 0;
  TangentC(x, r);
  return r;
}

double SquareRoot(double x) {
  double r = 0;
  SquareRootC(x, r);
  return r;
}

}  // namespace zentor
