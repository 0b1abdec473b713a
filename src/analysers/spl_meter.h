// "SPL Meter": records the microphone in back-to-back blocks and shows the power of
// each block inside a frequency band as a level in dB, relative to one calibration
// block of a known level. It plays nothing; one block is in flight at a time and
// the next is requested only after the last one has been shown.
#pragma once

#include <QDialog>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "measurement/wave_clients.h"

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;

namespace zentor {

// The band of one block's spectrum: its first bin and its number of bins.
struct SplBand {
  int32_t startBin = 0;
  int32_t bins = 0;
};
SplBand SplBandBins(float startHz, float finnishHz, int32_t blockLength, int32_t rate);

// Mean power per bin over the band of the block of 2^order samples held in `re`,
// summed in single precision in bin order; `re` and `im` are overwritten. False
// (power unchanged) when the band has fewer than 2 bins or the arrays are short.
bool SplMeanBandPower(std::span<float> re, std::span<float> im, int32_t order, SplBand band, float& power);

// The band level of a mean bin power: 10 log10 above `silence` (valid), else the
// power itself.
float SplBandLevel(float power, float silence, bool& valid);

// The level shown for a band level: one decimal, cut toward zero.
float SplShownLevel(float bandLevel, float referenceLevel, float targetLevel);

// Frequency weightings of sound level meters, 0 dB at 1 kHz.
enum class SplWeighting { A, C };
double WeightingDb(SplWeighting w, double hz);

// The A- and C-weighted powers of a block of 2^order samples, over the spectrum
// below half the rate, in the units of the band's sum of squared bin magnitudes (a
// steady signal gives the same total as the unweighted bins would). The block is
// Hann-windowed first, so that a low tone's leakage does not reach the frequencies
// the weighting passes.
struct SplWeightedPowers {
  double a = 0, c = 0;
};
bool SplWeightedBlockPowers(std::span<const float> block, int32_t order, int32_t rate, SplWeightedPowers& out);

// One block of a run: the band reading, A and C, and the energy means since Start
// (dB); empty where the block or the run so far was silent.
struct SplReading {
  std::optional<double> level, la, lc, leq, laeq, lceq;
};
// The readings as CSV, one line a block, full stops for decimals.
std::string SplReadingsCsv(const std::vector<SplReading>& readings);

class SPLLevelForm : public QDialog, public SplWaveClient {
 public:
  static constexpr int32_t kLowestOrder = 14;
  static constexpr int32_t kHighestOrder = 17;
  static constexpr float kSilence = 10;  // mean bin power at or below: no level

  SPLLevelForm();
  ~SPLLevelForm() override;

  void Form_Load();
  void Form_QueryUnload();
  void Form_Unload();

  void CalBut_Click();
  void SPLText_Click();
  void RecBut_Click();
  void StopBut_Click() { StopMeter(); }
  void StartFreq_Change() { BandChanged(); }
  void FinnishFreq_Change() { BandChanged(); }
  void LeftDown_Click() { StepOrder(-1); }
  void RightUp_Click() { StepOrder(1); }
  // A new kind of calibration noise: a run stops too, so that no block of it is
  // taken for a calibration block.
  void WhiteBut_Click() { BandChanged(); }
  void PinkBut_Click() { BandChanged(); }
  void Command2_Click();
  void SaveReadingsBut_Click();

  void ReRec() override;

  int32_t BlockOrder = 15;
  int32_t BlockLength = 32768;
  int32_t MeterRate = 48000;
  float BandStartHz = 500;
  float BandFinnishHz = 5000;
  int32_t BandBins = 0;
  float BandLevel = 0;
  bool LevelValid = false;
  float CalTargetLevel = 0;
  float CalReferenceLevel = 0;
  bool Calibrated = false;
  bool StopRequested = false;
  bool Recording = false;
  // A requested block has not arrived yet (also one dropped after a stop).
  bool BlockPending = false;
  int64_t BlocksMeasured = 0;
  // Bins of the band at calibration: the band's total power then set the scale.
  int32_t CalBandBins = 0;
  // Weighted powers of the last block, and the sums since Start.
  SplWeightedPowers WeightedPowers;
  double LeqBandSum = 0, LeqASum = 0, LeqCSum = 0;
  int64_t LeqBlocks = 0;
  std::vector<SplReading> Readings;  // of the run since Start

  QPushButton *CalBut, *RecBut, *StopBut, *LeftDown, *RightUp, *Command2;
  QLineEdit *SPLText, *StartFreq, *FinnishFreq, *TestLength;
  QProgressBar* ProgressBar1;
  QRadioButton *WhiteBut, *PinkBut;
  QLineEdit *SPLAText, *SPLCText, *LeqText, *LeqAText, *LeqCText;
  QPushButton* SaveReadingsBut;

 protected:
  bool event(QEvent* e) override;
  void closeEvent(QCloseEvent* e) override;
  void reject() override;

 private:
  bool SetUpBand();
  // Stops the meter and resets the calibration.
  void BandChanged();
  void StopMeter();
  void ResetCalibration();
  void UpdateBlockLength();
  void StepOrder(int32_t step);
  // Requests one block; a refusal is reported and nothing is left in flight.
  bool RequestBlock();
  void ShowReading();
  // A power in the band's units as a shown level; empty when not above silence.
  std::optional<double> ShownLevelOf(double totalPower) const;
  void ShowWeighted();

  bool unloaded_ = false;
};

}  // namespace zentor
