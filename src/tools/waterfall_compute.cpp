#include "tools/waterfall_compute.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "base/text_number.h"
#include "core/filter_design.h"
#include "display/curve_workers.h"
#include "platform/dialogs.h"
#include "platform/numeric/numeric.h"

namespace zentor {

namespace {

constexpr int32_t kFloorFirstSlice = 29;
constexpr int32_t kFloorLastSlice = 33;
// Sections evaluated together on one worker; fixed, so the product is formed in the
// same order whatever the number of workers.
constexpr size_t kSectionsPerJob = 8;
static_assert(2 * kSectionsPerJob <= kMaxFilterRoots);

int32_t SliceCount(const WaterfallSlice& s) { return std::clamp(s.Count, 0, kWaterfallSliceSize); }

// One peaking section for a filter, made digital; false when the filter adds nothing
// (flat) or cannot be built.
bool DesignSection(const FilterSnapshot& f, int32_t k, int32_t rate, FilterBlock& block) {
  const float q1 = f.Q1[static_cast<size_t>(k)];
  const float q2 = f.Q2[static_cast<size_t>(k)];
  const float w0 = f.Freq1[static_cast<size_t>(k)];
  // A zero Q1 carries no sign to tell a boost from a cut: flat.
  if (q1 == 0 || std::fabs(q1) == std::fabs(q2)) return false;
  // At or above half the rate the pre-warped section would be unstable.
  if (!(w0 > 0) || !(w0 < std::numbers::pi * rate)) {
    MsgBox("Error 7122");
    return false;
  }
  const int32_t code = f.EQEmulationCode[static_cast<size_t>(k)];
  const double w = PrewarpFrequency(w0, rate);
  const double qa = AdaptEmulationQ(std::fabs(q1), w0, code, rate);
  const double qb = AdaptEmulationQ(std::fabs(q2), w0, code, rate);
  if (qb < 0.05) MsgBox("Error 4929");
  const double zeroQ = q1 < 0 ? qb : qa;
  const double poleQ = q1 < 0 ? qa : qb;
  if (!PeakingSectionBlock(zeroQ, poleQ, w, rate, block)) return false;
  if (!BilinearTransformFilterBlock(block)) {
    MsgBox("Error 7122");
    return false;
  }
  return true;
}

void ApplySection(const FilterBlock& b, std::span<float> re, std::span<float> im, int32_t n, int32_t rate) {
  ComplexZFilterC(re, im, n, rate, b.PoleRe, b.PoleIm, b.ZeroRe, b.ZeroIm, b.NumPoles, b.NumZeros, b.Domain,
                  b.AnalogGain, b.DigitalGain);
}

}  // namespace

bool WaterfallSettingsEqual(const WaterfallSettings& a, const WaterfallSettings& b) {
  return a.GateTime == b.GateTime && a.Lower == b.Lower && a.Upper == b.Upper;
}

int32_t SnapshotCount(const FilterSnapshot& s) {
  if (!(s.Count > 0)) return 0;
  return static_cast<int32_t>(std::min(s.Count, static_cast<float>(kMaxFilters)));
}

void SnapshotAppliedFilters(FilterSnapshot& into) {
  into = FilterSnapshot{};
  const int32_t count = std::clamp(AppliedFilters[0].Count, 0, kMaxFilters);
  for (int32_t k = 0; k < count; ++k) {
    const FilterRecord& r = AppliedFilters[static_cast<size_t>(k)];
    const auto i = static_cast<size_t>(k);
    into.Freq1[i] = r.Freq1;
    into.Q1[i] = r.Q1;
    into.Q2[i] = r.Q2;
    into.EQEmulationCode[i] = r.EQEmulationCode;
  }
  into.Count = static_cast<float>(count);
}

void CopyFilterSnapshot(const FilterSnapshot& from, FilterSnapshot& to) { to = from; }

bool FilterSnapshotsEqual(const FilterSnapshot& a, const FilterSnapshot& b) {
  if (a.Count != b.Count) return false;
  for (size_t i = 0; i < static_cast<size_t>(SnapshotCount(a)); ++i)
    if (a.Freq1[i] != b.Freq1[i] || a.Q1[i] != b.Q1[i] || a.Q2[i] != b.Q2[i] ||
        a.EQEmulationCode[i] != b.EQEmulationCode[i])
      return false;
  return true;
}

std::string GetSpanText(float gate) { return FormatSingle(2.0f * gate); }

float WaterfallSpan(float gate, int32_t rate, int32_t storedExponent) {
  float span = 2.0f * gate;
  if (rate <= 0 || !std::isfinite(gate)) return 0;
  const double lengthMs = std::ldexp(1.0, std::clamp(storedExponent, 0, kWaterfallOrder)) / rate * 1000.0;
  const double needed = 1.5 * gate + span + kWaterfallReferenceMs;
  if (lengthMs < needed) span = static_cast<float>(lengthMs - 1.5 * gate - kWaterfallReferenceMs - 10.0);
  return span;
}

bool MakeSliceGeometry(int32_t rate, int32_t k, float gate, float span, SliceGeometry& g) {
  g = SliceGeometry{};
  if (rate <= 0 || k < 1 || k > kWaterfallOrder || !(gate > 0) || !std::isfinite(gate) || !(span > 0) ||
      !std::isfinite(span))
    return false;
  g.Rate = rate;
  g.K = k;
  g.Gate = gate;
  g.Step = span / static_cast<float>(kWaterfallSlices);
  g.Bin = static_cast<double>(rate) / std::ldexp(1.0, k);
  g.LowBin = CLng(1000.0 / gate / g.Bin);
  g.Reference = CLng(rate * 0.05);
  const double nyquist = RoundHalfEven(rate / 2.0);
  // A point's own frequency must lie below Nyquist, or it would be a mirror bin.
  int32_t count = 0;
  while (count < kWaterfallPoints && static_cast<double>(g.LowBin + count) * g.Bin < nyquist) ++count;
  g.Count = count;
  return count > 0;
}

void FillSliceFrequencies(const SliceGeometry& g, std::span<float> freqs) {
  const auto n = std::min<size_t>(static_cast<size_t>(std::max(g.Count, 0)), freqs.size());
  for (size_t j = 0; j < n; ++j) freqs[j] = static_cast<float>(static_cast<double>(g.LowBin + int32_t(j)) * g.Bin);
}

int32_t FormEqualiserResponse(const FilterSnapshot& filters, int32_t rate, int32_t order, std::span<float> hRe,
                              std::span<float> hIm) {
  if (order < 1 || order > kWaterfallOrder || rate <= 0) return -1;
  const int32_t n = int32_t{1} << order;
  if (hRe.size() < size_t(n) || hIm.size() < size_t(n)) return -1;
  std::fill_n(hRe.begin(), n, 1.0f);
  std::fill_n(hIm.begin(), n, 0.0f);

  // Designed here, where the messages may be shown; evaluated on the workers.
  std::vector<FilterBlock> sections;
  for (int32_t k = 0; k < SnapshotCount(filters); ++k)
    if (DesignSection(filters, k, rate, WorkFilterBlock)) sections.push_back(WorkFilterBlock);
  if (sections.empty()) return 0;

  // Consecutive sections are joined into one set of roots, so each bin's frequency is
  // evaluated once per group rather than once per section.
  const auto jobs = static_cast<int32_t>((sections.size() + kSectionsPerJob - 1) / kSectionsPerJob);
  std::vector<std::vector<float>> parts(static_cast<size_t>(jobs));
  ComputeAndFileInOrder(
      jobs,
      [&](int32_t j, const WorkerScratch&) {
        const size_t first = static_cast<size_t>(j) * kSectionsPerJob;
        const size_t last = std::min(first + kSectionsPerJob, sections.size());
        FilterBlock group;
        ClearFilterBlock(group);
        group.samplerate = rate;
        group.Domain = kDomainZPlane;
        for (size_t s = first; s < last; ++s) {
          const FilterBlock& b = sections[s];
          for (int32_t r = 0; r < 2; ++r) {
            const auto at = static_cast<size_t>(group.NumPoles);
            group.PoleRe[at] = b.PoleRe[size_t(r)];
            group.PoleIm[at] = b.PoleIm[size_t(r)];
            group.ZeroRe[at] = b.ZeroRe[size_t(r)];
            group.ZeroIm[at] = b.ZeroIm[size_t(r)];
            ++group.NumPoles;
            ++group.NumZeros;
          }
          group.DigitalGain *= b.DigitalGain;
        }
        std::vector<float>& p = parts[static_cast<size_t>(j)];
        p.assign(2 * static_cast<size_t>(n), 0.0f);
        const std::span<float> re(p.data(), size_t(n)), im(p.data() + n, size_t(n));
        std::fill(re.begin(), re.end(), 1.0f);
        ApplySection(group, re, im, n, rate);
      },
      [&](int32_t j, bool faulted) {
        std::vector<float>& p = parts[static_cast<size_t>(j)];
        if (!faulted)
          MultiplyComplexArrays(hRe, hIm, std::span<const float>(p.data(), size_t(n)),
                                std::span<const float>(p.data() + n, size_t(n)), order);
        std::vector<float>().swap(p);
        return true;
      });
  return static_cast<int32_t>(sections.size());
}

bool ApplyEqualiserToImpulse(std::span<float> re, std::span<float> im, int32_t order, std::span<const float> hRe,
                             std::span<const float> hIm) {
  if (order < 1 || order > kWaterfallOrder) return false;
  const int32_t n = int32_t{1} << order;
  ClearArray(im, n);
  if (!fft(re, im, order)) return false;
  if (!MultiplyComplexArrays(re, im, hRe, hIm, order)) return false;
  return ifft(re, im, order);
}

bool ComputeCurveSlices(std::span<const float> impulse, const SliceGeometry& g, std::span<const float> hRe,
                        std::span<const float> hIm, std::span<float> levels, std::span<float> scratchA,
                        std::span<float> scratchB, int32_t firstSlice, int32_t endSlice) {
  constexpr size_t n = size_t{1} << kWaterfallOrder;
  firstSlice = std::clamp(firstSlice, 0, kWaterfallSlices);
  endSlice = std::clamp(endSlice, firstSlice, kWaterfallSlices);
  if (g.Count <= 0 || g.K < 1 || g.K > kWaterfallOrder || scratchA.size() < 2 * n || scratchB.size() < 2 * n ||
      levels.size() < size_t(kWaterfallSlices) * kWaterfallPoints)
    return false;
  const auto m = size_t{1} << g.K;
  const std::span<float> re = scratchA.first(n);
  const std::span<float> reIm = scratchA.subspan(n, n);
  const std::span<float> slice = scratchB.first(m);
  const std::span<float> sliceIm = scratchB.subspan(n, m);

  // A whole impulse taken as it is is gated where it lies; otherwise it is copied
  // (and padded, and filtered) first.
  const bool equalise = hRe.size() >= n && hIm.size() >= n;
  std::span<const float> gated = impulse.first(std::min(n, impulse.size()));
  bool filtered = true;
  if (equalise || gated.size() < n) {
    std::copy(gated.begin(), gated.end(), re.begin());
    std::fill(re.begin() + static_cast<std::ptrdiff_t>(gated.size()), re.end(), 0.0f);
    if (equalise) filtered = ApplyEqualiserToImpulse(re, reIm, kWaterfallOrder, hRe, hIm);
    gated = re;
  }

  const auto count = static_cast<size_t>(g.Count);
  const auto low = static_cast<size_t>(g.LowBin);
  for (int32_t s = firstSlice; s < endSlice; ++s) {
    // Only the first 2^k samples of the gated slice enter the transform.
    ApplySliceGate(gated, slice, g.Reference, g.Gate, g.Rate, int32_t(n), static_cast<float>(s) * g.Step);
    ClearArray(sliceIm, int32_t(m));
    fft(slice, sliceIm, g.K);
    MagArraySquared(slice, sliceIm, slice, int32_t(m));
    float* out = levels.data() + static_cast<size_t>(s) * kWaterfallPoints;
    for (size_t j = 0; j < count && low + j < m; ++j) out[j] = slice[low + j];
  }
  return filtered;
}

float GetWaterfallPeakLevel(const WaterfallSliceSet& slices, float lower, float upper) {
  float peak = -10000.0f;
  const int32_t count = SliceCount(slices[0]);
  for (const WaterfallSlice& s : slices)
    for (size_t i = 0; i < static_cast<size_t>(count); ++i) {
      // Without a branch, so the loop runs on vectors; a NaN level is passed over.
      const float v = s.Freqs[i] >= lower && s.Freqs[i] <= upper ? s.Levels[i] : peak;
      peak = v > peak ? v : peak;
    }
  return peak + 1.0f;
}

float GetWaterfallFloorLevel(const WaterfallSliceSet& slices) {
  const int32_t count = SliceCount(slices[0]);
  double sum = 0;
  int64_t points = 0;
  for (int32_t s = kFloorFirstSlice; s <= kFloorLastSlice; ++s)
    for (size_t i = 0; i < static_cast<size_t>(count); ++i) {
      sum += slices[static_cast<size_t>(s)].Levels[i];
      ++points;
    }
  if (points == 0) {
    MsgBox("error 5297");
    return 0;
  }
  return static_cast<float>(sum / static_cast<double>(points));
}

}  // namespace zentor
