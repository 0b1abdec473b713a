// "Impulse/ETC RTA": a live impulse response, or its energy-time curve, of the
// microphone input over the reference input, on the main time graph.
#pragma once

#include <cstdint>

#include "analysers/rta_cycle.h"

class QCheckBox;
class QLineEdit;
class QRadioButton;

namespace zentor {

class RTAImp : public RtaWindow {
 public:
  RTAImp();

  void Form_Load();
  void Play_Click();
  void StopBut_Click();
  void LeftBut_Click();
  void RightBut_Click();
  // The view and filter buttons and the four texts: a running analyser stops.
  void SettingChanged();
  void HelpBut_Click();

  float ImpStartTime = -5, ImpFinishTime = 25;  // ms
  float ImpLowerFreq = 400, ImpUpperFreq = 4000;  // Hz
  int32_t ImpView = 2;                            // 2 impulse, 8 energy-time curve

  QLineEdit *StartTimeText, *FinishTimeText, *TimePeriod, *LowerFreqText, *UpperFreqText;
  QRadioButton *ImpulseBut, *ETCBut;
  QPushButton *LeftBut, *RightBut, *HelpBut, *StopBut, *Play;
  QCheckBox* FilterResults;

 private:
  void StepOrder(int32_t step);
  bool ReadSettings();
};

}  // namespace zentor
