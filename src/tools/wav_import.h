// "Import WAV": adds a mono WAV file (16, 24 or 32-bit PCM, or 32-bit float; of
// the wider formats also one chosen channel of several) to the loaded set as one more
// impulse, its start placed at 50 ms, optionally tapered, with its level,
// signal-to-noise ratio and microphone distance in the new header.
#pragma once

#include <QDialog>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/wav_file.h"

class QCheckBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace zentor {

class Import : public QDialog {
 public:
  explicit Import(QWidget* parent = nullptr);

  void OpenWav_Click();
  void Load_Click();
  void Help_Click();

  WavHeader ImportWavHeader;
  std::string WavFileName;
  bool WavLoaded = false;
  int32_t WavOrder = 0;
  int32_t ImportStartOffset = 0;
  float ImportDistance = 0;
  int32_t ImportLevelDb = 0;
  int64_t WavSampleCount = 0;  // samples in the file's data chunk
  std::string StartFolder;     // where the open dialog starts
  // The chosen channel of a 24-bit, 32-bit or float file, at 16-bit scale;
  // empty for a 16-bit file, whose samples wait in PcmSamples.
  std::vector<float> WideSamples;

  QPushButton *OpenWav, *Load, *Help;
  QRadioButton *msrad, *SamplesRad;
  QLineEdit *ImpulseStart, *ImpulseDistance;
  QCheckBox* TaperCheck;

 private:
  void SetWavLoaded(bool loaded);
};

// The order a file of s samples is used at: 17 from 131072 on, else the largest
// whole log2; 0 below 8192 samples (refused).
int32_t WavOrderFor(int64_t samples);

}  // namespace zentor
