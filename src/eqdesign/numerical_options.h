// "DSP/EQ Options": the numerical constants of the filter fit and the modal
// analysis, whether the applied filters take part in a fit, and the order of the
// similarity list. Apply takes the values over at once; the window stays open.
#pragma once

#include <QDialog>
#include <cstdint>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace zentor {

class Numerical : public QDialog {
 public:
  explicit Numerical(QWidget* parent = nullptr);

  // Fills the fields from the main window.
  void InitializeNumericalValues();
  void Set_Click();
  void Command2_Click();

  QLineEdit *MinFreqText, *MaxFreqText, *SecondaryPolishWidthText, *DampingText, *PolishingEffortText,
      *LoudspeakerText, *MaxDecayText, *MinQText, *SchroederText;
  QCheckBox* ApplyFiltersCheck;
  QRadioButton *SortSmallest, *SortLargest;
  QPushButton *Set, *Command2;

 private:
  // The window's copy of the constants, filled field by field as Apply validates.
  double minFreq_ = 0, maxFreq_ = 0, secondaryPolishWidth_ = 0, damping_ = 0, maxDecay_ = 0;
  int32_t initialLoops_ = 0, loudspeakerOrder_ = 0;
  float qMinimum_ = 0, schroederFreq_ = 0;
  int32_t curve_ = 0;  // the fit's curve; nothing here chooses one
};

// Fills the window from the main window and shows it modally.
void ShowNumericalOptions();

}  // namespace zentor
