// The one redraw road of the main window: which builder runs with which reuse
// count, the gate controls, the view buttons and menus, and the accessors.
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTest>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "core/records.h"
#include "core/test_signals.h"
#include "display/color_form.h"
#include "display/dispatcher.h"
#include "display/graph_frame.h"
#include "main_window_fixture.h"
#include "support/builder_recorder.h"
#include "display/view_state.h"
#include "platform/forms.h"

namespace zentor {
namespace {

using test::BuilderCall;
using test::BuilderRecorder;

class DispatchTest : public test::MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    rb.Install();
    w = Forms::Get<DataPlotter>();
    w->Form_Load();
    startup = Take();
  }

  void LoadSet(int32_t n) {
    test::LoadCachedSet(n);
    rb.calls.clear();
  }
  std::vector<BuilderCall> Take() { return rb.Take(); }

  void TypeGate(const char* text) {
    w->GateText->setText(text);
    QTest::keyClick(w->GateText, Qt::Key_Return);
  }

  DataPlotter* w = nullptr;
  BuilderRecorder rb;
  std::vector<BuilderCall> startup;
  MeasurementHeader& set = ResultsDataSetInfo[0];
};

using Calls = std::vector<BuilderCall>;

// ---- start-up ----------------------------------------------------------------

TEST_F(DispatchTest, StartUpDrawsTheImpulseViewAndFillsTheTwoToneTable) {
  ASSERT_FALSE(startup.empty());
  for (const BuilderCall& c : startup) EXPECT_EQ(c, (BuilderCall{"ShowMainImpulseSet", kRedrawFiledCurves}));
  EXPECT_TRUE(w->TimeBut->isChecked());
  EXPECT_EQ(w->GateText->text(), "0");  // nothing loaded: a zero gate in the small range
  EXPECT_TRUE(w->SmallGate->isChecked());
  EXPECT_EQ(FractOctLevelsChanged, kFalse);

  const TestCDSettings& p = CDSignalParams;
  EXPECT_EQ(p.ToneCount, 20);
  EXPECT_EQ(p.SampleRate, 44100);
  EXPECT_EQ(p.Order, 16);
  EXPECT_FLOAT_EQ(p.FirstToneFreqA, 10000.0f);
  EXPECT_FLOAT_EQ(p.FirstToneFreqB, 10250.0f);
  for (int i = 0; i < 20; ++i) {
    // Bin spacing of a 2^16-point transform at 44.1 kHz; no value lies near a half.
    EXPECT_EQ(p.LeftToneBins[i], std::lround((10250.0 + 500.0 * i) / (44100.0 / 65536.0))) << i;
    EXPECT_EQ(p.RightToneBins[i], std::lround((10000.0 + 500.0 * i) / (44100.0 / 65536.0))) << i;
  }
  EXPECT_EQ(p.LeftToneBins[0], 15232);  // 15232.29
  EXPECT_EQ(p.RightToneBins[0], 14861);  // 14860.77

  ASSERT_TRUE(ColorFormHooks.DisplayResults);  // the colour window redraws through the main window
  ColorFormHooks.DisplayResults();
  EXPECT_EQ(Take(), (Calls{{"ShowMainImpulseSet", kRedrawFiledCurves}}));
}

// ---- view buttons and menus -----------------------------------------------------------

TEST_F(DispatchTest, NoiseAndSliceButtonsRedrawTheirCaches) {
  LoadSet(3);
  QTest::mouseClick(w->NoiseBut, Qt::LeftButton);
  QTest::mouseClick(w->ModalBut, Qt::LeftButton);
  w->SNRatioMenu->trigger();
  EXPECT_EQ(Take(), (Calls{{"ShowNoiseResponseSet", 3}, {"ShowModalResponseSet", 3}, {"ShowNoiseResponseSet", 3}}));
  EXPECT_TRUE(w->NoiseBut->isChecked());
  EXPECT_EQ(DisplayConfig.Graphshown, kNoiseView);
}

// The time and frequency settings, the Display button and the call from code.
TEST_F(DispatchTest, DisplayOptionsNeedDataAndOpenForTheViewShown) {
  std::vector<int32_t> opened;
  ViewWindowHooks.ShowDisplayOptions = [&](int32_t which) { opened.push_back(which); };
  for (int k = 0; k < 3; ++k) dialogs.ExpectMessage();
  w->TimeSettings->trigger();
  w->FrequencyOptions->trigger();
  w->ShowDisplayOptions();
  ASSERT_EQ(dialogs.calls().size(), 3u);
  for (const auto& c : dialogs.calls()) {
    EXPECT_EQ(c.text, " Data must be loaded before parameters can be set");
    EXPECT_EQ(c.icon, MsgIcon::Exclamation);
    EXPECT_EQ(c.title, "Mirabelt Zentor");
  }
  EXPECT_TRUE(opened.empty());
  LoadSet(1);
  w->TimeSettings->trigger();
  w->FrequencyOptions->trigger();
  w->TimeBut->setChecked(true);
  w->Display->click();
  w->FreqBut->setChecked(true);
  w->ShowDisplayOptions();
  w->SetBusy(kTrue);
  w->ShowDisplayOptions();
  w->SetBusy(kFalse);
  EXPECT_EQ(opened, (std::vector<int32_t>{3, 4, 3, 4}));
}

