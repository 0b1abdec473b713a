// The colour and coordinate lock windows: what they show, the order of their checks, what they store.
#include <gtest/gtest.h>

#include <QGroupBox>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <cstring>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "core/records.h"
#include "display/color_form.h"
#include "display/coord_lock.h"
#include "display/plot_colours.h"
#include "platform/forms.h"
#include "platform/text_boxes.h"
#include "support/fixture.h"

namespace zentor {
namespace {

class Colours : public test::ZentorTest {
 protected:
  void SetUp() override {
    ZentorTest::SetUp();
    SetDefaultPlotColours();
  }
  ColorForm* Open() {
    ColorForm* form = Forms::Get<ColorForm>();
    form->show();
    return form;
  }
};

TEST_F(Colours, WindowShowsTheTablePicksRedrawsOrSavesOnClosingAndCurveColoursWrapEveryEight) {
  ColorForm* form = Open();
  EXPECT_EQ(form->windowTitle(), "Color Selection");
  EXPECT_EQ(form->SaveAsDefault->text(), "Save As Default");
  EXPECT_EQ(form->SaveAsDefault->toolTip(), "Save colors as default choice");
  for (size_t k = 1; k <= 10; ++k) EXPECT_EQ(form->Box(int(k))->BackColor(), PlotColours[k]);

  // The background takes the grid face with it.
  dialogs.ExpectColour(RGB(255, 0, 0));
  QTest::mouseClick(form->Picture1, Qt::LeftButton);
  EXPECT_EQ(std::tuple(PlotColours[1], PlotColours[2], form->Picture2->BackColor()), std::tuple(255, 255, 255));

  auto before = PlotColours;
  dialogs.ExpectColour(RGB(1, 2, 3));
  QTest::mouseClick(form->Picture10, Qt::LeftButton);
  before[10] = RGB(1, 2, 3);
  EXPECT_EQ(PlotColours, before);

  // The label of the background picks too; the grid face box itself does not.
  dialogs.ExpectColour(RGB(0, 0, 9));
  QTest::mouseClick(form->Label1, Qt::LeftButton);
  EXPECT_EQ(PlotColours[2], RGB(0, 0, 9));
  QTest::mouseClick(form->Picture2, Qt::LeftButton);  // no dialog expected

  dialogs.ExpectColour(std::nullopt);
  form->Picture5_Click();
  EXPECT_EQ(std::pair(PlotColours[5], form->Picture5->BackColor()), std::pair(RGB(0, 255, 255), RGB(0, 255, 255)));

  int redraws = 0, saves = 0;
  ColorFormHooks.DisplayResults = [&] { ++redraws; };
  ColorFormHooks.SaveUserSettings = [&] { ++saves; };

  // Closing redraws, and saves only when ticked; reopened, the window shows the table.
  form = Open();
  EXPECT_EQ(form->GetSaveAsDefault(), 0);
  form->close();
  EXPECT_EQ(std::pair(redraws, saves), std::pair(1, 0));

  form = Open();
  form->SaveAsDefault->setChecked(true);
  form->close();
  EXPECT_EQ(std::pair(redraws, saves), std::pair(2, 1));

  // The tick outlives the closed window, for the main window's check at exit; reopened,
  // the window shows the table in force.
  EXPECT_EQ(Forms::Get<ColorForm>()->GetSaveAsDefault(), -1);
  PlotColours[7] = RGB(4, 5, 6);
  form = Open();
  EXPECT_EQ(form->Picture7->BackColor(), RGB(4, 5, 6));
  // Any state but ticked reads as not ticked, and is cleared.
  form->SaveAsDefault->setTristate(true);
  form->SaveAsDefault->setCheckState(Qt::PartiallyChecked);
  EXPECT_EQ(form->GetSaveAsDefault(), 0);
  EXPECT_EQ(form->SaveAsDefault->checkState(), Qt::Unchecked);
  // The curve colour wraps every eight curves.
  for (int i = 0; i < kNumPlotColours; ++i) PlotColours[static_cast<size_t>(i)] = 100 + i;
  EXPECT_EQ(GetCurveColour(0), PlotColours[3]);
  EXPECT_EQ(GetCurveColour(7), PlotColours[10]);
  EXPECT_EQ(GetCurveColour(9), PlotColours[4]);
  EXPECT_EQ(GetCurveColour(-1), PlotColours[10]);
  EXPECT_EQ(GetCurveColour(std::numeric_limits<int32_t>::min()), PlotColours[3]);
}

using Texts = std::vector<std::string>;
const CoOrdLockLimitsRecord kStartUp{-5, 25, 16, 20000, 20, -50, 16, 20000, 75, -10};

bool Same(const CoOrdLockLimitsRecord& a, const CoOrdLockLimitsRecord& b) { return !std::memcmp(&a, &b, sizeof a); }

template <class W, class F>
Texts TextsOf(const QList<W*>& widgets, F text) {
  Texts out;
  for (W* w : widgets) out.push_back(text(w).toStdString());
  return out;
}

class Lock : public test::ZentorTest {
 protected:
  void SetUp() override {
    ZentorTest::SetUp();
    CoOrdLockLimits = kStartUp;
    form = Forms::Get<CoOrdLock>();
    form->show();
  }
  QList<QLineEdit*> Boxes() const {
    return {form->TimeStart,      form->TimeFinish,     form->FreqDomainStartFreq, form->FreqDomainFinishFreq,
            form->FreqHighLevel,  form->FreqLowLevel,   form->NoiseFreqStart,      form->NoiseFreqFinish,
            form->NoiseHighLevel, form->NoiseLowLevel};
  }
  void Type(int box, const char* text) {
    Boxes()[box]->clear();
    QTest::keyClicks(Boxes()[box], text);
  }
  static bool Red(QLineEdit* box) { return box->palette().color(QPalette::Base) == QColor(kInvalidFieldRed, 0, 0); }

