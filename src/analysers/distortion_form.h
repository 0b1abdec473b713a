// "Qel5.xxx Multitone Distortion Measurement": plays a two-tone or multitone signal
// while recording both inputs, optionally after a background-noise recording, and
// measures harmonic and intermodulation distortion of the right input relative to
// the excitation, in per cent or dB; Export writes the products as a text file.
#pragma once

#include <QDialog>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "analysers/distortion_signals.h"
#include "measurement/wave_clients.h"
#include "platform/dialogs.h"
#include "platform/forms.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSlider;

namespace zentor {

class DistForm : public QDialog, public DistFormWaveClient {
  Q_OBJECT
 public:
  DistForm();
  ~DistForm() override;

  // False when the sound card was busy: the window must close at once.
  bool Form_Load();
  void Form_Unload();
  bool Loaded() const { return loaded_; }

  // ---- Public operations --------------------------------------------------------------
  int32_t TestPhase() const override { return TestPhaseValue; }
  void ProcessDistortionData() override;
  bool GetPlayOn() const { return PlayOn; }
  bool GetRecOn() const override { return RecOn; }
  void SetRecOn(bool on) override { RecOn = on; }
  void SetPlayOn(bool on) override { PlayOn = on; }
  void ProcessNoise() override;
  // Lists the two-tone products into `products` (zeros after them) and gives their
  // smallest spacing; false when more products fall in the band than a list holds.
  bool CheckTwoToneExcitationAndDistortionComponents(float f1, float f2, int32_t harmonicOrder, int32_t order,
                                                     std::span<float> excitation, std::span<float> products,
                                                     float fmin, float fmax, float& spacing);
  void LoadTestTone();

  // ---- Handlers -------------------------------------------------------------------------
  void Start_Click();
  void AnalyzeBut_Click() { AnalyzeDistortionProducts(); }
  void TwinToneType_Click();
  void MultiToneType_Click();
  void Percent_Click() { ShowDistortionResults(); }
  void dB_Click() { ShowDistortionResults(); }
  void Export_Click();
  void Help_Click();
  void SliderFmin_Click();
  void SliderFmax_Click();
  // A field the user re-enters loses the mark of a failed check.
  void Tone1_Click();
  void Tone2_Click();
  void Level1_Click();
  void Level2_Click();
  void Order_Click();
  // The result band and order are read when used; a change alone does nothing.
  void Fmin_Change() {}
  void Fmax_Change() {}
  void Order_Change() {}
  void Tone1_Change() { MarkTwoToneChanged(); }
  void Tone2_Change() { MarkTwoToneChanged(); }
  void Level1_Change() { MarkTwoToneChanged(); }
  void Level2_Change() { MarkTwoToneChanged(); }

  // ---- Steps reached from the handlers (public for tests) -----------------------------
  void AnalyzeDistortionProducts();
  void ShowDistortionResults();
  // False when the file could not be written (the user has been told).
  bool WriteDistortionOutputFile(const std::string& fileName);
  // False (after its message) when a list would overflow; the lists are kept then.
  bool BuildProductLists(const std::string& fmin, const std::string& fmax, const std::string& order);

  // ---- State ---------------------------------------------------------------------------
  int32_t TestPhaseValue = 0;
  bool PlayOn = false, RecOn = false;
  int32_t TestSampleRate = 48000;
  std::array<float, kDistListSize> ExcitationFreqTable{};
  int32_t FminIndex = 0, FmaxIndex = kMultitoneTones - 1;
  FreqList ExcitationList{}, HarmonicList{}, IntermodList{};
  FreqList ExcitationPower{}, HarmonicPower{}, IntermodPower{};
  FreqList ExcitationLevel{}, HarmonicLevel{}, IntermodLevel{};
  float TotalExcitationPower = 0, TotalHarmonicPower = 0, TotalIntermodPower = 0;
  float HarmonicResult = 0, IntermodResult = 0;
  std::string TotalLine, IntermodLine, HarmonicLine;
  int32_t TwoToneChanged = 1, MultiToneChanged = 1;
  float MinProductSpacing = 0;
  std::vector<float> SignalRecA, SignalRecB, NoiseRecA, NoiseRecB;
  std::vector<int16_t> TonePlayA, TonePlayB;

  QGroupBox *TypeFrame, *TwoToneFrame, *MultiToneFrame, *ResultParamFrame, *ResultsFrame;
  QRadioButton *TwinToneType, *MultiToneType, *Percent, *dB;
  QLineEdit *Tone1, *Tone2, *Level1, *Level2, *FminText, *FmaxText, *Fmin, *Fmax, *Order;
  QLineEdit *Total, *HD, *IMD, *SPLLevel;
  QSlider *SliderFmin, *SliderFmax;
  QLabel *TotUnits, *HDUnits, *IMDUnits, *OrderLabel;
  QPushButton *AnalyzeBut, *Start, *Export, *Help;
  QCheckBox* NR;
  // The save dialog of Export.
  FileDialogRequest SaveAs;

 protected:
  bool event(QEvent* e) override;
  void closeEvent(QCloseEvent* e) override;

 private:
  bool InitDistortionForm();
  void PrepareTestSignal(int32_t& failed);
  void ResetMultitone();
  void LoadMultitoneExcitation(int32_t first, int32_t last);
  // 0 built; 1 products too close; 2 too many products.
  int32_t BuildTwoToneSignal(int32_t& failed);
  void MarkTwoToneChanged();
  void MarkMultiToneChanged();
  void EnableToneControls();
  // True when the lists the analysis would build fit.
  bool ProductListsFit();
  // Starts the prepared jobs; on a refusal reports and returns the window to idle.
  bool Stream(bool play, int32_t recordCount);
  // The card refused, lost the stream or never filled the recording: frees it,
  // returns the window to idle and says so once.
  void AbandonRun(bool lost = false);
  void EndJob();

  std::optional<WaitCursor> hourglass_;
  bool loaded_ = false;
};

}  // namespace zentor
