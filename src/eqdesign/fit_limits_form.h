// "Fit Limits": the boost limit, the filter budget and the target the fit
// corrects towards, kept in the settings store. OK checks every field and
// stores them; a field out of range or a target file that does not read keeps
// the window open and the stored limits as they were.
#pragma once

#include <QDialog>

#include "eqdesign/fit/fit_limits.h"

class QLineEdit;
class QPushButton;
class QRadioButton;

namespace zentor {

class FitLimitsForm : public QDialog {
  Q_OBJECT
 public:
  explicit FitLimitsForm(QWidget* parent = nullptr);

  // Fills the fields from the settings store.
  void InitializeFitLimits();
  void OK_Click();
  void Browse_Click();
  void Help_Click();

  QLineEdit *MaxBoostText, *MaxFiltersText, *BassLiftText, *BassCornerText, *TargetFileText, *LevelText,
      *BandLowText, *BandHighText;
  QRadioButton *TargetFlat, *TargetBassLift, *TargetFile, *LevelMedian, *LevelFixed, *LevelBand;
  QPushButton *OK, *Cancel, *Browse, *Help;

 private:
  FitLimits limits_;
};

// Fills the window from the settings store and shows it modally.
void ShowFitLimits();

}  // namespace zentor
