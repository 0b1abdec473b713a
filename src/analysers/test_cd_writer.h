// "Create CD File ": writes the test CD as a 16-bit stereo WAV file of a chosen
// length in minutes, the left channel carrying one signal variant and the right
// the other, repeated period after period, for a player the program does not drive.
#pragma once

#include <QDialog>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "core/test_signals.h"
#include "tools/wav_file.h"

class QLineEdit;
class QProgressBar;
class QPushButton;

namespace zentor {

// Whole periods in the given minutes of CD time.
int32_t TestCDPeriodCount(double minutes, const TestCDSettings& params);

// The name the file is written under: the chosen name with ".wav" (SaveFileName);
// nullopt for a name that is only an extension.
std::optional<std::string> TestCDFileName(const std::string& chosen);

// Writes header and `periods` interleaved periods (left, right) through a
// temporary file renamed over `path`; `step` is called after each period.
// False when the file could not be written (an old file stays as it was).
bool WriteTestCDFile(const std::string& path, std::span<const int16_t> left, std::span<const int16_t> right,
                     int32_t periods, int32_t sampleRate, const std::function<void()>& step);

class CreateTestCD : public QDialog {
 public:
  explicit CreateTestCD(QWidget* parent = nullptr);

  void MakeWave_Click();
  void Text1_Click();
  void Help_Click();

  int32_t NumPeriods = 0;
  WavHeader Header;

  QLineEdit* Text1;
  QPushButton *MakeWave, *Help;
  QProgressBar* ProgressBar1;

 private:
  // Fills the header, writes the file and tells the user how it went.
  void FillTestCdWavHeader(std::span<const int16_t> left, std::span<const int16_t> right, int32_t sampleCount,
                           const std::string& fileName);
};

}  // namespace zentor
