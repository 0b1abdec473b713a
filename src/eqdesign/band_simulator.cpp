#include "eqdesign/band_simulator.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

#include "base/text_number.h"
#include "core/emulation.h"
#include "core/records.h"
#include "display/view_state.h"
#include "mainwindow/data_plotter.h"
#include "platform/dialogs.h"
#include "platform/forms.h"
#include "platform/help.h"
#include "platform/text_boxes.h"

namespace zentor {

namespace {

constexpr double kTwoPi = 2 * std::numbers::pi;
constexpr const char* kTooManyBands = "User Error: Reduce number of bands";
constexpr double kIsoWidth = 0.333;  // octaves
constexpr int32_t kIsoBands = 30;    // 20 Hz to 16 kHz: the 20 kHz centre is left out

// The applied count as a safe index, whatever a file left in it.
int32_t AppliedCount() { return std::clamp<int32_t>(AppliedFilters[0].Count, 0, kMaxFilters); }

// Room for n more filters; the set holds at most 74 after a simulated row.
bool RoomFor(int32_t n) { return AppliedCount() + n < kMaxFilters; }

}  // namespace

double BandGateValue(double w, double x) {
  const double g = std::pow(2.0, w);
  return std::max(3.0, g * 1.5 * kTwoPi * 1000 / ((g - 1) * x));
}

FilterRecord SimulatedBand(double f, double w, float gate) {
  FilterRecord r;
  r.Freq1 = static_cast<float>(kTwoPi * f);
  r.Graphshown = kFractOctView;
  r.Smoothing = static_cast<float>(w);
  r.Average = kTrue;
  r.Gatetime = gate;
  const double span = std::pow(2.0, 3 * w);
  r.RangeLow = static_cast<float>(f / span);
  r.RangeHigh = static_cast<float>(f * span);
  return r;
}

Form1::Form1(QWidget* parent) : QDialog(parent) {
  setObjectName("Form1");
  setWindowTitle("Add Control");

  auto radio = [this](const char* name, const char* caption) {
    auto* b = new QRadioButton(caption, this);
    b->setObjectName(name);
    return b;
  };
  Graphic = radio("Graphic", "Graphic");
  ISOGraphic = radio("ISOGraphic", "ISO Graphic");
  Parametric = radio("Parametric", "Parametric");
  Graphic->setChecked(true);

  GraphicFrame = new QGroupBox("Graphic EQ Simulator", this);
  GraphicFrame->setObjectName("GraphicFrame");
  StartFreqText = EntryBox(GraphicFrame, "StartFreqText", "20");
  FreqSpacingText = EntryBox(GraphicFrame, "FreqSpacingText", "3");
  BandWidthText = EntryBox(GraphicFrame, "BandWidthText", "3");
  NumBandsText = EntryBox(GraphicFrame, "NumBandsText", "30");
  auto* g = new QGridLayout(GraphicFrame);
  int row = 0;
  for (auto [box, caption] : {std::pair{StartFreqText, "Start frequency"}, {FreqSpacingText, "Freq Spacing [Oct]"},
                              {BandWidthText, "Bandwidth [Oct]"}, {NumBandsText, "No Of Bands"}}) {
    g->addWidget(box, row, 0);
    g->addWidget(new QLabel(caption, GraphicFrame), row++, 1);
  }

  ParametricFrame = new QGroupBox("Parametric EQ Band Simulator", this);
  ParametricFrame->setObjectName("ParametricFrame");
  ParametricFrequencyText = EntryBox(ParametricFrame, "ParametricFrequencyText", "1000");
  ParametricQText = EntryBox(ParametricFrame, "ParametricQText", "20");
  BWOrQ = new QLabel(" /60 Oct", ParametricFrame);
  BWOrQ->setObjectName("BWOrQ");
  auto* pg = new QGridLayout(ParametricFrame);
  pg->addWidget(ParametricFrequencyText, 0, 0);
  pg->addWidget(new QLabel("Frequency", ParametricFrame), 0, 1);
  pg->addWidget(ParametricQText, 1, 0);
  pg->addWidget(BWOrQ, 1, 1);
  pg->setRowStretch(2, 1);

  LoadGraphic = new QPushButton("Load", this);
  LoadGraphic->setObjectName("LoadGraphic");
  Help = new QPushButton("Help", this);
  Help->setObjectName("Help");

  auto* top = new QGridLayout(this);
  auto* choice = new QHBoxLayout;
  for (QRadioButton* b : {Graphic, ISOGraphic, Parametric}) choice->addWidget(b);
  top->addLayout(choice, 0, 0, 1, 2);
  top->addWidget(GraphicFrame, 1, 0);
  top->addWidget(ParametricFrame, 1, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(LoadGraphic);
  buttons->addWidget(Help);
  top->addLayout(buttons, 2, 0, 1, 2);

  connect(LoadGraphic, &QPushButton::clicked, this, [this] { LoadGraphic_Click(); });
  connect(Help, &QPushButton::clicked, this, [this] { Help_Click(); });
}

bool Form1::Form_Load() {
  DataPlotter* p = Forms::Get<DataPlotter>();
  parametricCode_ = p->GetParametricEQEmulation();
  // Codes 1 and 4 take a width in sixtieths of an octave, the others a Q.
  if (parametricCode_ == 2) {
    ParametricQText->setText("5");
    BWOrQ->setText(" Q (Audio)");
  } else if (parametricCode_ == 3 || parametricCode_ == 5) {
    ParametricQText->setText("5");
    BWOrQ->setText(" Q (Audio) ");
  } else {
    ParametricQText->setText("20");
    BWOrQ->setText(" /60 Oct");
  }
  fs_ = p->GetSampleRate();
  if (fs_ <= 0) {
    MsgBox("User Error: Measurements must be loaded before filters can be ");
    return false;
  }
  return true;
}

void Form1::Help_Click() { ShowHelpTopic(HelpTopic::Form1); }

void Form1::LoadGraphic_Click() {
  if (Graphic->isChecked())
    AddGraphicRow();
  else if (ISOGraphic->isChecked())
    AddISOBands();
  else if (Parametric->isChecked())
    AddParametricBand();
}

// A graphic band: flat (Q1 = Q2) until the user shapes it.
void Form1::AppendGraphicBand(FilterRecord r, float q, int32_t code) {
  r.Kind = 3;
  r.Q1 = r.Q2 = q;
  r.EQEmulationCode = code;
  Append(r);
}

void Form1::Append(const FilterRecord& r) {
  const int32_t n = AppliedCount();
  const int32_t count = n + 1;
  AppliedFilters[static_cast<size_t>(n)] = r;
  AppliedFilters[static_cast<size_t>(n)].Count = 0;
  AppliedFilters[0].Count = count;
}

void Form1::AddGraphicRow() {
  DataPlotter* p = Forms::Get<DataPlotter>();
  p->EQResultsTakenButNotSaved = kTrue;
  double start = 0, perOctave = 0, widthDivisor = 0, requested = 0;
  if (!ValidateNumericTextBox(StartFreqText, 10, 20000, start)) return;
  if (!ValidateNumericTextBox(FreqSpacingText, 1, 6, perOctave)) return;
  if (!ValidateNumericTextBox(BandWidthText, 1, 6, widthDivisor)) return;
  if (!ValidateNumericTextBox(NumBandsText, 1, 32, requested)) return;
  const double spacing = 1 / perOctave;
  const double w = 1 / widthDivisor;
  auto centre = [&](int32_t k) { return start * std::pow(2.0, k * spacing); };

  // Only bands up to half the sample rate can be run; the row stops at the first above.
  const int32_t wanted = CLng(requested);
  int32_t n = 0;
  while (n < wanted && centre(n) <= fs_ / 2.0) ++n;
  if (n == 0) {
    MsgBox("Error 5854: No band of this row lies below half the sample rate.");
    return;
  }
  if (!RoomFor(n)) {
    MsgBox(kTooManyBands);
    return;
  }
  const int32_t code = p->GetGraphicEQEmulation();
  const float q = ConvertEmulatedQ(static_cast<float>(w), 0, code);
  for (int32_t k = 0; k < n; ++k) {
    const double f = centre(k);
    AppendGraphicBand(SimulatedBand(f, w, static_cast<float>(BandGateValue(w, kTwoPi * f))), q, code);
  }
  p->RefreshAppliedFiltersList();
  hide();
}

void Form1::AddISOBands() {
  DataPlotter* p = Forms::Get<DataPlotter>();
  p->EQResultsTakenButNotSaved = kTrue;
  std::array<float, 31> centres{};
  FillISOThirdOctaveBands(centres);
  if (!RoomFor(kIsoBands)) {
    MsgBox(kTooManyBands);
    return;
  }
  const int32_t code = p->GetGraphicEQEmulation();
  const float q = ConvertEmulatedQ(static_cast<float>(kIsoWidth), 0, code);
  for (int32_t k = 0; k < kIsoBands; ++k) {
    const double f = centres[static_cast<size_t>(k)];
    AppendGraphicBand(SimulatedBand(f, kIsoWidth, static_cast<float>(BandGateValue(kIsoWidth, f))), q, code);
  }
  p->RefreshAppliedFiltersList();
  hide();
}

void Form1::AddParametricBand() {
  DataPlotter* p = Forms::Get<DataPlotter>();
  p->EQResultsTakenButNotSaved = kTrue;
  double entered = 0;
  if (!ValidateNumericTextBox(ParametricFrequencyText, 16, 20000, entered)) return;
  const double snapped = QuantizeEmulatedFrequency(parametricCode_, static_cast<float>(kTwoPi * entered));
  // Back in Hz as a Single first, so that the cut does not turn 20 Hz into 19.99.
  const double f = Fix(static_cast<float>(snapped / kTwoPi) * 100.0) * 0.01;
  ParametricFrequencyText->setText(QString::fromStdString(FormatDouble(f)));

  // Width limits per model: sixtieths of an octave for codes 1 and 4, a Q otherwise.
  double lo = 0.1, hi = 50;
  if (parametricCode_ == 1 || parametricCode_ == 4) {
    lo = 1;
    hi = parametricCode_ == 1 ? 180 : 600;
  } else if (parametricCode_ == 5) {
    hi = 10;
  } else if (parametricCode_ != 2 && parametricCode_ != 3) {
    MsgBox("Error 4330: Missing Emulation");
    return;
  }
  double input = 0;
  if (!ValidateNumericTextBox(ParametricQText, lo, hi, input)) return;
  const float v = QuantizeEmulatedQ(parametricCode_, static_cast<float>(input));
  const bool sixtieths = parametricCode_ == 1 || parametricCode_ == 4;
  const double b = std::clamp(sixtieths ? v / 60.0 : 1.0 / v, 0.05, 1.0);

  const double periodMs = std::pow(2.0, ResultsDataSetInfo[0].PeriodExponent) * 1000 / fs_;
  const double gate = std::min(BandGateValue(b, f), periodMs);

  if (!RoomFor(0)) {
    MsgBox(kTooManyBands);
    return;
  }
  const int32_t code = p->GetParametricEQEmulation();
  float qLike = v;
  if (sixtieths)
    qLike = ConvertEmulatedQ(v / 60, 0, parametricCode_);
  else if (parametricCode_ == 5)
    qLike = ConvertEmulatedQ(v, 0, 5);
  FilterRecord r = SimulatedBand(f, b, static_cast<float>(gate));
  r.Kind = 2;
  r.Q1 = r.Q2 = ConvertQForFilterType(qLike, 0, parametricCode_);
  r.EQEmulationCode = code;
  r.RangeLow = std::max(r.RangeLow, 5.0f);
  r.RangeHigh = std::min(r.RangeHigh, static_cast<float>(fs_ / 2.0));
  Append(r);
  p->RefreshAppliedFiltersList();
}

void ShowBandSimulator() {
  Form1* f = Forms::Get<Form1>();
  if (f->Form_Load()) ShowModal(f);
  Forms::Unload<Form1>();
}

void NewFilter_Click() {
  if (ResultsDataSetInfo[0].NumInSet < 1) {
    MsgBox("User Error: Measured Results must be loaded before filters can be added");
    return;
  }
  ShowBandSimulator();
}

}  // namespace zentor
