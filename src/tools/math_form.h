// "File Operations": one of four operations on the whole loaded result set,
// chosen by the mode the main window opens it in: the differences between curve
// 1 and the others (4), swapping two curves (5), resampling to a higher rate (6)
// and shortening every impulse (7). A copy of the set taken at opening undoes
// swaps and compression.
#pragma once

#include <QDialog>
#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "tools/result_set_operations.h"

class QGroupBox;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QSlider;

namespace zentor {

class MathForm : public QDialog {
 public:
  explicit MathForm(QWidget* parent = nullptr);

  // Sets the window up for a mode; true when it is to be shown.
  bool Initialize(int32_t mode);
  void GetExistingData();
  void RestoreExistingData();
  void RestoreAndRedisplay();

  void Command1_Click();
  void ExecuteSwap_Click();
  void UndoSwap_Click() { RestoreAndRedisplay(); }
  void ExecuteResample_Click();
  void CompressBut_Click();
  void PeriodSlider_Change();
  // The close box: what happens to changed data.
  void Form_QueryUnload();

  int32_t Mode = 0;
  int32_t ExistingPeriodExponent = 0;
  int32_t ExistingSampleRate = 0;
  int32_t NewSampleRate = 0;
  int32_t NewPeriodExponent = 0;
  std::array<int32_t, kMaxResults> SavedImpulseShifts{};
  // The set at opening: every header (the count in element 0), the held samples
  // (result k from k * kMaxSamples) and the calibration in force.
  std::array<MeasurementHeader, kMaxResults> UndoHeader{};
  std::vector<float> UndoSamples;
  MicCalTable UndoMicCal;
  // Each result's resampled samples, from k * kMaxSamples, until all are done.
  std::vector<float> ResampleBuffer;

  QGroupBox *DifferencesFrame, *CurveSwap, *ResamplingFrame, *CompressFrame;
  QRadioButton *NFromOneBut, *OneFromNBut;
  QPushButton *Command1, *DifferencesHelp;
  QLineEdit *CurveOne, *CurveTwo;
  QPushButton *ExecuteSwap, *UndoSwap, *CurveSwapHelp;
  QLineEdit *SamRateLabel, *NewSamText;
  QPushButton *ExecuteResample, *ResampleHelp;
  QProgressBar* SampleBar;
  QLineEdit *PeriodText, *NewPeriodText;
  QSlider* PeriodSlider;
  QPushButton *CompressBut, *CompressHelp;
  QProgressBar* CompressBar;

 protected:
  void closeEvent(QCloseEvent* e) override;
  void reject() override;

 private:
  void ShowFrame(QGroupBox* frame, const char* caption);
  QString MillisecondsOf(int32_t exponent) const;

  bool closedByCode_ = false;
  bool closing_ = false;
};

// Resamples one impulse as ResampleImpulse does, which it is unless replaced (tests).
extern std::function<bool(const ResamplePlan&, std::span<const float>, std::span<float>)> ResampleRoutine;

// Progress bars stepped once per result.
void StartProgress(QProgressBar* bar, int32_t count);
void StepProgress(QProgressBar* bar);
void ClearProgress(QProgressBar* bar);

}  // namespace zentor
