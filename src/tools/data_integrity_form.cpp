#include "tools/data_integrity_form.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <algorithm>

#include "base/text_number.h"
#include "core/filter_design.h"
#include "core/filter_run.h"
#include "core/records.h"
#include "core/test_signals.h"
#include "core/work_arrays.h"
#include "mainwindow/data_plotter.h"
#include "platform/dialogs.h"
#include "platform/forms.h"
#include "platform/help.h"
#include "platform/text_boxes.h"

namespace zentor {

namespace {

constexpr int kMargin = 8;         // the picture's left margin, kept on both sides
constexpr int kFrameHeight = 56;   // Frame1 and Frame2
constexpr int kEnterKey = 13;

DataPlotter& MainWindow() { return *Forms::Get<DataPlotter>(); }

int32_t CurvesLoaded() { return std::clamp<int32_t>(ResultsDataSetInfo[0].NumInSet, 0, kMaxResults); }

// The main window's busy flag and the hourglass for one computation, released on
// every way out of it.
class DecayBusyGuard {
 public:
  DecayBusyGuard() { MainWindow().SetBusy(kTrue); }
  ~DecayBusyGuard() { MainWindow().SetBusy(kFalse); }
  DecayBusyGuard(const DecayBusyGuard&) = delete;
  DecayBusyGuard& operator=(const DecayBusyGuard&) = delete;

