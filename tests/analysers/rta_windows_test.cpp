// The two analyser windows: their settings, refusals and order rule, and a run
// of each from the main window's menu on the simulated card, rendered to PNG.
#include <gtest/gtest.h>

#include "analyser_fixture.h"
#include "analysers/rta_eq.h"
#include "analysers/rta_imp.h"
#include "display/graph_frame.h"

namespace zentor::test {
namespace {

using RtaWindowsTest = RtaTest;

TEST_F(RtaWindowsTest, EqOrderCoversTheRingingOfTheAppliedFilters) {
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
  EXPECT_EQ(eq->MLSOrder, 12);
  EXPECT_EQ(eq->MLSOrderText->text(), "12");
  EXPECT_EQ(eq->MSPeriodText->text(), "85");
  EXPECT_EQ(eq->windowTitle(), "RTA EQ setting");
}

TEST_F(RtaWindowsTest, EqPeriodButtonsKeepTheRangeUpdateTheTextsAndStop) {
  UseCard(Quiet());
  RTAEQ* eq = Forms::Get<RTAEQ>();
  eq->Play->click();
  ASSERT_FALSE(eq->RtaStopped);
  eq->PeriodDown->click();  // already 12
  EXPECT_TRUE(eq->RtaStopped);
  EXPECT_EQ(eq->MLSOrder, 12);
  for (int i = 0; i < 4; ++i) eq->PeriodUp->click();
  EXPECT_EQ(eq->MLSOrder, 15);
  EXPECT_EQ(eq->MLSOrderText->text(), "15");
  EXPECT_EQ(eq->MSPeriodText->text(), "682");
  Pump();
  ResetAudio();
}

TEST_F(RtaWindowsTest, EqRateOutsideTheCardRateTo96000IsRefused) {
  UseCard(Quiet());
  RTAEQ* eq = Forms::Get<RTAEQ>();
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
  EXPECT_FALSE(eq->RtaStopped);
  EXPECT_EQ(eq->EQType, 2);
  EXPECT_EQ(eq->DspSampleRate, 48000);
  eq->DSPOption->click();  // a setting change stops it
  EXPECT_TRUE(eq->RtaStopped);
  eq->Picture1->click();
  EXPECT_EQ(eq->FlashLabel->text(), "Off");
  ResetAudio();
}

TEST_F(RtaWindowsTest, ImpulseSettingsAreValidatedInTurn) {
  UseCard(Quiet());
  RTAImp* imp = Forms::Get<RTAImp>();
  EXPECT_EQ(imp->windowTitle(), "Impulse/ETC RTA");
  EXPECT_EQ(imp->TimePeriod->text(), "1365");
  struct Case {
    const char *start, *finish, *lower, *upper, *message;
  };
  const Case cases[] = {
      {"-21", "0", "400", "4000", "User Error: Input must be between "},
      {"10", "10", "400", "4000", "User Error: Invalid Time Range Chosen"},
      {"10", "40.5", "400", "4000", "User Error: Input must be between "},
      {"0", "10", "199", "4000", "User Error: Input must be between "},
      {"0", "10", "1000", "1000", "User Error 2394: Invalid Frequency Range Chosen"},
      {"0", "10", "1000", "24001", "User Error: Input must be between "},
  };
  for (const Case& c : cases) {
    imp->StartTimeText->setText(c.start);
    imp->FinishTimeText->setText(c.finish);
    imp->LowerFreqText->setText(c.lower);
    imp->UpperFreqText->setText(c.upper);
    dialogs.Clear();
    dialogs.ExpectMessage();
    imp->Play->click();
    ASSERT_EQ(dialogs.MessageTexts().size(), 1u) << c.start << " " << c.finish;
    EXPECT_EQ(dialogs.MessageTexts()[0].rfind(c.message, 0), 0u) << dialogs.MessageTexts()[0];
    EXPECT_TRUE(imp->RtaStopped);
  }
  imp->StartTimeText->setText("10");
  imp->FinishTimeText->setText("40");
  imp->LowerFreqText->setText("200");
  imp->UpperFreqText->setText("24000");
  dialogs.Clear();
  imp->Play->click();
  EXPECT_FALSE(imp->RtaStopped);
  EXPECT_EQ(imp->ImpFinishTime, 40.0f);
  imp->LeftBut->click();
  EXPECT_TRUE(imp->RtaStopped);
  EXPECT_EQ(imp->MLSOrder, 15);
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

}  // namespace
}  // namespace zentor::test
