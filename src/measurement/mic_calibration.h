// "Microphone Calibration Files": shows the calibration in force, loads a .cal or
// .mic file or a microphone maker's calibration text, and turns a typed table into
// a .cal file. Also the reading behind
// the sound-card window's Calibration button.
#pragma once

#include <QDialog>
#include <array>
#include <string>

#include "core/records.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace zentor {

class MicCalForm : public QDialog {
  Q_OBJECT
 public:
  explicit MicCalForm(QWidget* parent = nullptr);

  void Form_Load();
  void LoadCal_Click();
  void ImportText_Click();
  void CreatCal_Click();
  void Help_Click();

  QGroupBox* Frame1;
  QLineEdit *LineOne, *LineTwo, *MicCaltext;
  QLabel *Label4, *Label5, *Label6;
  QLabel* MicTextInfo;  // the sensitivity and serial an imported text gives
  QPlainTextEdit* Caltext;
  QPushButton *CreatCal, *LoadCal, *ImportText, *Help;

  // Phase (degrees) of the points of the table being created.
  std::array<float, kMaxMicCalPoints> Phase{};

 private:
  // Reads the file and, when the reading completes, puts it in force. False when
  // nothing changed.
  bool LoadMicCalFile(const std::string& path);
};

// The sound-card window's Calibration button: asks for a .cal or .mic file and
// puts it in force, its name shown in micCalText. The window shows the hourglass
// while the file is read. False (and nothing changed) when cancelled or the file
// could not be read.
bool OpenSoundCardCalibration(QWidget* window, QLineEdit* micCalText);

// Sets the main window's link to this window.
void InstallMicCalibrationLinks();

}  // namespace zentor
