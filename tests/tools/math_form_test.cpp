// Operations on the result set: swap and undo, resample against band-limited
// oracles, compress against the mean-removed impulse, and the level of one curve.
#include <gtest/gtest.h>

#include <QAction>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QProgressBar>
#include <QSlider>
#include <QTest>
#include <cmath>
#include <numbers>

#include "mainwindow/measurement_file.h"
#include "platform/forms.h"
#include "platform/help.h"
#include "tools/levels_form.h"
#include "tools/math_form.h"
#include "tools_fixture.h"

namespace zentor::test {

namespace {

class MathFormTest : public ToolsTest {
 protected:
  MathForm* Form() { return Forms::Get<MathForm>(); }

  // Opens the window in a mode through the main window's menu and runs `inside`
  // while it is shown.
  void OpenThroughMenu(const std::function<void()>& command, const std::function<void(MathForm*)>& inside) {
    dialogs.ExpectModal([inside](QDialog* d) {
      inside(static_cast<MathForm*>(d));
      return 0;
    });
    command();
  }

  static std::vector<float> Row(int32_t k) {
    return {ImpulseSet[size_t(k)].begin(), ImpulseSet[size_t(k)].end()};
  }
};

// A set of three distinct results with distinct headers.
void DistinctSet(int32_t exponent = 15) {
  LoadSilentSet(3, 48000, exponent, 20.0f);
  for (int32_t k = 0; k < 3; ++k) {
    for (int32_t i = 0; i < (1 << exponent); ++i)
      ImpulseSet[size_t(k)][size_t(i)] = 0.25f * float(k + 1) * std::sin(0.001f * float(i * (k + 2)) + 0.1f);
    MeasurementHeader& h = ResultsDataSetInfo[size_t(k)];
    h.PeakLevel = -3.0f * float(k), h.ImpulseShift = 100 * (k + 1), h.LevelMultiplier = 1.0f + float(k);
  }
}

TEST_F(MathFormTest, MenuEntriesAreEnabledAndOpenTheirModes) {
  for (QAction* a : {w->ShowDifferences, w->ArrangeCurves, w->Compress, w->Resample, w->ExportAsPCM, w->ImportWave,
                     w->AdjustLevels})
    EXPECT_TRUE(a->isEnabled()) << a->objectName().toStdString();
  DistinctSet();
  OpenThroughMenu([this] { w->ShowDifferences_Click(); }, [](MathForm* f) {
    EXPECT_EQ(f->windowTitle(), "Show Differences");
    EXPECT_TRUE(f->DifferencesFrame->isVisibleTo(f));
    EXPECT_FALSE(f->CurveSwap->isVisibleTo(f));
  });
  OpenThroughMenu([this] { w->Resample_Click(); }, [](MathForm* f) {
    EXPECT_EQ(f->windowTitle(), "Resample");
    EXPECT_EQ(f->SamRateLabel->text(), "48000");
    EXPECT_EQ(f->NewSamText->text(), "96000");
  });
  OpenThroughMenu([this] { w->ArrangeCurves_Click(); }, [&](MathForm* f) {
    EXPECT_EQ(f->windowTitle(), "Curve Swap");
    EXPECT_TRUE(f->CurveSwap->isVisibleTo(f));
    dialogs.ExpectMessage(MsgAnswer::No);
    f->close();
  });
  OpenThroughMenu([this] { w->Compress_Click(); }, [](MathForm* f) {
    EXPECT_EQ(f->windowTitle(), "Compress File");
    EXPECT_EQ(f->PeriodText->text(), "682.666666666667");
    EXPECT_EQ(f->PeriodSlider->minimum(), 14);
    EXPECT_EQ(f->PeriodSlider->maximum(), 15);
    EXPECT_EQ(f->PeriodSlider->value(), 15);
    f->PeriodSlider->setValue(14);
    EXPECT_EQ(f->NewPeriodText->text(), "341.333333333333");
    for (QPushButton* help : {f->CompressHelp, f->ResampleHelp, f->CurveSwapHelp, f->DifferencesHelp}) help->click();
  });
  EXPECT_EQ(GetHelpLog().topics, (std::vector<int32_t>{1080, 1060, 1050, 1070}));
}

TEST_F(MathFormTest, OpeningRefusals) {
  for (const auto& [mode, opens, message] :
       {std::tuple{5, false, "User Error: measured results must be loaded before doing any operations"},
        {7, false, "User Message: The file cannot be truncated any further"}, {9, true, "Error 5319"}}) {
    if (mode == 7) LoadSilentSet(1, 48000, 14, 20.0f);
    EXPECT_EQ(MessageFrom(dialogs, [&] { EXPECT_EQ(Form()->Initialize(mode), opens) << mode; }), message);
  }
  w->ResultsTakenButNotSaved = kTrue;
  EXPECT_EQ(MessageFrom(dialogs, [&] { w->OpenResampleWindow(); }),
            "User Error: Measurements must be saved before they can be resampled. Resampled files cannot be saved.");
}

TEST_F(MathFormTest, SwapMovesSamplesWithHeadersAndUndoRestoresBitForBit) {
  DistinctSet();
  const QByteArray opened = StoreFingerprint();
  const std::vector<float> r1 = Row(0), r3 = Row(2);
  const MeasurementHeader h1 = ResultsDataSetInfo[0], h3 = ResultsDataSetInfo[2];
  MathForm* f = Form();
  ASSERT_TRUE(f->Initialize(5));
  f->CurveOne->setText("1");
  f->CurveTwo->setText("3");
  f->ExecuteSwap->click();
  EXPECT_EQ(Row(0), r3);
  EXPECT_EQ(Row(2), r1);
  EXPECT_EQ(ResultsDataSetInfo[0].PeakLevel, h3.PeakLevel);
  EXPECT_EQ(ResultsDataSetInfo[2].ImpulseShift, h1.ImpulseShift);
  EXPECT_EQ(ResultsDataSetInfo[0].LevelMultiplier, h3.LevelMultiplier);
  EXPECT_EQ(ResultsDataSetInfo[0].NumInSet, 3);
  EXPECT_EQ(ResultsDataSetInfo[2].NumInSet, 3);

  // An invalid number changes nothing, and the graph is drawn again.
  const QByteArray swapped = StoreFingerprint();
  rec.Clear();
  f->CurveOne->setText("2");
  f->CurveTwo->setText("4");
  EXPECT_EQ(MessageFrom(dialogs, [&] { f->ExecuteSwap->click(); }), "User Error: Input must be between 1 and 3");
  EXPECT_EQ(StoreFingerprint(), swapped);
  EXPECT_FALSE(rec.calls().empty());

  f->CurveTwo->setText("3");
  f->ExecuteSwap->click();
  EXPECT_NE(StoreFingerprint(), swapped);
  f->UndoSwap->click();
  EXPECT_EQ(StoreFingerprint(), opened);
}

TEST_F(MathFormTest, ResampleDoublesTheRateAndKeepsTheWholeTimeSpan) {
  // A band-limited pulse at 50 ms (2400 samples at 48 kHz) in result 1 and a
  // 1 kHz sine in result 2, each 65536 samples long.
  constexpr double kCut = 0.8;  // of the old Nyquist frequency
  auto pulse = [&](double t) {  // t in old samples from the centre
    const double x = std::numbers::pi * kCut * t;
    const double win = std::abs(t) < 64 ? 0.5 + 0.5 * std::cos(std::numbers::pi * t / 64) : 0.0;
    return t == 0 ? kCut : kCut * std::sin(x) / x * win;
  };
  LoadSet(2, 48000, 16, [&](int32_t k, int32_t i) {
    return k == 0 ? float(pulse(i - 2400)) : float(std::sin(2 * std::numbers::pi * 1000.0 * i / 48000.0));
  });
  ResultsDataSetInfo[0].ImpulseShift = -2400;
  ResultsDataSetInfo[1].ImpulseShift = 51;
  double inSum = 0;
  for (int32_t i = 0; i < 65536; ++i) inSum += ImpulseSet[0][size_t(i)];

  OpenThroughMenu([this] { w->Resample_Click(); }, [&](MathForm* f) {
    f->NewSamText->setText("96000");
    f->ExecuteResample->click();
    EXPECT_TRUE(f->isHidden());
    EXPECT_EQ(f->SampleBar->value(), 0);
  });
  EXPECT_TRUE(DataResampled);
  for (const MeasurementHeader& h : {ResultsDataSetInfo[0], ResultsDataSetInfo[1]})
    EXPECT_EQ(std::pair(h.SampleRate, h.PeriodExponent), std::pair(96000, 17));
  EXPECT_EQ(std::pair(ResultsDataSetInfo[0].ImpulseShift, ResultsDataSetInfo[1].ImpulseShift), std::pair(-4800, 102));

  // The pulse: its peak where it was in time, its sum kept.
  const auto& p = ImpulseSet[0];
  const size_t peakAt = size_t(std::max_element(p.begin(), p.end()) - p.begin());
  const double y0 = p[peakAt - 1], y1 = p[peakAt], y2 = p[peakAt + 1];
  const double centre = double(peakAt) + 0.5 * (y0 - y2) / (y0 - 2 * y1 + y2);
  EXPECT_NEAR(centre, 4800.0, 0.5);
  double outSum = 0;
  for (float v : p) outSum += v;
  EXPECT_NEAR(outSum / inSum, 1.0, 1e-3);

  // The sine: half the 96 kHz sine, the second half of the new length included.
  double signal = 0, error = 0;
  for (int32_t j = 2000; j < 129000; ++j) {
    const double want = 0.5 * std::sin(2 * std::numbers::pi * 1000.0 * j / 96000.0);
    signal += want * want;
    error += (ImpulseSet[1][size_t(j)] - want) * (ImpulseSet[1][size_t(j)] - want);
  }
  EXPECT_GT(10 * std::log10(signal / error), 70.0);
  EXPECT_NEAR(ImpulseSet[1][100000], 0.5 * std::sin(2 * std::numbers::pi * 1000.0 * 100000 / 96000.0), 1e-3);

  // Resampled sets are neither resampled again nor saved.
  w->ResultsTakenButNotSaved = kFalse;
  OpenThroughMenu([this] { w->Resample_Click(); }, [&](MathForm* f) {
    EXPECT_EQ(MessageFrom(dialogs, [&] { f->ExecuteResample->click(); }), "User Error: Data cannot be resampled twice");
  });
  EXPECT_EQ(MessageFrom(dialogs, [&] { w->SaveMeasurement_Click(); }), "User Error: Resampled data cannot be saved");
}

// Refused rates, and a resample failing on one result, leave the whole set as it was.
TEST_F(MathFormTest, ResampleLengthsRefusedRatesAndAFailureLeaveTheSet) {
  for (const auto& [from, to, k, m] : {std::tuple{44100, 48000, 16, 65536}, {48000, 96000, 17, 131072}})
    EXPECT_EQ(std::pair(PlanResample(from, to, 16).K, PlanResample(from, to, 16).M), std::pair(k, m)) << to;
  DistinctSet(16);
  const QByteArray before = StoreFingerprint();
  ASSERT_TRUE(Form()->Initialize(6));
  const float* second = ImpulseSet[1].data();  // the last row's resample fails on it
  ResampleRoutine = [second](const ResamplePlan& p, std::span<const float> in, std::span<float> out) {
    return in.data() != second && ResampleImpulse(p, in, out);
  };
  const std::pair<const char*, const char*> refused[] = {
      {"44100", "User Error: Input must be between 48000 and 100000"},
      {"100001", "User Error: Input must be between 48000 and 100000"},
      {"48000", "No resampling required"},
      {"96000", "Error: Curve 2 could not be resampled. No curve was changed."}};
  for (const auto& [rate, message] : refused) {
    Form()->NewSamText->setText(rate);
    EXPECT_EQ(MessageFrom(dialogs, [&] { Form()->ExecuteResample_Click(); }), message);
    EXPECT_EQ(StoreFingerprint(), before) << rate;
    EXPECT_FALSE(DataResampled);
  }
  ResampleRoutine = ResampleImpulse;
}

// Closing afterwards with No keeps the data and marks it unsaved; with Yes it brings
// the opened set back bit for bit.
TEST_F(MathFormTest, CompressRemovesTheMeanFadesTheEndAndShortensEveryResult) {
  for (MsgAnswer answer : {MsgAnswer::No, MsgAnswer::Yes}) {
    // An impulse plus a constant in both results.
    LoadSet(2, 48000, 16, [](int32_t k, int32_t i) {
      return 0.3f + (i == 1000 + k ? 1.0f : 0.0f) + 0.1f * std::sin(0.01f * float(i));
    });
    std::vector<std::vector<float>> want(2);
    for (int32_t k = 0; k < 2; ++k) {
      double mean = 0;
      for (int32_t i = 0; i < 32768; ++i) mean += ImpulseSet[size_t(k)][size_t(i)];
      for (int32_t i = 0; i < 32768; ++i) want[size_t(k)].push_back(float(ImpulseSet[size_t(k)][size_t(i)] - mean / 32768));
    }
    const QByteArray opened = StoreFingerprint();
    w->ResultsTakenButNotSaved = kFalse;
    MathForm* f = Form();
    ASSERT_TRUE(f->Initialize(7));
    f->PeriodSlider->setValue(15);
    f->CompressBut->click();
    const int32_t taper = 600;  // 12.5 ms at 48 kHz
    for (int32_t k = 0; k < 2; ++k) {
      const auto& row = ImpulseSet[size_t(k)];
      for (int32_t i = 0; i < 32768 - taper; ++i) ASSERT_NEAR(row[size_t(i)], want[size_t(k)][size_t(i)], 1e-5) << i;
      for (int32_t i = 32768 - taper; i < 32768; ++i)
        ASSERT_LE(std::abs(row[size_t(i)]), std::abs(want[size_t(k)][size_t(i)]) + 1e-6f) << i;
      EXPECT_EQ(row[32767], 0.0f);
      for (int32_t i = 32768; i < kMaxSamples; i += 997) ASSERT_EQ(row[size_t(i)], 0.0f);
      EXPECT_EQ(ResultsDataSetInfo[size_t(k)].PeriodExponent, 15);
    }
    EXPECT_EQ(f->CompressBar->value(), 0);
    dialogs.ExpectMessage(answer);
    f->close();
    EXPECT_EQ(dialogs.calls().back().text, " Restore original data before closing  ?");
    EXPECT_EQ(dialogs.calls().back().buttons, MsgButtons::YesNoCancel);
    EXPECT_EQ(StoreFingerprint() == opened, answer == MsgAnswer::Yes);
    EXPECT_EQ(w->ResultsTakenButNotSaved, answer == MsgAnswer::Yes ? kFalse : kTrue);
  }
}

TEST_F(MathFormTest, ProgressStepsOncePerResultAndWrapsPastTheLast) {
  QProgressBar bar;
  StartProgress(&bar, 3);
  for (int want : {1, 2, 3, 1}) {
    StepProgress(&bar);
    EXPECT_EQ(bar.value(), want);
  }
  ClearProgress(&bar);
  EXPECT_EQ(bar.value(), 0);
}

// The level change of one curve, typed or from the slider, scales that curve's
// samples only; a change or curve outside its range is refused.
TEST_F(MathFormTest, LevelChangesScaleOnlyTheirCurve) {
  LoadSet(3, 48000, 14, [](int32_t k, int32_t i) { return std::cos(0.01f * float(i * (k + 1))) * 0.5f; });
  std::vector<std::vector<float>> before;
  for (int32_t k = 0; k < 3; ++k) before.push_back(Row(k));
  const auto expectScaled = [&](std::array<double, 3> dB) {
    for (size_t k = 0; k < 3; ++k)
      for (size_t i = 0; i < 16384; i += 7)
        ASSERT_NEAR(ImpulseSet[k][i], before[k][i] * std::pow(10.0, dB[k] / 20.0), 1e-5) << k << " " << i;
  };
  dialogs.ExpectModal([](QDialog* d) {
    EXPECT_EQ(d->windowTitle(), "Levels");
    return 0;
  });
  w->AdjustLevels_Click();
  EXPECT_FALSE(Forms::IsLoaded<Levels>());
  Levels* f = Forms::Get<Levels>();
  EXPECT_EQ(f->LevelCurveCount, 3);
  EXPECT_EQ(f->CurveNoText->text(), "1");
  f->CurveNoText->setText("2");
  f->LevelText->setText("3.5");
  QTest::keyClick(f->LevelText, Qt::Key_Return);
  expectScaled({0, 3.5, 0});
  EXPECT_EQ(f->LevelText->text(), " 0");
  EXPECT_EQ(f->Slider1->value(), 0);
  EXPECT_EQ(f->LevelChangeDb, 0.0f);
  EXPECT_EQ(w->ResultsTakenButNotSaved, kTrue);

  for (const auto& [level, curve, message] :
       {std::tuple{"25", "1", "User Error: Input must be between -20 and 20"},
        {"-2", "4", "User Error: Input must be between 1 and 3"}}) {
    f->LevelText->setText(level);
    f->CurveNoText->setText(curve);
    EXPECT_EQ(MessageFrom(dialogs, [&] { f->LevelText_KeyPress(13); }), message);
  }
  EXPECT_EQ(f->Slider1->value(), -20);  // the slider keeps the typed change
  expectScaled({0, 3.5, 0});
  f->CurveNoText->setText("2.6");  // rounds to curve 3
  f->LevelText_KeyPress(13);
  expectScaled({0, 3.5, -2});

  // The slider shows its change while it moves and applies it on release.
  f->Slider1->setSliderDown(true);
  f->Slider1->setValue(123);
  EXPECT_EQ(f->LevelText->text(), " 12.3");
  expectScaled({0, 3.5, -2});
  f->Slider1->setSliderDown(false);
  expectScaled({0, 3.5, 10.3});
  EXPECT_EQ(f->Slider1->value(), 0);
  EXPECT_EQ(f->LevelText->text(), " 0");
  QTest::keyClick(f->Slider1, Qt::Key_Left);  // a key on the slider commits at once
  expectScaled({0, 3.5, 10.2});
}

}  // namespace

}  // namespace zentor::test
