#include "analysers/rta_imp.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <algorithm>

#include "analysers/rta_display.h"
#include "base/text_number.h"
#include "core/records.h"
#include "measurement/eq_audio_module.h"
#include "platform/help.h"
#include "platform/text_boxes.h"
#include "platform/forms.h"

namespace zentor {

namespace {

constexpr int32_t kLowestOrder = 14;
constexpr int32_t kHighestOrder = 16;
constexpr double kEarliestStart = -20, kLatestStart = 200;  // ms
constexpr double kLongestWindow = 30;                      // ms
constexpr double kLowestBandEdge = 200;                    // Hz

constexpr auto* Button = &NamedControl<QPushButton>;

QString Plain(double v) { return QString::fromStdString(Str(v)).trimmed(); }

}  // namespace

RTAImp::RTAImp() : RtaWindow("RTAImp", "Impulse/ETC RTA", UnhookRTAImpMessages) {
  auto* timeFrame = new QGroupBox("Time Range", this);
  StartTimeText = EntryBox(timeFrame, "StartTimeText");
  FinishTimeText = EntryBox(timeFrame, "FinishTimeText");
  auto* tl = new QHBoxLayout(timeFrame);
  tl->addWidget(StartTimeText);
  tl->addWidget(new QLabel("ms to ", timeFrame));
  tl->addWidget(FinishTimeText);
  ImpulseBut = new QRadioButton("Impulse", this);
  ImpulseBut->setObjectName("ImpulseBut");
  ImpulseBut->setChecked(true);
  ETCBut = new QRadioButton("ETC", this);
  ETCBut->setObjectName("ETCBut");
  TimePeriod = new QLineEdit(this);
  TimePeriod->setObjectName("TimePeriod");
  TimePeriod->setReadOnly(true);
  TimePeriod->setFixedWidth(60);
  LeftBut = Button(this, "LeftBut", "<");
  RightBut = Button(this, "RightBut", ">");
  auto* filterFrame = new QGroupBox("Filter", this);
  FilterResults = new QCheckBox(filterFrame);
  FilterResults->setObjectName("FilterResults");
  LowerFreqText = EntryBox(filterFrame, "LowerFreqText");
  UpperFreqText = EntryBox(filterFrame, "UpperFreqText");
  auto* fl = new QHBoxLayout(filterFrame);
  fl->addWidget(FilterResults);
  fl->addWidget(LowerFreqText);
  fl->addWidget(new QLabel("Hz to", filterFrame));
  fl->addWidget(UpperFreqText);
  HelpBut = Button(this, "HelpBut", "Help");
  StopBut = Button(this, "StopBut", "Stop");
  Play = Button(this, "Play", "Play");
  Play->setToolTip("Play/Record Test Signal");

  auto* g = new QGridLayout(this);
  g->addWidget(timeFrame, 0, 0, 1, 4);
  g->addWidget(ImpulseBut, 1, 0);
  g->addWidget(ETCBut, 1, 1);
  g->addWidget(LeftBut, 2, 0);
  g->addWidget(TimePeriod, 2, 1);
  g->addWidget(RightBut, 2, 2);
  g->addWidget(new QLabel("Period [ms]", this), 2, 3);
  g->addWidget(filterFrame, 3, 0, 1, 4);
  g->addWidget(Picture1, 4, 0);
  g->addWidget(FlashLabel, 4, 1);
  g->addWidget(Play, 5, 0);
  g->addWidget(StopBut, 5, 1);
  g->addWidget(HelpBut, 5, 2);

  Form_Load();
  connect(Play, &QPushButton::clicked, this, [this] { Play_Click(); });
  connect(StopBut, &QPushButton::clicked, this, [this] { StopBut_Click(); });
  connect(LeftBut, &QPushButton::clicked, this, [this] { LeftBut_Click(); });
  connect(RightBut, &QPushButton::clicked, this, [this] { RightBut_Click(); });
  connect(HelpBut, &QPushButton::clicked, this, [this] { HelpBut_Click(); });
  for (QRadioButton* b : {ImpulseBut, ETCBut}) connect(b, &QRadioButton::clicked, this, [this] { SettingChanged(); });
  connect(FilterResults, &QCheckBox::clicked, this, [this] { SettingChanged(); });
  for (QLineEdit* t : {StartTimeText, FinishTimeText, LowerFreqText, UpperFreqText})
    connect(t, &QLineEdit::textChanged, this, [this] { SettingChanged(); });
}

void RTAImp::Form_Load() {
  RtaImpHwnd = this;
  HookRTAImpMessages();
  StopRecording = StopPlaying = false;
  RtaStopped = FlashOn = true;
  ImpStartTime = -5;
  ImpFinishTime = 25;
  MLSOrder = 16;
  BlockSize = 65536;
  TimePeriod->setText(QString::number(BlockMilliseconds(MLSOrder, EQConfig.SampleRate)));
  StartTimeText->setText(Plain(ImpStartTime));
  FinishTimeText->setText(Plain(ImpFinishTime));
  LowerFreqText->setText("400");
  UpperFreqText->setText("4000");
  Play->setEnabled(true);
}

void RTAImp::StepOrder(int32_t step) {
  MLSOrder = std::clamp(MLSOrder + step, kLowestOrder, kHighestOrder);
  BlockSize = int32_t{1} << MLSOrder;
  TimePeriod->setText(QString::number(BlockMilliseconds(MLSOrder, EQConfig.SampleRate)));
  StopRta();
}

void RTAImp::LeftBut_Click() { StepOrder(-1); }
void RTAImp::RightBut_Click() { StepOrder(1); }
void RTAImp::SettingChanged() { StopRta(); }
void RTAImp::StopBut_Click() { StopRta(); }
void RTAImp::HelpBut_Click() { ShowHelpTopic(HelpTopic::RTAImp); }

bool RTAImp::ReadSettings() {
  const double nyquist = EQConfig.SampleRate / 2.0;
  double v = 0;
  if (!ValidateNumericTextBox(StartTimeText, kEarliestStart, kLatestStart, v)) return false;
  ImpStartTime = static_cast<float>(v);
  if (!ValidateNumericTextBox(FinishTimeText, ImpStartTime, ImpStartTime + kLongestWindow, v)) return false;
  if (static_cast<float>(v) == ImpStartTime) {
    MsgBox("User Error: Invalid Time Range Chosen");
    return false;
  }
  ImpFinishTime = static_cast<float>(v);
  if (!ValidateNumericTextBox(LowerFreqText, kLowestBandEdge, nyquist, v)) return false;
  ImpLowerFreq = static_cast<float>(v);
  if (!ValidateNumericTextBox(UpperFreqText, ImpLowerFreq, nyquist, v)) return false;
  // The smoothing of the energy-time curve divides by the band's width.
  if (!(static_cast<float>(v) > ImpLowerFreq)) {
    MsgBox("User Error 2394: Invalid Frequency Range Chosen");
    return false;
  }
  ImpUpperFreq = static_cast<float>(v);
  ImpView = ETCBut->isChecked() ? 8 : 2;
  return true;
}

void RTAImp::Play_Click() {
  if (!RtaStopped) return;
  if (!ReadSettings()) return;
  const int32_t rate = EQConfig.SampleRate;
  TimePeriod->setText(QString::number(BuildRtaPlayBuffer(rate)));
  const int32_t filterOn = FilterResults->isChecked() ? 1 : 0;
  ClaimIndicator();
  if (!InitializeImpRTA(MLSOrder, rate, ImpView, filterOn, ImpLowerFreq, ImpUpperFreq, ImpStartTime, ImpFinishTime))
    return;
  StartStreaming(rate);
}

}  // namespace zentor
