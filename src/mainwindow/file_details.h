// "File Details": the loaded set's sample rate, excitation times, calibration
// name and the user's notes, which are kept when the window closes.
#pragma once

#include <QDialog>
#include <cstdint>

class QLabel;
class QLineEdit;
class QPlainTextEdit;

namespace zentor {

class Form2 : public QDialog {
 public:
  Form2();

  void Form_Load();
  // Hands the notes to the main window; the window always closes.
  void Form_QueryUnload(int16_t& Cancel);
  void Form_Unload(int16_t& Cancel) { Form_QueryUnload(Cancel); }

  QLineEdit *FsText, *ExciteTime, *PreExciteTime, *MicCalName;
  QPlainTextEdit* UserNotes;
  QLabel *FsLabel, *ExciteLabel, *PreExciteLabel;

 protected:
  void done(int r) override;

 private:
  bool notesKept_ = false;
};

// Seconds of 2^exponent samples, cut to tenths, as the window shows them.
std::string ExcitationTimeText(int32_t exponent, int32_t sampleRate);

}  // namespace zentor
