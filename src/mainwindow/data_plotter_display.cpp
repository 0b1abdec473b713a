// The display buttons beside the main graph: colours, display options, the
// frequency-axis switch, the redraw on resize and the hidden test-impulse button.
#include <QAction>
#include <QEvent>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <algorithm>
#include <cmath>

#include "core/records.h"
#include "core/work_arrays.h"
#include "display/color_form.h"
#include "display/dispatcher.h"
#include "display/graph_frame.h"
#include "mainwindow/data_plotter.h"
#include "mainwindow/event_hook.h"
#include "display/view_state.h"
#include "platform/dialogs.h"
#include "platform/forms.h"

namespace zentor {

void DataPlotter::InitDisplayControls() {
  if (Command5) return;
  Command5 = new QPushButton("Testing", Frame1);
  Command5->setObjectName("Command5");
  Command5->hide();  // overwrites stored results without asking: not for users

  LogFrequency->setCheckable(true);
  LinearFreq->setCheckable(true);

  connect(Colorselect, &QPushButton::clicked, this, [this] { Colorselect_Click(); });
  connect(Display, &QPushButton::clicked, this, [this] { Display_Click(); });
  connect(LinBut, &QRadioButton::clicked, this, [this] { LinBut_Click(); });
  connect(logbut, &QRadioButton::clicked, this, [this] { logbut_Click(); });
  connect(Command5, &QPushButton::clicked, this, [this] { Command5_Click(); });
  connect(DisplayColors, &QAction::triggered, this, [this] { ShowColourDialog(); });
  connect(LinearFreq, &QAction::triggered, this, [this] {
    LinBut->setChecked(true);
    SetFrequencyAxisMode();
  });
  connect(LogFrequency, &QAction::triggered, this, [this] {
    logbut->setChecked(true);
    SetFrequencyAxisMode();
  });
  // Resizing the graph redraws it from the filed curves.
  new EventHook(Picture1, [this](QEvent* e) {
    if (e->type() == QEvent::Resize) Picture1_Resize();
    return false;
  });
}

void DataPlotter::Picture1_Resize() {
  // The arrangement of the window redraws once when it is done.
  if (!laidOut_ || arranging_) return;
  DisplayResults(kRedrawFiledCurves);
}

void DataPlotter::SetFrequencyAxisMode() {
  if (DisplayConfig.Graphshown == kPsdView || FreqBut->isChecked() || ModalBut->isChecked() ||
      NoiseBut->isChecked()) {
    if (logbut->isChecked()) {
      FreqGraphFrame.LogX = kTrue;
      LogFrequency->setChecked(true);
      LinearFreq->setChecked(false);
    }
    if (LinBut->isChecked()) {
      FreqGraphFrame.LogX = kFalse;
      LinearFreq->setChecked(true);
      LogFrequency->setChecked(false);
    }
  }
  TimeGraphFrame.LogX = kFalse;
  DisplayResults(kRedrawFiledCurves);
}

void DataPlotter::ShowColourDialog() {
  ShowModal(Forms::Get<ColorForm>());
  DisplayResults(kRedrawFiledCurves);
}

void DataPlotter::ShowDisplayOptions() {
  if (Busy != 0) return;
  if (DataLoadedForSettings() && ViewWindowHooks.ShowDisplayOptions) ViewWindowHooks.ShowDisplayOptions(TimeBut->isChecked() ? 3 : 4);
}

void DataPlotter::Command5_Click() {
  if (WorkCurve.size() < static_cast<size_t>(kMaxSamples)) return;
  // A negative rate could make T + K zero.
  const float fs = static_cast<float>(std::max(ResultsDataSetInfo[1].SampleRate, 0));
  const float K = 686.0f / 0.14f;
  constexpr double pi = 3.1415926535;
  for (int32_t v = 0; v <= 30; ++v) {
    const double angle = pi / 2 - (v / 30.0) * pi;
    const float c = static_cast<float>(std::cos(angle + 1.57079632675) + 1);
    const float T = 2 * fs;
    const float p = (T - K) / (T + K);
    const float q = (K - 2 * c * fs) / (T + K);
    const float r = T * c / (T + K);
    auto& impulse = ImpulseSet[static_cast<size_t>(v)];
    std::fill(impulse.begin(), impulse.end(), 0.0f);
    std::fill_n(WorkCurve.begin(), kMaxSamples, 0.0f);
    impulse[2400] = 1.0f;
    for (size_t i = 2; i < static_cast<size_t>(kMaxSamples); ++i)
      WorkCurve[i] = q * impulse[i - 1] + p * WorkCurve[i - 1] + r * impulse[i];
    std::copy_n(WorkCurve.begin(), kMaxSamples, impulse.begin());
  }
  DisplayCurveNumber = 1;
}

}  // namespace zentor
