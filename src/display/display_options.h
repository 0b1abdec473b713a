// " Options": the time (3) and frequency (4) display settings of the main graph,
// the boost/cut of one curve and the shifting of one impulse in time.
#pragma once

#include <QDialog>
#include <cstdint>
#include <functional>

#include "display/graph_host.h"

class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace zentor {

// The rotation of one stored impulse (curve 1-based, count of samples), set by
// the single-curve views that offer it. The shift buttons stay disabled while
// these are unset.
struct ImpulseShiftLinks {
  std::function<void(GraphHost&, int32_t curve, int32_t samples)> ShiftImpulseLeft;
  std::function<void(GraphHost&, int32_t curve, int32_t samples)> ShiftImpulseRight;
};
extern ImpulseShiftLinks ImpulseShiftHooks;

class DisplayControlForm : public QDialog {
  Q_OBJECT
 public:
  explicit DisplayControlForm(QWidget* parent = nullptr);

  // Prepares the window for the mode (3 time, 4 frequency) and fills its
  // controls from the settings; the caller then shows it modally.
  void ReadAndShowDisplayParms(GraphHost& host, int32_t mode);

  void Apply_Click();
  void Boost_Click();
  void PsycParms_Click();
  void Help_Click();
  void Form_QueryUnload();
  void FFTRadio_Click();
  void FractOctRadio_Click();
  void PsycRadio_Click();
  void ImpulseRadio_Click();
  void ETCRadio_Click();
  void LargeShiftLeft_Click() { Shift(false, 100); }
  void medshiftleft_Click() { Shift(false, 10); }
  void smallshiftleft_Click() { Shift(false, 1); }
  void smallshiftright_Click() { Shift(true, 1); }
  void medshiftright_Click() { Shift(true, 10); }
  void LargeShiftRight_Click() { Shift(true, 100); }

  int32_t Mode = 3;
  int32_t LastDisplayRes = 4;

  QGroupBox *ImpDisp, *ImpPos, *ImpulseFilterFrame, *ETCRange, *ETCDR, *FreqWindow, *BoostCut;
  QRadioButton *ImpulseRadio, *ETCRadio;
  QCheckBox* ImpFilter;
  QLineEdit* CurveShiftNumberText;
  QPushButton *LargeShiftLeft, *medshiftleft, *smallshiftleft, *smallshiftright, *medshiftright, *LargeShiftRight;
  QLineEdit *LowerCutoffFreqText, *UpperCutoffFreqText, *OrderText;
  QCheckBox *ApplyLowETC, *ApplyMidETC, *ApplyHighETC;
  QLineEdit *ETCMinLowText, *ETCMinHighText, *ETCMidLowText, *ETCMidHighText, *ETCHighLowText, *ETCHighHighText;
  QLineEdit *ETCDRTimeText, *ETCDRPlusRev;
  QRadioButton *FFTRadio, *FractOctRadio, *PsycRadio;
  QCheckBox *BodeFilterCheck, *FractOctFilterCheck, *PsycFilterCheck;
  QLineEdit *BodeGateTimeText, *FractOctGateTimeText, *FractOctText, *DisplayResText;
  QPushButton* PsycParms;
  QLineEdit *CurveNoText, *LevelText;
  QPushButton *Boost, *Apply, *Help;

  // Closing, by the window's close button or Escape, ends here.
  void done(int r) override;

 private:
  void ShowDisplayParms();
  bool ApplyDisplayParms();
  void SetFrequencyRadios();
  void Shift(bool right, int32_t samples);

  GraphHost* host_ = nullptr;
  QButtonGroup *impulseGroup_, *frequencyGroup_;
};

// Fills the window for the mode and shows it modally over the host's graph.
void ShowDisplayOptionsWindow(GraphHost& host, int32_t mode);

}  // namespace zentor
