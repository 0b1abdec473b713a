// Measurements through a real JACK server and the program's own client: the
// program's outputs wired to its inputs, then a known filter and delay between
// them; the levels check and the real-time analyser on the same wiring.
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>
#include <cmath>
#include <vector>

#include "analysers/rta_eq.h"
#include "base/text_number.h"
#include "core/results_store.h"
#include "core/work_arrays.h"
#include "display/view_state.h"
#include "jack_fixture.h"
#include "platform/numeric/numeric.h"

namespace zentor::test {
namespace {

constexpr double kHigh = 20000;

class JackMeasureTest : public JackTest {
 protected:
  double MicSn() { return Val(Forms::Get<AudioForm>()->RightSN->text().toStdString()); }
};

// Each excitation from the lowest frequency it measures flat: the MLS is cut
// below its crossover, and the sweep's impulse ripples by up to 0.6 dB below
// 60 Hz on a perfect loopback too.
struct Excitation {
  const char* name;
  int32_t config;
  double lowHz;
};
class LoopbackTest : public JackMeasureTest, public ::testing::WithParamInterface<Excitation> {};

TEST_P(LoopbackTest, GivesAFlatImpulseWithTheLatencyRemoved) {
  patch.Wire(JackPatch::Wiring::Loopback);
  Measure(GetParam().config);
  ASSERT_EQ(ResultsDataSetInfo[0].NumInSet, 1);
  EXPECT_TRUE(dialogs.MessageTexts().empty());
  // The card's latency of some thousand frames is gone: the impulse stands at
  // 50 ms, where the reference is put.
  EXPECT_NEAR(ResultsDataSetInfo[0].ImpulseShift, -2400, 1);
  const auto peak = std::max_element(ImpulseSet[0].begin(), ImpulseSet[0].begin() + (1 << 16),
                                     [](float a, float b) { return std::abs(a) < std::abs(b); });
  EXPECT_NEAR(peak - ImpulseSet[0].begin(), 2400, 1);
  EXPECT_LE(Flatness(Response(0, GetParam().lowHz)), 0.1);
  const double sn = MicSn();

  // The simulated card as a loopback too, with its noise.
  SimulatedCardSettings s;
  s.clock = SimulatedCardSettings::Clock::Manual;
  s.blockSize = 8192;
  s.room = {1.0};
  s.referenceGain = 1.0;
  UseCard(s);
  WaveDeviceId = Sim();
  Forms::Get<AudioForm>()->Test->click();
  for (int i = 0; i < 200 && SoundCardBusy; ++i) Run(8192);
  ASSERT_EQ(ResultsDataSetInfo[0].NumInSet, 2);
  EXPECT_GE(sn + 0.15, MicSn());  // one step of the shown figure
}

INSTANTIATE_TEST_SUITE_P(Excitations, LoopbackTest,
                         ::testing::Values(Excitation{"Hybrid", 43, 20}, Excitation{"Mls", 42, 400},
                                           Excitation{"Sweep", 87, 65}),
                         [](const auto& i) { return std::string(i.param.name); });

TEST_F(JackMeasureTest, RecoversAKnownFilterAndDelayBetweenOutputAndInput) {
  constexpr int kDelay = 144;  // 3 ms
  const Biquad peak = Biquad::Peaking(1000, 6, 1.4, 48000);
  patch.Wire(JackPatch::Wiring::Through);
  Measure(87);
  patch.Wire(JackPatch::Wiring::Through, 1, peak, kDelay);
  Measure(87);
  ASSERT_EQ(ResultsDataSetInfo[0].NumInSet, 2);
  // The filter's own phase near its peak may put the impulse's peak one sample on
  // (a pure delay measures exact).
  EXPECT_NEAR(ResultsDataSetInfo[1].ImpulseShift - ResultsDataSetInfo[0].ImpulseShift, kDelay, 1);
  const std::vector<Level> plain = Response(0), filtered = Response(1);
  ASSERT_EQ(plain.size(), filtered.size());
  double worst = 0;
  for (std::size_t i = 0; i < plain.size(); ++i)
    worst = std::max(worst, std::abs(filtered[i].db - plain[i].db - peak.MagnitudeDb(plain[i].hz, 48000)));
  EXPECT_LE(worst, 0.1);
  EXPECT_TRUE(dialogs.MessageTexts().empty());
}

TEST_F(JackMeasureTest, LevelsCheckAndTheAnalyserRunOnTheLoopback) {
  patch.Wire(JackPatch::Wiring::Loopback);
  AudioForm* f = Forms::Get<AudioForm>();
  f->RefreshRunSettings();
  f->Levels->click();
  ASSERT_TRUE(WaitWhile([] { return SoundCardBusy; }));
  EXPECT_TRUE(dialogs.MessageTexts().empty());
  EXPECT_EQ(DisplayConfig.Graphshown, 4);
  EXPECT_EQ(ResultsDataSetInfo[0].NumInSet, 0);

  // Output over input, no filters applied: flat.
  AppliedFilters[0].Count = 0;
  RTAEQ* rta = Forms::Get<RTAEQ>();
  rta->Play->click();
  ASSERT_FALSE(rta->RtaStopped);
  ASSERT_TRUE(WaitWhile([rta] { return rta->AnalysedBlocks < 4; }));
  const CurveRecord& c = SingleViewCurves[0];
  double lo = 1e9, hi = -1e9;
  for (int32_t i = 0; i < c.NumPoints; ++i) {
    if (c.XValues[i] < 20 || c.XValues[i] > kHigh) continue;
    lo = std::min<double>(lo, c.YValues[i]);
    hi = std::max<double>(hi, c.YValues[i]);
  }
  EXPECT_LE(hi - lo, 0.2) << lo << " .. " << hi;
  rta->stop->click();
  ASSERT_TRUE(WaitWhile([] { return !CardIdle(); }));
  EXPECT_TRUE(Forms::Unload<RTAEQ>());
  // The measurement window, open all along, measures right after.
  Measure(87);
  EXPECT_EQ(ResultsDataSetInfo[0].NumInSet, 1);
  EXPECT_TRUE(dialogs.MessageTexts().empty());
}

// The command line picks the card by the name the sound-card window shows.
TEST_F(JackMeasureTest, TheCommandLineMeasuresThroughTheServerByName) {
  patch.Wire(JackPatch::Wiring::Loopback);
  const QString out = QString::fromStdString(TempPath("cli.cfa"));
  QString json, err;
  ASSERT_EQ(RunZentor({"measure", "--device", "system", "--excitation", "hybrid", "--period", "16", "--out", out,
                       "--json"},
                      json, err),
            0)
      << err.toStdString();
  EXPECT_TRUE(json.contains("\"results\": 1")) << json.toStdString();
  EXPECT_TRUE(json.contains("\"dropouts\": ")) << json.toStdString();
  EXPECT_TRUE(OnlyOwnLines(err)) << err.toStdString();
  EXPECT_TRUE(QFile::exists(out));
}

}  // namespace
}  // namespace zentor::test
