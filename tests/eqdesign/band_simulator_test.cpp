// The band simulator on the started main window: graphic rows, the ISO bands and
// single parametric bands appended to the applied set, and the commands that open it.
#include <gtest/gtest.h>

#include <QDialog>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "core/records.h"
#include "eqdesign/band_simulator.h"
#include "eqdesign/eq_dialog_links.h"
#include "mainwindow/main_window_fixture.h"
#include "mainwindow/main_window_links.h"
#include "platform/help.h"
#include "support/silent_set.h"

namespace zentor {
namespace {

constexpr double kTwoPi = 2 * std::numbers::pi;
using Texts = std::vector<std::string>;

class BandSimulatorTest : public test::MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    w = Start();
    InstallEQDialogLinks();
    w->RefreshLinkedControls();
    test::LoadSilentSet(1, 48000, 16, 20);
    w->SetGraphicEmulation(2);
    w->SetParametricEmulation(2);
  }
  // The window as the commands load it, made visible so hiding can be seen.
  Form1* Open() {
    Forms::Unload<Form1>();
    form = Forms::Get<Form1>();
    EXPECT_TRUE(form->Form_Load());
    form->show();
    return form;
  }
  void Row(const char* start, const char* perOctave, const char* widthDivisor, const char* bands) {
    form->Graphic->setChecked(true);
    form->StartFreqText->setText(start);
    form->FreqSpacingText->setText(perOctave);
    form->BandWidthText->setText(widthDivisor);
    form->NumBandsText->setText(bands);
    form->LoadGraphic_Click();
  }
  void Band(const char* freq, const char* width) {
    form->Parametric->setChecked(true);
    form->ParametricFrequencyText->setText(freq);
    form->ParametricQText->setText(width);
    form->LoadGraphic_Click();
  }
  static void Prefill(int32_t n) { AppliedFilters[0].Count = n; }
  static int32_t Count() { return AppliedFilters[0].Count; }
  static const FilterRecord& Last() { return AppliedFilters[static_cast<size_t>(Count() - 1)]; }
  static double Hz(const FilterRecord& r) { return r.Freq1 / kTwoPi; }

  DataPlotter* w = nullptr;
  Form1* form = nullptr;
};

TEST_F(BandSimulatorTest, GraphicRowLaysBandsByStartSpacingAndWidth) {
  Open();
  Row("1000", "3", "3", "10");
  ASSERT_EQ(Count(), 10);
  for (int k = 0; k < 10; ++k) {
    const FilterRecord& r = AppliedFilters[static_cast<size_t>(k)];
    const double f = 1000 * std::pow(2.0, k / 3.0);
    EXPECT_NEAR(Hz(r), f, f * 1e-6) << k;
    EXPECT_EQ(r.Kind, 3);
    EXPECT_EQ(r.EQEmulationCode, 2);
    EXPECT_EQ(r.Graphshown, 6);
    EXPECT_EQ(r.Average, -1);
    EXPECT_NEAR(r.Smoothing, 1 / 3.0, 1e-6);
    EXPECT_EQ(r.Q1, r.Q2);  // 0 dB
    EXPECT_GT(r.Q1, 0);
    EXPECT_NEAR(r.RangeLow, f / 2, f * 1e-5);
    EXPECT_NEAR(r.RangeHigh, f * 2, f * 1e-5);
  }
  // The gate of a third-octave band at 1 kHz, from the angular frequency.
  const double g = std::cbrt(2.0);
  EXPECT_NEAR(AppliedFilters[0].Gatetime, 1.5 * g / (g - 1), 1e-4);
  EXPECT_NEAR(AppliedFilters[0].Gatetime, 7.27, 0.005);
  EXPECT_NE(w->EQResultsTakenButNotSaved, 0);
  EXPECT_FALSE(form->isVisible());
  EXPECT_TRUE(dialogs.MessageTexts().empty());
}

