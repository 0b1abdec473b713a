#include "crossover/xover_chain.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "core/filter_run.h"
#include "platform/dialogs.h"
#include "platform/numeric/numeric.h"

namespace zentor {

namespace {

bool ApplyPass(std::span<float> samples, int32_t order, int32_t type, float cornerHz, int32_t n, int32_t setIndex,
               XoverChainContext& ctx, bool highPass) {
  if (type == kXoverNoFilter) {
    MsgBox("Error 8728: Crossover set " + std::to_string(setIndex + 1) + ": a ticked section has no filter type");
    return false;
  }
  if (order <= 0 || (type != kFilterTypeButterworth && type != kFilterTypeLinkwitzRiley &&
                     type != kFilterTypeBessel))
    return true;
  FilterBlock& b = *ctx.block;
  ClearFilterBlock(b);
  b.Domain = kDomainSPlane;
  b.NumPoles = order;
  b.NumZeros = 0;
  b.AnalogGain = 1.0;
  b.samplerate = ctx.rate;
  bool built = false;
  switch (type) {
    case kFilterTypeButterworth: built = BuildButterworthPoles(b); break;
    case kFilterTypeLinkwitzRiley: built = BuildLinkwitzRileyPrototype(b); break;
    default: built = BuildBesselPrototype(b); break;
  }
  if (!built) return false;
  if (highPass && !LowPassToHighPass(b, 1.0)) return false;
  if (!ScaleFilterBlockFrequency(b, static_cast<double>(cornerHz) * kXoverRadPerHz)) return false;
  return RunFilterBlockInSections(samples, ctx.XoverScratch, ctx.rate, n, b, *ctx.section);
}

}  // namespace

bool ApplyXoverHighPass(std::span<float> samples, int32_t order, int32_t type, float cornerHz, int32_t n,
                        int32_t setIndex, XoverChainContext& ctx) {
  return ApplyPass(samples, order, type, cornerHz, n, setIndex, ctx, true);
}

bool ApplyXoverLowPass(std::span<float> samples, int32_t order, int32_t type, float cornerHz, int32_t n,
                       int32_t setIndex, XoverChainContext& ctx) {
  return ApplyPass(samples, order, type, cornerHz, n, setIndex, ctx, false);
}

bool ApplyXoverShelf(std::span<float> samples, float freqHz, float levelDb, int32_t n, XoverChainContext& ctx) {
  FilterBlock& b = *ctx.block;
  ClearFilterBlock(b);
  b.Domain = kDomainSPlane;
  b.AnalogGain = 1.0;
  b.samplerate = ctx.rate;
  if (!BuildShelfPrototype(b, levelDb)) return false;
  if (!ScaleFilterBlockFrequency(b, static_cast<double>(freqHz) * kXoverRadPerHz)) return false;
  return RunFilterBlockInSections(samples, ctx.XoverScratch, ctx.rate, n, b, *ctx.section);
}

int32_t XoverDelaySamples(float delayMs, int32_t rate) {
  if (!(delayMs > 0) || rate <= 0) return 0;
  const double s = std::nearbyint(static_cast<double>(delayMs) * 0.001 * rate);
  return s > 1e9 ? 1000000000 : static_cast<int32_t>(s);
}

void ApplyXoverEQFile(std::span<float> samples, int32_t n, const XoverSetRecord& set, XoverChainContext& ctx) {
  const int32_t count = std::clamp(set.EQFilterCount, 0, kXoverEQFilters);
  FilterBlock& b = *ctx.block;
  // The sections run together once built; a failure still applies those before it.
  DigitalSectionCascade cascade;
  struct RunAtExit {
    const DigitalSectionCascade& c;
    std::span<float> x;
    int32_t n;
    ~RunAtExit() { c.Run(x, n); }
  } runAtExit{cascade, samples, n};
  for (int32_t i = 0; i < count; ++i) {
    const double q1 = set.EQQ1[size_t(i)];
    const double a = std::fabs(q1), bq = std::fabs(set.EQQ2[size_t(i)]);
    const double f = set.EQFreq[size_t(i)];
    if (a == 0) MsgBox("error 4824");
    if (bq == 0) MsgBox("error 4825");
    const double w = PrewarpFrequency(f, ctx.rate);
    // Equal magnitudes give unit gain; without a sign of q1 neither assignment applies.
    if (a == bq || a == 0) continue;
    const double a2 = AdaptEmulationQ(static_cast<float>(a), static_cast<float>(f), set.EQEmulationCode, ctx.rate);
    const double b2 = AdaptEmulationQ(static_cast<float>(bq), static_cast<float>(f), set.EQEmulationCode, ctx.rate);
    if (b2 < 0.05) MsgBox("Error 4929");
    const double zq = q1 < 0 ? b2 : a2;
    const double pq = q1 < 0 ? a2 : b2;
    if (!PeakingSectionBlock(zq, pq, w, ctx.rate, b)) {
      MsgBox("Error 3934");
      return;
    }
    if (!BilinearTransformFilterBlock(b)) {
      MsgBox("Error 7125");
      continue;
    }
    if (!cascade.Add(b)) {
      MsgBox("Error 3934");
      return;
    }
  }
}

bool ApplyXoverSet(const XoverSetRecord& s, int32_t setIndex, std::span<float> samples, int32_t n,
                   XoverChainContext& ctx) {
  if (s.HPOn == 1 && !ApplyXoverHighPass(samples, s.HPOrder, s.HPType, s.HPCorner, n, setIndex, ctx)) return false;
  if (s.HP2On == 1 && !ApplyXoverHighPass(samples, s.HP2Order, s.HP2Type, s.HP2Corner, n, setIndex, ctx))
    return false;
  if (s.LPOn == 1 && !ApplyXoverLowPass(samples, s.LPOrder, s.LPType, s.LPCorner, n, setIndex, ctx)) return false;
  if (s.LP2On == 1 && !ApplyXoverLowPass(samples, s.LP2Order, s.LP2Type, s.LP2Corner, n, setIndex, ctx))
    return false;
  if (s.Shelf1On == 1 && !ApplyXoverShelf(samples, static_cast<float>(s.Shelf1Freq), s.Shelf1Level, n, ctx))
    return false;
  if (s.Shelf2On == 1 && !ApplyXoverShelf(samples, static_cast<float>(s.Shelf2Freq), s.Shelf2Level, n, ctx))
    return false;
  float factor = s.GainDb == 0 ? 1.0f : static_cast<float>(std::pow(10.0, static_cast<double>(s.GainDb) / 20.0));
  if (s.InvertFlag == 1) factor = -factor;
  if (factor != 1.0f) MultSingleByConst(samples, factor, n);
  const int32_t shift = XoverDelaySamples(s.DelayMs, ctx.rate);
  if (shift > 0) RotateImpulseRightC(n, samples, shift % std::max(n, 1));
  if (s.EQFileOn == 1) ApplyXoverEQFile(samples, n, s, ctx);
  return true;
}

}  // namespace zentor
