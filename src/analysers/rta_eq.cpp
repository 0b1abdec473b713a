#include "analysers/rta_eq.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "analysers/rta_display.h"
#include "base/text_number.h"
#include "core/records.h"
#include "measurement/eq_audio_module.h"
#include "platform/help.h"
#include "platform/text_boxes.h"
#include "platform/forms.h"

namespace zentor {

namespace {

constexpr int32_t kLowestOrder = 12;
constexpr int32_t kHighestOrder = 15;
constexpr double kHighestDspRate = 96000;
// Below this centre frequency (rad/s) a filter's ringing time means nothing.
constexpr double kLowestRingingFreq = 0.05;

QLineEdit* ReadOnlyText(QWidget* parent, const char* name) {
  auto* t = new QLineEdit(parent);
  t->setObjectName(name);
  t->setReadOnly(true);
  t->setFixedWidth(60);
  return t;
}

constexpr auto* Button = &NamedControl<QPushButton>;

}  // namespace

int32_t RtaOrderForAppliedFilters(int32_t sampleRate) {
  const int32_t count = std::clamp<int32_t>(AppliedFilters[0].Count, 0, kMaxFilters);
  if (count < 1) return kLowestOrder;
  double ringing = 0;  // seconds for the slowest filter to fall 60 dB
  for (int32_t k = 0; k < count; ++k) {
    const FilterRecord& r = AppliedFilters[static_cast<size_t>(k)];
    const double w = r.Freq1;
    if (!(w >= kLowestRingingFreq) || !std::isfinite(w)) continue;
    for (const double q : {static_cast<double>(r.Q1), static_cast<double>(r.Q2)})
      if (std::isfinite(q)) ringing = std::max(ringing, std::fabs(13.8 * q / w));
  }
  const double needed = 0.5 * ringing * sampleRate;
  int32_t order = kLowestOrder;
  while (order < kHighestOrder && std::exp2(order) < needed) ++order;
  return order;
}

RTAEQ::RTAEQ() : RtaWindow("RTAEQ", "RTA EQ setting", UnhookRTAEQMessages) {
  MLSOrderText = ReadOnlyText(this, "MLSOrderText");
  MSPeriodText = ReadOnlyText(this, "MSPeriodText");
  PeriodUp = Button(this, "PeriodUp", "+");
  PeriodDown = Button(this, "PeriodDown", "-");
  auto* typeFrame = new QGroupBox("EQ Type", this);
  AnalogueOption = new QRadioButton("Analogue EQ", typeFrame);
  AnalogueOption->setObjectName("AnalogueOption");
  DSPOption = new QRadioButton("DSP", typeFrame);
  DSPOption->setObjectName("DSPOption");
  DSPOption->setChecked(true);
  SampleRateText = EntryBox(typeFrame, "SampleRateText", "96000");
  auto* tl = new QGridLayout(typeFrame);
  tl->addWidget(AnalogueOption, 0, 0, 1, 2);
  tl->addWidget(DSPOption, 1, 0, 1, 2);
  tl->addWidget(SampleRateText, 2, 0);
  tl->addWidget(new QLabel(" [Hz]", typeFrame), 2, 1);
  Command4 = Button(this, "Command4", "Help");
  stop = Button(this, "stop", "Stop");
  Play = Button(this, "Play", "Play");
  Play->setToolTip("Play/Record Test Signal");
  Timer1 = new QTimer(this);
  Timer1->setObjectName("Timer1");

  auto* g = new QGridLayout(this);
  g->addWidget(Picture1, 0, 0);
  g->addWidget(FlashLabel, 0, 1);
  g->addWidget(MLSOrderText, 1, 0);
  g->addWidget(PeriodUp, 1, 1);
  g->addWidget(PeriodDown, 1, 2);
  g->addWidget(new QLabel(" MLSOrder", this), 1, 3);
  g->addWidget(MSPeriodText, 2, 0);
  g->addWidget(new QLabel(" [ms] MLS Period", this), 2, 1, 1, 3);
  g->addWidget(typeFrame, 3, 0, 1, 4);
  g->addWidget(Play, 4, 0);
  g->addWidget(stop, 4, 1);
  g->addWidget(Command4, 4, 2, 1, 2);

  connect(Play, &QPushButton::clicked, this, [this] { Play_Click(); });
  connect(stop, &QPushButton::clicked, this, [this] { stop_Click(); });
  connect(PeriodUp, &QPushButton::clicked, this, [this] { PeriodUp_Click(); });
  connect(PeriodDown, &QPushButton::clicked, this, [this] { PeriodDown_Click(); });
  connect(AnalogueOption, &QRadioButton::clicked, this, [this] { SettingChanged(); });
  connect(DSPOption, &QRadioButton::clicked, this, [this] { SettingChanged(); });
  connect(SampleRateText, &QLineEdit::textChanged, this, [this] { SettingChanged(); });
  connect(Command4, &QPushButton::clicked, this, [this] { Command4_Click(); });
  Form_Load();
}

void RTAEQ::Form_Load() {
  RtaEqHwnd = this;
  HookRTAEQMessages();
  StopPlaying = StopRecording = false;
  RtaStopped = FlashOn = true;
  Play->setEnabled(true);
  EQType = 1;
  DspSampleRate = 96000;
  MLSOrder = RtaOrderForAppliedFilters(EQConfig.SampleRate);
  ShowOrder();
}

void RTAEQ::ShowOrder() {
  BlockSize = int32_t{1} << MLSOrder;
  MSPeriodText->setText(QString::number(BlockMilliseconds(MLSOrder, EQConfig.SampleRate)));
  MLSOrderText->setText(QString::number(MLSOrder));
}

void RTAEQ::StepOrder(int32_t step) {
  MLSOrder = std::clamp(MLSOrder + step, kLowestOrder, kHighestOrder);
  ShowOrder();
  StopRta();
}

void RTAEQ::PeriodUp_Click() { StepOrder(1); }
void RTAEQ::PeriodDown_Click() { StepOrder(-1); }
void RTAEQ::SettingChanged() { StopRta(); }
void RTAEQ::stop_Click() { StopRta(); }
void RTAEQ::Command4_Click() { ShowHelpTopic(HelpTopic::RTAEQ); }

void RTAEQ::Play_Click() {
  if (!RtaStopped) return;
  const int32_t rate = EQConfig.SampleRate;
  double v = 0;
  if (!ValidateNumericTextBox(SampleRateText, rate, kHighestDspRate, v)) return;
  DspSampleRate = CLng(v);
  EQType = DSPOption->isChecked() ? 1 : 2;
  MSPeriodText->setText(QString::number(BuildRtaPlayBuffer(rate)));
  ClaimIndicator();
  if (!InitializeEQRTA(MLSOrder, rate, DspSampleRate, EQType)) return;
  StartStreaming(rate);
}

}  // namespace zentor