TEST_F(BandSimulatorTest, GraphicRowCountsOnlyBandsUpToHalfTheSampleRate) {
  Open();
  Row("1000", "3", "3", "1");
  EXPECT_EQ(Count(), 1);
  Row("1000", "3", "3", "2");
  EXPECT_EQ(Count(), 3);
  // 32 kHz lies above 24 kHz: the row ends after its first band.
  Row("16000", "1", "3", "5");
  EXPECT_EQ(Count(), 4);
  EXPECT_NEAR(Hz(Last()), 16000, 0.01);
  // At 20 kHz the gate is floored.
  Row("20000", "3", "3", "1");
  EXPECT_EQ(Count(), 5);
  EXPECT_FLOAT_EQ(Last().Gatetime, 3.0f);

  // Only the band that will be added counts against the 74 a row may leave.
  Prefill(73);
  Row("16000", "1", "3", "5");
  EXPECT_EQ(Count(), 74);
  dialogs.ExpectMessage();
  Row("1000", "1", "3", "1");
  EXPECT_EQ(Count(), 74);
  EXPECT_EQ(dialogs.MessageTexts(), Texts{"User Error: Reduce number of bands"});
}

TEST_F(BandSimulatorTest, GraphicRowRefusesWithoutAddingAnything) {
  test::LoadSilentSet(1, 32000, 16, 20);
  Open();
  dialogs.ExpectMessage();
  Row("20000", "3", "3", "4");
  EXPECT_EQ(Count(), 0);

  w->EQResultsTakenButNotSaved = 0;
  dialogs.ExpectMessage();
  Row("1000", "3", "7", "4");
  EXPECT_EQ(Count(), 0);
  EXPECT_NE(w->EQResultsTakenButNotSaved, 0);
  EXPECT_EQ(form->BandWidthText->palette().color(QPalette::Base), QColor(128, 0, 0));
  EXPECT_TRUE(form->isVisible());
  EXPECT_EQ(dialogs.MessageTexts(), (Texts{"Error 5854: No band of this row lies below half the sample rate.",
                                           "User Error: Input must be between 1 and 6"}));
}

TEST_F(BandSimulatorTest, IsoBandsFillThirtyThirdOctaves) {
  Open();
  Prefill(45);
  dialogs.ExpectMessage();
  form->ISOGraphic->setChecked(true);
  form->LoadGraphic_Click();
  EXPECT_EQ(Count(), 45);
  EXPECT_EQ(dialogs.MessageTexts(), Texts{"User Error: Reduce number of bands"});

  Prefill(44);
  form->LoadGraphic_Click();
  ASSERT_EQ(Count(), 74);
  EXPECT_NEAR(Hz(AppliedFilters[44]), 20, 1e-4);
  EXPECT_NEAR(Hz(AppliedFilters[73]), 16000, 0.01);
  const FilterRecord& k1 = AppliedFilters[44 + 17];
  EXPECT_NEAR(Hz(k1), 1000, 1e-3);
  EXPECT_FLOAT_EQ(k1.Smoothing, 0.333f);
  EXPECT_EQ(k1.Kind, 3);
  EXPECT_EQ(k1.Q1, k1.Q2);
  // These gates are taken from the centre in Hz.
  const double g = std::pow(2.0, 0.333);
  EXPECT_NEAR(k1.Gatetime, g * 1.5 * kTwoPi / (g - 1), 1e-3);
  EXPECT_NEAR(k1.Gatetime, 45.7, 0.1);
  EXPECT_FALSE(form->isVisible());
}