  CoOrdLock* form = nullptr;
};

// Boxes typed (by their place in Boxes(), kept from step to step) and the one refusal OK gives.
struct Step {
  std::vector<std::pair<int, const char*>> typed;
  const char* message;
};
const Step kRefusals[] = {
    {{{0, "26"}, {9, "-99"}}, "User Error: Input must be between -5 and 25"},  // the start is checked first
    {{{0, "x"}}, "User Error: Non Numeric Input"},
    // The start passes against the old finish, then the new finish must lie above it.
    {{{9, "-10"}, {0, "20"}, {1, "10"}}, "User Error: Input must be between 20 and 30"},
    // The noise levels come before the frequency levels.
    {{{1, "28"}, {5, "-95"}, {8, "91"}}, "User Error: Input must be between -10 and 90"},
    {{{8, "60"}}, "User Error: Input must be between -90 and 20"},
};

TEST_F(Lock, ShowsTheLimitsInForceChecksInOrderOnlyAllTenCommitAndEachOpeningStartsAfresh) {
  EXPECT_EQ(form->windowTitle(), "Coordinate Lock");
  EXPECT_EQ(TextsOf(Boxes(), [](QLineEdit* b) { return b->text(); }),
            (Texts{"-5", "25", "16", "20000", "20", "-50", "16", "20000", "75", "-10"}));
  EXPECT_EQ(TextsOf(form->findChildren<QGroupBox*>(), [](QGroupBox* g) { return g->title(); }),
            (Texts{"Time Response", "Frequency Response", "Signal/Noise"}));
  EXPECT_EQ(TextsOf(form->findChildren<QLabel*>(), [](QLabel* l) { return l->text(); }),
            (Texts{" ms -", " ms", "Hz -", " Hz", " dB -", " dB", " Hz -", " dB -"}));
  EXPECT_TRUE(Same(form->CoOrdLockWorkCopy, kStartUp));
  EXPECT_EQ(form->findChild<QPushButton*>("OKBut"), form->OKBut);

  for (const Step& s : kRefusals) {
    SCOPED_TRACE(s.message);
    for (auto [box, text] : s.typed) Type(box, text);
    dialogs.Clear();
    dialogs.ExpectMessage();
    QTest::mouseClick(form->OKBut, Qt::LeftButton);
    EXPECT_EQ(dialogs.MessageTexts(), Texts{s.message});
    EXPECT_TRUE(Same(CoOrdLockLimits, kStartUp));
    EXPECT_TRUE(form->isVisible());
  }
  // What passed is kept in the working copy though the OK failed.
  const CoOrdLockLimitsRecord& copy = form->CoOrdLockWorkCopy;
  EXPECT_EQ(std::pair(copy.TimeStart, copy.NoiseHighLevel), std::pair(20.0f, 60.0f));
  // Editing a box whitens it again.
  EXPECT_TRUE(Red(form->FreqLowLevel));
  const char* typed[] = {"-2", "12.5", "20", "18000", "30", "-40", "25", "15000", "70", "-12"};
  for (int i = 0; i < 10; ++i) Type(i, typed[i]);
  EXPECT_FALSE(Red(form->FreqLowLevel));
  dialogs.Clear();
  QTest::mouseClick(form->OKBut, Qt::LeftButton);
  EXPECT_TRUE(Same(CoOrdLockLimits, CoOrdLockLimitsRecord{-2, 12.5f, 20, 18000, 30, -40, 25, 15000, 70, -12}));
  EXPECT_TRUE(form->isVisible());
  // Each opening starts from the limits in force.
  CoOrdLockLimits = kStartUp;
  Forms::Unload<CoOrdLock>();
  std::vector<float> seen;
  for (int i = 0; i < 2; ++i) {
    dialogs.ExpectModal([&](QDialog* d) {
      auto* lock = dynamic_cast<CoOrdLock*>(d);
      seen.push_back(lock->CoOrdLockWorkCopy.TimeStart);
      lock->TimeStart->setText("3");
      lock->TimeFinish->setText("99");
      dialogs.ExpectMessage();
      lock->OKBut_Click();  // the start passes into the working copy, the finish fails
      return 0;
    });
    ShowCoOrdLockWindow();
    EXPECT_FALSE(Forms::IsLoaded<CoOrdLock>());
  }
  EXPECT_EQ(seen, (std::vector<float>{-5, -5}));
  EXPECT_TRUE(Same(CoOrdLockLimits, kStartUp));
}

}  // namespace
}  // namespace zentor
