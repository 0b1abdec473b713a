#include "eqdesign/level_set.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <vector>

#include "base/text_number.h"
#include "core/emulation.h"
#include "core/eq_setting_text.h"
#include "core/records.h"
#include "core/results_store.h"
#include "display/dispatcher.h"
#include "eqdesign/applied_filter_list.h"
#include "eqdesign/fit_limits_store.h"
#include "eqdesign/level_matching.h"
#include "exchange/filter_export.h"
#include "mainwindow/data_plotter.h"
#include "platform/dialogs.h"
#include "platform/forms.h"
#include "platform/help.h"
#include "platform/text_boxes.h"

namespace zentor {

namespace {

constexpr double kTwoPi = 6.28318530717959;
constexpr int kPositions = 2000;

QSlider* Slider(QWidget* parent, const char* name) {
  auto* s = new QSlider(Qt::Horizontal, parent);
  s->setObjectName(name);
  s->setRange(0, kPositions);
  // Only a completed change (release, click, key) reports a value change; a drag
  // reports its positions through sliderMoved.
  s->setTracking(false);
  s->setMinimumWidth(300);
  return s;
}

QLineEdit* TextBox(QWidget* parent, const char* name) {
  auto* e = new QLineEdit(parent);
  e->setObjectName(name);
  e->setFixedWidth(80);
  return e;
}

QLabel* Label(QWidget* parent, const char* name, const char* text) {
  auto* l = new QLabel(text, parent);
  l->setObjectName(name);
  return l;
}

void SetText(QLineEdit* box, const std::string& text) { box->setText(QString::fromStdString(text)); }

// Level of a Q pair in dB, positive for a boost (Q1 < 0).
double PairLevel(float q1, float q2) { return 20 * std::log10(std::fabs(double(q1) / q2)); }

}  // namespace

void EditorQRange(int32_t code, double v, double& lower, double& upper) {
  switch (code) {
    case 1:
      lower = std::max(v / 2, 1.0);
      upper = std::min(2 * v, 120.0);
      break;
    case 4:
      lower = std::max(v / 4, 1.0);
      upper = std::min(4 * v, 600.0);
      break;
    case 5:
      lower = std::max(v / 4, 0.1);
      upper = std::min(4 * v, 10.0);
      break;
    default:
      lower = std::max(v / 2, 0.1);
      upper = std::min(2 * v, 50.0);
      break;
  }
  // A value outside the model's limits stays reachable, so opening never moves it.
  lower = std::min(lower, v);
  upper = std::max(upper, v);
}

void SliderMap::Set(double firstEnd, double secondEnd) {
  first = firstEnd;
  second = secondEnd;
  a = kPositions / (second - first);
  b = kPositions - a * second;
  c = 1 / a;
  d = second - kPositions * c;
}

LevelSet::LevelSet(QWidget* parent) : QDialog(parent) {
  setObjectName("LevelSet");
  LevelSlider = Slider(this, "LevelSlider");
  Qslider = Slider(this, "Qslider");
  FreqSlider = Slider(this, "FreqSlider");
  LevelText = TextBox(this, "LevelText");
  QText = TextBox(this, "QText");
  FreqText = TextBox(this, "FreqText");
  DecayText = TextBox(this, "DecayText");
  DecayText->setReadOnly(true);  // shown only
  QLabel = Label(this, "QLabel", "Q[NA]");
  FreqLabel = Label(this, "FreqLabel", "Hz");
  Label2 = Label(this, "Label2", "s/60 dB Decay");
  EmulationLabel = Label(this, "EmulationLabel", "");
  CentreQLabel = Label(this, "CentreQLabel", "");
  Delete = new QPushButton("Delete", this);
  Delete->setObjectName("Delete");
  Help = new QPushButton("Help", this);
  Help->setObjectName("Help");
  // Enter belongs to the fields: no button may take it as a default.
  for (QPushButton* b : {Delete, Help}) {
    b->setAutoDefault(false);
    b->setDefault(false);
  }

  auto* grid = new QGridLayout;
  grid->addWidget(LevelSlider, 0, 0);
  grid->addWidget(LevelText, 0, 1);
  grid->addWidget(new ::QLabel("dB", this), 0, 2);
  grid->addWidget(FreqSlider, 1, 0);
  grid->addWidget(FreqText, 1, 1);
  grid->addWidget(FreqLabel, 1, 2);
  grid->addWidget(Qslider, 2, 0);
  grid->addWidget(QText, 2, 1);
  grid->addWidget(QLabel, 2, 2);
  grid->addWidget(DecayText, 3, 1);
  grid->addWidget(Label2, 3, 2);
  grid->addWidget(CentreQLabel, 4, 0, 1, 3);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(EmulationLabel);
  buttons->addStretch();
  buttons->addWidget(Delete);
  buttons->addWidget(Help);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  connect(LevelSlider, &QSlider::sliderMoved, this, [this](int p) { LevelSlider_Scroll(p); });
  connect(LevelSlider, &QSlider::valueChanged, this, [this](int p) { LevelSlider_Change(p); });
  connect(Qslider, &QSlider::sliderMoved, this, [this](int p) { Qslider_Scroll(p); });
  connect(Qslider, &QSlider::valueChanged, this, [this](int p) { Qslider_Change(p); });
  connect(FreqSlider, &QSlider::sliderMoved, this, [this](int p) { FreqSlider_Scroll(p); });
  connect(FreqSlider, &QSlider::valueChanged, this, [this](int p) { FreqSlider_Change(p); });
  connect(FreqText, &QLineEdit::returnPressed, this, [this] { FreqText_KeyPress(13); });
  connect(QText, &QLineEdit::returnPressed, this, [this] { QText_KeyPress(13); });
  connect(LevelText, &QLineEdit::returnPressed, this, [this] { LevelText_KeyPress(13); });
  connect(Delete, &QPushButton::clicked, this, [this] { Delete_Click(); });
  connect(Help, &QPushButton::clicked, this, [this] { Help_Click(); });
}

int32_t LevelSet::ParametricCode() const { return Forms::Get<DataPlotter>()->GetParametricEQEmulation(); }
int32_t LevelSet::GraphicCode() const { return Forms::Get<DataPlotter>()->GetGraphicEQEmulation(); }
int32_t LevelSet::Code() const { return kind_ == 3 ? GraphicCode() : ParametricCode(); }

void LevelSet::SetPosition(QSlider* slider, double position) {
  const int32_t p = std::clamp(CLng(position), 0, kPositions);
  if (slider == LevelSlider) levelPosition_ = p;
  if (slider == Qslider) qPosition_ = p;
  if (slider == FreqSlider) freqPosition_ = p;
  const QSignalBlocker quiet(slider);
  slider->setValue(p);
}

void LevelSet::ShowEmulationModel(int32_t code) {
  static const char* const kModels[] = {"Behringer DSP 1124P", "Bristow-Johnson", "Classic Audio",
                                        "Behringer FBQ 2496", "Behringer DCX 2496"};
  if (code >= 1 && code <= 5) EmulationLabel->setText(kModels[code - 1]);
}

void LevelSet::Unload() {
  unloaded_ = true;
  reject();
}

bool LevelSet::InitializeLevelSet(int32_t index) {
  ready_ = false;
  for (QSlider* s : {LevelSlider, Qslider, FreqSlider}) {
    const QSignalBlocker quiet(s);
    s->setRange(0, kPositions);
  }
  if (index < 0 || index >= std::clamp(AppliedFilters[0].Count, 0, kMaxFilters)) {
    MsgBox("Error 9054 ");
    return true;
  }
  CopyFilterRecord(AppliedFilters[static_cast<size_t>(index)], work_);
  index_ = index;
  editedFreq_ = work_.Freq1;
  if (!std::isfinite(work_.Freq1) || !std::isfinite(work_.Q1) || !std::isfinite(work_.Q2)) {
    MsgBox("Error 9054 ");
    return true;
  }
  SetText(FreqText, Str(Fix(work_.Freq1 * 10 / kTwoPi + 0.5) * 0.1));
  kind_ = work_.Kind;
  if (kind_ != 2 && kind_ != 3 && kind_ != 4) {
    MsgBox("Error 5419");
    return true;
  }
  const double fs = Val(GetSampleRateOfDisplayData());
  // Compared in the record's precision, so a filter exactly at half the rate opens.
  if (static_cast<float>(3.1415926535 * fs) < work_.Freq1) {
    MsgBox("Error: This frequency is too high using the current sample rate.");
    Unload();
    return false;
  }
  if (!(work_.Q2 > 0)) MsgBox("Error 5421");
  const int32_t parametric = ParametricCode();
  if (kind_ == 4 && (parametric == 1 || parametric == 4 || parametric == 5)) kind_ = 2;

  if (kind_ == 2) SetUpParametric();
  if (kind_ == 3) SetUpGraphic();
  if (kind_ == 4) SetUpDamped();

  ready_ = true;
  RecalculateFilter(false);
  WaitCursor hourglass;
  if (!AjustLevelGraphics(*Forms::Get<DataPlotter>(), index_, editedFreq_, work_.Q2, work_.Q1, 0)) {
    Unload();
    return false;
  }
  return true;
}

void LevelSet::SetFrequencyRange() {
  const double f = editedFreq_;
  SetText(FreqText, Str(Fix(f * 100 / kTwoPi + 0.5) * 0.01));
  freqMap_.Set(f / std::pow(10.0, 0.1), f * std::pow(10.0, 0.1));
  SetPosition(FreqSlider, freqMap_.Position(f));
}

void LevelSet::SetUpParametric() {
  const int32_t code = ParametricCode();
  work_.EQEmulationCode = code;
  ShowEmulationModel(code);
  EmulateEQBand(code, work_.Freq1, work_.Q1, work_.Q2);
  for (QWidget* w : {static_cast<QWidget*>(Qslider), static_cast<QWidget*>(FreqSlider), static_cast<QWidget*>(QText),
                     static_cast<QWidget*>(QLabel)})
    w->show();
  FreqText->setReadOnly(false);
  QText->setReadOnly(false);
  DecayText->hide();
  Label2->hide();
  setWindowTitle("Parametric Control");
  SetFrequencyRange();

  const bool boost = work_.Q1 < 0;
  const double L = boost ? PairLevel(work_.Q1, work_.Q2) : -PairLevel(work_.Q1, work_.Q2);
  // Each range is widened just enough to hold the filter's value, so opening the
  // editor never moves it.
  levelMap_.Set(std::min(-20.0, L), std::max(12.0, L));
  SetText(LevelText, Str(Fix(100 * L + (boost ? 0.5 : -0.5)) * 0.01));
  SetPosition(LevelSlider, levelMap_.Position(L));

  double v = 0;
  if (code == 1 || code == 4 || code == 5) {
    QLabel->setText(code == 5 ? "Q[NA]" : "BW/60");
    const double scale = code == 5 ? 1 : 60;
    v = Fix(ConvertEmulatedBandwidth(work_.Q1, work_.Q2, code) * scale * 100 + 0.5) * 0.01;
  } else {
    QLabel->setText("Q[NA]");
    v = ScaleQByGain(static_cast<float>(L), work_.Q1);
  }
  double lower = 0, upper = 0;
  EditorQRange(code, v, lower, upper);
  qMap_.Set(lower, upper);
  SetText(QText, Str(Fix(100 * v + 0.5) * 0.01));
  SetPosition(Qslider, qMap_.Position(v));
}

void LevelSet::SetUpGraphic() {
  for (QWidget* w : {static_cast<QWidget*>(Qslider), static_cast<QWidget*>(QText), static_cast<QWidget*>(QLabel),
                     static_cast<QWidget*>(FreqSlider)})
    w->hide();
  FreqText->setReadOnly(true);
  // The frequency box takes the place of the decay box.
  if (auto* grid = qobject_cast<QGridLayout*>(layout()->itemAt(0)->layout())) {
    grid->removeWidget(FreqText);
    grid->removeWidget(FreqLabel);
    grid->addWidget(FreqText, 3, 1);
    grid->addWidget(FreqLabel, 3, 2);
  }
  const int32_t code = GraphicCode();
  work_.EQEmulationCode = code;
  ShowEmulationModel(code);
  EmulateEQBand(code, work_.Freq1, work_.Q1, work_.Q2);
  setWindowTitle("Graphic Control");
  DecayText->hide();
  Label2->hide();

  const bool boost = work_.Q1 < 0;
  const double L = boost ? PairLevel(work_.Q1, work_.Q2) : -PairLevel(work_.Q1, work_.Q2);
  levelMap_.Set(std::min(-20.0, L), std::max(12.0, L));
  SetText(LevelText, Str(Fix(100 * L + (boost ? -0.5 : 0.5)) * 0.01));
  SetPosition(LevelSlider, levelMap_.Position(L));
  if (std::fabs(work_.Q1) == work_.Q2) {
    SetText(LevelText, "0.0");
    SetPosition(LevelSlider, levelMap_.Position(0));
  }
}

void LevelSet::SetUpDamped() {
  for (QWidget* w : {static_cast<QWidget*>(Qslider), static_cast<QWidget*>(QLabel), static_cast<QWidget*>(QText)})
    w->hide();
  QText->setReadOnly(true);
  FreqText->setReadOnly(false);
  FreqSlider->show();
  const int32_t code = ParametricCode();
  work_.EQEmulationCode = code;
  ShowEmulationModel(code);
  SetText(DecayText, Str(Fix(work_.Q2 * 13.8 * 100 / work_.Freq1 + 0.5) * 0.01));
  setWindowTitle("Damped Parametric Control");
  DecayText->show();
  Label2->show();
  SetFrequencyRange();

  // Position 0 is no change, position 2000 the deepest damping (-20 dB).
  const double D = PairLevel(work_.Q1, work_.Q2);
  levelMap_.Set(0, std::min(-20.0, -std::fabs(D)));
  SetPosition(LevelSlider, levelMap_.Position(-std::fabs(D)));
  if (work_.Q1 > 0)
    SetText(LevelText, Str(-Fix(100 * D + 0.5) * 0.01));
  else if (work_.Q1 < 0)
    SetText(LevelText, Str(Fix(100 * D + 0.5) * 0.01));
  else
    SetText(LevelText, "0.0");
}

void LevelSet::RecalculateFilter(bool showTexts) {
  auto show = [showTexts](QLineEdit* box, const std::string& text) {
    if (showTexts) SetText(box, text);
  };
  switch (kind_) {
    case 3: {
      const auto D = static_cast<float>(PairLevel(work_.Q1, work_.Q2));
      const float base = ScaleQByGain(D, work_.Q1);
      const int32_t code = GraphicCode();
      const float L = QuantizeEmulatedLevel(code, static_cast<float>(levelMap_.Value(levelPosition_)));
      show(LevelText, Str(L));
      work_.Q1 = ConvertQForFilterType(base, L, code);
      work_.Q2 = std::max(std::fabs(work_.Q1) / std::pow(10.0f, std::fabs(L) / 20), 0.05f);
      break;
    }
    case 2: {
      const int32_t code = ParametricCode();
      const float v = QuantizeEmulatedQ(code, static_cast<float>(qMap_.Value(qPosition_)));
      show(QText, Str(v));
      const float L = QuantizeEmulatedLevel(code, static_cast<float>(levelMap_.Value(levelPosition_)));
      show(LevelText, Str(L));
      float q = v;
      if (code == 1) q = BandwidthToQForFilterType(v / 60, 1);
      if (code == 4) q = BandwidthToQForFilterType(v / 60, 4);
      if (code == 5) q = BandwidthToQForFilterType(v, 5);
      work_.Q1 = ConvertQForFilterType(q, L, code);
      work_.Q2 = std::max(std::fabs(work_.Q1) / std::pow(10.0f, std::fabs(L) / 20), 0.05f);
      break;
    }
    case 4: {
      const int32_t code = ParametricCode();
      const float L = QuantizeEmulatedLevel(code, static_cast<float>(levelMap_.Value(levelPosition_)));
      work_.Q2 = std::fabs(work_.Q1) / std::pow(10.0f, std::fabs(L) / 20);
      show(DecayText, Str(Fix(work_.Q2 * 13.8 * 100 / work_.Freq1 + 0.5) * 0.01));
      const double shown = Fix(2000 * std::log10(std::fabs(double(work_.Q1) / work_.Q2)) + 0.5) * 0.01;
      show(LevelText, Str(work_.Q1 < 0 ? shown : -shown));
      break;
    }
    default: break;
  }
  // The label follows the filter as written, also at set-up, and says which
  // figure the unit itself takes.
  std::string unit;
  if (kind_ == 2) {
    const double octaves = UnitBandwidthOctaves(work_);
    unit = octaves > 0 ? "\nUnit bandwidth " + FormatDouble(std::round(octaves * 1e4) / 1e4) + " octave: the BW/60 above"
                       : "\nUnit Q: the Q[NA] above";
  }
  CentreQLabel->setText(QString::fromStdString(WrittenFilterText(work_) + unit));
}

bool LevelSet::BoostAllowed(double levelDb) {
  if (kind_ == 4) return true;  // a damped mode only cuts
  const FitLimits limits = LoadFitLimits();
  if (!limits.BoostLimited() || !(levelDb > limits.MaxBoostDb + 1e-4)) return true;
  MsgBox(BoostRefusal(levelDb, limits.MaxBoostDb));
  return false;
}

bool LevelSet::NetBoostAllowed(bool deleting) const {
  const FitLimits limits = LoadFitLimits();
  const int32_t count = std::clamp(AppliedFilters[0].Count, 0, kMaxFilters);
  if (!limits.BoostLimited() || index_ < 0 || index_ >= count) return true;
  std::vector<FilterRecord> set(AppliedFilters.begin(), AppliedFilters.begin() + count);
  const int32_t rate = JudgedRateHz();
  const PeakLevel now = AppliedSetPeak(set, rate);
  if (deleting) {
    // A cut may be what holds the others' boost down.
    set.erase(set.begin() + index_);
    if (!set.empty()) set[0].Count = static_cast<int32_t>(set.size());
  } else {
    FilterRecord& edited = set[static_cast<size_t>(index_)];
    edited.Freq1 = editedFreq_;
    edited.Q1 = work_.Q1;
    edited.Q2 = work_.Q2;
  }
  const PeakLevel then = AppliedSetPeak(set, rate);
  // A set already past the limit (as a file may hold it) may still come down.
  if (!(then.db > limits.MaxBoostDb + kNetBoostSlackDb) || !(then.db > now.db + 1e-6)) return true;
  MsgBox(NetBoostRefusal(deleting ? "Deleting this filter" : "This filter", then.db, then.hz, limits.MaxBoostDb));
  return false;
}

void LevelSet::WriteBack() {
  WaitCursor hourglass;
  // A refused change puts the window back to the filter as it stands.
  if (!NetBoostAllowed()) {
    if (!InitializeLevelSet(index_)) Unload();
    return;
  }
  if (!AjustLevelGraphics(*Forms::Get<DataPlotter>(), index_, editedFreq_, work_.Q2, work_.Q1, 0)) Unload();
}

void LevelSet::ApplyLevelChange() {
  if (!ready_) return;
  levelPosition_ = LevelSlider->value();
  const float L = QuantizeEmulatedLevel(Code(), static_cast<float>(levelMap_.Value(levelPosition_)));
  if (!BoostAllowed(L)) {
    // The slider goes back to the highest boost the limit allows.
    const double limit = LoadFitLimits().MaxBoostDb;
    const float allowed = HighestLevelWithin(Code(), limit);
    int32_t p = std::clamp(CLng(levelMap_.Position(allowed)), 0, kPositions);
    // The slider's nearest position may sit a hair above the limit: step back towards 0 dB.
    const int32_t back = levelMap_.Position(0) < p ? -1 : 1;
    for (int32_t i = 0; i < 4 && QuantizeEmulatedLevel(Code(), static_cast<float>(levelMap_.Value(p))) >
                                     limit + 1e-4; ++i)
      p += back;
    SetPosition(LevelSlider, p);
  }
  RecalculateFilter();
  WriteBack();
}

void LevelSet::ApplyQChange() {
  if (!ready_) return;
  qPosition_ = Qslider->value();
  RecalculateFilter();
  WriteBack();
}

void LevelSet::ApplyFrequencyChange() {
  if (!ready_) return;
  freqPosition_ = FreqSlider->value();
  auto f = static_cast<float>(freqMap_.Value(freqPosition_));
  if (kind_ == 2) f = QuantizeEmulatedFrequency(ParametricCode(), f);
  editedFreq_ = f;
  work_.Freq1 = f;
  SetText(FreqText, Str(Val(Str(f * 100 / kTwoPi)) * 0.01));
  WriteBack();
}

void LevelSet::LevelSlider_Scroll(int position) {
  levelPosition_ = position;
  RecalculateFilter();
}

void LevelSet::LevelSlider_Change(int) { ApplyLevelChange(); }

void LevelSet::Qslider_Scroll(int position) {
  qPosition_ = position;
  RecalculateFilter();
}

void LevelSet::Qslider_Change(int) { ApplyQChange(); }

void LevelSet::FreqSlider_Scroll(int position) {
  freqPosition_ = position;
  const float f = QuantizeEmulatedFrequency(Code(), static_cast<float>(freqMap_.Value(position)));
  SetText(FreqText, Str(Fix(f * 100 / kTwoPi + 0.5) * 0.01));
  editedFreq_ = f;
  work_.Freq1 = f;
}

void LevelSet::FreqSlider_Change(int) { ApplyFrequencyChange(); }

void LevelSet::FreqText_KeyPress(int key) {
  if (key != 13) return;
  double hz = 0;
  if (!ValidateNumericTextBox(FreqText, freqMap_.first / kTwoPi, freqMap_.second / kTwoPi, hz)) return;
  const float f = QuantizeEmulatedFrequency(Code(), static_cast<float>(kTwoPi * hz));
  SetText(FreqText, Str(Fix(f * 100 / kTwoPi + 0.5) * 0.01));
  editedFreq_ = f;
  work_.Freq1 = f;
  SetPosition(FreqSlider, freqMap_.Position(f));
  ApplyFrequencyChange();
}

void LevelSet::QText_KeyPress(int key) {
  if (key != 13) return;
  double value = 0;
  if (!ValidateNumericTextBox(QText, qMap_.first, qMap_.second, value)) return;
  const float v = QuantizeEmulatedQ(Code(), static_cast<float>(value));
  SetPosition(Qslider, qMap_.Position(v));
  ApplyQChange();
}

void LevelSet::LevelText_KeyPress(int key) {
  if (key != 13) return;
  double value = 0;
  if (!ValidateNumericTextBox(LevelText, std::min(levelMap_.first, levelMap_.second),
                              std::max(levelMap_.first, levelMap_.second), value))
    return;
  const float L = QuantizeEmulatedLevel(Code(), static_cast<float>(value));
  if (!BoostAllowed(L)) return;
  SetPosition(LevelSlider, levelMap_.Position(L));
  ApplyLevelChange();
}

void LevelSet::Delete_Click() {
  if (!NetBoostAllowed(true)) return;
  RemoveFromAppliedList(*Forms::Get<DataPlotter>(), index_);
  Unload();
}

void LevelSet::Help_Click() { ShowHelpTopic(HelpTopic::LevelSet); }

}  // namespace zentor