TEST_F(BandSimulatorTest, ParametricBandTakesTheModelsWidth) {
  Open();
  EXPECT_EQ(form->ParametricQText->text(), "5");
  EXPECT_EQ(form->BWOrQ->text(), " Q (Audio)");
  dialogs.ExpectMessage();
  Band("1000", "100");
  EXPECT_EQ(Count(), 0);
  Band("1000", "5");
  ASSERT_EQ(Count(), 1);
  EXPECT_FLOAT_EQ(Last().Smoothing, 0.2f);
  EXPECT_FLOAT_EQ(Last().Q1, 5.0f);
  EXPECT_EQ(Last().Q1, Last().Q2);
  EXPECT_EQ(Last().Kind, 2);
  EXPECT_EQ(Last().Graphshown, 6);
  EXPECT_TRUE(form->isVisible());

  // Range ends held to 5 Hz and half the sample rate.
  Band("20", "1");
  // The cookbook model keeps 0.01 rad/s, and the text is cut, not rounded.
  EXPECT_EQ(form->ParametricFrequencyText->text(), "19.99");
  EXPECT_FLOAT_EQ(Last().RangeLow, 5.0f);
  EXPECT_NEAR(Last().RangeHigh, 8 * 19.99, 1e-3);
  Band("10000", "1");
  EXPECT_NEAR(Last().RangeLow, 1250, 1e-2);
  EXPECT_FLOAT_EQ(Last().RangeHigh, 24000.0f);
  // Gate floored at 3 ms, and held to the 1365 ms period of 2^16 samples.
  Band("20000", "1");
  EXPECT_FLOAT_EQ(Last().Gatetime, 3.0f);
  Band("20", "50");
  EXPECT_FLOAT_EQ(Last().Smoothing, 0.05f);
  EXPECT_NEAR(Last().Gatetime, 65536 * 1000.0 / 48000, 1e-3);

  Prefill(75);
  dialogs.ExpectMessage();
  Band("1000", "5");
  EXPECT_EQ(Count(), 75);
  EXPECT_EQ(dialogs.MessageTexts(),
            (Texts{"User Error: Input must be between 0.1 and 50", "User Error: Reduce number of bands"}));
}

TEST_F(BandSimulatorTest, ParametricBandOnTheStepsOfAnOutsideEqualiser) {
  w->SetParametricEmulation(1);
  Open();
  EXPECT_EQ(form->ParametricQText->text(), "20");
  EXPECT_EQ(form->BWOrQ->text(), " /60 Oct");
  Band("1010", "180");
  ASSERT_EQ(Count(), 1);
  EXPECT_EQ(form->ParametricFrequencyText->text(), "1011.61");
  EXPECT_NEAR(Hz(Last()), 1011.61, 1e-3);
  // 180/60 snaps to the model's widest, 120/60 octave; its Q is 1/(2 sqrt 2).
  EXPECT_NEAR(Last().Q1, 1 / (2 * std::numbers::sqrt2), 1e-6);
  EXPECT_FLOAT_EQ(Last().Smoothing, 1.0f);
  EXPECT_EQ(Last().EQEmulationCode, 1);

  w->SetParametricEmulation(5);
  Open();
  EXPECT_EQ(form->BWOrQ->text(), " Q (Audio) ");
}

TEST_F(BandSimulatorTest, CommandsOpenTheWindowOnlyWithResults) {
  EXPECT_TRUE(w->NewFilter->isEnabled());
  EXPECT_TRUE(w->NewEQFilter->isEnabled());
  std::string shown;
  auto close = [&](QDialog* d) {
    shown = d->windowTitle().toStdString();
    return static_cast<int>(QDialog::Rejected);
  };
  dialogs.ExpectModal(close);
  w->NewFilter->trigger();
  EXPECT_EQ(shown, "Add Control");
  shown.clear();
  dialogs.ExpectModal(close);
  w->NewEQFilter->trigger();
  EXPECT_EQ(shown, "Add Control");
  EXPECT_FALSE(Forms::IsLoaded<Form1>());

  form = Forms::Get<Form1>();
  form->Help->click();
  EXPECT_EQ(GetHelpLog().topics.back(), 400);
  Forms::Unload<Form1>();

  ResultsDataSetInfo[0].NumInSet = 0;
  dialogs.ExpectMessage();
  w->NewFilter->trigger();
  dialogs.ExpectMessage();
  MainWindowHooks.ShowNewEQControl();  // the window's own refusal at load
  EXPECT_FALSE(Forms::IsLoaded<Form1>());
  EXPECT_EQ(dialogs.MessageTexts(),
            (Texts{"User Error: Measured Results must be loaded before filters can be added",
                   "User Error: Measurements must be loaded before filters can be "}));
}

TEST_F(BandSimulatorTest, Screenshot) {
  Open();
  form->adjustSize();
  ASSERT_TRUE(form->grab().save(QDir::temp().filePath("zentor_band_simulator.png")));
}

}  // namespace
}  // namespace zentor