// ---- gate controls --------------------------------------------------------------------------

TEST_F(DispatchTest, SliderMovesTheGateOfTheViewShown) {
  LoadSet(2);
  DisplayConfig.Graphshown = kNoiseView;
  set.NoiseGateTime = 10;
  zentor::UpdateGateControls(*w);
  ASSERT_TRUE(w->SmallGate->isChecked());

  // Small range: hundredths, never below 1 ms; scrolling shows but does not redraw.
  w->Slider1->setSliderDown(true);
  w->Slider1->setSliderPosition(50);
  EXPECT_FLOAT_EQ(set.NoiseGateTime, 1.0f);
  EXPECT_EQ(w->GateText->text(), "1");
  EXPECT_TRUE(Take().empty());
  w->Slider1->setSliderPosition(1555);
  EXPECT_FLOAT_EQ(set.NoiseGateTime, 15.55f);
  w->Slider1->setSliderDown(false);  // release: the change applies
  EXPECT_EQ(Take(), (Calls{{"ShowNoiseResponseSet", 0}}));
  EXPECT_FLOAT_EQ(StaticConfig.NoiseGateTime, 15.55f);

  // A keyboard step is a change without a press.
  w->Largegate->click();
  w->Slider1->setValue(300);
  EXPECT_FLOAT_EQ(set.NoiseGateTime, 300.0f);
  EXPECT_EQ(w->GateText->text(), "300");
  EXPECT_EQ(Take(), (Calls{{"ShowNoiseResponseSet", 0}}));

  // The levels view moves the impulse gate; the noise-energy view redraws its cache.
  DisplayConfig.Graphshown = kLevelsView;
  w->Slider1->setValue(40);
  EXPECT_FLOAT_EQ(set.ImpulseGateTime, 40.0f);
  EXPECT_TRUE(Take().empty());
  DisplayConfig.Graphshown = kPsdView;
  w->Slider1->setValue(41);
  EXPECT_EQ(Take(), (Calls{{"ShowPSDEnergy", 2}}));

  // In the gate box only Enter acts.
  DisplayConfig.Graphshown = kNoiseView;
  w->UpdateNoiseDisplay();
  Take();
  QTest::keyClick(w->GateText, Qt::Key_A);
  QTest::keyClick(w->GateText, Qt::Key_Tab);
  EXPECT_TRUE(Take().empty());
  TypeGate("2");
  EXPECT_FLOAT_EQ(set.NoiseGateTime, 2.0f);
  EXPECT_EQ(Take(), (Calls{{"ShowNoiseResponseSet", 0}}));
}

TEST_F(DispatchTest, FillingControlsFromCodeNeverChangesTheView) {
  LoadSet(2);
  DisplayConfig.FFTSelected = kTrue;
  DisplayConfig.Graphshown = kBodeView;
  w->FreqBut_Click();
  Take();
  const MeasurementHeader before = set;
  for (float g : {0.1f, 19.99f, 20.0f, 20.5f, 900.0f, 5.0f}) {
    set.FreqRespGateTime = g;
    zentor::UpdateGateControls(*w);
    EXPECT_FLOAT_EQ(set.FreqRespGateTime, g);
  }
  set.FreqRespGateTime = before.FreqRespGateTime;
  w->ShowNewGraphic();           // selects FreqBut from code
  DisplayConfig.Graphshown = kNoiseView;
  w->ShowNewGraphic();           // selects NoiseBut from code
  DisplayConfig.Graphshown = kImpulseView;
  w->ShowNewGraphic();           // selects TimeBut from code
  EXPECT_EQ(DisplayConfig.Graphshown, kImpulseView);
  EXPECT_EQ(Take(), (Calls{{"ShowFFTResponseSet", 2}, {"ShowNoiseResponseSet", 2}, {"ShowMainImpulseSet", 2}}));
  EXPECT_FLOAT_EQ(set.ImpulseGateTime, before.ImpulseGateTime);
  EXPECT_FLOAT_EQ(set.NoiseGateTime, before.NoiseGateTime);
}

}  // namespace
}  // namespace zentor

