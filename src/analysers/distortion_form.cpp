#include "analysers/distortion_form.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "base/binary_io.h"
#include "base/text_number.h"
#include "core/helpers.h"
#include "core/records.h"
#include "measurement/auto_mixer.h"
#include "measurement/eq_audio_module.h"
#include "platform/audio/wave_streaming.h"
#include "platform/dialogs.h"
#include "platform/help.h"
#include "platform/numeric/numeric.h"
#include "platform/text_boxes.h"
#include "platform/forms.h"

namespace zentor {

namespace {

constexpr double kTwoPi = 6.28318530717959;

QLineEdit* Field(QWidget* parent, const char* name, const char* text, bool readOnly = false) {
  auto* e = new QLineEdit(QString::fromUtf8(text), parent);
  e->setObjectName(name);
  e->setReadOnly(readOnly);
  e->setMaximumWidth(90);
  return e;
}

constexpr auto* Caption = &NamedControl<QLabel>;

constexpr auto* Button = &NamedControl<QPushButton>;

constexpr auto* Option = &NamedControl<QRadioButton>;

QSlider* Slider(QWidget* parent, const char* name) {
  auto* s = new QSlider(Qt::Horizontal, parent);
  s->setObjectName(name);
  s->setRange(0, kMultitoneTones - 1);
  s->setPageStep(1);
  s->setTickPosition(QSlider::TicksBelow);
  return s;
}

// The harmonic order that goes with an intermodulation order.
int32_t NextOrder(int32_t order) { return order == INT32_MAX ? order : order + 1; }

std::string Text(const QLineEdit* e) { return e->text().toStdString(); }
void SetText(QLineEdit* e, const std::string& s) { e->setText(QString::fromStdString(s)); }

// Hann window over the first n samples with the given period.
void Window(std::span<float> x, std::size_t n, double period) {
  for (std::size_t i = 0; i < n && i < x.size(); ++i)
    x[i] *= static_cast<float>(0.5 * (1.0 - std::cos(kTwoPi * static_cast<double>(i) / period)));
}

}  // namespace

DistForm::DistForm() : QDialog(nullptr) {
  setObjectName("DistForm");
  setWindowTitle("Qel5.xxx Multitone Distortion Measurement");

  TypeFrame = new QGroupBox("Type", this);
  TwinToneType = Option(TypeFrame, "TwinToneType", "Two Tone");
  MultiToneType = Option(TypeFrame, "MultiToneType", "Multi Tone");
  MultiToneType->setChecked(true);
  auto* typeBox = new QVBoxLayout(TypeFrame);
  typeBox->addWidget(TwinToneType);
  typeBox->addWidget(MultiToneType);

  TwoToneFrame = new QGroupBox("Two Tone Properties", this);
  Tone1 = Field(TwoToneFrame, "Tone1", "20");
  Level1 = Field(TwoToneFrame, "Level1", "0");
  Tone2 = Field(TwoToneFrame, "Tone2", "31");
  Level2 = Field(TwoToneFrame, "Level2", "0");
  auto* two = new QGridLayout(TwoToneFrame);
  two->addWidget(Caption(TwoToneFrame, "Tone1Label", "Tone 1 Level / Freq"), 0, 0);
  two->addWidget(Level1, 0, 1);
  two->addWidget(Caption(TwoToneFrame, "Level1Units", "dB"), 0, 2);
  two->addWidget(Tone1, 0, 3);
  two->addWidget(Caption(TwoToneFrame, "Tone1Units", "Hz"), 0, 4);
  two->addWidget(Caption(TwoToneFrame, "Tone2Label", "Tone 2 Level/Freq"), 1, 0);
  two->addWidget(Level2, 1, 1);
  two->addWidget(Caption(TwoToneFrame, "Level2Units", "dB"), 1, 2);
  two->addWidget(Tone2, 1, 3);
  two->addWidget(Caption(TwoToneFrame, "Tone2Units", "Hz"), 1, 4);

  MultiToneFrame = new QGroupBox("Multi Tone Properties", this);
  SliderFmin = Slider(MultiToneFrame, "SliderFmin");
  SliderFmax = Slider(MultiToneFrame, "SliderFmax");
  SliderFmax->setValue(kMultitoneTones - 1);
  FminText = Field(MultiToneFrame, "FminText", "", true);
  FmaxText = Field(MultiToneFrame, "FmaxText", "", true);
  auto* multi = new QGridLayout(MultiToneFrame);
  multi->addWidget(Caption(MultiToneFrame, "RangeLabel", "Excitation Range"), 0, 0, 1, 4);
  multi->addWidget(Caption(MultiToneFrame, "FminLabel", "Fmin"), 1, 0);
  multi->addWidget(SliderFmin, 1, 1);
  multi->addWidget(FminText, 1, 2);
  multi->addWidget(Caption(MultiToneFrame, "FminUnits", "Hz"), 1, 3);
  multi->addWidget(Caption(MultiToneFrame, "FmaxLabel", "Fmax"), 2, 0);
  multi->addWidget(SliderFmax, 2, 1);
  multi->addWidget(FmaxText, 2, 2);
  multi->addWidget(Caption(MultiToneFrame, "FmaxUnits", "Hz"), 2, 3);

  ResultParamFrame = new QGroupBox("Result Parameters", this);
  Fmin = Field(ResultParamFrame, "Fmin", "20");
  Fmax = Field(ResultParamFrame, "Fmax", "20000");
  Order = Field(ResultParamFrame, "Order", "2");
  OrderLabel = Caption(ResultParamFrame, "OrderLabel", "Order of Prod.");
  auto* par = new QGridLayout(ResultParamFrame);
  par->addWidget(Caption(ResultParamFrame, "FminBandLabel", "F min"), 0, 0);
  par->addWidget(Fmin, 0, 1);
  par->addWidget(Caption(ResultParamFrame, "FminBandUnits", "Hz"), 0, 2);
  par->addWidget(Caption(ResultParamFrame, "FmaxBandLabel", "F max"), 1, 0);
  par->addWidget(Fmax, 1, 1);
  par->addWidget(Caption(ResultParamFrame, "FmaxBandUnits", "Hz"), 1, 2);
  par->addWidget(OrderLabel, 2, 0);
  par->addWidget(Order, 2, 1);

  ResultsFrame = new QGroupBox("Results", this);
  Total = Field(ResultsFrame, "Total", "", true);
  HD = Field(ResultsFrame, "HD", "", true);
  IMD = Field(ResultsFrame, "IMD", "", true);
  TotUnits = Caption(ResultsFrame, "TotUnits", "dB Total");
  HDUnits = Caption(ResultsFrame, "HDUnits", " dB HD");
  IMDUnits = Caption(ResultsFrame, "IMDUnits", "dB IMD");
  Percent = Option(ResultsFrame, "Percent", "%");
  dB = Option(ResultsFrame, "dB", "dB");
  Percent->setChecked(true);
  SPLLevel = Field(ResultsFrame, "SPLLevel", "??");
  auto* res = new QGridLayout(ResultsFrame);
  res->addWidget(Total, 0, 0);
  res->addWidget(TotUnits, 0, 1);
  res->addWidget(HD, 1, 0);
  res->addWidget(HDUnits, 1, 1);
  res->addWidget(IMD, 2, 0);
  res->addWidget(IMDUnits, 2, 1);
  res->addWidget(Percent, 0, 2);
  res->addWidget(dB, 1, 2);
  res->addWidget(Caption(ResultsFrame, "SPLLabel", "User Input SPL"), 3, 0);
  res->addWidget(SPLLevel, 3, 1);

  AnalyzeBut = Button(this, "AnalyzeBut", "Analyze");
  Start = Button(this, "Start", "Start Test");
  NR = new QCheckBox("NR", this);
  NR->setObjectName("NR");
  Export = Button(this, "Export", "Export");
  Help = Button(this, "Help", "Help");
  AnalyzeBut->setEnabled(false);
  Export->setEnabled(false);

  auto* buttons = new QHBoxLayout;
  for (QWidget* w : std::initializer_list<QWidget*>{Start, NR, AnalyzeBut, Export, Help}) buttons->addWidget(w);
  auto* grid = new QGridLayout(this);
  grid->addWidget(TypeFrame, 0, 0);
  grid->addWidget(TwoToneFrame, 0, 1);
  grid->addWidget(MultiToneFrame, 1, 0, 1, 2);
  grid->addWidget(ResultParamFrame, 2, 0);
  grid->addWidget(ResultsFrame, 2, 1);
  grid->addLayout(buttons, 3, 0, 1, 2);

  SaveAs.title = "Save *.txt File";
  SaveAs.filter = "distortion export files (*.txt)|*.txt";
  SaveAs.fileName = "DistortionProductsOutput";

  connect(Tone1, &QLineEdit::textChanged, this, &DistForm::Tone1_Change);
  connect(Tone2, &QLineEdit::textChanged, this, &DistForm::Tone2_Change);
  connect(Level1, &QLineEdit::textChanged, this, &DistForm::Level1_Change);
  connect(Level2, &QLineEdit::textChanged, this, &DistForm::Level2_Change);
  connect(SliderFmin, &QSlider::valueChanged, this, &DistForm::SliderFmin_Click);
  connect(SliderFmax, &QSlider::valueChanged, this, &DistForm::SliderFmax_Click);
  connect(Tone1, &QLineEdit::textEdited, this, &DistForm::Tone1_Click);
  connect(Tone2, &QLineEdit::textEdited, this, &DistForm::Tone2_Click);
  connect(Level1, &QLineEdit::textEdited, this, &DistForm::Level1_Click);
  connect(Level2, &QLineEdit::textEdited, this, &DistForm::Level2_Click);
  connect(Order, &QLineEdit::textEdited, this, &DistForm::Order_Click);
  connect(Fmin, &QLineEdit::textChanged, this, &DistForm::Fmin_Change);
  connect(Fmax, &QLineEdit::textChanged, this, &DistForm::Fmax_Change);
  connect(Order, &QLineEdit::textChanged, this, &DistForm::Order_Change);
  connect(TwinToneType, &QRadioButton::clicked, this, &DistForm::TwinToneType_Click);
  connect(MultiToneType, &QRadioButton::clicked, this, &DistForm::MultiToneType_Click);
  connect(Percent, &QRadioButton::clicked, this, &DistForm::Percent_Click);
  connect(dB, &QRadioButton::clicked, this, &DistForm::dB_Click);
  connect(AnalyzeBut, &QPushButton::clicked, this, &DistForm::AnalyzeBut_Click);
  connect(Start, &QPushButton::clicked, this, &DistForm::Start_Click);
  connect(Export, &QPushButton::clicked, this, &DistForm::Export_Click);
  connect(Help, &QPushButton::clicked, this, &DistForm::Help_Click);

  loaded_ = Form_Load();
}

DistForm::~DistForm() {
  if (loaded_) Form_Unload();
}

bool DistForm::Form_Load() {
  if (SoundCardBusy) {
    MsgBox("User Error: Sound card in use");
    return false;
  }
  DistFormHwnd = this;
  HookDistFormMessages();
  InitDistortionForm();
  return true;
}

void DistForm::Form_Unload() {
  if (!loaded_) return;
  loaded_ = false;
  // A job still running would post to a window that is gone.
  if (PlayOn || RecOn) ResetAudio();
  PlayOn = RecOn = false;
  hourglass_.reset();
  UnhookDistFormMessages();
  if (DistFormHwnd == this) DistFormHwnd = nullptr;
  for (auto* v : {&SignalRecA, &SignalRecB}) v->assign(2, 0.0f);
  for (auto* v : {&TonePlayA, &TonePlayB}) v->assign(2, 0);
}

void DistForm::closeEvent(QCloseEvent* e) {
  if (PlayOn || RecOn) {
    ResetAudio();
    PlayOn = RecOn = false;
  }
  QDialog::closeEvent(e);
}

bool DistForm::InitDistortionForm() {
  WaitCursor wait;
  WaveDeviceId = -1;
  WaveDeviceId = RestoreAutoMixerSettings();
  const int32_t rate = EQConfig.SampleRate;
  const bool accepted = rate >= 44100 && rate <= 48000;
  if (accepted) {
    TestSampleRate = rate;
  } else {
    MsgBox("User Error: Please check levels and connections before measuring distortion. Sample Rate must be 44100 "
           "Hz - 48000 Hz");
    TestSampleRate = 48000;
  }
  SignalRecA.assign(kDistTestLength, 0.0f);
  SignalRecB.assign(kDistTestLength, 0.0f);
  NoiseRecA.assign(kDistNoiseLength, 0.0f);
  NoiseRecB.assign(kDistNoiseLength, 0.0f);
  TonePlayA.assign(kDistTestLength, 0);
  TonePlayB.assign(kDistTestLength, 0);
  ExcitationFreqTable.fill(0.0f);
  std::copy(kExcitationFreqTable.begin(), kExcitationFreqTable.end(), ExcitationFreqTable.begin());
  FminIndex = 0;
  FmaxIndex = kMultitoneTones - 1;
  {
    const QSignalBlocker b1(SliderFmin), b2(SliderFmax);
    SliderFmin->setValue(FminIndex);
    SliderFmax->setValue(FmaxIndex);
  }
  SetText(FminText, FormatSingle(ExcitationFreqTable[0]));
  SetText(FmaxText, FormatSingle(ExcitationFreqTable[kMultitoneTones - 1]));
  ResetMultitone();
  MultiToneChanged = 0;
  TonePlayA = TonePlayB;
  EnableToneControls();
  return accepted;
}

// ---- Run ---------------------------------------------------------------------------------

void DistForm::Start_Click() {
  if (PlayOn || RecOn) {
    MsgBox("User Error: Sound card in use");
    return;
  }
  double value = 0;
  const struct {
    QLineEdit* field;
    double min, max;
  } checks[] = {{Tone1, 5, 20000}, {Tone2, 5, 20000}, {Level1, -20, 20}, {Level2, -20, 20},
                {Fmin, 5, 20000},  {Fmax, 5, 20000},  {Order, 2, 8}};
  for (const auto& c : checks)
    if (!ValidateNumericTextBox(c.field, c.min, c.max, value)) return;
  if (MultiToneType->isChecked() && FminIndex >= FmaxIndex) {
    MsgBox("Error: Fmax must be larger than Fmin");
    return;
  }
  TestPhaseValue = 1;
  IMD->setText("     ");
  HD->setText("    ");
  Total->setText("    ");
  Export->setEnabled(false);
  int32_t failed = 0;
  PrepareTestSignal(failed);
  if (failed != 0) return;
  if (!ProductListsFit()) {
    MsgBox(kTooManyProducts);
    return;
  }
  hourglass_.emplace();
  Start->setEnabled(false);
  NR->setEnabled(false);
  if (NR->isChecked()) {
    RecOn = true;
    Stream(false, kDistNoiseLength);
    return;
  }
  std::fill(NoiseRecA.begin(), NoiseRecA.end(), 0.0f);
  std::fill(NoiseRecB.begin(), NoiseRecB.end(), 0.0f);
  TestPhaseValue = 2;
  PlayOn = RecOn = true;
  Stream(true, kDistTestLength);
}

bool DistForm::Stream(bool play, int32_t recordCount) {
  bool ok = true;
  if (play)
    ok = PlayOutPrep(this, WaveDeviceId, TestSampleRate, TonePlayA, TonePlayB, kDistTestLength) == WaveStatus::Ok;
  ok = ok && RecInPrep(this, WaveDeviceId, TestSampleRate, recordCount) == WaveStatus::Ok;
  if (ok && play) ok = PlayOut() == WaveStatus::Ok;
  ok = ok && RecIn() == WaveStatus::Ok;
  if (ok) return true;
  AbandonRun();
  return false;
}

void DistForm::AbandonRun(bool lost) {
  const std::string said = lost ? StreamLostText() : "Error Initializing Sound Card";
  ResetAudio();
  PlayOn = RecOn = false;
  EndJob();
  MsgBox(said);
}

bool DistForm::event(QEvent* e) {
  if (!IsWaveError(e)) return QDialog::event(e);
  AbandonRun(true);
  return true;
}

void DistForm::EndJob() {
  hourglass_.reset();
  Start->setEnabled(true);
  NR->setEnabled(true);
}

void DistForm::ProcessNoise() {
  if (NR->isChecked()) GetRecInData(NoiseRecA, NoiseRecB);
  CleanRecIn();
  RecOn = false;
  PlayOn = RecOn = true;
  TestPhaseValue = 2;
  Stream(true, kDistTestLength);
}

void DistForm::ProcessDistortionData() {
  GetRecInData(SignalRecA, SignalRecB);
  CleanRecIn();
  const bool tooLoud =
      std::any_of(SignalRecB.begin(), SignalRecB.end(), [](float v) { return std::fabs(v) > kLevelLimit; });
  if (tooLoud) {
    MsgBox("Warning: Levels Excessive. Reduce input level recording and continue");
    // The arrays hold the raw recording now, not spectra.
    AnalyzeBut->setEnabled(false);
    EndJob();
    return;
  }
  hourglass_.reset();
  WaitCursor wait;
  Window(NoiseRecB, kDistNoiseLength, kDistNoiseLength - 1);
  std::vector<float> im(kDistNoiseLength, 0.0f);
  fft(NoiseRecB, im, 16);
  for (int32_t n = 0; n < kDistNoiseLength; ++n) NoiseRecB[n] = NoiseRecB[n] * NoiseRecB[n] + im[n] * im[n];
  Window(SignalRecB, kDistTestLength, kDistTestLength - 1);
  std::fill(SignalRecA.begin(), SignalRecA.end(), 0.0f);
  fft(SignalRecB, SignalRecA, 19);
  for (int32_t n = 0; n < kDistTestLength; ++n)
    SignalRecB[n] = SignalRecA[n] * SignalRecA[n] + SignalRecB[n] * SignalRecB[n];
  if (!NR->isChecked()) Export->setEnabled(true);
  AnalyzeDistortionProducts();
  EndJob();
  AnalyzeBut->setEnabled(true);
}

// ---- Signals and lists ---------------------------------------------------------------------

void DistForm::LoadTestTone() {
  WaitCursor wait;
  if (MultiToneType->isChecked()) {
    ResetMultitone();
    MultiToneChanged = 0;
  }
  if (TwinToneType->isChecked()) {
    int32_t failed = 0;
    const int32_t why = BuildTwoToneSignal(failed);
    if (why != 0) {
      MsgBox(why == 2 ? kTooManyProducts
                      : "Error: These frequency values will not work at the specified Order of Products. Lower the "
                        "Order of Products or change the value of Tone 1 OR Tone 2 slightly");
      TwoToneChanged = 1;
      std::fill(TonePlayB.begin(), TonePlayB.end(), int16_t{0});
    } else {
      TwoToneChanged = 0;
    }
  }
  TonePlayA = TonePlayB;
}

void DistForm::PrepareTestSignal(int32_t& failed) {
  WaitCursor wait;
  failed = 0;
  if (MultiToneType->isChecked() && MultiToneChanged == 1) {
    ResetMultitone();
    MultiToneChanged = 0;
  }
  if (TwinToneType->isChecked() && TwoToneChanged == 1) {
    const int32_t why = BuildTwoToneSignal(failed);
    if (why != 0) {
      MsgBox(why == 2 ? kTooManyProducts
                      : "Error: These frequency values will not work at the specified Order of Products. Lower the "
                        "Order of Products or change the value of Tone 1 OR Tone 2 slightly");
      TwoToneChanged = 1;
      std::fill(TonePlayB.begin(), TonePlayB.end(), int16_t{0});
    } else {
      TwoToneChanged = 0;
    }
  }
  TonePlayA = TonePlayB;
}

void DistForm::ResetMultitone() {
  ExcitationList.fill(0.0f);
  HarmonicList.fill(0.0f);
  IntermodList.fill(0.0f);
  LoadMultitoneExcitation(FminIndex, FmaxIndex);
  std::fill(SignalRecA.begin(), SignalRecA.end(), 0.0f);
  std::fill(SignalRecB.begin(), SignalRecB.end(), 0.0f);
}

void DistForm::LoadMultitoneExcitation(int32_t first, int32_t last) {
  MinProductSpacing = kBandFactor;
  ExcitationList.fill(0.0f);
  first = std::clamp(first, 0, kMultitoneTones - 1);
  last = std::clamp(last, 0, kMultitoneTones - 1);
  for (int32_t k = 0; k <= last - first; ++k) ExcitationList[k] = ExcitationFreqTable[first + k];
  BuildMultitoneSignal(SignalRecA, TonePlayB, ExcitationList, TestSampleRate);
}

int32_t DistForm::BuildTwoToneSignal(int32_t& failed) {
  failed = 1;
  const float f1 = ParseSingleOrWarn(Text(Tone1));
  const float f2 = ParseSingleOrWarn(Text(Tone2));
  const float l1 = ParseSingleOrWarn(Text(Level1));
  const float l2 = ParseSingleOrWarn(Text(Level2));
  const int32_t order = CLng(ParseSingleOrWarn(Text(Order)));
  const float fmin = ParseSingleOrWarn(Text(Fmin));
  const float fmax = ParseSingleOrWarn(Text(Fmax));
  ExcitationList.fill(0.0f);
  HarmonicList.fill(0.0f);
  IntermodList.fill(0.0f);
  float spacing = 0;
  if (!CheckTwoToneExcitationAndDistortionComponents(f1, f2, NextOrder(order), order, ExcitationList,
                                                     std::span<float>(SignalRecA).first(kDistListSize), fmin, fmax,
                                                     spacing))
    return 2;
  MinProductSpacing = spacing;
  if (MinProductSpacing < kTwoToneMinSpacing) return 1;
  BuildTwoToneWave(SignalRecB, TonePlayB, f1, f2, l1, l2, TestSampleRate);
  failed = 0;
  return 0;
}

bool DistForm::CheckTwoToneExcitationAndDistortionComponents(float f1, float f2, int32_t harmonicOrder,
                                                             int32_t order, std::span<float> excitation,
                                                             std::span<float> products, float fmin, float fmax,
                                                             float& spacing) {
  std::fill(excitation.begin(), excitation.end(), 0.0f);
  IntermodList.fill(0.0f);
  HarmonicList.fill(0.0f);
  if (excitation.size() >= 2) {
    excitation[0] = f1;
    excitation[1] = f2;
  }
  const ProductList p = ListTwoToneProducts(f1, f2, harmonicOrder, order, fmin, fmax);
  StoreList(p.freqs, products);
  spacing = SmallestSpacing(p.freqs);
  return !p.overflow;
}

bool DistForm::BuildProductLists(const std::string& fminText, const std::string& fmaxText,
                                 const std::string& orderText) {
  const float fmin = ParseSingleOrWarn(fminText);
  const float fmax = ParseSingleOrWarn(fmaxText);
  const int32_t order = CLng(ParseSingleOrWarn(orderText));
  if (order < 1 || order > 9) MsgBox("Order must be between 1 and 9");
  if (fmin > fmax)
    MsgBox("Error: Maximum frequency must be larger than or equal to minimum frequency for distortion products");
  for (float limit : {fmin, fmax})
    if (limit < 2 || limit > 20000) MsgBox(" Distortion product frequency must be larger than 10 Hz and less than 20000 Hz");
  const ProductList im = ListIntermodProducts(ExcitationList, order, fmin, fmax);
  const ProductList hm = ListHarmonicProducts(ExcitationList, NextOrder(order), fmin, fmax);
  if (im.overflow || hm.overflow) {
    MsgBox(kTooManyProducts);
    return false;
  }
  StoreList(im.freqs, IntermodList);
  StoreList(hm.freqs, HarmonicList);
  return true;
}

bool DistForm::ProductListsFit() {
  const float fmin = ParseSingleOrWarn(Text(Fmin));
  const float fmax = ParseSingleOrWarn(Text(Fmax));
  const int32_t order = CLng(ParseSingleOrWarn(Text(Order)));
  return !ListIntermodProducts(ExcitationList, order, fmin, fmax).overflow &&
         !ListHarmonicProducts(ExcitationList, NextOrder(order), fmin, fmax).overflow;
}

// ---- Analysis and results -----------------------------------------------------------------

void DistForm::AnalyzeDistortionProducts() {
  WaitCursor wait;
  if (!BuildProductLists(Text(Fmin), Text(Fmax), Text(Order))) return;
  const AnalysisBand band = BandFor(TestSampleRate);
  auto measure = [&](const FreqList& list, FreqList& power, std::span<const float> noise) {
    float total = 0;
    power.fill(0.0f);
    for (int32_t k = 0; k < kDistListSize; ++k) {
      if (list[k] == 0.0f) continue;
      power[k] = BandPower(SignalRecB, noise, list[k], band).value_or(0.0f);
      total += power[k];
    }
    return total;
  };
  TotalExcitationPower = measure(ExcitationList, ExcitationPower, {});
  TotalIntermodPower = measure(IntermodList, IntermodPower, NoiseRecB);
  TotalHarmonicPower = measure(HarmonicList, HarmonicPower, NoiseRecB);
  ShowDistortionResults();
}

void DistForm::ShowDistortionResults() {
  const auto d =
      FormatDistortionResults(TotalExcitationPower, TotalIntermodPower, TotalHarmonicPower, Percent->isChecked());
  if (!d) return;
  HDUnits->setText(QString::fromStdString(d->hdUnits));
  IMDUnits->setText(QString::fromStdString(d->imdUnits));
  TotUnits->setText(QString::fromStdString(d->totUnits));
  SetText(IMD, d->imd);
  SetText(HD, d->hd);
  SetText(Total, d->total);
  IntermodResult = d->imdResult;
  HarmonicResult = d->hdResult;
  IntermodLine = d->imdLine;
  HarmonicLine = d->hdLine;
  TotalLine = d->totalLine;
}

// ---- Controls -----------------------------------------------------------------------------

void DistForm::MarkTwoToneChanged() {
  TwoToneChanged = 1;
  if (!TwinToneType->isChecked()) return;
  IMD->setText("  ");
  HD->setText("  ");
  AnalyzeBut->setEnabled(false);
  Export->setEnabled(false);
}

void DistForm::MarkMultiToneChanged() {
  MultiToneChanged = 1;
  if (!MultiToneType->isChecked()) return;
  IMD->setText("  ");
  HD->setText("  ");
  AnalyzeBut->setEnabled(false);
  Export->setEnabled(false);
}

void DistForm::EnableToneControls() {
  const bool two = TwinToneType->isChecked();
  TwoToneFrame->setEnabled(two);
  Order->setEnabled(two);
  OrderLabel->setEnabled(two);
  MultiToneFrame->setEnabled(!two);
}

void DistForm::Tone1_Click() { ClearValidationMark(Tone1); }
void DistForm::Tone2_Click() { ClearValidationMark(Tone2); }
void DistForm::Level1_Click() { ClearValidationMark(Level1); }
void DistForm::Level2_Click() { ClearValidationMark(Level2); }
void DistForm::Order_Click() { ClearValidationMark(Order); }

void DistForm::SliderFmin_Click() {
  FminIndex = SliderFmin->value();
  SetText(FminText, FormatSingle(ExcitationFreqTable[FminIndex]));
  MarkMultiToneChanged();
}

void DistForm::SliderFmax_Click() {
  FmaxIndex = SliderFmax->value();
  SetText(FmaxText, FormatSingle(ExcitationFreqTable[FmaxIndex]));
  MarkMultiToneChanged();
}

void DistForm::TwinToneType_Click() {
  MarkTwoToneChanged();
  LoadTestTone();
  EnableToneControls();
}

void DistForm::MultiToneType_Click() {
  MarkMultiToneChanged();
  LoadTestTone();
  AnalyzeBut->setEnabled(false);
  Export->setEnabled(false);
  EnableToneControls();
}

void DistForm::Help_Click() { ShowHelpTopic(HelpTopic::DistForm); }

// ---- Output file --------------------------------------------------------------------------

void DistForm::Export_Click() {
  if (MsgBox("Save DistortionProductsOutput.txt ?", MsgButtons::YesNoCancel, MsgIcon::Exclamation, "Qel5.x") !=
      MsgAnswer::Yes)
    return;
  const auto name = FileSaveDialog(SaveAs);
  if (!name || name->empty()) return;
  WriteDistortionOutputFile(*name);
}

bool DistForm::WriteDistortionOutputFile(const std::string& fileName) {
  const bool percent = Percent->isChecked();
  DistortionFileContent c;
  c.splText = Text(SPLLevel);
  c.totalLine = TotalLine;
  c.imdLine = IntermodLine;
  c.hdLine = HarmonicLine;
  c.dB = !percent;
  auto rows = [&](const FreqList& list, const FreqList& power, FreqList& level,
                  std::vector<DistortionFileContent::Row>& out) {
    for (int32_t k = 0; k < kDistListSize; ++k) {
      std::optional<float> l = level[k];
      if (TotalExcitationPower != 0.0f) {
        l = RelativeLevel(power[k], TotalExcitationPower, percent);
        if (l) level[k] = *l;
      }
      if (list[k] != 0.0f) out.push_back({list[k], l});
    }
  };
  rows(ExcitationList, ExcitationPower, ExcitationLevel, c.excitation);
  rows(IntermodList, IntermodPower, IntermodLevel, c.intermod);
  rows(HarmonicList, HarmonicPower, HarmonicLevel, c.harmonic);
  const std::string text = DistortionOutputText(c);
  if (WriteWholeFileAtomic(fileName, text)) return true;
  MsgBox("Error 6212: Distortion output file could not be written");
  return false;
}

}  // namespace zentor