 private:
  WaitCursor hourglass_;
};

std::string RangeTitle(float low, float high, const char* unit) {
  return Str(low) + " " + unit + " - " + Str(high) + " " + unit;
}

}  // namespace

DataIntegrityForm::DataIntegrityForm()
    : QWidget(Forms::IsLoaded<DataPlotter>() ? Forms::Get<DataPlotter>() : nullptr, Qt::Window) {
  setWindowTitle("Large Room");
  Picture1 = new PictureBox(this);
  Picture1->setObjectName("Picture1");

  Frame1 = new QGroupBox("Data Options", this);
  ImpulseBut = new QRadioButton("Imp", Frame1);
  EnergyBut = new QRadioButton("ETC", Frame1);
  SchroederBut = new QRadioButton("Sch", Frame1);
  RTBut = new QRadioButton("RT", Frame1);
  int x = 10;
  for (QRadioButton* b : {ImpulseBut, EnergyBut, SchroederBut, RTBut}) {
    b->setGeometry(x, 22, 56, 24);
    x += 58;
  }
  Frame1->resize(x + 6, kFrameHeight);
  ImpulseBut->setChecked(true);

  Frame2 = new QGroupBox("Filter Options", this);
  BPFilter = new QCheckBox("BP", Frame2);
  LFText = new QLineEdit("15", Frame2);
  Label1 = new QLabel("Hz -", Frame2);
  HFText = new QLineEdit("20000", Frame2);
  Label2 = new QLabel("Hz", Frame2);
  BPFilter->setGeometry(10, 22, 48, 24);
  LFText->setGeometry(60, 22, 60, 24);
  Label1->setGeometry(124, 22, 34, 24);
  HFText->setGeometry(160, 22, 60, 24);
  Label2->setGeometry(224, 22, 24, 24);
  Frame2->resize(256, kFrameHeight);

  LeftArrow = new QPushButton(this);
  RightArrow = new QPushButton(this);
  LeftArrow->setIcon(style()->standardIcon(QStyle::SP_ArrowLeft));
  RightArrow->setIcon(style()->standardIcon(QStyle::SP_ArrowRight));
  CurveNoText = new QLineEdit("Text1", this);
  CurveNoText->setAlignment(Qt::AlignCenter);
  Help = new QPushButton("Help", this);
  ProgressBar1 = new QProgressBar(this);
  ProgressBar1->setTextVisible(false);
  CreateParametersTable();

  const std::pair<QObject*, const char*> names[] = {
      {Frame1, "Frame1"},       {ImpulseBut, "ImpulseBut"}, {EnergyBut, "EnergyBut"}, {SchroederBut, "SchroederBut"},
      {RTBut, "RTBut"},         {Frame2, "Frame2"},         {BPFilter, "BPFilter"},   {LFText, "LFText"},
      {Label1, "Label1"},       {HFText, "HFText"},         {Label2, "Label2"},       {LeftArrow, "LeftArrow"},
      {RightArrow, "RightArrow"}, {CurveNoText, "CurveNoText"}, {Help, "Help"},       {ProgressBar1, "ProgressBar1"}};
  for (const auto& [object, name] : names) object->setObjectName(name);

  connect(ImpulseBut, &QRadioButton::clicked, this, [this] { ImpulseBut_Click(); });
  connect(EnergyBut, &QRadioButton::clicked, this, [this] { EnergyBut_Click(); });
  connect(SchroederBut, &QRadioButton::clicked, this, [this] { SchroederBut_Click(); });
  connect(RTBut, &QRadioButton::clicked, this, [this] { RTBut_Click(); });
  connect(BPFilter, &QCheckBox::clicked, this, [this] { BPFilter_Click(); });
  connect(LFText, &QLineEdit::textEdited, this, [this] { LFText_Change(); });
  connect(HFText, &QLineEdit::textEdited, this, [this] { HFText_Change(); });
  connect(CurveNoText, &QLineEdit::returnPressed, this, [this] { CurveNoText_KeyPress(kEnterKey); });
  connect(CurveNoText, &QLineEdit::textEdited, this, &DataIntegrityForm::CurveNoText_Click);
  connect(LeftArrow, &QPushButton::clicked, this, [this] { LeftArrow_Click(); });
  connect(RightArrow, &QPushButton::clicked, this, [this] { RightArrow_Click(); });
  connect(Help, &QPushButton::clicked, this, [this] { Help_Click(); });
  connect(ParametersBut, &QCheckBox::clicked, this, [this] { ParametersBut_Click(); });
  connect(SaveParametersBut, &QPushButton::clicked, this, [this] { SaveParametersBut_Click(); });
  connect(Picture1, &PictureBox::MouseDown, this,
          [this](int b, int s, float px, float py) { Picture1_MouseDown(b, s, px, py); });
  connect(Picture1, &PictureBox::MouseMove, this,
          [this](int b, int s, float px, float py) { Picture1_MouseMove(b, s, px, py); });
  connect(Picture1, &PictureBox::MouseUp, this,
          [this](int b, int s, float px, float py) { Picture1_MouseUp(b, s, px, py); });

  DecayFrame.PlotLeft = 100;
  DecayFrame.PlotRight = 1150;
  DecayFrame.PlotBottom = 1100;
  DecayFrame.PlotTop = 100;
  resize(820, 660);
  Form_Resize();
}

// ---- Window life ------------------------------------------------------------------

void DataIntegrityForm::ShowModeless(const std::string& caption) {
  setWindowTitle(QString::fromStdString(caption));
  if (!loaded_) Form_Load();
  // Each showing offers its picture for export again; the close box withdrew it.
  SetLargeRoomMenu(true);
  show();
  raise();
  activateWindow();
}

void DataIntegrityForm::Form_Load() {
  loaded_ = true;
  bool ok = false;
  Initialize(MainWindow().GetMainCurveNumber(), ok);
  SetLargeRoomMenu(true);
}

void DataIntegrityForm::Form_Unload() { SetLargeRoomMenu(false); }

void DataIntegrityForm::closeEvent(QCloseEvent* e) {
  // The window keeps its curve, view, zoom and results until the set changes.
  e->ignore();
  SetLargeRoomMenu(false);
  hide();
}

void DataIntegrityForm::resizeEvent(QResizeEvent* e) {
  QWidget::resizeEvent(e);
  Form_Resize();
}

void DataIntegrityForm::Form_Resize() {
  const int pictureHeight = std::max(40, height() - (kFrameHeight * 5) / 2);
  const int tableWidth = ParametersBut->isChecked() ? kParametersWidth + kMargin : 0;
  Picture1->setGeometry(kMargin, kMargin, std::max(40, width() - 2 * kMargin - tableWidth), pictureHeight);
  PlaceParametersTable(pictureHeight);
  const int frameTop = kMargin + pictureHeight;
  Frame1->move(kMargin, frameTop);
  Frame2->move(Frame1->x() + Frame1->width() + kMargin, frameTop);
  const int left = Frame2->x() + Frame2->width() + 2 * kMargin;
  LeftArrow->setGeometry(left, frameTop + 22, 28, 26);
  CurveNoText->setGeometry(left + 30, frameTop + 22, 40, 26);
  RightArrow->setGeometry(left + 72, frameTop + 22, 28, 26);
  Help->setGeometry(left + 116, frameTop + 22, 60, 26);
  ParametersBut->setGeometry(left + 186, frameTop + 22, 100, 26);
  ProgressBar1->setGeometry(kMargin, frameTop + kFrameHeight + 4, std::max(40, width() - 2 * kMargin), 10);
  if (loaded_) RedrawDecayGraph();
}

void DataIntegrityForm::SetLargeRoomMenu(bool enabled) {
  if (!Forms::IsLoaded<DataPlotter>()) return;
  QAction* menu = MainWindow().LargeRoomGraphic->menuAction();
  if (enabled) menu->setVisible(true);  // hidden since start-up
  menu->setEnabled(enabled);
}

// ---- The computation ----------------------------------------------------------------

void DataIntegrityForm::ClearRTSixty() {
  DecayCount = 0;
  RT60CacheCount = 0;
}

void DataIntegrityForm::Initialize(int32_t curveNumber, bool& ok) {
  DecayOrder = std::clamp<int32_t>(MainWindow().GetPeriodLength(), 0, kMaxSamplesExponent);
  const size_t n = size_t{1} << DecayOrder;
  // Room for the band results even when the impulse is shorter.
  DecayX.assign(std::max<size_t>(n, kDecayBands), 0.0f);
  DecayY.assign(std::max<size_t>(n, kDecayBands), 0.0f);
  DataRate = MainWindow().GetSampleRate();
  // The main curve box may name a curve the set lacks.
  CurveNumber = std::clamp<int32_t>(curveNumber, 1, std::max(1, CurvesLoaded()));
  CurveNoText->setText(QString::number(CurveNumber));
  if (DataRate == 0) {
    MsgBox("User Error: Measured data must be loaded to access this window.");
    ok = false;
    return;
  }
  DecayCount = 0;
  SetDecayXRange();
  SetDecayYRange();
  DecayFrame.PlotLeft = 100;
  DecayFrame.PlotRight = 1150;
  DecayFrame.PlotBottom = 1100;
  DecayFrame.PlotTop = 100;
  DecayFrame.XTitle.clear();
  DecayFrame.YTitle.clear();
  ComputeDecayView(CurveNumber);
  RedrawDecayGraph();
  FitStartMs = 50;
  FitEndMs = 150;
  RT60StartMs = RT60EndMs = 0;
  parametersCurve_ = 0;
  UpdateParametersTable();
  ok = true;
}

DataIntegrityForm::DecayView DataIntegrityForm::SelectedView() const {
  if (EnergyBut->isChecked()) return DecayView::Energy;
  if (SchroederBut->isChecked()) return DecayView::Schroeder;
  if (RTBut->isChecked()) return DecayView::RT;
  return DecayView::Impulse;
}

void DataIntegrityForm::SelectView(DecayView view) {
  QRadioButton* b = view == DecayView::Energy      ? EnergyBut
                    : view == DecayView::Schroeder ? SchroederBut
                    : view == DecayView::RT        ? RTBut
                                                   : ImpulseBut;
  b->setChecked(true);
}

bool DataIntegrityForm::FitIndices(float startMs, float endMs, int32_t& i0, int32_t& i1) const {
  i0 = DecayIndexOfTime(startMs, DataRate);
  i1 = DecayIndexOfTime(endMs, DataRate);
  const int32_t n = int32_t{1} << DecayOrder;
  return 0 <= i0 && i0 < i1 && i1 < n;
}

DataIntegrityForm::DecayRun DataIntegrityForm::ComputeDecayView(int32_t curveNumber) {
  if (MainWindow().GetBusy()) return DecayRun::Busy;
  // Nothing to compute before Initialize has sized the curve for a loaded set.
  if (DataRate <= 0 || DecayX.size() < (size_t{1} << DecayOrder)) return DecayRun::Refused;
  const DecayView view = SelectedView();
  if (view == DecayView::RT) {
    // A fit range outside the impulse would fit nothing; the view stays as it was.
    int32_t i0 = 0, i1 = 0;
    const bool cached = RT60CacheCount > 0 && FitStartMs == RT60StartMs && FitEndMs == RT60EndMs;
    if (!cached && !FitIndices(FitStartMs, FitEndMs, i0, i1)) {
      MsgBox("Error 4401: The RT60 fit range must lie within the impulse");
      return DecayRun::Refused;
    }
  }
  DecayBusyGuard busy;
  try {
    ComputeView(view, curveNumber);
  } catch (...) {
    MsgBox("Error 4398");
  }
  shownView_ = view;
  return DecayRun::Done;
}

void DataIntegrityForm::ComputeView(DecayView view, int32_t curveNumber) {
  const int32_t n = int32_t{1} << DecayOrder;
  const auto curve = static_cast<size_t>(std::clamp<int32_t>(curveNumber, 1, kMaxResults) - 1);
  FillDecayTimeAxis(DecayX, n, DataRate);
  std::copy_n(ImpulseSet[curve].begin(), n, DecayY.begin());
  DecayCount = n;
  DecayTitle = "Impulse Response ";

  // Without the band-pass the default band still sets the smoothing and the
  // Schroeder band. The band plays no part in the RT60 view.
  float lf = 500, hf = 5000;
  if (view != DecayView::RT && BPFilter->isChecked()) {
    double low = 0, high = 0;
    if (!ValidateNumericTextBox(LFText, 5, 20000, low) || !ValidateNumericTextBox(HFText, low, 20000, high))
      return;
    lf = static_cast<float>(low);
    hf = static_cast<float>(high);
    NormalizeToPeak(DecayY, 1.0f, DecayOrder);
    DecayBandPass(DecayY, WorkCurve2, DataRate, DecayOrder, lf, hf);
    DecayTitle = "Filtered Impulse: " + Str(lf) + "Hz - " + Str(hf) + " Hz";
  }
  NormalizeToPeak(DecayY, 30.0f, DecayOrder);

  switch (view) {
    case DecayView::Impulse:
      break;
    case DecayView::Energy: {
      const int32_t count =
          EnergyTimeCurve(DecayY, DecayOrder, ResultsDataSetInfo[0].SampleRate, lf, hf, WorkCurve, WorkCurve2);
      if (count < 0) {
        MsgBox("Error 4398");
        return;
      }
      DecayCount = count;
      DecayTitle = "Filtered ETC: " + RangeTitle(lf, hf, "Hz");
      break;
    }
    case DecayView::Schroeder: {
      const auto [a, b] = PickCurvePair(curveNumber - 1, CurvesLoaded());
      const DecayScratch s{WorkCurve4, WorkCurve2, WorkCurve3, WorkCurve5};
      const ProductDecay d = SchroederCurve(ImpulseSet[static_cast<size_t>(a)], ImpulseSet[static_cast<size_t>(b)],
                                            DecayOrder, DataRate, lf, hf, s, DecayY);
      if (d.silent) MsgBox(kNoInputDataMessage);
      DecayCount = d.usable;
      DecayTitle = "Schroeder Int " + Str(std::min(a, b) + 1) + " X " + Str(std::max(a, b) + 1) + ": " +
                   RangeTitle(lf, hf, "Hz");
      break;
    }
    case DecayView::RT:
      ComputeRT();
      break;
  }
}

void DataIntegrityForm::ComputeRT() {
  if (RT60CacheCount > 0 && FitStartMs == RT60StartMs && FitEndMs == RT60EndMs) {
    std::copy_n(RT60CacheX.begin(), RT60CacheCount, DecayX.begin());
    std::copy_n(RT60CacheY.begin(), RT60CacheCount, DecayY.begin());
    DecayCount = RT60CacheCount;
    DecayTitle = "RT60: " + RangeTitle(RT60StartMs, RT60EndMs, "ms");
    return;
  }
  RT60StartMs = FitStartMs;
  RT60EndMs = FitEndMs;
  RT60CacheCount = 0;
  DecayTitle = "RT60: " + RangeTitle(RT60StartMs, RT60EndMs, "ms");
  int32_t i0 = 0, i1 = 0;
  FitIndices(RT60StartMs, RT60EndMs, i0, i1);
  const int32_t pairs = CurvesLoaded() / 2;
  StartDecayProgress(ProgressBar1, pairs);
  std::array<float, kDecayBands> x{}, y{}, counts{};
  const bool ok = ComputeRT60(pairs, DecayOrder, DataRate, i0, i1, x, y, counts, [this](int32_t, bool silent) {
    if (silent) MsgBox(kNoInputDataMessage);
    StepDecayProgress(ProgressBar1);
  });
  ClearDecayProgress(ProgressBar1);
  if (!ok) {
    MsgBox("Error 4398");
    return;
  }
  std::fill(BandPairCounts.begin(), BandPairCounts.end(), 0.0f);
  std::copy(counts.begin(), counts.end(), BandPairCounts.begin());
  std::copy(x.begin(), x.end(), DecayX.begin());
  std::copy(y.begin(), y.end(), DecayY.begin());
  DecayCount = kDecayBands;
  RT60CacheX = x;
  RT60CacheY = y;
  RT60CacheCount = kDecayBands;
}

void DataIntegrityForm::StartDecayProgress(QProgressBar* bar, int32_t maximum) {
  bar->setMinimum(0);
  bar->setMaximum(maximum);
  bar->setValue(0);
}

void DataIntegrityForm::StepDecayProgress(QProgressBar* bar) {
  bar->setValue(bar->maximum() < bar->value() + 1 ? 1 : bar->value() + 1);
  // No events are processed during the run; the bar paints itself at once.
  bar->repaint();
}

void DataIntegrityForm::ClearDecayProgress(QProgressBar* bar) { bar->setValue(0); }

void DataIntegrityForm::ShowDecayCurve(int32_t c) {
  CurveNoText->setText(QString::number(c));
  ComputeDecayView(CurveNumber);
  RedrawDecayGraph();
  UpdateParametersTable();
}

void DataIntegrityForm::ShowDecayView(int32_t c) {
  if (ComputeDecayView(CurveNumber) != DecayRun::Done) {
    // The option goes back to the curve still held.
    SelectView(shownView_);
    return;
  }
  SetDecayXRange();
  SetDecayYRange();
  CurveNoText->setText(QString::number(c));
  RedrawDecayGraph();
}

// ---- Controls ------------------------------------------------------------------------

void DataIntegrityForm::ImpulseBut_Click() { ShowDecayView(CurveNumber); }
void DataIntegrityForm::EnergyBut_Click() { ShowDecayView(CurveNumber); }

void DataIntegrityForm::SchroederBut_Click() {
  if (CurvesLoaded() < 2) {
    MsgBox("User Error: You must have at least two measured curves to view the Schroeder plot");
    SelectView(shownView_);
    return;
  }
  ShowDecayView(CurveNumber);
}

void DataIntegrityForm::RTBut_Click() {
  if (CurvesLoaded() < 2) {
    MsgBox("User Error: You must have at least two measured curves to view the RT60 plot");
    SelectView(shownView_);
    return;
  }
  ShowDecayView(CurveNumber);
}

void DataIntegrityForm::BPFilter_Click() { ShowDecayCurve(CurveNumber); }

void DataIntegrityForm::LFText_Change() {
  // An edited band edge no longer describes the filtered curve: show it unfiltered.
  if (BPFilter->isChecked()) {
    BPFilter->setChecked(false);
    BPFilter_Click();
  }
}

void DataIntegrityForm::HFText_Change() { LFText_Change(); }

// Editing the number again clears the mark of a refused one.
void DataIntegrityForm::CurveNoText_Click() { ClearValidationMark(CurveNoText); }

void DataIntegrityForm::CurveNoText_KeyPress(int key) {
  if (key != kEnterKey) return;
  double v = 0;
  if (!ValidateNumericTextBox(CurveNoText, 1, CurvesLoaded(), v)) return;
  CurveNumber = CLng(v);
  ShowDecayCurve(CurveNumber);
}

void DataIntegrityForm::StepCurve(int32_t step) {
  const int32_t curves = CurvesLoaded();
  if (curves < 1) return;
  CurveNumber += step;
  if (CurveNumber > curves) CurveNumber = 1;
  if (CurveNumber < 1) CurveNumber = curves;
  ShowDecayCurve(CurveNumber);
}

void DataIntegrityForm::LeftArrow_Click() { StepCurve(-1); }
void DataIntegrityForm::RightArrow_Click() { StepCurve(1); }
void DataIntegrityForm::Help_Click() { ShowHelpTopic(HelpTopic::DataIntegrityForm); }

}  // namespace zentor
