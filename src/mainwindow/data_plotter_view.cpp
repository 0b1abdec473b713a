// Which view the main graph shows, the one redraw that every change goes
// through, the gate-time controls and the display accessors of the main window.
#include <QAction>
#include <QButtonGroup>
#include <QEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSlider>
#include <algorithm>
#include <cmath>
#include <functional>

#include "core/helpers.h"
#include "core/records.h"
#include "core/results_store.h"
#include "core/test_signals.h"
#include "base/text_number.h"
#include "display/graph_frame.h"
#include "display/time_views.h"
#include "mainwindow/data_plotter.h"
#include "mainwindow/view_state.h"
#include "platform/dialogs.h"
#include "platform/text_boxes.h"
#include "platform/forms.h"

namespace zentor {

namespace {

constexpr float kSmallGateLimit = 20.0f;  // ms: up to here the slider counts hundredths
constexpr int kSmallGateSliderMax = 2000;
constexpr int kLargeGateSliderMax = 2000;

MeasurementHeader& Set() { return ResultsDataSetInfo[0]; }

int32_t CacheCount(const CurveArray& curves) { return std::clamp<int32_t>(curves[0].NumCurves, 0, kCurveSlots); }

// 2^PeriodExponent held to what a result column holds.
int32_t StoredPeriodLength(int32_t exponent) { return 1 << std::clamp(exponent, 0, kMaxSamplesExponent); }

std::string WholeText(double v) { return FormatDouble(v); }

// Keeps the gate strip under Frame1 wherever the layout puts the frame.
class FollowFrame : public QObject {
 public:
  FollowFrame(QWidget* frame, QWidget* strip) : QObject(frame), frame_(frame), strip_(strip) {}
  bool eventFilter(QObject* o, QEvent* e) override {
    if (o == frame_ && (e->type() == QEvent::Move || e->type() == QEvent::Resize || e->type() == QEvent::Show))
      Place();
    return false;
  }
  void Place() {
    if (!strip_) return;
    const QRect g = frame_->geometry();
    strip_->setGeometry(g.left(), g.bottom() + 2, g.width(), TwipsToPixels(400));
  }

 private:
  QWidget* frame_;
  QPointer<QWidget> strip_;
};

// Enter in GateText.
class GateKeys : public QObject {
 public:
  GateKeys(QLineEdit* edit, std::function<void()> onEnter) : QObject(edit), onEnter_(std::move(onEnter)) {}
  bool eventFilter(QObject* o, QEvent* e) override {
    if (o == parent() && e->type() == QEvent::KeyPress) {
      auto* k = static_cast<QKeyEvent*>(e);
      if (k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter) {
        onEnter_();
        return true;
      }
    }
    return false;
  }

 private:
  std::function<void()> onEnter_;
};

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
  auto* follow = new FollowFrame(Frame1, GateStrip);
  Frame1->installEventFilter(follow);
  follow->Place();
  GateText->installEventFilter(new GateKeys(GateText, [this] { GateText_KeyPress(13); }));

  connect(TimeBut, &QRadioButton::clicked, this, [this] { TimeBut_Click(); });
  connect(FreqBut, &QRadioButton::clicked, this, [this] { FreqBut_Click(); });
  connect(NoiseBut, &QRadioButton::clicked, this, [this] { NoiseBut_Click(); });
  connect(ModalBut, &QRadioButton::clicked, this, [this] { ModalBut_Click(); });
  connect(Command4, &QPushButton::clicked, this, [this] { Command4_Click(); });
  // A user's choice of range reinterprets the slider; the range follows it.
  connect(SmallGate, &QRadioButton::clicked, this, [this] { SelectGateRange(false); });
  connect(Largegate, &QRadioButton::clicked, this, [this] { SelectGateRange(true); });
  connect(Slider1, &QSlider::sliderMoved, this, [this] { Slider1_Scroll(); });
  connect(Slider1, &QSlider::valueChanged, this, [this] {
    if (!Slider1->isSliderDown()) Slider1_Change();
  });
  connect(Slider1, &QSlider::sliderReleased, this, [this] { Slider1_Change(); });

