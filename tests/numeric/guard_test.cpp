// Every function at the longest lengths its callers use, on buffers bordered by NaN
// sentinels, and with counts larger than the spans: the borders must stay intact and
// no NaN may appear inside (the sanitizer build checks the memory side).
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "platform/numeric/numeric.h"

namespace zentor {
namespace {

constexpr std::size_t kPad = 64;

template <class T>
struct Guarded {
  Guarded(std::size_t n, T fill) : store(n + 2 * kPad, Sentinel()), n(n) { std::fill_n(&store[kPad], n, fill); }
  std::span<T> s() { return std::span<T>(store).subspan(kPad, n); }
  std::span<const T> c() const { return std::span<const T>(store).subspan(kPad, n); }
  T& operator[](std::size_t i) { return store[kPad + i]; }
  void Check(const char* what) const {
    const T sentinel = Sentinel();
    for (std::size_t i = 0; i < kPad; ++i) {
      ASSERT_EQ(std::memcmp(&store[i], &sentinel, sizeof(T)), 0) << what << " wrote before its span";
      ASSERT_EQ(std::memcmp(&store[kPad + n + i], &sentinel, sizeof(T)), 0) << what << " wrote after its span";
    }
    if constexpr (std::is_floating_point_v<T>) {
      for (std::size_t i = 0; i < n; ++i) ASSERT_FALSE(std::isnan(store[kPad + i])) << what << " at " << i;
    }
  }
  static T Sentinel() {
    if constexpr (std::is_floating_point_v<T>) return std::numeric_limits<T>::quiet_NaN();
    else return T{0x5A5A};
  }
  std::vector<T> store;
  std::size_t n;
};

constexpr int32_t kN = 1 << 17;
constexpr int32_t kPoints = 2001;

TEST(Guards, EveryFunctionStaysInsideItsSpansAtItsLongestLengths) {
  Guarded<float> a(kN, 0.5f), b(kN, -0.25f), out(kN, 0.0f);
  Guarded<double> d(kN, 2.0), d2(kN, 1.0);
  Guarded<int16_t> i16(kN, 1000);
  const int32_t over = kN + 1000;  // counts beyond the spans are clamped
  AddArray(a.c(), b.c(), out.s(), over);
  SubtractCurves(a.c(), b.c(), out.s(), over);
  MultiplyArray(a.c(), b.c(), out.s(), over);
  MagArraySquared(a.c(), b.c(), out.s(), over);
  LogMagArray(out.s(), a.c(), b.c(), over);
  CopySingle(a.c(), out.s(), over);
  MultSingleByConst(out.s(), over, 3.0f);
  SquareSingle(out.s(), over);
  TenLogTenArray(out.s(), over);
  TenPowerValueOverTen(out.s(), over);
  CheckForNegatives(out.s(), over);
  CopySingleToDouble(a.c(), d.s(), over);
  AddDoubleArray(d.c(), d2.c(), d.s(), over);
  TenLogTenDoubleArray(d.s(), over);
  TenPowerValueOverTen(d.s(), over);
  TwentyLogTenDoubleArray(d.s(), over);
  TenPowerValueOverTwenty(d.s(), over);
  CopyDoubleToSingle(d.c(), out.s(), over);
  CopySingleToInt(a.c(), i16.s(), over);
  CopyIntToSingle(i16.c(), out.s(), over);
  TaperStartOfImpulseC(out.s(), over);
  TaperEndOfImpulseC(out.s(), over, over);
  TaperStartOfIntegerArrayC(i16.s(), over);
  TaperEndOfIntegerArrayC(i16.s(), 200, over);
  RotateImpulseLeftC(over, out.s(), 12345);
  RotateImpulseRightC(over, out.s(), 999);
  float v = 0;
  FindMaxValue(a.c(), over, v);
  FindMinValue(a.c(), over, v);
  int32_t idx = 0;
  FindImpulseC(a.c(), over, idx);
  double sum = 0;
  IntegrateSingle(a.c(), kN - 10, 1000, sum);
  IntegrateSingle(a.c(), -10, 1000, sum);
  SquareAndSumSingle(a.c(), over, sum);
  Guarded<float> slope(1, 0.0f);
  LinearExtrapolationC(a.c(), b.c(), -5, over, slope.s());
  GetSymmetricalPsycologicalGaussianWindow(out.s(), over, 100.0f);
  ClearArray(out.s(), over);
  ClearDoubleArray(d.s(), over);
  for (auto* g : {&a, &b, &out}) g->Check("array op");
  d.Check("double op");
  i16.Check("int op");
  slope.Check("slope");

  Guarded<float> h(kN, 0.0f), dst(kN, 0.0f), x(kPoints, 0.0f), lv(kPoints, 0.0f);
  h[2400] = 1.0f;
  Guarded<float> calF(1001, 0.0f), calDb(1001, 0.0f);
  for (int i = 0; i < 1001; ++i) {
    calF[i] = 20.0f + 20.0f * i;
    calDb[i] = 0.001f * i;
  }
  ApplySliceGate(h.c(), dst.s(), 2400, 2000.0f, 48000, kN + 100, 100.0f);
  ApplySliceGate(h.c(), dst.s(), kN - 1, 2000.0f, 48000, kN, 0.0f);
  ASSERT_TRUE(GetLogResponse(h.c(), 2000.0f, 0.1f, 2400, kPoints + 10, x.s(), lv.s(), 17, 48000, calF.c(),
                             calDb.c(), 1100));
  ASSERT_TRUE(GetPhsycologicalResponse(h.c(), kN + 10, 0.3f, 50.0f, 200.0f, -20.0f, 2400, kPoints + 10, x.s(), lv.s(),
                                       48000, 20000.0f, calF.c(), calDb.c(), 1100));
  AmplitudeCalibration(x.c(), lv.s(), kPoints + 10, calF.c(), calDb.c(), 1100);
  for (auto* g : {&h, &dst, &x, &lv, &calF, &calDb}) g->Check("responses");
  // Refusals leave the outputs untouched.
  EXPECT_FALSE(GetLogResponse(h.c(), 10.0f, 0.1f, 2400, 10, x.s(), lv.s(), 25, 48000, {}, {}, 0));
  EXPECT_FALSE(GetPhsycologicalResponse(h.c(), kN, 0.3f, 10.0f, 20.0f, -10.0f, kN + 5, 10, x.s(), lv.s(), 48000,
                                        20000.0f, {}, {}, 0));

  const int32_t big = 1 << 20;
  Guarded<float> re(big, 0.5f), im(big, 0.0f);  // no bin near 0: the reciprocal stays in range
  re[3] = 1.0f;
  ASSERT_TRUE(fft(re.s(), im.s(), 20));
  ASSERT_TRUE(ifft(re.s(), im.s(), 20));
  ASSERT_TRUE(InvertComplexArrayC(re.s(), im.s(), 20));
  ASSERT_TRUE(MultiplyComplexArrays(re.s(), im.s(), re.c(), im.c(), 20));
  ASSERT_TRUE(EnergyEnvelope(re.c(), re.s(), 20));
  re.Check("transforms");
  im.Check("transforms");

  Guarded<float> in(kN, 0.0f), y(kN, 0.0f), win(3600, 1.0f / 3600);
  in[100] = 1.0f;
  ASSERT_TRUE(Convolute(in.c(), y.s(), win.c(), kN + 50, 3700));
  ASSERT_TRUE(NewConvolute(in.c(), y.s(), win.c(), kN, 72));
  Guarded<double> num(76, 0.01), den(76, 0.0);
  den[0] = 1.0;
  ASSERT_TRUE(RecursiveFilter(num.c(), 80, den.c(), 80, in.c(), y.s(), kN + 5, 1.0));
  Guarded<double> pr(75, -100.0), pi(75, 10.0), zr(75, -50.0), zi(75, 0.0);
  Guarded<double> lin(kPoints, 1.0);
  Guarded<float> f(kPoints, 1000.0f);
  FilterFrequencyDomainLinArrayC(lin.s(), f.c(), kPoints + 9, 48000, pr.c(), pi.c(), zr.c(), zi.c(), 80, 80,
                                 kAnalogDomain, 1.0, 1.0);
  Guarded<float> sr(kN, 1.0f), si(kN, 0.0f);
  ComplexZFilterC(sr.s(), si.s(), kN, 48000, pr.c(), pi.c(), zr.c(), zi.c(), 75, 75, kAnalogDomain, 1e-3, 1.0);
  Guarded<float> rta(kN, 0.1f), bins(kPoints, 5000.0f);
  ASSERT_TRUE(GetRTASingleResponse(bins.c(), rta.s(), kPoints + 20, 17));
  Guarded<float> rs(1 << 18, 0.25f);
  ASSERT_TRUE(ReSample(rs.s(), 48000.0f, 44100.0f, 44100, (1 << 18) + 100, 100));
  Guarded<float> shape(1 << 15, -3.0f), scratch(1 << 18, 0.0f);
  Guarded<int16_t> sweep(1 << 18, 0);
  ASSERT_TRUE(BuildTestSignal(shape.c(), (1 << 15) + 7, sweep.s(), 1 << 18, 15000, 48000, 5.0f, 23760.0f, scratch.s()));
  sweep.Check("test signal");
  shape.Check("test signal");
  for (auto* g : {&in, &y, &win, &f, &sr, &si, &rta, &bins, &rs}) g->Check("filters");
  for (auto* g : {&num, &den, &pr, &pi, &zr, &zi, &lin}) g->Check("filter roots");
}

}  // namespace
}  // namespace zentor
