// "Coordinate Lock": edits the ten axis limits that fit to data keeps the time,
// frequency and signal-to-noise views within.
#pragma once

#include <QDialog>

#include "display/view_state.h"

class QLineEdit;
class QPushButton;

namespace zentor {

class CoOrdLock : public QDialog {
 public:
  explicit CoOrdLock(QWidget* parent = nullptr);

  // Shows the limits in force and takes them as the working copy.
  void Form_Load();
  // Checks the boxes in a fixed order, each against bounds that may be other
  // fields of the working copy as updated so far; stops at the first failure.
  // Only when all ten pass do they become the limits in force. The window stays.
  void OKBut_Click();

  QLineEdit *TimeStart, *TimeFinish;
  QLineEdit *FreqDomainStartFreq, *FreqDomainFinishFreq, *FreqHighLevel, *FreqLowLevel;
  QLineEdit *NoiseFreqStart, *NoiseFreqFinish, *NoiseHighLevel, *NoiseLowLevel;
  QPushButton* OKBut;

  CoOrdLockLimitsRecord CoOrdLockWorkCopy{};
};

// Shows the window modally, loaded afresh for this showing.
void ShowCoOrdLockWindow();

}  // namespace zentor
