// The filter chain and the model against analytic responses (a direct DFT of the
// filtered impulse), the workers' message order, and the .XVR file's layout and refusals.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstring>
#include <limits>
#include <numbers>
#include <span>
#include <tuple>

#include "crossover/xover_chain.h"
#include "crossover/xover_form.h"
#include "crossover/xover_model.h"
#include "crossover/xover_record.h"
#include "display/curve_workers.h"
#include "platform/kept_messages.h"
#include "tools/tools_fixture.h"

namespace zentor::test {
namespace {

constexpr int32_t kRate = 48000;
constexpr int32_t kExp = 15;
constexpr int32_t kLen = 1 << kExp;
constexpr int32_t kAt = 4000;  // the measured impulse, clear of the 25 ms tapers

// The spectrum of x at hz, with time zero at sample `at`.
std::complex<double> Dft(std::span<const float> x, double hz, int32_t at = 0) {
  std::complex<double> acc = 0;
  const double w = 2 * std::numbers::pi * hz / kRate;
  for (int32_t i = 0; i < kLen; ++i) acc += double(x[size_t(i)]) * std::polar(1.0, -w * (i - at));
  return acc;
}
std::complex<double> Dft(int32_t curve, double hz) { return Dft(ImpulseSet[size_t(curve)], hz, kAt); }
double Db(std::complex<double> h) { return 20 * std::log10(std::abs(h)); }

// One way's chain over a unit impulse.
struct Chain {
  std::vector<float> x = std::vector<float>(kLen), scratch = std::vector<float>(kLen);
  FilterBlock block{}, section{};
  XoverChainContext ctx{scratch, &block, &section, kRate};
  Chain() { x[0] = 1.0f; }
  bool Run(const XoverSetRecord& s, int32_t set = 0) { return ApplyXoverSet(s, set, x, kLen, ctx); }
  double DbAt(double hz) const { return Db(Dft(x, hz)); }
};

// Analogue corner lands here after the bilinear transform without prewarp.
double Warped(double hz) { return kRate / std::numbers::pi * std::atan(hz * 6.283 / 2 / kRate); }

// Analogue fourth-order Linkwitz-Riley at the corner the chain designs, evaluated
// where the bilinear transform maps hz.
std::complex<double> Lr4(double hz, double cornerHz, bool high) {
  const double omega = 2.0 * kRate * std::tan(std::numbers::pi * hz / kRate);
  const std::complex<double> s(0, omega / (cornerHz * 6.283));
  const std::complex<double> b2 = 1.0 / (s * s + std::sqrt(2.0) * s + 1.0);
  return high ? (s * s * b2) * (s * s * b2) : b2 * b2;
}

XoverSetRecord Lr(bool high, int32_t order, float corner) {
  XoverSetRecord r;
  (high ? r.HPOn : r.LPOn) = 1;
  (high ? r.HPType : r.LPType) = kFilterTypeLinkwitzRiley;
  (high ? r.HPOrder : r.LPOrder) = order;
  (high ? r.HPCorner : r.LPCorner) = corner;
  return r;
}

class XoverChainTest : public ZentorTest {};

// Clears what was asked and expects n plain messages.
void ExpectMessages(ScriptedDialogs& dialogs, size_t n) {
  dialogs.Clear();
  while (n-- > 0) dialogs.ExpectMessage();
}

// Inversion and a plain set are checked through the sums below (order 2 needs the inversion).
TEST_F(XoverChainTest, DelaysButterworthAndShelfMatchTheirAnalyticFormsAndFailingSectionsEndTheChain) {
  for (const auto& [ms, samples] : {std::pair{1.0f, 48}, {0.010f, 0}, {0.011f, 1}, {0.0f, 0}, {-1.0f, 0}})
    EXPECT_EQ(XoverDelaySamples(ms, kRate), samples) << ms;
  Chain c, sh, lr3, skipped;
  XoverSetRecord s, t, u, v;
  s.HPOn = 1, s.HPType = kFilterTypeButterworth, s.HPOrder = 4, s.HPCorner = 1000;
  ASSERT_TRUE(c.Run(s));
  EXPECT_NEAR(c.DbAt(Warped(1000)), -3.01, 0.05);
  EXPECT_NEAR(c.DbAt(10000), 0.0, 0.05);
  t.Shelf1On = 1, t.Shelf1Freq = 1000, t.Shelf1Level = 6.0206f, t.GainDb = -6.0206f;
  ASSERT_TRUE(sh.Run(t));
  EXPECT_NEAR(sh.DbAt(20), -6.02, 0.05);
  EXPECT_NEAR(sh.DbAt(20000), 0.0, 0.05);
  // A failing section ends the chain (a ticked section without a type: see the workers' test).
  u.LPOn = 1, u.LPType = kFilterTypeLinkwitzRiley, u.LPOrder = 3, u.GainDb = 6;
  dialogs.ExpectMessage();
  EXPECT_FALSE(lr3.Run(u));
  EXPECT_EQ(dialogs.MessageTexts().size(), 1u);
  EXPECT_EQ(lr3.x[0], 1.0f);  // gain never applied
  // Constant Sum and order 0 are passed over.
  v.HPOn = 1, v.HPType = kXoverConstantSum, v.HPOrder = 4;
  v.LPOn = 1, v.LPType = kFilterTypeButterworth, v.LPOrder = 0;
  EXPECT_TRUE(skipped.Run(v));
  EXPECT_EQ(skipped.x[0], 1.0f);
}

class XoverModelTest : public ToolsTest {
 protected:
  // Curve k holds an impulse of 1 + step x k at kAt.
  void Load(int32_t n, float step = 0.25f) {
    SetMainDisplayForXover();
    LoadSet(n, kRate, kExp, [step](int32_t k, int32_t i) { return i == kAt ? 1.0f + step * float(k) : 0.0f; });
    model.TakeBackup();
  }
  bool Run(const XoverSetArray& sets, XoverView view) { return RunXoverModel(model, sets, view, *w); }
  XoverModel model;
};

// What one way's chain says when it runs alone over a unit impulse.
std::vector<std::string> ChainMessages(const XoverSetRecord& set, int32_t setIndex) {
  Chain chain;
  std::vector<KeptMessage> kept;
  {
    const KeepMessages keep(kept);
    chain.Run(set, setIndex);
  }
  std::vector<std::string> texts;
  for (const KeptMessage& m : kept) texts.push_back(m.text);
  return texts;
}

// Averaged sums against closed forms: a Linkwitz-Riley pair gives 0.5 x allpass (order 2
// with one way inverted), three ways the sum of the analogue products, a delayed way a comb.
TEST_F(XoverModelTest, SumsFollowTheirClosedFormsAndWorkersKeepTheOrderOfARun) {
  XoverSetRecord mid = Lr(true, 4, 200), lr2 = Lr(true, 2, 2000), delayed;
  mid.LPOn = 1, mid.LPType = kFilterTypeLinkwitzRiley, mid.LPOrder = 4, mid.LPCorner = 2000;
  lr2.InvertFlag = 1, delayed.DelayMs = 0.5f;
  const auto half = [](double) { return 0.5; };
  const struct { const char* name; XoverSetArray sets; double (*want)(double hz); } rows[] = {
      {"LR2 inverted", {Lr(false, 2, 2000), lr2, {}}, half},
      {"LR4", {Lr(false, 4, 2000), Lr(true, 4, 2000), {}}, half},
      {"LR8", {Lr(false, 8, 2000), Lr(true, 8, 2000), {}}, half},
      {"three ways", {Lr(false, 4, 200), mid, Lr(true, 4, 2000)},
       [](double f) {
         return std::abs(Lr4(f, 200, false) + Lr4(f, 200, true) * Lr4(f, 2000, false) + Lr4(f, 2000, true)) / 3;
       }},
      {"delayed way", {XoverSetRecord{}, delayed, {}},
       [](double f) { return std::abs(std::cos(std::numbers::pi * f * 0.0005)); }}};
  for (const auto& row : rows) {
    const int32_t ways = row.sets[2].HPOn ? 3 : 2;
    Load(ways, 0);
    XoverSetArray sets = row.sets;
    sets[0].Ways = ways;
    ASSERT_TRUE(Run(sets, XoverView::Sum)) << row.name;
    ASSERT_EQ(ResultsDataSetInfo[0].NumInSet, 1) << row.name;
    for (double f = 20; f <= 20000; f *= 1.2)
      if (Db(row.want(f)) > -20) { EXPECT_NEAR(Db(Dft(0, f) / row.want(f)), 0.0, 0.05) << row.name << " " << f; }
  }
  // The oracles are not trivially flat: the three-way form dips, and the order-2 pair
  // without the inversion has a notch at the corner.
  double deepest = 0;
  for (double f = 20; f <= 20000; f *= 1.2) deepest = std::min(deepest, Db(3 * rows[3].want(f)));
  EXPECT_LT(deepest, -0.05);
  Chain lo, hi;
  ASSERT_TRUE(lo.Run(Lr(false, 2, 2000)));
  ASSERT_TRUE(hi.Run(Lr(true, 2, 2000), 1));
  EXPECT_LT(Db(Dft(lo.x, Warped(2000)) + Dft(hi.x, Warped(2000))), -20.0);

  // The chains run on several workers, yet the store and the messages are those of a
  // run one chain after another: messages group by group, way by way, and a failing
  // way ends the run with the messages it raised.
  XoverSetArray sets{Lr(false, 8, 2000), Lr(true, 8, 2000), {}};
  sets[0].Ways = 2;
  for (XoverSetRecord* s : {&sets[0], &sets[1]})
    s->EQFileOn = 1, s->EQFilterCount = 1, s->EQEmulationCode = 1, s->EQFreq[0] = 6283;
  sets[0].EQQ1[0] = 0, sets[0].EQQ2[0] = 2;  // no sign to tell boost from cut
  sets[1].EQQ1[0] = 2, sets[1].EQQ2[0] = 0;  // no pole Q
  const std::vector<std::string> way0 = ChainMessages(sets[0], 0), way1 = ChainMessages(sets[1], 1);
  ASSERT_TRUE(!way0.empty() && !way1.empty() && way0 != way1);
  std::vector<std::string> inOrder;
  for (int g = 0; g < 3; ++g)
    for (const auto* way : {&way0, &way1}) inOrder.insert(inOrder.end(), way->begin(), way->end());
  QByteArray stores[2];
  for (int32_t workers : {1, 4}) {
    CurveWorkerLimit = workers;
    Load(6);
    ExpectMessages(dialogs, inOrder.size());
    ASSERT_TRUE(Run(sets, XoverView::Sum));
    EXPECT_EQ(dialogs.MessageTexts(), inOrder) << workers;
    EXPECT_EQ(ResultsDataSetInfo[0].NumInSet, 3);
    stores[workers == 1 ? 0 : 1] = StoreFingerprint();
  }
  EXPECT_EQ(stores[0], stores[1]);

  sets[1].LPOn = 1, sets[1].LPType = kXoverNoFilter, sets[1].LPCorner = 1000;
  Load(6);
  ExpectMessages(dialogs, way0.size() + 1);
  EXPECT_FALSE(Run(sets, XoverView::Sum));
  std::vector<std::string> failed = way0;
  failed.push_back("Error 8728: Crossover set 2: a ticked section has no filter type");
  EXPECT_EQ(dialogs.MessageTexts(), failed);
  EXPECT_EQ(ResultsDataSetInfo[0].NumInSet, 0);
}

TEST_F(XoverModelTest, GroupsTakeTheirWaysCurvesAndBaseHeadersRefusalsAndRestore) {
  Load(4);
  for (int32_t k = 0; k < 4; ++k) ResultsDataSetInfo[size_t(k)].MeasuredDistance = float(k + 1);
  ResultsDataSetInfo[3].PeriodExponent = 16;
  model.TakeBackup();
  XoverSetArray sets{};
  sets[0].Ways = 2;
  ASSERT_TRUE(Run(sets, XoverView::Set2));
  ASSERT_EQ(ResultsDataSetInfo[0].NumInSet, 2);
  const auto& h = ResultsDataSetInfo;
  EXPECT_EQ(std::tuple(ImpulseSet[0][kAt], h[0].MeasuredDistance, h[0].PeriodExponent), std::tuple(1.25f, 1.0f, 15));
  EXPECT_EQ(std::tuple(ImpulseSet[1][kAt], h[1].MeasuredDistance, h[1].PeriodExponent), std::tuple(1.75f, 3.0f, 16));
  const QByteArray once = StoreFingerprint();
  ASSERT_TRUE(Run(sets, XoverView::Set2));
  EXPECT_EQ(StoreFingerprint(), once);

  Load(7);
  sets[0].Ways = 3;
  ASSERT_TRUE(Run(sets, XoverView::Set3));
  EXPECT_EQ(std::pair(ResultsDataSetInfo[0].NumInSet, ImpulseSet[1][kAt]), std::pair(2, 1.0f + 0.25f * 5));

  // Refusals and the restore.
  Load(1);
  sets = {};
  sets[0].Ways = 2;
  ExpectMessages(dialogs, 1);
  EXPECT_FALSE(Run(sets, XoverView::Sum));
  EXPECT_EQ(dialogs.MessageTexts(), std::vector<std::string>{"User Error: Not Enough Measurements To Run This Filter"});
  EXPECT_EQ(ResultsDataSetInfo[0].NumInSet, 0);

  Load(4);
  const QByteArray measured = StoreFingerprint();
  sets[1].HPOn = 1, sets[1].HPType = kFilterTypeButterworth, sets[1].HPOrder = 2, sets[1].HPCorner = 22000;
  ExpectMessages(dialogs, 1);
  EXPECT_FALSE(Run(sets, XoverView::Sum));
  EXPECT_EQ(dialogs.MessageTexts(), std::vector<std::string>{
      "Error 8730: Crossover frequencies must lie between 15 Hz and 0.45 times the sample rate"});
  EXPECT_EQ(StoreFingerprint(), measured);
  EXPECT_TRUE(Run(sets, XoverView::Set1));  // set 2's corner is not used there
  EXPECT_NE(StoreFingerprint(), measured);
  model.RestoreBackup();
  EXPECT_EQ(StoreFingerprint(), measured);
  // The rate check takes only the curves of the run.
  sets[1] = {}, sets[0] = Lr(false, 4, 8000), sets[0].Ways = 2;  // below 0.45 x 48 kHz, above 0.45 x 12 kHz
  Load(5);
  model.SavedHeaders[1].SampleRate = model.SavedHeaders[4].SampleRate = 12000;  // set 2's, and an unused one
  EXPECT_TRUE(Run(sets, XoverView::Set1));
  dialogs.ExpectMessage();
  EXPECT_FALSE(Run(sets, XoverView::Sum));  // the sum filters curve 2 as well
}

XoverSetRecord Sentinels(int32_t base) {
  XoverSetRecord r;
  r.Ways = 3, r.HPType = base + 1, r.LPType = base + 2, r.HPOrder = 3, r.LPOrder = 4;
  r.HPCorner = 101.5f, r.LPCorner = 202.5f, r.LP2On = base + 9, r.Shelf1Freq = base + 19;
  r.DelayMs = 1.25f, r.InvertFlag = 0x1234, r.EQPathCodes[1] = 0x41, r.EQPathCodes[500] = 0x5A;
  r.EQPathLength = 77, r.EQFilterCount = 75, r.EQFileOn = base + 31, r.EQEmulationCode = base + 32;
  r.EQFreq[0] = 1.5, r.EQFreq[74] = 2.5, r.EQQ1[0] = -3.5, r.EQQ2[74] = 4.5;
  for (size_t k = 0; k < r.Spare.size(); ++k) r.Spare[k] = uint8_t(k + 1);
  return r;
}

class XoverFileDisk : public ToolsTest {};

TEST_F(XoverFileDisk, FieldsLandAtTheirOffsetsOpenThenSaveIsByteIdenticalBadFilesAreRefusedAndClearKeepsWays) {
  XoverSetArray sets{Sentinels(0), Sentinels(100), Sentinels(200)};
  const std::vector<uint8_t> b = BuildXoverFile(sets);
  ASSERT_EQ(b.size(), 12006u);
  for (size_t r = 0; r < 3; ++r) {
    const size_t o = r * 4002;
    const double base = double(r) * 100;
    const std::pair<size_t, double> ints[] = {{0, 3},          {4, base + 1},     {64, base + 9},   {76, base + 19},
                                              {102 + 4, 0x41}, {102 + 2000, 0x5A}, {2106, 77},      {2110, 75},
                                              {2114, base + 31}, {2118, base + 32}};
    for (const auto& [at, v] : ints) EXPECT_EQ(At<int32_t>(b, o + at), v) << r << " at " << at;
    for (const auto& [at, v] : {std::pair{20, 101.5f}, {96, 1.25f}}) EXPECT_EQ(At<float>(b, o + at), v) << at;
    for (const auto& [at, v] : {std::pair{2122, 1.5}, {2122 + 8 * 74, 2.5}, {2722, -3.5}, {3322 + 8 * 74, 4.5}})
      EXPECT_EQ(At<double>(b, o + at), v) << r << " at " << at;
    EXPECT_EQ(At<int16_t>(b, o + 100), 0x1234);
    EXPECT_EQ(b[o + 3922], 1);
    EXPECT_EQ(b[o + 4001], 80);
  }
  // Open then save is byte-identical; bad files are refused.
  std::vector<uint8_t> bytes = b, longer = b;
  bytes[3950] = longer[3950] = 0xEE;  // unused bytes come back as read
  longer.resize(13000, 0x55);         // longer files open
  const std::string path = TempPath("in.XVR"), out = TempPath("out.XVR");
  WriteFile(path, longer);
  XoverSetArray held{};
  ASSERT_TRUE(ReadXoverFile(path, held));
  ASSERT_TRUE(WriteXoverFile(out, held));
  EXPECT_EQ(ReadFile(out), bytes);
  EXPECT_TRUE(dialogs.MessageTexts().empty());
  held = {}, held[1].GainDb = 7;
  const std::vector<uint8_t> before = BuildXoverFile(held);
  const auto refused = [&](const std::vector<uint8_t>& file) {
    WriteFile(path, file);
    ExpectMessages(dialogs, 1);
    const bool read = ReadXoverFile(path, held);
    return !read && dialogs.MessageTexts().size() == 1 &&
           dialogs.MessageTexts()[0].starts_with("EQ File Error 4332: " + path + ": ") &&
           BuildXoverFile(held) == before;
  };
  for (size_t len = 0; len < b.size(); len += (len < 20 ? 1 : 997))
    EXPECT_TRUE(refused({b.begin(), b.begin() + ptrdiff_t(len)})) << len;
  EXPECT_TRUE(refused({b.begin(), b.end() - 1}));
  const auto patched = [&](size_t off, auto v) {
    std::vector<uint8_t> f = b;
    std::memcpy(f.data() + off, &v, sizeof v);
    return f;
  };
  // Path and filter counts out of range, unknown section switches, non-finite numbers.
  const std::vector<uint8_t> bad[] = {patched(4002 + 2106, int32_t{501}), patched(2106, int32_t{-1}),
                                      patched(8004 + 2110, int32_t{76}),  patched(12, int32_t{9}),
                                      patched(4002 + 48, int32_t{-1}),
                                      patched(92, std::numeric_limits<float>::quiet_NaN()),
                                      patched(2722 + 8, std::numeric_limits<double>::infinity())};
  for (size_t k = 0; k < std::size(bad); ++k) EXPECT_TRUE(refused(bad[k])) << "patch " << k;
  // Type 10, unknown types and any Ways are accepted.
  std::vector<uint8_t> odd = patched(4, int32_t{10});
  std::memcpy(odd.data(), "\x07\0\0\0", 4);
  WriteFile(path, odd);
  EXPECT_TRUE(ReadXoverFile(path, held));
  EXPECT_EQ(held[0].HPType, 10);
  // Clear keeps the ways, the inversion and the path codes; the captions are checked
  // through the window's type buttons.
  sets[2].EQFilterCount = 1;
  ClearXoverSets(sets);
  for (const XoverSetRecord& r : sets) {
    EXPECT_EQ(std::tuple(r.Ways, r.InvertFlag, r.EQPathCodes[500]), std::tuple(3, int16_t{0x1234}, 0x5A));
    EXPECT_EQ(std::tuple(r.HPType, r.DelayMs, r.EQPathLength, r.EQFilterCount, r.EQFreq[0]),
              std::tuple(0, 0.0f, 0, 0, 0.0));
  }
  EXPECT_EQ(sets[0].EQFreq[74], 0);
  EXPECT_EQ(sets[2].EQFreq[74], 2.5);  // beyond the count in use
}

}  // namespace
}  // namespace zentor::test
