// The two analyser windows: their settings, refusals and order rule, a run of each from
// the main window's menu, and the play/record cycle on the simulated card.
#include <gtest/gtest.h>

#include "analyser_fixture.h"
#include "analysers/rta_eq.h"
#include "analysers/rta_imp.h"
#include "display/graph_frame.h"
#include "measurement/wave_clients.h"

namespace zentor::test {
namespace {

using RtaWindowsTest = RtaTest;

TEST_F(RtaWindowsTest, EqOrderCoversTheRingingOfTheFiltersTheButtonsKeepTheRangeAndSettingsAreChecked) {
  EXPECT_EQ(RtaOrderForAppliedFilters(48000), 12);
  FilterRecord dip = PeakFilter(100, -12, 2);
  dip.Q1 = 10;  // 13.8 x 10 / 628.3 s = 0.2196 s: 5271 samples
  dip.Q2 = 2.5f;
  ApplyFilters({dip});
  EXPECT_EQ(RtaOrderForAppliedFilters(48000), 13);
  ApplyFilters({dip, PeakFilter(20, -12, 40)});
  EXPECT_EQ(RtaOrderForAppliedFilters(48000), 15);
  FilterRecord still = dip;
  still.Freq1 = 0.01f;  // no meaningful ringing: skipped
  ApplyFilters({still});
  EXPECT_EQ(RtaOrderForAppliedFilters(48000), 12);
  RTAEQ* eq = Forms::Get<RTAEQ>();
  EXPECT_EQ(std::tuple(eq->MLSOrder, eq->MLSOrderText->text(), eq->MSPeriodText->text(), eq->windowTitle()),
            std::tuple(12, "12", "85", "RTA EQ setting"));
  // The period buttons keep the range, update the texts and stop a run.
  AppliedFilters[0].Count = 0;
  UseCard(Quiet());
  eq->Play->click();
  ASSERT_FALSE(eq->RtaStopped);
  eq->PeriodDown->click();  // already 12
  EXPECT_TRUE(eq->RtaStopped && eq->MLSOrder == 12);
  for (int i = 0; i < 4; ++i) eq->PeriodUp->click();
  EXPECT_EQ(std::tuple(eq->MLSOrder, eq->MLSOrderText->text(), eq->MSPeriodText->text()), std::tuple(15, "15", "682"));
  // A rate outside the card's rate to 96000 is refused.
  for (const char* text : {"44100", "96001", "x"}) {
    eq->SampleRateText->setText(text);
    dialogs.ExpectMessage();
    eq->Play->click();
    EXPECT_TRUE(eq->RtaStopped) << text;
  }
  EXPECT_EQ(dialogs.MessageTexts().size(), 3u);
  eq->AnalogueOption->click();
  eq->SampleRateText->setText("48000");
  eq->Play->click();
  EXPECT_EQ(std::tuple(eq->RtaStopped, eq->EQType, eq->DspSampleRate), std::tuple(false, 2, 48000));
  eq->DSPOption->click();  // a setting change stops it
  EXPECT_TRUE(eq->RtaStopped);
  eq->Picture1->click();
  EXPECT_EQ(eq->FlashLabel->text(), "Off");
  ResetAudio();

  // The impulse window's settings are validated in turn.
  RTAImp* imp = Forms::Get<RTAImp>();
  EXPECT_EQ(std::tuple(imp->windowTitle(), imp->TimePeriod->text()), std::tuple("Impulse/ETC RTA", "1365"));
  // Start, finish, lower, upper, and the start of the message (none: accepted).
  const std::array<const char*, 5> cases[] = {
      {"-21", "0", "400", "4000", "User Error: Input must be between "},
      {"10", "10", "400", "4000", "User Error: Invalid Time Range Chosen"},
      {"10", "40.5", "400", "4000", "User Error: Input must be between "},
      {"0", "10", "199", "4000", "User Error: Input must be between "},
      {"0", "10", "1000", "1000", "User Error 2394: Invalid Frequency Range Chosen"},
      {"0", "10", "1000", "24001", "User Error: Input must be between "},
      {"10", "40", "200", "24000", nullptr},
  };
  for (const auto& [start, finish, lower, upper, message] : cases) {
    for (const auto& [field, text] : {std::pair{imp->StartTimeText, start}, {imp->FinishTimeText, finish},
                                      {imp->LowerFreqText, lower}, {imp->UpperFreqText, upper}})
      field->setText(text);
    dialogs.Clear();
    if (message) dialogs.ExpectMessage();
    imp->Play->click();
    ASSERT_EQ(dialogs.MessageTexts().size(), message ? 1u : 0u) << start << " " << finish;
    if (message) {
      EXPECT_EQ(dialogs.MessageTexts()[0].rfind(message, 0), 0u) << dialogs.MessageTexts()[0];
    }
    EXPECT_EQ(imp->RtaStopped, message != nullptr);
  }
  EXPECT_EQ(imp->ImpFinishTime, 40.0f);
  imp->LeftBut->click();
  EXPECT_EQ(std::pair(imp->RtaStopped, imp->MLSOrder), std::pair(true, 15));
  ResetAudio();
}

TEST_F(RtaWindowsTest, BothRunFromTheMenuOnTheSimulatedCard) {
  w->MainGraphOverride = nullptr;
  w->resize(1000, 750);
  SimulatedCardSettings s = Quiet();
  s.blockSize = 4096;
  s.room = std::vector<double>(97, 0.0);
  s.room[96] = 0.5;  // a 2 ms delay at half level
  UseCard(s);
  ApplyFilters({PeakFilter(1000, 6, 2)});
  int frames = 0;
  FromMenu<RTAEQ>(w->EQSetUpRTAMenue, [&](RTAEQ* eq) {
    eq->Play->click();
    Run(4 * 48000);
    frames = int(eq->AnalysedBlocks);
    Shoot(eq, w->Picture1->Image(), "rta_eq");
    eq->stop->click();
    Run(8192);
  });
  EXPECT_GT(frames, 20);
  float peakAt = -1;
  FromMenu<RTAImp>(w->ImpulseRTA, [&](RTAImp* imp) {
    imp->Play->click();
    Run(5 * 48000);
    const CurveRecord& c = SingleViewCurves[0];
    const auto at = std::max_element(c.YValues.begin(), c.YValues.begin() + c.NumPoints) - c.YValues.begin();
    peakAt = c.XValues[size_t(at)];
    Shoot(imp, w->Picture1->Image(), "rta_imp");
    imp->ETCBut->click();
    imp->Play->click();  // at once after the stop, with a block still queued
    EXPECT_FALSE(imp->RtaStopped);
    Run(5 * 48000);
    Shoot(imp, w->Picture1->Image(), "rta_etc");
    EXPECT_NEAR(*std::max_element(c.YValues.begin(), c.YValues.begin() + 2000), 30.0f, 1e-3);
    imp->StopBut->click();
    Run(1 << 16);
  });
  EXPECT_NEAR(peakAt, 2.0f, 1e-3);
}

// Notes each record block delivered to a window before its procedure sees it.
class BlockLog : public QObject {
 public:
  explicit BlockLog(QWidget* window) { window->installEventFilter(this); }
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == WaveEvent::EventType() && static_cast<WaveEvent*>(e)->message() == MM_WIM_DATA) {
      starts.push_back(InspectStreaming().recordStartFrame);
      ++delivered;
    }
    return false;
  }
  std::vector<int64_t> starts;
  int delivered = 0;
};

