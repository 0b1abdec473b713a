// The main window as the host of the main graph: the view and gate controls, what
// the views read and set of the panel, and the operations other windows call.
#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSlider>

#include "display/curve_averaging.h"
#include "display/dispatcher.h"
#include "display/fit_to_data.h"
#include "display/time_views.h"
#include "mainwindow/data_plotter.h"
#include "mainwindow/event_hook.h"
#include "platform/text_boxes.h"

namespace zentor {

namespace {

constexpr int kSmallGateSliderMax = 2000;
constexpr int kLargeGateSliderMax = 2000;

}  // namespace

// ---- Controls ------------------------------------------------------------------

void DataPlotter::InitViewControls() {
  if (Slider1) return;
  auto place = [](QWidget* w, double left, double top, double width, double height) {
    w->setGeometry(TwipsToPixels(left), TwipsToPixels(top), TwipsToPixels(width), TwipsToPixels(height));
  };

  ModalBut = new QRadioButton("Slice", Frame1);
  ModalBut->setObjectName("ModalBut");
  place(ModalBut, 4100, 150, 900, 300);
  if (QButtonGroup* views = TimeBut->group()) views->addButton(ModalBut);
  Command4 = new QPushButton("Lock", Frame1);
  Command4->setObjectName("Command4");
  place(Command4, 5050, 150, 800, 300);

  GateStrip = new QWidget(centralWidget());
  GateStrip->setObjectName("GateStrip");
  SmallGate = new QRadioButton("Small Gate Times", GateStrip);
  SmallGate->setObjectName("SmallGate");
  Largegate = new QRadioButton("Large Gate Times", GateStrip);
  Largegate->setObjectName("Largegate");
  auto* range = new QButtonGroup(GateStrip);
  range->addButton(SmallGate);
  range->addButton(Largegate);
  Slider1 = new QSlider(Qt::Horizontal, GateStrip);
  Slider1->setObjectName("Slider1");
  GateText = new QLineEdit(GateStrip);
  GateText->setObjectName("GateText");
  place(SmallGate, 60, 40, 1900, 300);
  place(Largegate, 1980, 40, 1900, 300);
  place(Slider1, 4000, 40, 5000, 300);
  place(GateText, 9100, 40, 900, 300);
  {
    const QSignalBlocker b1(SmallGate), b2(Slider1);
    SmallGate->setChecked(true);
    Slider1->setRange(0, kSmallGateSliderMax);
  }
  // The gate strip stays under Frame1 wherever the layout puts the frame.
  auto placeStrip = [frame = Frame1, strip = QPointer<QWidget>(GateStrip)] {
    if (!strip) return;
    const QRect g = frame->geometry();
    strip->setGeometry(g.left(), g.bottom() + 2, g.width(), TwipsToPixels(400));
  };
  new EventHook(Frame1, [placeStrip](QEvent* e) {
    if (e->type() == QEvent::Move || e->type() == QEvent::Resize || e->type() == QEvent::Show) placeStrip();
    return false;
  });
  placeStrip();
  new EventHook(GateText, [this](QEvent* e) {
    if (e->type() != QEvent::KeyPress) return false;
    const int key = static_cast<QKeyEvent*>(e)->key();
    if (key != Qt::Key_Return && key != Qt::Key_Enter) return false;
    zentor::GateText_KeyPress(*this, 13);
    return true;
  });

  connect(TimeBut, &QRadioButton::clicked, this, [this] { TimeBut_Click(); });
  connect(FreqBut, &QRadioButton::clicked, this, [this] { FreqBut_Click(); });
  connect(NoiseBut, &QRadioButton::clicked, this, [this] { NoiseBut_Click(); });
  connect(ModalBut, &QRadioButton::clicked, this, [this] { zentor::ModalBut_Click(*this); });
  connect(Command4, &QPushButton::clicked, this, &DataPlotter::Command4_Click);
  connect(SmallGate, &QRadioButton::clicked, this, &DataPlotter::SmallGate_Click);
  connect(Largegate, &QRadioButton::clicked, this, &DataPlotter::Largegate_Click);
  connect(Slider1, &QSlider::sliderMoved, this, [this] { zentor::Slider1_Scroll(*this); });
  connect(Slider1, &QSlider::valueChanged, this, [this] {
    if (!Slider1->isSliderDown()) zentor::Slider1_Change(*this);
  });
  connect(Slider1, &QSlider::sliderReleased, this, [this] { zentor::Slider1_Change(*this); });

  connect(FractOct, &QAction::triggered, this, [this] { zentor::FractOct_Click(*this); });
  connect(BodeFFT, &QAction::triggered, this, [this] { zentor::BodeFFT_Click(*this); });
  connect(Psyc, &QAction::triggered, this, [this] { zentor::Psyc_Click(*this); });
  connect(Impulse, &QAction::triggered, this, [this] { zentor::Impulse_Click(*this); });
  connect(SNRatioMenu, &QAction::triggered, this, [this] { zentor::SNRatioMenu_Click(*this); });
  connect(Waterfall, &QAction::triggered, this, [] { zentor::Waterfall_Click(); });
  connect(TimeSettings, &QAction::triggered, this, [] { zentor::TimeSettings_Click(); });
  connect(FrequencyOptions, &QAction::triggered, this, [] { zentor::FrequencyOptions_Click(); });
  connect(CoOrdinateLocker, &QAction::triggered, this, [] { zentor::CoOrdinateLocker_Click(); });
}

// ---- GraphHost ---------------------------------------------------------------------

DrawingSurface& DataPlotter::MainGraph() {
  if (MainGraphOverride) return *MainGraphOverride;
  return *Picture1;
}

void DataPlotter::RepaintWindow() { update(); }

void DataPlotter::SelectViewButton(ViewButton b) {
  QRadioButton* button = b == ViewButton::Time    ? TimeBut
                         : b == ViewButton::Freq  ? FreqBut
                         : b == ViewButton::Noise ? NoiseBut
                         : b == ViewButton::Modal ? ModalBut
                                                  : nullptr;
  if (!button) {
    for (QRadioButton* r : {TimeBut, FreqBut, NoiseBut, ModalBut}) {
      if (!r || !r->isChecked()) continue;
      const QSignalBlocker block(r);
      QButtonGroup* group = r->group();
      if (group) group->setExclusive(false);
      r->setAutoExclusive(false);
      r->setChecked(false);
      r->setAutoExclusive(true);
      if (group) group->setExclusive(true);
    }
    return;
  }
  const QSignalBlocker block(button);
  button->setChecked(true);
}

ViewButton DataPlotter::SelectedViewButton() const {
  if (TimeBut->isChecked()) return ViewButton::Time;
  if (FreqBut->isChecked()) return ViewButton::Freq;
  if (NoiseBut->isChecked()) return ViewButton::Noise;
  if (ModalBut && ModalBut->isChecked()) return ViewButton::Modal;
  return ViewButton::None;
}

void DataPlotter::SelectAxisButton(bool log) {
  QRadioButton* b = log ? logbut : LinBut;
  const QSignalBlocker block(b);
  b->setChecked(true);
}

void DataPlotter::SelectGateRange(bool large) {
  const QSignalBlocker b1(SmallGate), b2(Largegate), b3(Slider1);
  (large ? Largegate : SmallGate)->setChecked(true);
  Slider1->setRange(large ? 1 : 0, large ? kLargeGateSliderMax : kSmallGateSliderMax);
}

bool DataPlotter::LargeGateSelected() const { return Largegate->isChecked(); }

void DataPlotter::SetGateSlider(int32_t v) {
  const QSignalBlocker block(Slider1);
  if (v < Slider1->minimum()) Slider1->setMinimum(v);
  if (v > Slider1->maximum()) Slider1->setMaximum(v);
  Slider1->setValue(v);
}

int32_t DataPlotter::GateSliderPosition() const { return Slider1->sliderPosition(); }

void DataPlotter::SetGateText(const std::string& text) {
  const QSignalBlocker block(GateText);
  GateText->setText(QString::fromStdString(text));
}

bool DataPlotter::ReadGateText(double min, double max, double& value) {
  return ValidateNumericTextBox(GateText, min, max, value);
}

bool DataPlotter::NormTicked() const { return Norm->isChecked(); }

bool DataPlotter::ReadCurveNoText(double min, double max, double& value) {
  return ValidateNumericTextBox(CurveNoText, min, max, value);
}

void DataPlotter::SetCurveNoText(const std::string& text) { CurveNoText->setText(QString::fromStdString(text)); }

void DataPlotter::ShowListLines(std::span<const std::string> lines) {
  ModesListContents[0].Count = 0;  // these lines name no mode
  ShowModesLines(lines);
}

void DataPlotter::ShowModesLines(std::span<const std::string> lines) {
  ModesList->clear();
  // The list is narrow: a long line wraps, and shows whole on hover too.
  for (const std::string& line : lines) {
    ModesList->addItem(QString::fromStdString(line));
    ModesList->item(ModesList->count() - 1)->setToolTip(QString::fromStdString(line));
  }
}

// The views step the bar inside one event: repaint now rather than when events run.
void DataPlotter::InitializeProgress(int32_t n) {
  InitializeProgressBar1(n);
  ProgressBar1->repaint();
}

void DataPlotter::IncrementProgress() {
  IncrementProgressBar1();
  ProgressBar1->repaint();
}

void DataPlotter::ClearProgress() {
  ClearProgressBar1();
  ProgressBar1->repaint();
}

// ---- Operations other windows call -----------------------------------------------

void DataPlotter::DisplayResults(int32_t FirstCurve) { zentor::DisplayResults(*this, FirstCurve); }
void DataPlotter::ShowResult() { zentor::ShowResult(*this); }
void DataPlotter::ShowNewGraphic() { zentor::ShowNewGraphic(*this); }
void DataPlotter::SetPlotterToUpdate() { zentor::SetPlotterToUpdate(); }
void DataPlotter::SetChangeLevels(int16_t v) { zentor::SetChangeLevels(v); }
void DataPlotter::BoostCut(int32_t curve, float dB) { zentor::BoostCut(*this, curve, dB); }
int32_t DataPlotter::GetPeriodLength() const { return zentor::GetPeriodLength(); }
int32_t DataPlotter::GetNumberOfCurves() const { return zentor::GetNumberOfCurves(); }
std::string DataPlotter::GetSampleRateOfDisplayData() const { return zentor::GetSampleRateOfDisplayData(); }
void DataPlotter::IncludeExistingFiltersinFit(int32_t v) { zentor::IncludeExistingFiltersinFit(v); }
int16_t DataPlotter::GetIncludeFilters() const { return zentor::GetIncludeFilters(); }
float DataPlotter::GetFractOctRes() const { return zentor::GetFractOctRes(); }
float DataPlotter::GetFractOctGateTime() const { return zentor::GetFractOctGateTime(); }
float DataPlotter::GetBodeGateTime() const { return zentor::GetBodeGateTime(); }
void DataPlotter::RefreshPsycParms() { zentor::RefreshPsycParms(); }
void DataPlotter::RefreshOctParms() { zentor::RefreshOctParms(); }
void DataPlotter::RefreshBodeParms() { zentor::RefreshBodeParms(); }
void DataPlotter::LoadStaticConfig() { zentor::LoadStaticConfig(); }
void DataPlotter::GetGraphShown(int32_t n) { zentor::GetGraphShown(n); }
bool DataPlotter::ADDTOPSDParameters(int32_t& a, int32_t& b) { return zentor::ADDTOPSDParameters(a, b); }
void DataPlotter::UpdateFFTDisplay() { zentor::UpdateFFTDisplay(*this); }
void DataPlotter::UpdateFractOctDisplay() { zentor::UpdateFractOctDisplay(*this); }
void DataPlotter::UpdatePsycDisplay() { zentor::UpdatePsycDisplay(*this); }
void DataPlotter::UpdateModalDisplay() { zentor::UpdateModalDisplay(*this); }
void DataPlotter::UpdateNoiseDisplay() { zentor::UpdateNoiseDisplay(*this); }
void DataPlotter::RunFilter() { zentor::RunFilter(); }
void DataPlotter::TimeBut_Click() { zentor::TimeBut_Click(*this); }
void DataPlotter::FreqBut_Click() { zentor::FreqBut_Click(*this); }
void DataPlotter::NoiseBut_Click() { zentor::NoiseBut_Click(*this); }
bool DataPlotter::ShowPSDEnergy(int32_t FirstCurve) { return zentor::ShowPSDEnergy(*this, FirstCurve); }
void DataPlotter::ShowLevelsImpulse(std::span<float> impulse, int32_t startIndex, float msBefore, int32_t sampleRate,
                                    int32_t impulseShift, float level, float signalToNoise) {
  zentor::ShowLevelsImpulse(*this, impulse, startIndex, msBefore, sampleRate, impulseShift, level, signalToNoise);
}
void DataPlotter::ClearDisplays() { zentor::ClearDisplays(); }
int32_t DataPlotter::GetFFTSizeFromGateTime(float gateMs, int32_t periodExponent, int32_t sampleRate) {
  return zentor::GetFFTSizeFromGateTime(*this, gateMs, periodExponent, sampleRate);
}
int32_t DataPlotter::GetMainCurveNumber() { return zentor::GetMainCurveNumber(*this); }
void DataPlotter::ShowDifferenceCurves(int32_t mode) { zentor::ShowDifferenceCurves(*this, mode); }
void DataPlotter::FitGraphToData() { zentor::FitGraphToData(*this); }
std::string DataPlotter::GetCurrentNumericalSettingsDisplayRes() const { return GetDisplayRes(); }

void DataPlotter::Command4_Click() { zentor::Command4_Click(); }

}  // namespace zentor
