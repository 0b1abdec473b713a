// The band simulator and the numerical options window on the started main
// window: what they show, what they add or take over, and the commands that open them.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

#include "eqdesign/band_simulator.h"
#include "eqdesign/eq_dialog_links.h"
#include "eqdesign/eq_list_fixture.h"
#include "eqdesign/numerical_options.h"
#include "mainwindow/main_window_links.h"
#include "platform/help.h"

namespace zentor {
namespace {

constexpr double kTwoPi = 2 * std::numbers::pi;
using Texts = std::vector<std::string>;

class BandSimulatorTest : public test::LinkedWindowTest {
 protected:
  void SetUp() override {
    LinkedWindowTest::SetUp();
    StartWith({InstallEQDialogLinks});
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
    EXPECT_EQ((std::vector<int32_t>{r.Kind, r.EQEmulationCode, r.Graphshown, r.Average}),
              (std::vector<int32_t>{3, 2, 6, -1}));
    EXPECT_NEAR(r.Smoothing, 1 / 3.0, 1e-6);
    EXPECT_TRUE(r.Q1 == r.Q2 && r.Q1 > 0) << "0 dB";
    EXPECT_TRUE(std::fabs(r.RangeLow - f / 2) < f * 1e-5 && std::fabs(r.RangeHigh - f * 2) < f * 1e-5) << k;
  }
  // The gate of a third-octave band at 1 kHz, 1.5 g / (g - 1) for g = 2^(1/3), from the angular frequency.
  EXPECT_NEAR(AppliedFilters[0].Gatetime, 7.27098, 1e-4);
  EXPECT_TRUE(w->EQResultsTakenButNotSaved != 0 && !form->isVisible() && dialogs.MessageTexts().empty());
}

TEST_F(BandSimulatorTest, GraphicRowCountsOnlyBandsUpToHalfTheSampleRate) {
  Open();
  // From 16 kHz an octave apart, 32 kHz lies above 24 kHz: the row ends after its first band.
  for (const auto& [start, perOctave, bands, count, last] :
       {std::tuple{"1000", "3", "1", 1, 1000.0}, {"1000", "3", "2", 3, 1259.92}, {"16000", "1", "5", 4, 16000.0},
        {"20000", "3", "1", 5, 20000.0}}) {
    Row(start, perOctave, "3", bands);
    EXPECT_EQ(Count(), count) << start;
    EXPECT_NEAR(Hz(Last()), last, 0.01) << start;
  }
  EXPECT_FLOAT_EQ(Last().Gatetime, 3.0f);  // at 20 kHz the gate is floored

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
  w->EQResultsTakenButNotSaved = 0;
  dialogs.ExpectMessage();
  Row("1000", "3", "7", "4");
  EXPECT_TRUE(Count() == 0 && w->EQResultsTakenButNotSaved != 0 && form->isVisible());
  EXPECT_EQ(form->BandWidthText->palette().color(QPalette::Base), QColor(128, 0, 0));
  EXPECT_EQ(dialogs.MessageTexts(), (Texts{"Error 5854: No band of this row lies below half the sample rate.",
                                           "User Error: Input must be between 1 and 6"}));
  EXPECT_TRUE(Screenshot(form, "zentor_band_simulator.png"));
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
  const FilterRecord& k1 = AppliedFilters[44 + 17];
  for (const auto& [i, hz, near] : {std::tuple{44, 20.0, 1e-4}, {73, 16000.0, 0.01}, {61, 1000.0, 1e-3}})
    EXPECT_NEAR(Hz(AppliedFilters[static_cast<size_t>(i)]), hz, near);
  EXPECT_FLOAT_EQ(k1.Smoothing, 0.333f);
  EXPECT_TRUE(k1.Kind == 3 && k1.Q1 == k1.Q2);
  // These gates are taken from the centre in Hz: 1.5 g 2π / (g - 1) for g = 2^0.333.
  EXPECT_NEAR(k1.Gatetime, 45.7256, 1e-3);
  EXPECT_FALSE(form->isVisible());
}

TEST_F(BandSimulatorTest, ParametricBandTakesTheModelsWidthAndStepsOfAnOutsideEqualiser) {
  Open();
  EXPECT_EQ(form->ParametricQText->text() + form->BWOrQ->text(), "5 Q (Audio)");
  dialogs.ExpectMessage();
  Band("1000", "100");
  EXPECT_EQ(Count(), 0);
  Band("1000", "5");
  ASSERT_EQ(Count(), 1);
  EXPECT_EQ(std::pair(Last().Smoothing, Last().Q1), std::pair(0.2f, 5.0f));
  EXPECT_TRUE(Last().Q1 == Last().Q2 && Last().Kind == 2 && Last().Graphshown == 6 && form->isVisible());

  // Range ends held to 5 Hz and half the sample rate.
  Band("20", "1");
  // The cookbook model keeps 0.01 rad/s, and the text is cut, not rounded.
  EXPECT_EQ(form->ParametricFrequencyText->text(), "19.99");
  EXPECT_EQ(Last().RangeLow, 5.0f);
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

  // On the steps of an outside equaliser.
  Prefill(0);
  w->SetParametricEmulation(1);
  Open();
  EXPECT_EQ(form->ParametricQText->text() + form->BWOrQ->text(), "20 /60 Oct");
  Band("1010", "180");
  ASSERT_EQ(Count(), 1);
  EXPECT_EQ(form->ParametricFrequencyText->text(), "1011.61");
  EXPECT_NEAR(Hz(Last()), 1011.61, 1e-3);
  // 180/60 snaps to the model's widest, 120/60 octave; its Q is 1/(2 sqrt 2).
  EXPECT_NEAR(Last().Q1, 1 / (2 * std::numbers::sqrt2), 1e-6);
  EXPECT_EQ(std::pair(Last().Smoothing, Last().EQEmulationCode), std::pair(1.0f, 1));
  w->SetParametricEmulation(5);
  Open();
  EXPECT_EQ(form->BWOrQ->text(), " Q (Audio) ");
}

// Both windows' commands through one driver: each opens its window, filled.
TEST_F(BandSimulatorTest, CommandsOpenTheirWindowsAndTheSimulatorOnlyWithResults) {
  w->SetModalNumericalConstants(0, 40, 90, 1.5f, 0.5f, 8, 0.8f, 4, 0.05f, 150);
  const std::pair<std::function<void()>, const char*> commands[] = {
      {[&] { w->NewFilter->trigger(); }, "Add Control"},
      {[&] { w->NewEQFilter->trigger(); }, "Add Control"},
      {[&] { w->NumericalOptions->trigger(); }, "DSP/EQ Options 40"},
      {[&] { w->NumOptBut->click(); }, "DSP/EQ Options 40"}};
  for (const auto& [open, title] : commands) {
    std::string shown;
    dialogs.ExpectModal([&](QDialog* d) {
      shown = d->windowTitle().toStdString();
      auto* options = dynamic_cast<Numerical*>(d);
      if (options != nullptr) shown += " " + options->MinFreqText->text().toStdString();
      return static_cast<int>(options != nullptr ? QDialog::Accepted : QDialog::Rejected);
    });
    open();
    EXPECT_EQ(shown, title);
  }
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

class NumericalOptionsTest : public BandSimulatorTest {
 protected:
  void SetUp() override {
    BandSimulatorTest::SetUp();
    Reopen();
  }
  void Reopen() {
    Forms::Unload<Numerical>();
    n = Forms::Get<Numerical>();
    n->InitializeNumericalValues();
  }
  // Every field valid, with values unlike the start-up ones.
  void FillValid() {
    for (const auto& [field, text] : {std::pair{n->MinFreqText, "30"}, {n->MaxFreqText, "200"},
                                      {n->SecondaryPolishWidthText, "1.5"}, {n->DampingText, "0.9"},
                                      {n->PolishingEffortText, "20"}, {n->LoudspeakerText, "6"},
                                      {n->MaxDecayText, "2"}, {n->MinQText, "0.2"}, {n->SchroederText, "250"}})
      field->setText(text);
  }

  Numerical* n = nullptr;
};

TEST_F(NumericalOptionsTest, ShowsTheMainWindowsConstantsAndAValidApplySetsEveryOne) {
  EXPECT_EQ(n->windowTitle(), "DSP/EQ Options");
  EXPECT_EQ((Texts{Text(n->MinFreqText), Text(n->MaxFreqText), Text(n->MinQText), Text(n->DampingText),
                   Text(n->PolishingEffortText), Text(n->LoudspeakerText), Text(n->SchroederText)}),
            (Texts{"25", "80", "0.05", "0.8", "8", "4", "150"}));
  EXPECT_TRUE(Screenshot(n, "zentor_numerical_options.png"));
  EXPECT_TRUE(n->SortLargest->isChecked());
  EXPECT_EQ(n->ApplyFiltersCheck->isChecked(), w->GetIncludeFilters() != 0);

  w->CurveNumberText->setText("3");
  FillValid();
  n->SortSmallest->setChecked(true);
  n->ApplyFiltersCheck->setChecked(true);
  n->Set_Click();
  const ModalConstants& m = w->GetModalConstants();
  EXPECT_EQ((std::vector<float>{float(m.MinFreq), float(m.MaxFreq), float(m.SecondaryPolishWidth), float(m.Damping),
                                float(m.NumInitialLoops), float(m.LoudspeakerOrder), float(m.MaxDecay), m.QMinimum,
                                m.SchroederFreq}),
            (std::vector<float>{30, 200, 1.5f, 0.9f, 20, 6, 2, 0.2f, 250}));
  EXPECT_EQ(w->GetSimSort(), "False");
  EXPECT_EQ((std::pair(w->GetModesCurveNumber(), w->CurveNumberText->text())), (std::pair(0, QString("1"))));
  EXPECT_TRUE(dialogs.MessageTexts().empty());
  Reopen();  // it shows what the window now holds
  EXPECT_TRUE(n->SortSmallest->isChecked() && n->ApplyFiltersCheck->isChecked());
  n->Command2->click();
  EXPECT_EQ(GetHelpLog().topics.back(), 410);
}

TEST_F(NumericalOptionsTest, ApplyChecksEachRangeInOrderButTakesTheInclusion) {
  w->IncludeExistingFiltersinFit(1);
  Reopen();
  n->MinFreqText->setText("25");
  n->MaxFreqText->setText("26");
  n->Set_Click();
  EXPECT_FLOAT_EQ(w->GetModalCurveMaxFreq(), 26.0f);

  auto refused = [&](QLineEdit* field, const char* text) {
    const ModalConstants before = w->GetModalConstants();
    dialogs.ExpectMessage();
    field->setText(text);
    n->Set_Click();
    EXPECT_EQ(field->palette().color(QPalette::Base), QColor(128, 0, 0)) << text;
    const ModalConstants& after = w->GetModalConstants();
    EXPECT_EQ((std::vector<double>{after.MaxFreq, after.Damping, after.SchroederFreq}),
              (std::vector<double>{before.MaxFreq, before.Damping, before.SchroederFreq})) << text;
  };
  refused(n->MaxFreqText, "25.5");
  n->MaxFreqText->setText("26");
  refused(n->MinFreqText, "11");
  n->MinFreqText->setText("12");
  refused(n->PolishingEffortText, "0.5");
  // Whole numbers round half to even, once every field is valid.
  n->PolishingEffortText->setText("2.5");
  n->LoudspeakerText->setText("4.6");
  n->DampingText->setText("0.856");
  // The inclusion and the sort are taken even when a field is refused.
  n->ApplyFiltersCheck->setChecked(false);
  n->SortSmallest->setChecked(true);
  refused(n->SchroederText, "10");
  EXPECT_EQ(w->GetIncludeFilters(), 0);
  EXPECT_EQ(w->GetSimSort(), "True");
  EXPECT_EQ(dialogs.MessageTexts(), (Texts{"User Error: Input must be between 26 and 20000",
                                           "User Error: Input must be between 12 and 20000",
                                           "User Error: Input must be between 1 and 100",
                                           "User Error: Input must be between 20 and 300"}));
  n->SchroederText->setText("150");
  n->Set_Click();
  EXPECT_FLOAT_EQ(w->GetModalCurveMinFreq(), 12.0f);
  EXPECT_EQ(w->GetLoudspeakerOrder(), 5);
  EXPECT_FLOAT_EQ(w->GetModalCurveNumInitialLoops(), 2.0f);
  Reopen();
  EXPECT_EQ(Text(n->DampingText), "0.85");
}

}  // namespace
}  // namespace zentor