class RtaCycleTest : public RtaTest {
 protected:
  RTAEQ* Eq() { return Forms::Get<RTAEQ>(); }
  // Runs the manual clock one card cycle at a time until the play position reaches target.
  static void AdvanceTo(int32_t target) {
    const int32_t block = SimulatedSoundCard::Instance().Settings().blockSize;
    for (int guard = 0; GetTimePointer() < target && guard < (1 << 20); ++guard)
      SimulatedSoundCard::Instance().Advance(block);
  }
};

TEST_F(RtaCycleTest, InsidePositionsStopLetsTheQueuedBlockArriveOnceAndClosingWaitsForTheStop) {
  constexpr int32_t n = 4096, length = RtaCycle::kPlayLength;
  for (const int32_t target : {n - 1, n, length - n, length - n + 1}) {
    SimulatedCardSettings s = Quiet();
    s.blockSize = 16;
    s.latency = 480 + (16 - (target + 480) % 16) % 16;  // so the position reaches target exactly
    UseCard(s);
    RTAEQ* eq = Eq();
    eq->Play->click();
    ASSERT_FALSE(eq->RtaStopped);
    AdvanceTo(target);
    ASSERT_EQ(GetTimePointer(), target);
    EXPECT_EQ(eq->CheckPlayPointerLocation(), target == n || target == length - n) << target;
    eq->stop->click();
    ResetAudio();
    Pump();
    Forms::Unload<RTAEQ>();
    CloseIdleWaveStream();
  }

  // Stop lets the queued block arrive once; closing waits for the stop.
  UseCard(Quiet());
  RTAEQ* eq = Eq();
  BlockLog log(eq);
  eq->Play->click();
  const uint64_t job = InspectStreaming().playJob;
  eq->Play->click();  // a second press while running prepares nothing
  EXPECT_EQ(InspectStreaming().playJob, job);
  Run(4000);
  EXPECT_EQ(log.delivered, 0);
  eq->stop->click();
  EXPECT_TRUE(eq->RtaStopped && InspectStreaming().record == SlotState::Running);
  Run(8000);
  EXPECT_EQ(log.delivered, 1);  // fetched and released, nothing re-armed
  EXPECT_TRUE(InspectStreaming().record == SlotState::Idle && InspectStreaming().play == SlotState::Idle);
  EXPECT_FALSE(eq->StopRecording);
  // Closing while running is refused; stopped, it closes.
  eq->Play->click();
  dialogs.ExpectMessage();
  dialogs.ExpectMessage();
  EXPECT_FALSE(Forms::Unload<RTAEQ>());
  EXPECT_FALSE(eq->close());
  EXPECT_EQ(dialogs.MessageTexts(),
            std::vector<std::string>(2, "User Error: The RTA must be stopped before closing"));
  EXPECT_FALSE(eq->RtaStopped);
  eq->stop->click();
  EXPECT_TRUE(Forms::Unload<RTAEQ>());
  EXPECT_EQ(dialogs.MessageTexts().size(), 2u);
}

