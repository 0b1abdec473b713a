// A new user's way from a measurement to the outside equaliser, on the
// simulated card: measure, show the frequency response, fit, take every listed
// mode into the applied list, save the .EQ file and write the settings report.
#include <QFile>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTextStream>
#include <cmath>
#include <string>
#include <vector>

#include "app/window_links.h"
#include "core/emulation.h"
#include "core/records.h"
#include "core/results_store.h"
#include "display/view_state.h"
#include "eqdesign/fit/fit_quality.h"
#include "mainwindow/data_plotter.h"
#include "measurement/audio_form.h"
#include "measurement_fixture.h"

namespace zentor::test {
namespace {

class NewUserFitTest : public MeasurementWindowTest {
 protected:
  void SetUp() override {
    MeasurementWindowTest::SetUp();
    SimulatedCardSettings s = Quiet();
    s.room.clear();  // the default room
    UseCard(s);
  }
};

TEST_F(NewUserFitTest, MeasureFitApplySaveAndReport) {
  InstallWindowLinks();
  main->RefreshLinkedControls();
  main->show();
  main->NewMeasMenue->trigger();
  Forms::Get<AudioForm>()->Test->click();
  for (int i = 0; i < 200 && SoundCardBusy; ++i) Run(8192);
  ASSERT_EQ(ResultsDataSetInfo[0].NumInSet, 1);
  Forms::Unload<AudioForm>();

  main->FreqBut->click();
  ASSERT_EQ(DisplayConfig.Graphshown, 3);
  ASSERT_GT(BodeCurves[0].NumPoints, 0);
  // The range the user drags on the graph: the response shown starts at 100 Hz.
  main->SetFitRange(100, 1000);
  main->FitFiltersBut->click();
  const int32_t modes = ModesListContents[0].Count;
  ASSERT_GT(modes, 0);
  ApplyEachModeByDialog();
  ASSERT_EQ(AppliedFilters[0].Count, modes);
  ASSERT_EQ(main->AppliedFilterListBox->count(), modes);

  const std::string eq = TempPath("room.EQ"), report = TempPath("EQSettings.txt");
  dialogs.ExpectSaveFile(eq);
  main->SaveEQModel->trigger();
  EXPECT_TRUE(QFile::exists(QString::fromStdString(eq)));
  dialogs.ExpectSaveFile(report);
  main->TextEQ->trigger();
  QFile file(QString::fromStdString(report));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly | QIODevice::Text));
  const QString text = QTextStream(&file).readAll();
  int32_t listed = 0;
  for (const QString& line : text.split('\n')) listed += line.contains("Level = ");
  EXPECT_EQ(listed, modes) << text.toStdString();

  // Every applied filter sits on the default equaliser's steps, and the
  // corrections flatten the measured response over the fit range.
  const int32_t code = main->GetParametricEQEmulation();
  SingularityListRecord applied;
  for (int32_t i = 0; i < modes; ++i) {
    FilterRecord f = AppliedFilters[static_cast<size_t>(i)];
    EXPECT_EQ(f.EQEmulationCode, code);
    const FilterRecord before = f;
    EmulateEQBand(code, f.Freq1, f.Q1, f.Q2);
    EXPECT_NEAR(f.Freq1, before.Freq1, 1e-3f * before.Freq1);
    EXPECT_NEAR(f.Q1, before.Q1, 1e-3f * std::fabs(before.Q1));
    applied.Freq[static_cast<size_t>(i)] = before.Freq1;
    applied.Q1[static_cast<size_t>(i)] = before.Q1;
    applied.Q2[static_cast<size_t>(i)] = before.Q2;
  }
  applied.Count = modes;
  const CurveRecord& measured = BodeCurves[0];
  const auto n = static_cast<size_t>(measured.NumPoints);
  const std::span<const float> f(measured.XValues.data(), n), dB(measured.YValues.data(), n);
  const ModalConstants& m = main->GetModalConstants();
  EXPECT_LT(LogWeightedLineRmsDb(f, CorrectedResponseDb(f, dB, applied), m.MinFreq, m.MaxFreq),
            LogWeightedLineRmsDb(f, dB, m.MinFreq, m.MaxFreq));
}

}  // namespace
}  // namespace zentor::test
