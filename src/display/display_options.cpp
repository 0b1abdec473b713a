#include "display/display_options.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>

#include "base/shared_state.h"
#include "base/text_number.h"
#include "core/records.h"
#include "display/curve_averaging.h"
#include "display/dispatcher.h"
#include "display/psyc_form.h"
#include "display/view_state.h"
#include "platform/dialogs.h"
#include "platform/forms.h"
#include "platform/help.h"
#include "platform/text_boxes.h"

namespace zentor {

ImpulseShiftLinks ImpulseShiftHooks;

namespace {

SharedStateRegistrar g_reset([] { ImpulseShiftHooks = ImpulseShiftLinks{}; });

// The boxes show their values cut, never rounded, to the places given; the cut
// is taken in single precision, as the settings are held.
std::string Whole(double x) { return FormatDouble(Fix(x)); }
std::string OneDecimal(float x) { return FormatDouble(Fix(static_cast<float>(x * 10.0f)) * 0.1); }
std::string ThreeDecimals(float x) { return FormatDouble(Fix(static_cast<float>(x * 1000.0f)) * 0.001); }

void SetText(QLineEdit* box, const std::string& text) { box->setText(QString::fromStdString(text)); }

template <class T>
T* Named(T* w, const char* name) {
  w->setObjectName(name);
  return w;
}

QLineEdit* TextBox(QWidget* parent, const char* name, int width = 70) {
  auto* e = Named(new QLineEdit(parent), name);
  e->setFixedWidth(width);
  return e;
}

QPushButton* Button(QWidget* parent, const char* name, const char* caption) {
  return Named(new QPushButton(caption, parent), name);
}

int16_t Flag(bool on) { return on ? kTrue : kFalse; }

}  // namespace

DisplayControlForm::DisplayControlForm(QWidget* parent) : QDialog(parent) {
  setObjectName("DisplayControlForm");
  setWindowTitle(" Options");

  // ---- Time settings ----
  ImpDisp = Named(new QGroupBox("Single Curve Impulse Display", this), "ImpDisp");
  ImpulseRadio = Named(new QRadioButton("Impulse", ImpDisp), "ImpulseRadio");
  ETCRadio = Named(new QRadioButton("ETC", ImpDisp), "ETCRadio");
  ImpFilter = Named(new QCheckBox("Apply Impulse Filter", ImpDisp), "ImpFilter");
  impulseGroup_ = new QButtonGroup(this);
  impulseGroup_->addButton(ImpulseRadio);
  impulseGroup_->addButton(ETCRadio);
  {
    auto* g = new QGridLayout(ImpDisp);
    g->addWidget(ImpulseRadio, 0, 0);
    g->addWidget(ETCRadio, 0, 1);
    g->addWidget(ImpFilter, 1, 0, 1, 2);
  }

  ImpPos = Named(new QGroupBox("Impulse Position", this), "ImpPos");
  CurveShiftNumberText = TextBox(ImpPos, "CurveShiftNumberText", 40);
  LargeShiftLeft = Button(ImpPos, "LargeShiftLeft", "<<<");
  medshiftleft = Button(ImpPos, "medshiftleft", "<<");
  smallshiftleft = Button(ImpPos, "smallshiftleft", "<");
  smallshiftright = Button(ImpPos, "smallshiftright", ">");
  medshiftright = Button(ImpPos, "medshiftright", ">>");
  LargeShiftRight = Button(ImpPos, "LargeShiftRight", ">>>");
  {
    auto* g = new QGridLayout(ImpPos);
    g->addWidget(new QLabel("Curve", ImpPos), 0, 0);
    g->addWidget(CurveShiftNumberText, 0, 1);
    auto* row = new QHBoxLayout;
    for (QPushButton* b :
         {LargeShiftLeft, medshiftleft, smallshiftleft, smallshiftright, medshiftright, LargeShiftRight}) {
      b->setFixedWidth(36);
      row->addWidget(b);
    }
    g->addLayout(row, 1, 0, 1, 3);
    g->setColumnStretch(2, 1);
  }

  ImpulseFilterFrame = Named(new QGroupBox("Impulse filter", this), "ImpulseFilterFrame");
  LowerCutoffFreqText = TextBox(ImpulseFilterFrame, "LowerCutoffFreqText");
  UpperCutoffFreqText = TextBox(ImpulseFilterFrame, "UpperCutoffFreqText");
  OrderText = TextBox(ImpulseFilterFrame, "OrderText", 40);
  {
    auto* g = new QGridLayout(ImpulseFilterFrame);
    g->addWidget(LowerCutoffFreqText, 0, 0);
    g->addWidget(new QLabel("[Hz] Lower", ImpulseFilterFrame), 0, 1);
    g->addWidget(UpperCutoffFreqText, 1, 0);
    g->addWidget(new QLabel("[Hz] Upper", ImpulseFilterFrame), 1, 1);
    g->addWidget(OrderText, 2, 0);
    g->addWidget(new QLabel("Order", ImpulseFilterFrame), 2, 1);
    g->addWidget(new QLabel("2nd Ord BP Q=0.5", ImpulseFilterFrame), 3, 0, 1, 2);
  }

  ETCRange = Named(new QGroupBox("ETC Freq Ranges", this), "ETCRange");
  ApplyLowETC = Named(new QCheckBox("Apply", ETCRange), "ApplyLowETC");
  ApplyMidETC = Named(new QCheckBox("Apply", ETCRange), "ApplyMidETC");
  ApplyHighETC = Named(new QCheckBox("Apply", ETCRange), "ApplyHighETC");
  ETCMinLowText = TextBox(ETCRange, "ETCMinLowText");
  ETCMinHighText = TextBox(ETCRange, "ETCMinHighText");
  ETCMidLowText = TextBox(ETCRange, "ETCMidLowText");
  ETCMidHighText = TextBox(ETCRange, "ETCMidHighText");
  ETCHighLowText = TextBox(ETCRange, "ETCHighLowText");
  ETCHighHighText = TextBox(ETCRange, "ETCHighHighText");
  {
    auto* g = new QGridLayout(ETCRange);
    g->addWidget(new QLabel("[Hz] from", ETCRange), 0, 1);
    g->addWidget(new QLabel("[Hz] to", ETCRange), 0, 2);
    QCheckBox* applies[3] = {ApplyLowETC, ApplyMidETC, ApplyHighETC};
    QLineEdit* lows[3] = {ETCMinLowText, ETCMidLowText, ETCHighLowText};
    QLineEdit* highs[3] = {ETCMinHighText, ETCMidHighText, ETCHighHighText};
    for (int i = 0; i < 3; ++i) {
      g->addWidget(applies[i], i + 1, 0);
      g->addWidget(lows[i], i + 1, 1);
      g->addWidget(highs[i], i + 1, 2);
    }
  }

  ETCDR = Named(new QGroupBox("ETC D/R", this), "ETCDR");
  ETCDRTimeText = TextBox(ETCDR, "ETCDRTimeText");
  ETCDRPlusRev = TextBox(ETCDR, "ETCDRPlusRev");
  {
    auto* g = new QGridLayout(ETCDR);
    g->addWidget(ETCDRTimeText, 0, 0);
    g->addWidget(new QLabel("[ms] Direct", ETCDR), 0, 1);
    g->addWidget(ETCDRPlusRev, 1, 0);
    g->addWidget(new QLabel("[ms] Direct + Reverb", ETCDR), 1, 1);
  }

  // ---- Frequency settings ----
  FreqWindow = Named(new QGroupBox("Default Frequency Display", this), "FreqWindow");
  FFTRadio = Named(new QRadioButton("FFT", FreqWindow), "FFTRadio");
  FractOctRadio = Named(new QRadioButton("Fract Oct", FreqWindow), "FractOctRadio");
  PsycRadio = Named(new QRadioButton("PsychoAcoustic", FreqWindow), "PsycRadio");
  frequencyGroup_ = new QButtonGroup(this);
  for (QRadioButton* r : {FFTRadio, FractOctRadio, PsycRadio}) frequencyGroup_->addButton(r);
  BodeFilterCheck = Named(new QCheckBox("Filter", FreqWindow), "BodeFilterCheck");
  FractOctFilterCheck = Named(new QCheckBox("Filter", FreqWindow), "FractOctFilterCheck");
  PsycFilterCheck = Named(new QCheckBox("Filter", FreqWindow), "PsycFilterCheck");
  BodeGateTimeText = TextBox(FreqWindow, "BodeGateTimeText");
  FractOctGateTimeText = TextBox(FreqWindow, "FractOctGateTimeText");
  FractOctText = TextBox(FreqWindow, "FractOctText");
  DisplayResText = TextBox(FreqWindow, "DisplayResText", 40);
  PsycParms = Button(FreqWindow, "PsycParms", "Param.");
  {
    auto* g = new QGridLayout(FreqWindow);
    g->addWidget(FFTRadio, 0, 0);
    g->addWidget(BodeFilterCheck, 0, 1);
    g->addWidget(BodeGateTimeText, 0, 2);
    g->addWidget(new QLabel("[ms] Gate Time", FreqWindow), 0, 3);
    g->addWidget(FractOctRadio, 1, 0);
    g->addWidget(FractOctFilterCheck, 1, 1);
    g->addWidget(FractOctGateTimeText, 1, 2);
    g->addWidget(new QLabel("[ms] Gate Time", FreqWindow), 1, 3);
    g->addWidget(FractOctText, 2, 2);
    g->addWidget(new QLabel("[Oct] BW", FreqWindow), 2, 3);
    g->addWidget(PsycRadio, 3, 0);
    g->addWidget(PsycFilterCheck, 3, 1);
    g->addWidget(PsycParms, 3, 2);
    g->addWidget(DisplayResText, 4, 2);
    g->addWidget(new QLabel("Display Resolution: 6=high  1=low", FreqWindow), 4, 3);
  }

  BoostCut = Named(new QGroupBox("Boost/Cut Curve", this), "BoostCut");
  CurveNoText = TextBox(BoostCut, "CurveNoText", 40);
  LevelText = TextBox(BoostCut, "LevelText");
  Boost = Button(BoostCut, "Boost", "Boost/Cut");
  CurveNoText->setText("1");
  LevelText->setText("0.0");
  {
    auto* g = new QGridLayout(BoostCut);
    g->addWidget(CurveNoText, 0, 0);
    g->addWidget(new QLabel("Curve No.", BoostCut), 0, 1);
    g->addWidget(LevelText, 1, 0);
    g->addWidget(new QLabel("dB Boost/Cut", BoostCut), 1, 1);
    g->addWidget(Boost, 0, 2, 2, 1);
  }

  Apply = Button(this, "Apply", "Apply");
  Help = Button(this, "Help", "Help");
  Apply->setDefault(true);  // Enter applies, never a shift or a boost

  // Each mode shows its own frames; the window shrinks to what is shown.
  auto* layout = new QGridLayout(this);
  layout->addWidget(ImpDisp, 0, 0);
  layout->addWidget(ImpPos, 1, 0);
  layout->addWidget(ImpulseFilterFrame, 2, 0);
  layout->addWidget(ETCRange, 0, 1, 2, 1);
  layout->addWidget(ETCDR, 2, 1);
  layout->addWidget(FreqWindow, 3, 0, 1, 2);
  layout->addWidget(BoostCut, 4, 0, 1, 2);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(Apply);
  buttons->addWidget(Help);
  layout->addLayout(buttons, 5, 0, 1, 2);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  // Option buttons act on the user's click only, never when the program sets them.
  connect(FFTRadio, &QRadioButton::clicked, this, [this] { FFTRadio_Click(); });
  connect(FractOctRadio, &QRadioButton::clicked, this, [this] { FractOctRadio_Click(); });
  connect(PsycRadio, &QRadioButton::clicked, this, [this] { PsycRadio_Click(); });
  connect(ImpulseRadio, &QRadioButton::clicked, this, [this] { ImpulseRadio_Click(); });
  connect(ETCRadio, &QRadioButton::clicked, this, [this] { ETCRadio_Click(); });
  connect(Apply, &QPushButton::clicked, this, [this] { Apply_Click(); });
  connect(Help, &QPushButton::clicked, this, [this] { Help_Click(); });
  connect(Boost, &QPushButton::clicked, this, [this] { Boost_Click(); });
  connect(PsycParms, &QPushButton::clicked, this, [this] { PsycParms_Click(); });
  connect(LargeShiftLeft, &QPushButton::clicked, this, [this] { LargeShiftLeft_Click(); });
  connect(medshiftleft, &QPushButton::clicked, this, [this] { medshiftleft_Click(); });
  connect(smallshiftleft, &QPushButton::clicked, this, [this] { smallshiftleft_Click(); });
  connect(smallshiftright, &QPushButton::clicked, this, [this] { smallshiftright_Click(); });
  connect(medshiftright, &QPushButton::clicked, this, [this] { medshiftright_Click(); });
  connect(LargeShiftRight, &QPushButton::clicked, this, [this] { LargeShiftRight_Click(); });
}

void DisplayControlForm::SetFrequencyRadios() {
  // The last selected flag wins; with none set no button is selected.
  frequencyGroup_->setExclusive(false);
  const std::pair<QRadioButton*, int16_t> radios[] = {{PsycRadio, DisplayConfig.PsycSelected},
                                                      {FractOctRadio, DisplayConfig.FractOctSelected},
                                                      {FFTRadio, DisplayConfig.FFTSelected}};
  for (auto [radio, flag] : radios) {
    if (flag == 0) {
      radio->setChecked(false);
      continue;
    }
    for (QAbstractButton* b : frequencyGroup_->buttons()) b->setChecked(b == radio);
  }
  frequencyGroup_->setExclusive(true);
}

void DisplayControlForm::ReadAndShowDisplayParms(GraphHost& host, int32_t mode) {
  host_ = &host;
  Mode = mode;
  const bool time = mode == 3;
  for (QWidget* w : {static_cast<QWidget*>(ImpDisp), static_cast<QWidget*>(ImpPos),
                     static_cast<QWidget*>(ImpulseFilterFrame), static_cast<QWidget*>(ETCRange),
                     static_cast<QWidget*>(ETCDR)})
    w->setVisible(time);
  FreqWindow->setVisible(!time);
  BoostCut->setVisible(!time);

  const ImpulseDisplayConfigRecord& i = ImpulseDisplayConfig;
  {
    const QSignalBlocker b1(ImpulseRadio), b2(ETCRadio), b3(FFTRadio), b4(FractOctRadio), b5(PsycRadio);
    SetFrequencyRadios();
    (i.ShowETC != 0 ? ETCRadio : ImpulseRadio)->setChecked(true);
    if (time) {
      ImpFilter->setChecked(i.FilterOn != 0);
      ApplyLowETC->setChecked(i.ApplyLowETC != 0);
      ApplyMidETC->setChecked(i.ApplyMidETC != 0);
      ApplyHighETC->setChecked(i.ApplyHighETC != 0);
    } else {
      FractOctFilterCheck->setChecked(DisplayConfig.ShowFractOctInSingleView == 1);
      PsycFilterCheck->setChecked(DisplayConfig.ShowPsycInSingleView == 1);
      BodeFilterCheck->setChecked(DisplayConfig.ShowBodeInSingleView == 1);
    }
  }
  const bool shifts = ImpulseShiftHooks.ShiftImpulseLeft && ImpulseShiftHooks.ShiftImpulseRight;
  for (QPushButton* b : {LargeShiftLeft, medshiftleft, smallshiftleft, smallshiftright, medshiftright, LargeShiftRight})
    b->setEnabled(shifts);

  ShowDisplayParms();
  SetText(ETCDRTimeText, OneDecimal(i.ETCDRTime));
  SetText(ETCDRPlusRev, OneDecimal(i.ETCDRPlusRev));
  SetText(CurveShiftNumberText, std::to_string(GetMainCurveNumber(host)));
}

void DisplayControlForm::ShowDisplayParms() {
  const ImpulseDisplayConfigRecord& i = ImpulseDisplayConfig;
  SetText(UpperCutoffFreqText, Whole(i.UpperCutoffFreq));
  SetText(LowerCutoffFreqText, Whole(i.LowerCutoffFreq));
  SetText(OrderText, std::to_string(i.Order));
  SetText(FractOctText, ThreeDecimals(GetFractOctRes()));
  SetText(FractOctGateTimeText, OneDecimal(GetFractOctGateTime()));
  SetText(BodeGateTimeText, OneDecimal(GetBodeGateTime()));
  if (host_) SetText(DisplayResText, Whole(Val(host_->GetDisplayRes())));
  SetText(ETCMinLowText, Whole(i.ETCMinLow));
  SetText(ETCMinHighText, Whole(i.ETCMinHigh));
  SetText(ETCMidLowText, Whole(i.ETCMidLow));
  SetText(ETCMidHighText, Whole(i.ETCMidHigh));
  SetText(ETCHighLowText, Whole(i.ETCHighLow));
  SetText(ETCHighHighText, Whole(i.ETCHighHigh));
}

bool DisplayControlForm::ApplyDisplayParms() {
  if (!host_) return false;
  bool ok = true;
  double v = 0;
  // Each field that passes is stored, whatever the others hold.
  auto field = [&](QLineEdit* box, double min, double max, auto store) {
    if (ValidateNumericTextBox(box, min, max, v))
      store(v);
    else
      ok = false;
  };
  const double nyquist = Val(GetSampleRateOfDisplayData()) * 0.5;

  field(DisplayResText, 1, 6, [&](double x) {
    LastDisplayRes = static_cast<int32_t>(Fix(x));
    if (LastDisplayRes != CLng(Val(host_->GetDisplayRes()))) host_->SetDisplayRes(LastDisplayRes);
  });

  if (Mode == 4) {
    DisplayConfig.PsycSelected = Flag(PsycRadio->isChecked());
    DisplayConfig.FractOctSelected = Flag(FractOctRadio->isChecked());
    DisplayConfig.FFTSelected = Flag(FFTRadio->isChecked());
    field(FractOctText, 0.05, 1.0, [](double x) { EQConfig.FractOctRes = static_cast<float>(x); });
    field(FractOctGateTimeText, 1, 2000, [](double x) { EQConfig.FractOctGateTime = static_cast<float>(x); });
    field(BodeGateTimeText, 0.1, 2000, [](double x) { EQConfig.FreqRespGateTime = static_cast<float>(x); });
    DisplayConfig.ShowFractOctInSingleView = FractOctFilterCheck->isChecked() ? 1 : 0;
    DisplayConfig.ShowPsycInSingleView = PsycFilterCheck->isChecked() ? 1 : 0;
    DisplayConfig.ShowBodeInSingleView = BodeFilterCheck->isChecked() ? 1 : 0;
    RefreshPsycParms();
    RefreshOctParms();
    RefreshBodeParms();
  }

  if (Mode == 3) {
    ImpulseDisplayConfigRecord& i = ImpulseDisplayConfig;
    i.FilterOn = Flag(ImpFilter->isChecked());
    i.ShowETC = Flag(ETCRadio->isChecked());
    field(UpperCutoffFreqText, 16, nyquist, [&](double x) { i.UpperCutoffFreq = static_cast<float>(x); });
    field(LowerCutoffFreqText, 16, nyquist, [&](double x) { i.LowerCutoffFreq = static_cast<float>(x); });
    field(OrderText, 1, 8, [&](double x) { i.Order = static_cast<int32_t>(Fix(x)); });

    // A band is stored only whole: its lower edge, then its upper edge at or
    // above the new lower one. An inverted band would stop the energy-time view.
    struct Band {
      QCheckBox* apply;
      QLineEdit *low, *high;
      int16_t& flag;
      double &lowEdge, &highEdge;
    };
    const Band bands[] = {{ApplyLowETC, ETCMinLowText, ETCMinHighText, i.ApplyLowETC, i.ETCMinLow, i.ETCMinHigh},
                          {ApplyMidETC, ETCMidLowText, ETCMidHighText, i.ApplyMidETC, i.ETCMidLow, i.ETCMidHigh},
                          {ApplyHighETC, ETCHighLowText, ETCHighHighText, i.ApplyHighETC, i.ETCHighLow,
                           i.ETCHighHigh}};
    for (const Band& b : bands) {
      if (!b.apply->isChecked()) {
        b.flag = kFalse;
        continue;
      }
      b.flag = kTrue;
      double low = 0, high = 0;
      if (!ValidateNumericTextBox(b.low, 20, nyquist, low) || !ValidateNumericTextBox(b.high, low, nyquist, high)) {
        ok = false;
        continue;
      }
      b.lowEdge = low;
      b.highEdge = high;
    }

    field(ETCDRTimeText, 1, 120, [&](double x) { i.ETCDRTime = static_cast<float>(x); });
    field(ETCDRPlusRev, 1, 1000, [&](double x) { i.ETCDRPlusRev = static_cast<float>(x); });
  }
  return ok;
}

void DisplayControlForm::Apply_Click() {
  if (!ApplyDisplayParms()) return;
  WaitCursor hourglass;
  ShowDisplayParms();
  ShowNewGraphic(*host_);
}

void DisplayControlForm::Boost_Click() {
  if (!host_) return;
  double curve = 0, level = 0;
  if (!ValidateNumericTextBox(CurveNoText, 1, GetNumberOfCurves(), curve)) return;
  if (!ValidateNumericTextBox(LevelText, -20, 20, level)) return;
  zentor::BoostCut(*host_, CLng(curve), static_cast<float>(level));
  LevelText->setText("0.0");
  SetChangeLevels(kTrue);
}

void DisplayControlForm::FFTRadio_Click() {
  BodeFilterCheck->setChecked(true);
  DisplayConfig.Graphshown = kBodeView;
  DisplayConfig.FFTSelected = kTrue;
}

void DisplayControlForm::FractOctRadio_Click() {
  FractOctFilterCheck->setChecked(true);
  DisplayConfig.Graphshown = kFractOctView;
  DisplayConfig.FractOctSelected = kTrue;
}

void DisplayControlForm::PsycRadio_Click() {
  PsycFilterCheck->setChecked(true);
  DisplayConfig.Graphshown = kPsycView;
  DisplayConfig.PsycSelected = kTrue;
}

void DisplayControlForm::ImpulseRadio_Click() { DisplayConfig.Graphshown = kImpulseView; }

void DisplayControlForm::ETCRadio_Click() { DisplayConfig.Graphshown = kImpulseView; }

void DisplayControlForm::Shift(bool right, int32_t samples) {
  const auto& shift = right ? ImpulseShiftHooks.ShiftImpulseRight : ImpulseShiftHooks.ShiftImpulseLeft;
  if (!host_ || !shift) return;
  shift(*host_, CLng(Val(CurveShiftNumberText->text().toStdString())), samples);
}

void DisplayControlForm::PsycParms_Click() {
  PsycFilterCheck->setChecked(true);
  ShowModal(Forms::Get<PsycForm>());
}

void DisplayControlForm::Help_Click() {
  ShowHelpTopic(Mode == 3 ? HelpTopic::DisplayControlFormView3 : HelpTopic::DisplayControlForm);
}

void DisplayControlForm::Form_QueryUnload() {
  unsetCursor();
  if (host_) host_->SetMouseZero();
}

void DisplayControlForm::done(int r) {
  Form_QueryUnload();
  QDialog::done(r);
}

void ShowDisplayOptionsWindow(GraphHost& host, int32_t mode) {
  DisplayControlForm* form = Forms::Get<DisplayControlForm>();
  form->ReadAndShowDisplayParms(host, mode);
  ShowModal(form);
}

}  // namespace zentor
