#include "measurement/sound_card_selector.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "core/records.h"
#include "mainwindow/data_plotter.h"
#include "mainwindow/main_window_links.h"
#include "measurement/audio_form.h"
#include "measurement/auto_mixer.h"
#include "measurement/mic_calibration.h"
#include "platform/audio/sound_devices.h"
#include "platform/audio/wave_streaming.h"
#include "platform/dialogs.h"
#include "platform/forms.h"
#include "platform/help.h"

namespace zentor {

std::function<std::string(int32_t, std::string&)> SoundCardNameReader = RecordDeviceName;

namespace {

constexpr int kButtonTop = 22;
constexpr int kButtonHeight = 22;
constexpr int kHelpTopic = 920;

}  // namespace

SoundCardSelectorForm::SoundCardSelectorForm(QWidget* parent) : QDialog(parent) {
  setObjectName("SoundCardSelectorForm");
  setWindowTitle("SoundCard Settings");

  Frame2 = new QGroupBox("Sound Card", this);
  InputGroup = new QButtonGroup(this);
  auto* first = new QRadioButton("Input", Frame2);
  first->setObjectName("InputCard");
  first->setGeometry(10, kButtonTop, 250, kButtonHeight);
  InputCard.push_back(first);
  InputGroup->addButton(first, 0);
  connect(InputGroup, &QButtonGroup::idClicked, this, [this](int id) { InputCard_Click(id); });

  Frame4 = new QGroupBox("Output Device", this);
  Frame4->setGeometry(284, 8, 150, 52);
  Outputcard = new QRadioButton("Output", Frame4);
  Outputcard->setGeometry(10, kButtonTop, 130, kButtonHeight);

  Frame5 = new QGroupBox("Sample Frequency", this);
  Frame5->setGeometry(284, 66, 150, 122);
  FortyEight = new QRadioButton("48", Frame5);
  FortyFourPointOne = new QRadioButton("44.1", Frame5);
  Twelve = new QRadioButton("12", Frame5);
  SevenFifty = new QRadioButton("0.75", Frame5);
  int y = kButtonTop;
  for (QRadioButton* b : {FortyEight, FortyFourPointOne, Twelve, SevenFifty}) {
    b->setGeometry(10, y, 130, kButtonHeight);
    y += kButtonHeight + 2;
  }
  connect(FortyEight, &QRadioButton::clicked, this, [this] { FortyEight_Click(); });
  connect(FortyFourPointOne, &QRadioButton::clicked, this, [this] { FortyFourPointOne_Click(); });
  connect(Twelve, &QRadioButton::clicked, this, [this] { Twelve_Click(); });
  connect(SevenFifty, &QRadioButton::clicked, this, [this] { SevenFifty_Click(); });

  Frame6 = new QGroupBox("Room Corr", this);
  Frame6->setGeometry(284, 194, 150, 58);
  Label1 = new QLabel("(Hz)  Schroeder", Frame6);
  Label1->setGeometry(48, 24, 100, 22);
  SchroederFreqText = new QLineEdit(Frame6);
  SchroederFreqText->setGeometry(8, 24, 38, 22);
  // A field turns white again once edited, as after a rejected value.
  connect(SchroederFreqText, &QLineEdit::textEdited, this,
          [this] { SchroederFreqText->setStyleSheet("background-color: white;"); });

  Command2 = new QPushButton("Help", this);
  Command2->setGeometry(284, 260, 150, 28);
  connect(Command2, &QPushButton::clicked, this, [this] { Command2_Click(); });

  micInRightCheck = new QCheckBox(this);
  connect(micInRightCheck, &QCheckBox::clicked, this, [this] { micInRightCheck_Click(); });
  MicCaltext = new QLineEdit("No Mic Cal File Loaded", this);
  Calibration = new QPushButton("Open Microphone Calibration File", this);
  connect(Calibration, &QPushButton::clicked, this, [this] { Calibration_Click(); });

  Frame2->setObjectName("Frame2");
  Frame4->setObjectName("Frame4");
  Frame5->setObjectName("Frame5");
  Frame6->setObjectName("Frame6");
  Outputcard->setObjectName("Outputcard");
  FortyEight->setObjectName("FortyEight");
  FortyFourPointOne->setObjectName("FortyFourPointOne");
  Twelve->setObjectName("Twelve");
  SevenFifty->setObjectName("SevenFifty");
  micInRightCheck->setObjectName("micInRightCheck");
  MicCaltext->setObjectName("MicCaltext");
  Calibration->setObjectName("Calibration");
  Command2->setObjectName("Command2");
  Label1->setObjectName("Label1");
  SchroederFreqText->setObjectName("SchroederFreqText");
  FitDeviceFrame();
}

// The device frame grows with its buttons; the microphone controls stand below it.
void SoundCardSelectorForm::FitDeviceFrame() {
  const QRadioButton* last = InputCard.back();
  const int frameHeight = std::max(last->geometry().bottom() + 10, 120);
  Frame2->setGeometry(8, 8, 270, frameHeight);
  const int y = std::max(8 + frameHeight + 8, 200);
  micInRightCheck->setGeometry(8, y, 20, 22);
  MicCaltext->setGeometry(30, y, 248, 22);
  Calibration->setGeometry(8, y + 28, 270, 28);
  setFixedSize(442, std::max(y + 64, 298));
}

void SoundCardSelectorForm::SetUpSoundCardSelection() {
  if (DeviceListBuilt == 0) {
    InputCard[0]->setChecked(true);
    NumRecordDevices = RecordDeviceCount();
    if (NumRecordDevices <= 0) {
      MsgBox("There are no sound cards that accept recording input connected to this computer");
      return;
    }
    for (int32_t i = 0; i < NumRecordDevices; ++i) {
      if (i > 0) {
        auto* b = new QRadioButton(Frame2);
        b->setObjectName("InputCard");
        b->setGeometry(10, kButtonTop, 250, kButtonHeight);
        InputCard.push_back(b);
        InputGroup->addButton(b, i);
      }
      QRadioButton* b = InputCard[static_cast<size_t>(i)];
      std::string error;
      const std::string name = SoundCardNameReader(i, error);
      if (!error.empty()) {
        MsgBox(error);
      } else {
        b->setEnabled(true);
        b->setVisible(true);
        b->setText(QString::fromStdString(name.substr(0, kDeviceNameLength)));
      }
      b->move(b->x(), b->height() * i + InputCard[0]->y());
    }
    FitDeviceFrame();
    WaveDeviceId = RestoreAutoMixerSettings();
    const size_t selected = WaveDeviceId > 0 && WaveDeviceId < static_cast<int32_t>(InputCard.size())
                                ? static_cast<size_t>(WaveDeviceId)
                                : 0;
    // A saved device beyond the present list is not there: the default device.
    if (WaveDeviceId >= static_cast<int32_t>(InputCard.size())) WaveDeviceId = -1;
    InputCard[selected]->setChecked(true);
    CheckRateSupport(WaveDeviceId, WaveDeviceId);
    DeviceListBuilt = 1;
    KeepOfferedRate();
    // A server that is there but frozen is listed; the user may pick another card.
    for (int32_t i = 0; i < NumRecordDevices; ++i)
      if (const AudioDevice* dev = ResolveWaveDevice(i); dev && !dev->NotAnsweringText().empty())
        MsgBox(dev->NotAnsweringText());
  } else {
    // The card chosen in the window stays unless saved mixer settings name one.
    if (const int32_t saved = RestoreAutoMixerSettings(); saved >= 0) WaveDeviceId = saved;
    if (WaveDeviceId >= static_cast<int32_t>(InputCard.size())) WaveDeviceId = -1;
  }
  ShowSampleRateOption(EQConfig.SampleRate);
}

void SoundCardSelectorForm::RefreshDeviceList() {
  const bool chosen = DeviceListBuilt != 0 && WaveDeviceId >= 0 && WaveDeviceId < static_cast<int32_t>(InputCard.size());
  const QString name = chosen ? InputCard[static_cast<size_t>(WaveDeviceId)]->text() : QString();
  if (!RefreshSoundDevices()) return;
  while (InputCard.size() > 1) {
    delete InputCard.back();  // leaves its group as it goes
    InputCard.pop_back();
  }
  DeviceListBuilt = 0;
  SetUpSoundCardSelection();
  for (size_t i = 0; chosen && i < InputCard.size() && static_cast<int32_t>(i) < NumRecordDevices; ++i) {
    if (InputCard[i]->text() != name) continue;
    InputCard[i]->setChecked(true);
    InputCard_Click(static_cast<int>(i));
    break;
  }
}

void SoundCardSelectorForm::Initialize() {
  MicCaltext->setText(QString::fromStdString(MicCalFileName));
  const int32_t channel = GetMicChannel();
  if (channel == kMicOnRightInput) micInRightCheck->setChecked(true);
  if (channel == kMicOnLeftInput) micInRightCheck->setChecked(false);
}

std::string SoundCardSelectorForm::GetSoundCardNumDevices() const { return std::to_string(NumRecordDevices); }

void SoundCardSelectorForm::CheckRateSupport(int32_t inputDevice, int32_t outputDevice) {
  for (QRadioButton* b : {FortyEight, FortyFourPointOne, Twelve, SevenFifty}) b->setEnabled(true);
  for (const auto& [rate, button] : {std::pair{48000, FortyEight}, std::pair{44100, FortyFourPointOne}}) {
    if (!IsFormatSupported(WaveDirection::Input, inputDevice, rate)) button->setEnabled(false);
    if (!IsFormatSupported(WaveDirection::Output, outputDevice, rate)) button->setEnabled(false);
  }
}

// A card that runs at one rate only (a JACK server) measures at it: the rate
// ticked is one the card offers.
void SoundCardSelectorForm::KeepOfferedRate() {
  if (EQConfig.SampleRate == 48000 && !FortyEight->isEnabled() && FortyFourPointOne->isEnabled())
    EQConfig.SampleRate = 44100;
  else if (EQConfig.SampleRate == 44100 && !FortyFourPointOne->isEnabled() && FortyEight->isEnabled())
    EQConfig.SampleRate = 48000;
  ShowSampleRateOption(EQConfig.SampleRate);
}

void SoundCardSelectorForm::ShowSampleRateOption(int32_t& rate) {
  if (rate == 0) rate = 48000;
  if (rate == 48000) FortyEight->setChecked(true);
  if (rate == 44100) FortyFourPointOne->setChecked(true);
  if (rate == 12000) Twelve->setChecked(true);
}

void SoundCardSelectorForm::InputCard_Click(int index) {
  WaveDeviceId = InputCard.size() >= 2 ? index : -1;
  CheckRateSupport(WaveDeviceId, WaveDeviceId);
  KeepOfferedRate();
}

void SoundCardSelectorForm::FortyEight_Click() { EQConfig.SampleRate = 48000; }
void SoundCardSelectorForm::FortyFourPointOne_Click() { EQConfig.SampleRate = 44100; }
void SoundCardSelectorForm::Twelve_Click() { EQConfig.SampleRate = 12000; }
void SoundCardSelectorForm::SevenFifty_Click() { EQConfig.SampleRate = 750; }

void SoundCardSelectorForm::micInRightCheck_Click() {
  SetMicChannel(micInRightCheck->isChecked() ? kMicOnRightInput : kMicOnLeftInput);
}

void SoundCardSelectorForm::Calibration_Click() { OpenSoundCardCalibration(this, MicCaltext); }

void SoundCardSelectorForm::Command2_Click() { ShowHelpTopic(kHelpTopic); }

void SoundCardSelectorForm::Form_Unload(int16_t&) { hide(); }

void SoundCardSelectorForm::closeEvent(QCloseEvent* e) {
  hide();
  e->ignore();
}

void InstallSoundCardLinks() {
  // A closing measurement window offers to keep the mixer settings it ran with.
  AudioFormHooks.SaveAutoMixerSettingsOnExit = [] { SaveAutoMixerSettingsOnExit(); };
  MainWindowHooks.SetUpSoundCardSelection = [] {
    SoundCardSelectorForm* form = Forms::Get<SoundCardSelectorForm>();
    form->SetUpSoundCardSelection();
    return form->DeviceListReady();
  };
  MainWindowHooks.ShowSoundCardSelector = [] {
    const bool fresh = !Forms::IsLoaded<SoundCardSelectorForm>();
    SoundCardSelectorForm* form = Forms::Get<SoundCardSelectorForm>();
    if (fresh && Forms::IsLoaded<DataPlotter>()) form->setParent(Forms::Get<DataPlotter>(), Qt::Dialog);
    // Listed now, as they are: not left to the first measurement window, nor to
    // the list of an earlier opening.
    form->RefreshDeviceList();
    form->Initialize();
    form->show();
    form->raise();
    form->activateWindow();
  };
}

}  // namespace zentor