// Through the card: a DSP at the card's own rate running the applied filters.
TEST_F(RtaCycleTest, LongRunsLoseNoBlockAndReadFlatThroughAnEqualiserSetAsDesigned) {
  const std::vector<FilterRecord> peak{PeakFilter(1000, 6, 2)};
  const std::vector<float> h = ChainImpulse(peak, 13, 48000);
  ApplyFilters(peak);
  FreqGraphFrame.XStart = 16;
  FreqGraphFrame.XFinish = 20000;
  for (const int32_t order : {12, 15}) {
    SimulatedCardSettings s = Quiet();
    s.blockSize = 4096;
    s.latency = 480;
    s.room.assign(h.begin(), h.end());
    UseCard(s);
    RTAEQ* eq = Eq();
    while (eq->MLSOrder < order) eq->PeriodUp->click();
    eq->SampleRateText->setText("48000");
    BlockLog log(eq);
    int analysed = 0, refused = 0, checked = 0;
    double worst = 0;
    WaveClientHooks.UpdateEQRTA = [&] {
      ++analysed;
      if (!RtaReady) ++refused;
      UpdateEQRTA();
      const int32_t n = 1 << order, at = GetTimePointer();
      if (at < n + 2000 || at > RtaCycle::kPlayLength - 2000) return;  // block near a fade
      ++checked;
      for (int32_t i = 0; i < SingleViewCurves[0].NumPoints; ++i)
        if (SingleViewCurves[0].XValues[size_t(i)] >= 20)
          worst = std::max(worst, double(std::fabs(SingleViewCurves[1].YValues[size_t(i)])));
    };
    eq->Play->click();
    ASSERT_FALSE(eq->RtaStopped);
    Run(25 * 48000);
    eq->stop->click();
    Run(1 << 16);
    const int32_t n = 1 << order;
    ASSERT_GT(log.delivered, 20);
    for (size_t i = 1; i < log.starts.size(); ++i) ASSERT_EQ(log.starts[i] - log.starts[i - 1], n) << i;
    EXPECT_EQ(analysed, eq->AnalysedBlocks);
    EXPECT_EQ(eq->AnalysedBlocks + eq->DroppedBlocks, log.delivered);
    EXPECT_TRUE(eq->DroppedBlocks > 0 && refused == 0 && checked > 10) << refused << " " << checked;
    EXPECT_LT(worst, 0.5) << order;
    Forms::Unload<RTAEQ>();
    ResetAudio();
    Pump();
    CloseIdleWaveStream();
    InstallRtaLinks();
  }
}

}  // namespace
}  // namespace zentor::test
