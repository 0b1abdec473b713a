// "RTA EQ setting": plays the sequence through an outside device and shows the
// device's output over its input, less the designed filters, frame by frame on
// the main frequency graph, so that a flat curve means the equaliser is set.
#pragma once

#include <QTimer>
#include <cstdint>

#include "analysers/rta_cycle.h"

class QLineEdit;
class QRadioButton;

namespace zentor {

class RTAEQ : public RtaWindow {
 public:
  RTAEQ();

  void Form_Load();
  void Play_Click();
  void stop_Click();
  void PeriodUp_Click();
  void PeriodDown_Click();
  // The option buttons and the rate text: a running analyser stops.
  void SettingChanged();
  void Command4_Click();

  int32_t DspSampleRate = 96000;
  int32_t EQType = 1;  // 1 DSP, 2 analogue

  QLineEdit *MLSOrderText, *MSPeriodText, *SampleRateText;
  QPushButton *PeriodUp, *PeriodDown, *Play, *stop, *Command4;
  QRadioButton *AnalogueOption, *DSPOption;
  QTimer* Timer1;

 private:
  void ShowOrder();
  void StepOrder(int32_t step);
};

// The order whose block covers the ringing of the applied filters (12..15).
int32_t RtaOrderForAppliedFilters(int32_t sampleRate);

}  // namespace zentor