  connect(FractOct, &QAction::triggered, this, [this] { FractOct_Click(); });
  connect(BodeFFT, &QAction::triggered, this, [this] { BodeFFT_Click(); });
  connect(Psyc, &QAction::triggered, this, [this] { Psyc_Click(); });
  connect(Impulse, &QAction::triggered, this, [this] { Impulse_Click(); });
  connect(SNRatioMenu, &QAction::triggered, this, [this] { SNRatioMenu_Click(); });
  connect(Waterfall, &QAction::triggered, this, [this] { Waterfall_Click(); });
  connect(TimeSettings, &QAction::triggered, this, [this] { TimeSettings_Click(); });
  connect(FrequencyOptions, &QAction::triggered, this, [this] { FrequencyOptions_Click(); });
  connect(CoOrdinateLocker, &QAction::triggered, this, [this] { CoOrdinateLocker_Click(); });
}

QRadioButton* DataPlotter::ViewButton(int32_t view) const {
  switch (view) {
    case kImpulseView:
    case kLevelsView: return TimeBut;
    case kBodeView:
    case kFractOctView:
    case kPsycView: return FreqBut;
    case kNoiseView: return NoiseBut;
    case kModalSliceView: return ModalBut;
    default: return nullptr;
  }
}

void DataPlotter::SelectViewButton(QRadioButton* b) {
  const QSignalBlocker block(b);
  b->setChecked(true);
}

void DataPlotter::SelectAxisButton(QRadioButton* b) {
  const QSignalBlocker block(b);
  b->setChecked(true);
}

void DataPlotter::SelectGateRange(bool large) {
  const QSignalBlocker b1(SmallGate), b2(Largegate), b3(Slider1);
  (large ? Largegate : SmallGate)->setChecked(true);
  Slider1->setRange(large ? 1 : 0, large ? kLargeGateSliderMax : kSmallGateSliderMax);
}

// Widens the range when the value lies outside it, so no stored gate is clamped.
void DataPlotter::SetSliderValue(int32_t v) {
  const QSignalBlocker block(Slider1);
  if (v < Slider1->minimum()) Slider1->setMinimum(v);
  if (v > Slider1->maximum()) Slider1->setMaximum(v);
  Slider1->setValue(v);
}

void DataPlotter::SetGateText(const std::string& text) {
  const QSignalBlocker block(GateText);
  GateText->setText(QString::fromStdString(text));
}

// ---- The redraw ----------------------------------------------------------------

void DataPlotter::DisplayResults(int32_t FirstCurve) {
  if (Busy != 0) return;
  // A builder's message box runs a nested event loop; a redraw asked for there
  // would compute over the scratch the outer one is using.
  if (inDisplayResults_) {
    redrawQueued_ = true;
    return;
  }
  if (PlotterToUpdate != 0) FirstCurve = kRecomputeAllCurves;
  PlotterToUpdate = 0;

  inDisplayResults_ = true;
  {
    WaitCursor hourglass;
    update();
    RubberBandState.BoxErased = kTrue;
    if (Slider1) UpdateGateControls();

    if (FreqGraphFrame.XStart < 1) FreqGraphFrame.XStart = 1;
    if (FreqGraphFrame.XFinish < FreqGraphFrame.XStart + 1) FreqGraphFrame.XFinish = FreqGraphFrame.XStart + 1;

    const int32_t view = DisplayConfig.Graphshown;
    if (view == kLevelsView) {
      SelectAxisButton(LinBut);
      FreqGraphFrame.LogX = kFalse;
    } else if (view == kBodeView || view == kModalSliceView || view == kNoiseView || view == kPsdView ||
               view == kFractOctView || view == kPsycView) {
      SelectAxisButton(FreqGraphFrame.LogX != 0 ? logbut : LinBut);
    }
    switch (view) {
      case kImpulseView:
        TimeGraphFrame.LogX = kFalse;
        ShowMainImpulseSet(FirstCurve);
        break;
      case kLevelsView: {
        const MeasurementHeader& h = LevelsCheckHeader;
        ShowLevelsImpulse(LevelsImpulse, CLng(0.05 * h.SampleRate), 10.0f, h.SampleRate, h.ImpulseShift, h.PeakLevel,
                          h.NoiseEnergy);
        break;
      }
      case kBodeView: ShowFFTResponseSet(FirstCurve); break;
      case kModalSliceView: ShowModalResponseSet(FirstCurve); break;
      case kNoiseView: ShowNoiseResponseSet(FirstCurve); break;
      case kPsdView: ShowPSDEnergy(FirstCurve); break;
      case kFractOctView: ShowFractOctResponseSet(FirstCurve); break;
      case kPsycView: ShowPsycResponseSet(FirstCurve); break;
      default: break;
    }
  }
  inDisplayResults_ = false;

  // One redraw of the filed curves makes up for the requests dropped meanwhile;
  // what its own nested loops ask for is dropped for good.
  if (redrawQueued_ && !followUpRedraw_) {
    redrawQueued_ = false;
    followUpRedraw_ = true;
    DisplayResults(kRedrawFiledCurves);
    followUpRedraw_ = false;
  }
  redrawQueued_ = false;
}

void DataPlotter::ShowResult() {
  const int32_t n = Set().NumInSet;
  if (n < 1 || n > kMaxResults) return;
  const int32_t view = DisplayConfig.Graphshown;
  if (view == kBodeView || view == kFractOctView || view == kPsycView)
    DisplayResults(KeepFiledCurves(n - 1));
  else
    ShowImpulseCurve(n - 1);
}

void DataPlotter::ShowNewGraphic() {
  switch (DisplayConfig.Graphshown) {
    case kBodeView: SelectViewButton(FreqBut); UpdateFFTDisplay(); break;
    case kFractOctView: SelectViewButton(FreqBut); UpdateFractOctDisplay(); break;
    case kPsycView: SelectViewButton(FreqBut); UpdatePsycDisplay(); break;
    case kImpulseView: SelectViewButton(TimeBut); UpdateImpulseDisplay(); break;
    case kNoiseView: SelectViewButton(NoiseBut); UpdateNoiseDisplay(); break;
    default: break;
  }
}

void DataPlotter::SetPlotterToUpdate() { PlotterToUpdate = kTrue; }

void DataPlotter::SetChangeLevels(int16_t v) { FractOctLevelsChanged = PsycLevelsChanged = BodeLevelsChanged = v; }

// ---- Update*Display: redraw from the cache unless a setting moved --------------

void DataPlotter::UpdateFFTDisplay() {
  MeasurementHeader& s = Set();
  if (FreqBut->isChecked()) {
    UpdateGateControls();
    DisplayConfig.Graphshown = kBodeView;
    DisplayResults(s.FreqRespGateTime == StaticConfig.FreqRespGateTime ? CacheCount(BodeCurves)
                                                                        : kRecomputeAllCurves);
  }
  StaticConfig.FreqRespGateTime = s.FreqRespGateTime;
}

void DataPlotter::UpdateFractOctDisplay() {
  MeasurementHeader& s = Set();
  UpdateGateControls();
  DisplayConfig.Graphshown = kFractOctView;
  const bool same = s.FractOctRes == StaticConfig.FractOctRes && s.FractOctGateTime == StaticConfig.FractOctGateTime;
  DisplayResults(same ? CacheCount(FractOctCurves) : kRecomputeAllCurves);
  StaticConfig.FractOctRes = s.FractOctRes;
  StaticConfig.FractOctGateTime = s.FractOctGateTime;
}

void DataPlotter::UpdatePsycDisplay() {
  MeasurementHeader& s = Set();
  UpdateGateControls();
  DisplayConfig.Graphshown = kPsycView;
  const MeasurementHeader& c = StaticConfig;
  const bool same = s.PsycGateTime == c.PsycGateTime && s.PsycLFResolution == c.PsycLFResolution &&
                    s.PsycShelfTime == c.PsycShelfTime && s.PsycShelfLevel == c.PsycShelfLevel;
  DisplayResults(same ? CacheCount(PsycCurves) : kRecomputeAllCurves);
  StaticConfig.PsycGateTime = s.PsycGateTime;
  StaticConfig.PsycLFResolution = s.PsycLFResolution;
  StaticConfig.PsycShelfTime = s.PsycShelfTime;
  StaticConfig.PsycShelfLevel = s.PsycShelfLevel;
  StaticConfig.PsycDataPoints = s.PsycDataPoints;
}

void DataPlotter::UpdateModalDisplay() {
  MeasurementHeader& s = Set();
  UpdateGateControls();
  DisplayConfig.Graphshown = kModalSliceView;
  DisplayResults(s.ModalGateTime == StaticConfig.ModalGateTime ? CacheCount(ModalCurves) : kRecomputeAllCurves);
  CopyMeasurementHeader(s, StaticConfig);
}

void DataPlotter::UpdateNoiseDisplay() {
  MeasurementHeader& s = Set();
  UpdateGateControls();
  DisplayConfig.Graphshown = kNoiseView;
  DisplayResults(s.NoiseGateTime == StaticConfig.NoiseGateTime ? CacheCount(NoiseCurves) : kRecomputeAllCurves);
  StaticConfig.NoiseGateTime = s.NoiseGateTime;
}

void DataPlotter::UpdateImpulseDisplay() {
  MeasurementHeader& s = Set();
  UpdateGateControls();
  DisplayConfig.Graphshown = kImpulseView;
  DisplayResults(s.ImpulseGateTime == StaticConfig.ImpulseGateTime ? CacheCount(ImpulseCurves)
                                                                    : kRecomputeAllCurves);
  StaticConfig.ImpulseGateTime = s.ImpulseGateTime;
}

// ---- Gate controls --------------------------------------------------------------

// The gate field the slider and GateText edit for the view shown, or null.
float* DataPlotter::GateField(bool fromSlider) const {
  MeasurementHeader& s = Set();
  switch (DisplayConfig.Graphshown) {
    case kImpulseView: return &s.ImpulseGateTime;
    case kLevelsView: return fromSlider ? &s.ImpulseGateTime : nullptr;
    case kBodeView: return DisplayConfig.FFTSelected != 0 ? &s.FreqRespGateTime : nullptr;
    case kFractOctView: return DisplayConfig.FractOctSelected != 0 ? &s.FractOctGateTime : nullptr;
    case kModalSliceView: return &s.ModalGateTime;
    case kNoiseView: return &s.NoiseGateTime;
    default: return nullptr;
  }
}

namespace {
bool PsycGateShown() { return DisplayConfig.Graphshown == kPsycView && DisplayConfig.PsycSelected != 0; }
}  // namespace

void DataPlotter::UpdateGateControls() {
  if (PsycGateShown()) {
    SetGateText("N/A");
    return;
  }
  const float* field = GateField(false);
  if (!field) return;
  const float g = *field;
  if (g > kSmallGateLimit) {
    SelectGateRange(true);
    SetSliderValue(CLng(g));
    SetGateText(WholeText(Fix(g)));
  } else {
    SelectGateRange(false);
    const double hundredths = Fix(static_cast<float>(g * 100.0f));
    SetSliderValue(CLng(hundredths));
    SetGateText(WholeText(hundredths / 100));
  }
}

void DataPlotter::UpdateGateFromSlider() {
  if (PsycGateShown()) {
    SetGateText("N/A");
    return;
  }
  float* field = GateField(true);
  if (!field) return;
  if (Largegate->isChecked()) {
    const float g = LimitGateToPeriod(static_cast<float>(Slider1->sliderPosition()));
    *field = g;
    SetGateText(WholeText(Fix(g)));
  } else {
    const float g = ClampSmallGateTime(static_cast<float>(Slider1->sliderPosition() * 0.01));
    *field = g;
    SetGateText(WholeText(Fix(static_cast<float>(g * 100.0f)) / 100));
  }
}

float DataPlotter::LimitGateToPeriod(float ms) const {
  const double fs = Set().SampleRate;
  const double period = StoredPeriodLength(Set().PeriodExponent);
  float g = ms;
  const float needed = static_cast<float>(ms * 0.001 * fs * 1.5 + 0.05 * fs);
  // Whole milliseconds, cut down: the nearest one can overrun the period.
  if (fs > 0 && needed > period) g = static_cast<float>(std::floor((period - 0.05 * fs) * 1000.0 / (1.5 * fs)));
  if (g < 1.0f) g = 1.0f;
  return g;
}

void DataPlotter::ApplyGateChange() {
  UpdateGateFromSlider();
  switch (DisplayConfig.Graphshown) {
    case kModalSliceView: UpdateModalDisplay(); break;
    case kNoiseView: UpdateNoiseDisplay(); break;
    case kImpulseView: UpdateImpulseDisplay(); break;
    case kBodeView: UpdateFFTDisplay(); break;
    case kFractOctView: UpdateFractOctDisplay(); break;
    case kPsycView: UpdatePsycDisplay(); break;
    case kPsdView: DisplayResults(CacheCount(PsdCurves)); break;
    default: break;
  }
  CopyMeasurementHeader(Set(), StaticConfig);
}

void DataPlotter::Slider1_Scroll() { UpdateGateFromSlider(); }

void DataPlotter::Slider1_Change() { ApplyGateChange(); }

void DataPlotter::GateText_KeyPress(int key) {
  if (key != 13) return;
  double v = 0;
  if (!ValidateNumericTextBox(GateText, 2, 2000, v)) return;
  const bool large = v >= 20;
  const int32_t position = large ? CLng(v) : CLng(v * 100);
  SelectGateRange(large);
  SetSliderValue(position);
  ApplyGateChange();
  // The redraw refreshed the controls from the stored gate; a typed 20 ms keeps
  // the large range the user asked for rather than flipping to 2000 hundredths.
  const float* field = GateField(true);
  if (field && *field == static_cast<float>(v)) {
    SelectGateRange(large);
    SetSliderValue(position);
  }
}

// ---- View buttons and menus ----------------------------------------------------

void DataPlotter::TimeBut_Click() {
  const int16_t showETC = ImpulseDisplayConfig.ShowETC;
  ImpulseDisplayConfig.ShowETC = kFalse;
  SelectViewButton(TimeBut);
  DisplayConfig.Graphshown = kImpulseView;
  DisplayResults(kRecomputeAllCurves);
  ImpulseDisplayConfig.ShowETC = showETC != 0 ? kTrue : kFalse;
  UpdateGateControls();
}

void DataPlotter::FreqBut_Click() {
  SelectViewButton(FreqBut);
  if (DisplayConfig.PsycSelected != 0) {
    DisplayConfig.Graphshown = kPsycView;
    UpdatePsycDisplay();
  } else if (DisplayConfig.FractOctSelected != 0) {
    DisplayConfig.Graphshown = kFractOctView;
    UpdateFractOctDisplay();
  } else if (DisplayConfig.FFTSelected != 0) {
    DisplayConfig.Graphshown = kBodeView;
    UpdateFFTDisplay();
  } else {
    MsgBox("Error 5429");
    // The view did not change, so neither does the button that names it.
    if (QRadioButton* b = ViewButton(DisplayConfig.Graphshown)) SelectViewButton(b);
  }
}

void DataPlotter::NoiseBut_Click() {
  SelectViewButton(NoiseBut);
  DisplayConfig.Graphshown = kNoiseView;
  DisplayResults(CacheCount(NoiseCurves));
}

void DataPlotter::ModalBut_Click() {
  DisplayConfig.Graphshown = kModalSliceView;
  DisplayResults(CacheCount(ModalCurves));
}

void DataPlotter::FractOct_Click() {
  DisplayConfig.Graphshown = kFractOctView;
  ShowNewGraphic();
}

void DataPlotter::BodeFFT_Click() {
  DisplayConfig.Graphshown = kBodeView;
  ShowNewGraphic();
}

void DataPlotter::Psyc_Click() {
  DisplayConfig.Graphshown = kPsycView;
  ShowNewGraphic();
}

void DataPlotter::Impulse_Click() {
  DisplayConfig.Graphshown = kImpulseView;
  ShowNewGraphic();
}

void DataPlotter::SNRatioMenu_Click() { NoiseBut_Click(); }

void DataPlotter::Waterfall_Click() {
  if (ViewWindowHooks.ShowWaterfallWindow) ViewWindowHooks.ShowWaterfallWindow();
}

namespace {
bool DataLoadedForSettings() {
  if (ResultsDataSetInfo[0].NumInSet >= 1) return true;
  MsgBox(" Data must be loaded before parameters can be set", MsgButtons::OK, MsgIcon::Exclamation,
         "Mirabelt Zentor");
  return false;
}
}  // namespace

void DataPlotter::TimeSettings_Click() {
  if (DataLoadedForSettings() && ViewWindowHooks.ShowDisplayOptions) ViewWindowHooks.ShowDisplayOptions(3);
}

void DataPlotter::FrequencyOptions_Click() {
  if (DataLoadedForSettings() && ViewWindowHooks.ShowDisplayOptions) ViewWindowHooks.ShowDisplayOptions(4);
}

void DataPlotter::CoOrdinateLocker_Click() {
  if (ViewWindowHooks.ShowCoOrdLock) ViewWindowHooks.ShowCoOrdLock();
}

void DataPlotter::Command4_Click() { CoOrdinateLocker_Click(); }

// ---- Accessors -------------------------------------------------------------------

void DataPlotter::BoostCut(int32_t curve, float dB) {
  const MeasurementHeader& s = Set();
  if (curve < 1 || curve > std::min(s.NumInSet, kMaxResults)) return;
  const int32_t n = StoredPeriodLength(s.PeriodExponent);
  const float gain = static_cast<float>(std::pow(10.0, dB / 20.0));
  auto& column = ImpulseSet[static_cast<size_t>(curve - 1)];
  for (int32_t i = 0; i < n; ++i) column[static_cast<size_t>(i)] *= gain;
  DisplayResults(kRecomputeAllCurves);
}

int32_t DataPlotter::GetPeriodLength() const { return Set().PeriodExponent; }

int32_t DataPlotter::GetNumberOfCurves() const { return Set().NumInSet; }

std::string DataPlotter::GetSampleRateOfDisplayData() const {
  return std::to_string(Set().NumInSet >= 1 ? Set().SampleRate : EQConfig.SampleRate);
}

void DataPlotter::IncludeExistingFiltersinFit(int32_t v) {
  if (v == 0) IncludeFilters = kFalse;
  if (v == 1) IncludeFilters = kTrue;
}

float DataPlotter::GetFractOctRes() const { return Set().NumInSet >= 1 ? Set().FractOctRes : EQConfig.FractOctRes; }

float DataPlotter::GetFractOctGateTime() const {
  return Set().NumInSet >= 1 ? Set().FractOctGateTime : EQConfig.FractOctGateTime;
}

float DataPlotter::GetBodeGateTime() const {
  return Set().NumInSet >= 1 ? Set().FreqRespGateTime : EQConfig.FreqRespGateTime;
}

void DataPlotter::RefreshPsycParms() {
  MeasurementHeader& s = Set();
  s.PsycLFResolution = EQConfig.PsycLFResolution;
  s.PsycGateTime = EQConfig.PsycGateTime;
  s.PsycShelfTime = EQConfig.PsycShelfTime;
  s.PsycShelfLevel = EQConfig.PsycShelfLevel;
  s.PsycDataPoints = EQConfig.PsycDataPoints;
}

void DataPlotter::RefreshOctParms() {
  MeasurementHeader& s = Set();
  s.FractOctRes = EQConfig.FractOctRes;
  s.FractOctGateTime = EQConfig.FractOctGateTime;
  s.FractOctPoints = EQConfig.FractOctPoints;
}

void DataPlotter::RefreshBodeParms() { Set().FreqRespGateTime = EQConfig.FreqRespGateTime; }

void DataPlotter::LoadStaticConfig() { CopyMeasurementHeader(Set(), StaticConfig); }

void DataPlotter::GetGraphShown(int32_t n) {
  switch (n) {
    case kBodeView: MsgBox("Graph = FREQRESPSHOWN "); break;
    case kFractOctView: MsgBox("Graph = FRACTOCTSHOWN "); break;
    case kPsycView: MsgBox("Graph = PSYCHOACOUSTICSHOWN  "); break;
    case kImpulseView: MsgBox("Graph = IMPULSESHOWN "); break;
    case kNoiseView: MsgBox("Graph = NOISESHOWN  "); break;
    default: break;
  }
}

bool DataPlotter::ADDTOPSDParameters(int32_t& a, int32_t& b) {
  const int32_t k = PsdParameters[0].Count;
  if (k < 0 || k >= kMaxPsdSpectra) {
    MsgBox("User Error: only 32 curves can be stored at once. Delete one to continue.");
    return false;
  }
  PsdParameters[static_cast<size_t>(k)].Exponent = b;
  PsdParameters[static_cast<size_t>(k)].SampleRate = a;
  PsdParameters[0].Count = k + 1;
  PsdRecordingPending = true;
  return true;
}

void DataPlotter::RunFilter() { MsgBox("Run Filter"); }

void DataPlotter::DefaultTwoToneTable() {
  TestCDSettings& p = CDSignalParams;
  p.ToneCount = 20;
  p.SampleRate = 44100;
  p.Amplitude = 15000.0f;
  p.Order = 16;
  p.Shaping = 5.0f;
  p.FirstToneFreqA = 10000.0f;
  p.FirstToneFreqB = 10250.0f;
  p.ToneSpacing = 500.0f;
  for (int i = 0; i < kTestCDToneSlots; ++i) {
    p.LeftToneBins[static_cast<size_t>(i)] = CLng(65536.0 * (10250.0 + 500.0 * i) / 44100.0);
    p.RightToneBins[static_cast<size_t>(i)] = CLng(65536.0 * (10000.0 + 500.0 * i) / 44100.0);
  }
}

}  // namespace zentor
