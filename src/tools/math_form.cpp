#include "tools/math_form.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QVBoxLayout>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <memory>
#include <new>

#include "base/text_number.h"
#include "core/results_store.h"
#include "display/curve_workers.h"
#include "display/view_state.h"
#include "mainwindow/data_plotter.h"
#include "platform/dialogs.h"
#include "platform/forms.h"
#include "platform/help.h"
#include "platform/text_boxes.h"

namespace zentor {

namespace {

constexpr int32_t kShortestExponent = 14;
constexpr int32_t kHighestNewRate = 100000;
constexpr double kFrameMarginTwips = 500;

DataPlotter* Plotter() { return Forms::Get<DataPlotter>(); }

QPushButton* Button(QWidget* parent, const char* name, const char* text) {
  auto* b = new QPushButton(text, parent);
  b->setObjectName(name);
  return b;
}

QProgressBar* Bar(QWidget* parent, const char* name) {
  auto* b = new QProgressBar(parent);
  b->setObjectName(name);
  b->setTextVisible(false);
  return b;
}

QGroupBox* Frame(QWidget* parent, const char* name, const char* caption) {
  auto* f = new QGroupBox(caption, parent);
  f->setObjectName(name);
  new QGridLayout(f);
  return f;
}

QGridLayout* GridOf(QGroupBox* f) { return static_cast<QGridLayout*>(f->layout()); }

int32_t HeldResults() { return std::clamp(ResultsDataSetInfo[0].NumInSet, 0, kMaxResults); }

// Start of result k's samples in a buffer of whole results.
ptrdiff_t Row(int32_t k) { return static_cast<ptrdiff_t>(k) * kMaxSamples; }

}  // namespace

std::function<bool(const ResamplePlan&, std::span<const float>, std::span<float>)> ResampleRoutine = ResampleImpulse;

void StartProgress(QProgressBar* bar, int32_t count) {
  bar->setRange(0, std::max(count, 0));
  bar->setValue(0);
}

void StepProgress(QProgressBar* bar) {
  const int next = bar->value() + 1;
  bar->setValue(next > bar->maximum() ? 1 : next);
}

void ClearProgress(QProgressBar* bar) { bar->setValue(0); }

MathForm::MathForm(QWidget* parent) : QDialog(parent) {
  setObjectName("MathForm");
  setWindowTitle("File Operations");

  DifferencesFrame = Frame(this, "DifferencesFrame", "Show Differences");
  NFromOneBut = new QRadioButton("1-N", DifferencesFrame);
  NFromOneBut->setObjectName("NFromOneBut");
  NFromOneBut->setChecked(true);
  OneFromNBut = new QRadioButton("N-1", DifferencesFrame);
  OneFromNBut->setObjectName("OneFromNBut");
  Command1 = Button(DifferencesFrame, "Command1", "Show");
  DifferencesHelp = Button(DifferencesFrame, "DifferencesHelp", "Help");
  QGridLayout* g = GridOf(DifferencesFrame);
  g->addWidget(NFromOneBut, 0, 0);
  g->addWidget(OneFromNBut, 1, 0);
  g->addWidget(Command1, 0, 1);
  g->addWidget(DifferencesHelp, 1, 1);

  CurveSwap = Frame(this, "CurveSwap", "Curve Swap");
  CurveOne = EntryBox(CurveSwap, "CurveOne");
  CurveTwo = EntryBox(CurveSwap, "CurveTwo");
  ExecuteSwap = Button(CurveSwap, "ExecuteSwap", "Execute");
  UndoSwap = Button(CurveSwap, "UndoSwap", "Undo");
  CurveSwapHelp = Button(CurveSwap, "CurveSwapHelp", "Help");
  g = GridOf(CurveSwap);
  g->addWidget(CurveOne, 0, 0);
  g->addWidget(new QLabel("<< >>", CurveSwap), 0, 1, Qt::AlignCenter);
  g->addWidget(CurveTwo, 0, 2);
  g->addWidget(ExecuteSwap, 1, 0);
  g->addWidget(UndoSwap, 1, 1);
  g->addWidget(CurveSwapHelp, 1, 2);

  ResamplingFrame = Frame(this, "ResamplingFrame", "Resample");
  SamRateLabel = EntryBox(ResamplingFrame, "SamRateLabel", "NoFile");
  SamRateLabel->setReadOnly(true);
  NewSamText = EntryBox(ResamplingFrame, "NewSamText", "96000");
  ExecuteResample = Button(ResamplingFrame, "ExecuteResample", "Execute");
  SampleBar = Bar(ResamplingFrame, "SampleBar");
  ResampleHelp = Button(ResamplingFrame, "ResampleHelp", "Help");
  g = GridOf(ResamplingFrame);
  g->addWidget(SamRateLabel, 0, 0);
  g->addWidget(new QLabel("[Hz] Existing Sample Rate", ResamplingFrame), 0, 1);
  g->addWidget(NewSamText, 1, 0);
  g->addWidget(new QLabel("[Hz] New Sample Rate", ResamplingFrame), 1, 1);
  g->addWidget(SampleBar, 2, 0, 1, 2);
  g->addWidget(ExecuteResample, 3, 0);
  g->addWidget(ResampleHelp, 3, 1, Qt::AlignRight);

  CompressFrame = Frame(this, "CompressFrame", "Compress");
  PeriodText = EntryBox(CompressFrame, "PeriodText");
  PeriodText->setMaximumWidth(140);
  PeriodText->setReadOnly(true);
  NewPeriodText = EntryBox(CompressFrame, "NewPeriodText");
  NewPeriodText->setMaximumWidth(140);
  NewPeriodText->setReadOnly(true);
  PeriodSlider = new QSlider(Qt::Horizontal, CompressFrame);
  PeriodSlider->setObjectName("PeriodSlider");
  PeriodSlider->setRange(kShortestExponent, kMaxSamplesExponent);
  PeriodSlider->setSingleStep(1);
  PeriodSlider->setPageStep(5);
  PeriodSlider->setTickPosition(QSlider::TicksBelow);
  CompressBut = Button(CompressFrame, "CompressBut", "Compress");
  CompressBar = Bar(CompressFrame, "CompressBar");
  CompressHelp = Button(CompressFrame, "CompressHelp", "Help");
  g = GridOf(CompressFrame);
  g->addWidget(PeriodText, 0, 0);
  g->addWidget(new QLabel("[ms] Impulse Length ", CompressFrame), 0, 1);
  g->addWidget(PeriodSlider, 1, 0, 1, 2);
  g->addWidget(NewPeriodText, 2, 0);
  g->addWidget(new QLabel("[ms]", CompressFrame), 2, 1);
  g->addWidget(CompressBar, 3, 0, 1, 2);
  g->addWidget(CompressBut, 4, 0);
  g->addWidget(CompressHelp, 4, 1, Qt::AlignRight);

  auto* layout = new QVBoxLayout(this);
  for (QGroupBox* f : {DifferencesFrame, CurveSwap, ResamplingFrame, CompressFrame}) layout->addWidget(f);

  connect(Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
  connect(ExecuteSwap, &QPushButton::clicked, this, [this] { ExecuteSwap_Click(); });
  connect(UndoSwap, &QPushButton::clicked, this, [this] { UndoSwap_Click(); });
  connect(ExecuteResample, &QPushButton::clicked, this, [this] { ExecuteResample_Click(); });
  connect(CompressBut, &QPushButton::clicked, this, [this] { CompressBut_Click(); });
  connect(PeriodSlider, &QSlider::valueChanged, this, [this] { PeriodSlider_Change(); });
  connect(DifferencesHelp, &QPushButton::clicked, this, [] { ShowHelpTopic(HelpTopic::MathFormDifferences); });
  connect(CurveSwapHelp, &QPushButton::clicked, this, [] { ShowHelpTopic(HelpTopic::MathFormCurveSwap); });
  connect(ResampleHelp, &QPushButton::clicked, this, [] { ShowHelpTopic(HelpTopic::MathFormResample); });
  connect(CompressHelp, &QPushButton::clicked, this, [] { ShowHelpTopic(HelpTopic::MathFormCompress); });
}

QString MathForm::MillisecondsOf(int32_t exponent) const {
  if (ExistingSampleRate <= 0) return "0";
  const double ms = std::ldexp(1.0, exponent) * 1000.0 / ExistingSampleRate;
  return QString::fromStdString(FormatDouble(ms));
}

bool MathForm::Initialize(int32_t mode) {
  DataPlotter* p = Plotter();
  ExistingPeriodExponent = std::min(p->GetPeriodLength(), kMaxSamplesExponent);
  if (mode == 7 && ExistingPeriodExponent < kShortestExponent + 1) {
    MsgBox("User Message: The file cannot be truncated any further");
    return false;
  }
  if (ResultsDataSetInfo[0].NumInSet < 1) {
    MsgBox("User Error: measured results must be loaded before doing any operations");
    hide();
    return false;
  }
  Mode = mode;
  GetExistingData();
  switch (mode) {
    case 4:
      ShowFrame(DifferencesFrame, "Show Differences");
      break;
    case 5:
      ShowFrame(CurveSwap, "Curve Swap");
      break;
    case 6:
      ExistingSampleRate = p->GetSampleRate();
      p->GetSigSampleDelay(SavedImpulseShifts);
      SamRateLabel->setText(QString::number(ExistingSampleRate));
      ShowFrame(ResamplingFrame, "Resample");
      break;
    case 7: {
      ExistingSampleRate = p->GetSampleRate();
      const QString ms = MillisecondsOf(ExistingPeriodExponent);
      PeriodText->setText(ms);
      NewPeriodText->setText(ms);
      PeriodText->setCursorPosition(0);
      NewPeriodText->setCursorPosition(0);
      {
        const QSignalBlocker quiet(PeriodSlider);
        PeriodSlider->setValue(ExistingPeriodExponent);
        PeriodSlider->setMaximum(ExistingPeriodExponent);
      }
      ShowFrame(CompressFrame, "Compress File");
      break;
    }
    default:
      MsgBox("Error 5319");
      break;
  }
  return true;
}

void MathForm::ShowFrame(QGroupBox* frame, const char* caption) {
  setWindowTitle(caption);
  for (QGroupBox* f : {DifferencesFrame, CurveSwap, ResamplingFrame, CompressFrame}) f->setVisible(f == frame);
  layout()->activate();
  adjustSize();
  resize(width(), frame->sizeHint().height() + TwipsToPixels(kFrameMarginTwips));
}

// Kept as they are, not rounded to 16 bits, so that undo puts the set back bit for bit.
void MathForm::GetExistingData() {
  UndoHeader = ResultsDataSetInfo;
  const int32_t count = HeldResults();
  UndoSamples.resize(static_cast<size_t>(count) * kMaxSamples);
  for (int32_t k = 0; k < count; ++k)
    std::copy_n(ImpulseSet[static_cast<size_t>(k)].begin(), kMaxSamples, UndoSamples.begin() + Row(k));
  UndoMicCal = ActiveMicCal;
}

void MathForm::RestoreExistingData() {
  Plotter()->ClearDisplays();
  ResultsDataSetInfo = UndoHeader;
  const auto count = static_cast<int32_t>(UndoSamples.size() / kMaxSamples);
  for (int32_t k = 0; k < count; ++k)
    std::copy_n(UndoSamples.begin() + Row(k), kMaxSamples, ImpulseSet[static_cast<size_t>(k)].begin());
  ActiveMicCal = UndoMicCal;
}

void MathForm::RestoreAndRedisplay() {
  RestoreExistingData();
  Plotter()->DisplayResults(kRecomputeAllCurves);
}

void MathForm::Command1_Click() {
  if (NFromOneBut->isChecked()) Plotter()->ShowDifferenceCurves(2);
  if (OneFromNBut->isChecked()) Plotter()->ShowDifferenceCurves(3);
}

void MathForm::ExecuteSwap_Click() {
  DataPlotter* p = Plotter();
  p->ClearDisplays();
  const int32_t n = p->GetNumberOfCurves();
  double one = 0, two = 0;
  // Both are checked, so that each bad field is marked.
  const bool oneValid = ValidateNumericTextBox(CurveOne, 1, n, one);
  const bool twoValid = ValidateNumericTextBox(CurveTwo, 1, n, two);
  if (oneValid && twoValid && p->ClearExtDisplay()) SwapResults(CLng(one) - 1, CLng(two) - 1);
  p->DisplayResults(kRecomputeAllCurves);
}

void MathForm::ExecuteResample_Click() {
  if (DataResampled) {
    MsgBox("User Error: Data cannot be resampled twice");
    return;
  }
  DataPlotter* p = Plotter();
  p->ClearDisplays();
  double value = 0;
  if (!ValidateNumericTextBox(NewSamText, ExistingSampleRate, kHighestNewRate, value)) return;
  NewSampleRate = CLng(value);
  if (NewSampleRate == ExistingSampleRate) {
    MsgBox("No resampling required");
    return;
  }
  if (ExistingSampleRate <= 0 || !p->ClearExtDisplay()) return;

  const ResamplePlan plan = PlanResample(ExistingSampleRate, NewSampleRate, ExistingPeriodExponent);
  const int32_t count = HeldResults();
  // Every result is resampled into ResampleBuffer first; the set changes only when
  // all of them succeeded, so a failure leaves it as it was.
  int32_t failed = -1;
  try {
    WaitCursor hourglass;
    StartProgress(SampleBar, count);
    ResampleBuffer.assign(static_cast<size_t>(count) * kMaxSamples, 0.0f);
    auto resampled = std::make_unique<std::atomic<bool>[]>(static_cast<size_t>(std::max(count, 1)));
    ComputeAndFileInOrder(
        count,
        [&](int32_t k, const WorkerScratch& scratch) {
          const bool ok = ResampleRoutine(plan, ImpulseSet[static_cast<size_t>(k)], scratch.A);
          if (ok) std::copy_n(scratch.A.begin(), kMaxSamples, ResampleBuffer.begin() + Row(k));
          resampled[static_cast<size_t>(k)] = ok;
        },
        [&](int32_t k, bool faulted) {
          if (faulted || !resampled[static_cast<size_t>(k)]) {
            failed = k;
            return false;
          }
          StepProgress(SampleBar);
          return true;
        });
  } catch (const std::exception&) {  // no memory or no worker
    failed = std::max(failed, 0);
  }
  ClearProgress(SampleBar);
  if (failed >= 0) {
    ResampleBuffer = {};
    MsgBox("Error: Curve " + std::to_string(failed + 1) + " could not be resampled. No curve was changed.");
    p->DisplayResults(kRecomputeAllCurves);
    return;
  }
  for (int32_t k = 0; k < count; ++k) {
    std::copy_n(ResampleBuffer.begin() + Row(k), kMaxSamples, ImpulseSet[static_cast<size_t>(k)].begin());
    MeasurementHeader& h = ResultsDataSetInfo[static_cast<size_t>(k)];
    h.SampleRate = NewSampleRate;
    h.PeriodExponent = plan.K;
    h.ImpulseShift = CLng(SavedImpulseShifts[static_cast<size_t>(k)] * static_cast<double>(plan.u));
  }
  ResampleBuffer = {};
  DataResampled = true;
  p->DisplayResults(kRecomputeAllCurves);
  closedByCode_ = true;
  done(QDialog::Accepted);
}

void MathForm::CompressBut_Click() {
  if (ResultsDataSetInfo[0].NumInSet < 1) {
    MsgBox("User Error: No data loaded");
    return;
  }
  if (!Plotter()->ClearExtDisplay()) return;
  NewPeriodExponent = PeriodSlider->value();
  const int32_t n = 1 << std::clamp(NewPeriodExponent, 0, kMaxSamplesExponent);
  const int32_t count = HeldResults();
  WaitCursor hourglass;
  StartProgress(CompressBar, count);
  try {
    const int32_t taper = ImpulseTaperLength(ResultsDataSetInfo[0].SampleRate);
    for (int32_t k = 0; k < count; ++k) {
      CompressImpulse(ImpulseSet[static_cast<size_t>(k)], n, taper);
      StepProgress(CompressBar);
    }
    for (int32_t k = 0; k < count; ++k) ResultsDataSetInfo[static_cast<size_t>(k)].PeriodExponent = NewPeriodExponent;
  } catch (const std::exception&) {
    MsgBox("Error 5824");
  }
  ClearProgress(CompressBar);
}

void MathForm::PeriodSlider_Change() {
  NewPeriodText->setText(MillisecondsOf(PeriodSlider->value()));
  NewPeriodText->setCursorPosition(0);
}

void MathForm::Form_QueryUnload() {
  if (closedByCode_) return;
  DataPlotter* p = Plotter();
  if (Mode == 4) {
    p->DisplayResults(kRecomputeAllCurves);
  } else if (Mode == 5 || Mode == 7) {
    if (MsgBox(" Restore original data before closing  ?", MsgButtons::YesNoCancel, MsgIcon::Question,
               "Mirabelt Zentor") == MsgAnswer::Yes) {
      RestoreExistingData();
      p->DisplayResults(kRecomputeAllCurves);
    } else {
      p->ResultsTakenButNotSaved = kTrue;
    }
  }
}

void MathForm::closeEvent(QCloseEvent* e) {
  closing_ = true;
  Form_QueryUnload();
  QDialog::closeEvent(e);
  closing_ = false;
}

void MathForm::reject() {
  // Escape closes as the close box does.
  if (closing_)
    QDialog::reject();
  else
    close();
}

}  // namespace zentor
