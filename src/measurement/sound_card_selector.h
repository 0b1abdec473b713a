// "SoundCard Settings": the recording device, the sample rate of the next
// measurements and the input that carries the microphone. Created on first use and
// kept for the program's life; its close box only hides it.
#pragma once

#include <QDialog>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace zentor {

class SoundCardSelectorForm : public QDialog {
  Q_OBJECT
 public:
  explicit SoundCardSelectorForm(QWidget* parent = nullptr);

  void SetUpSoundCardSelection();
  // Lists the cards afresh (not while a run uses one), keeping the chosen card by
  // its name: a JACK server or card that came or went since shows.
  void RefreshDeviceList();
  void Initialize();
  std::string GetSoundCardNumDevices() const;
  // False when no recording device was found.
  bool DeviceListReady() const { return DeviceListBuilt != 0; }

  void InputCard_Click(int index);
  void FortyEight_Click();
  void FortyFourPointOne_Click();
  void Twelve_Click();
  void SevenFifty_Click();
  void micInRightCheck_Click();
  void Calibration_Click();
  void Command2_Click();
  void Form_Unload(int16_t& Cancel);

  QGroupBox *Frame2, *Frame4, *Frame5, *Frame6;
  std::vector<QRadioButton*> InputCard;
  QButtonGroup* InputGroup;
  QRadioButton* Outputcard;
  QRadioButton *FortyEight, *FortyFourPointOne, *Twelve, *SevenFifty;
  QCheckBox* micInRightCheck;
  QLineEdit* MicCaltext;
  QPushButton *Calibration, *Command2;
  QLabel* Label1;
  QLineEdit* SchroederFreqText;

  int16_t DeviceListBuilt = 0;
  int32_t NumRecordDevices = 0;

 protected:
  void closeEvent(QCloseEvent* e) override;

 private:
  void CheckRateSupport(int32_t inputDevice, int32_t outputDevice);
  void ShowSampleRateOption(int32_t& rate);
  void KeepOfferedRate();
  void FitDeviceFrame();
};

// Reads the name of recording device i; "" with the sound system's error text when
// it cannot. The device list's own reading unless replaced (tests).
extern std::function<std::string(int32_t, std::string&)> SoundCardNameReader;

// Fills the main window's links to this window.
void InstallSoundCardLinks();

}  // namespace zentor
