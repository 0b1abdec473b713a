// "Impulse Export": writes one impulse of the loaded set as a mono 16-bit WAV
// file or as bare 16-bit samples (.pcm, .raw), scaled so that its largest
// sample reaches the chosen level. Modeless.
#pragma once

#include <QDialog>
#include <cstdint>

#include "platform/dialogs.h"
#include "tools/wav_file.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace zentor {

class ExportPCM : public QDialog {
 public:
  explicit ExportPCM(QWidget* parent = nullptr);

  // Shows the window (not modal) for a 1-based curve when results are loaded.
  // Always false: the caller has nothing more to show.
  bool Initialize(int32_t curveNumber);
  void Save_Click();
  void PCM_Click() { PresetDialog(); }
  void RAW_Click() { PresetDialog(); }

  int32_t CurveNumber = 0;
  int32_t MaxLevel = 0;
  WavHeader Header;
  FileDialogRequest SaveRequest;  // the save dialog's texts for the chosen type

  QLineEdit *CurveNoText, *MaxLevelText;
  QRadioButton *Wave, *PCM, *RAW;
  QPushButton* Save;
  QLabel* SampleRateResolutionLabel;

 private:
  void PresetDialog();
};

}  // namespace zentor
