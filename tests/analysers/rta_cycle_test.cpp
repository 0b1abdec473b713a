// The play/record cycle on the simulated card: which play positions count as
// inside the buffer, stopping with a block queued, a second Play, closing while
// running, and long runs where no block is lost.
#include <gtest/gtest.h>

#include "analyser_fixture.h"
#include "analysers/rta_eq.h"
#include "core/filter_run.h"
#include "display/graph_frame.h"
#include "measurement/wave_clients.h"

namespace zentor::test {
namespace {

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

TEST_F(RtaCycleTest, OnlyPositionsAtLeastABlockFromEitherEndCountAsInside) {
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
}

TEST_F(RtaCycleTest, StopLetsTheQueuedBlockArriveOnceAndQueuesNoMore) {
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
  EXPECT_TRUE(eq->RtaStopped);
  EXPECT_EQ(InspectStreaming().record, SlotState::Running);
  Run(8000);
  EXPECT_EQ(log.delivered, 1);  // fetched and released, nothing re-armed
  EXPECT_EQ(InspectStreaming().record, SlotState::Idle);
  EXPECT_FALSE(eq->StopRecording);
  EXPECT_EQ(InspectStreaming().play, SlotState::Idle);
}

TEST_F(RtaCycleTest, ClosingWhileRunningIsRefusedAndStoppedClosingUnhooks) {
  UseCard(Quiet());
  RTAEQ* eq = Eq();
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
  std::vector<float> h(8192, 0.0f), scratch(8192, 0.0f);
  h[0] = 1.0f;
  std::vector<FilterRecord> set(peak);
  set[0].Count = 1;
  FilterBlock block;
  RunFilterChainOnSignal(h, scratch, 13, 48000, block, set);
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
    EXPECT_GT(eq->DroppedBlocks, 0);
    EXPECT_EQ(refused, 0);
    EXPECT_GT(checked, 10);
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
