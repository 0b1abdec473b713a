// The waterfall window over a started main window whose Bode view spans 20 Hz to
// 20 kHz, with synthetic impulses whose decay is known.
#pragma once

#include <cmath>
#include <cstddef>
#include <numbers>
#include <string>

#include "core/records.h"
#include "display/graph_frame.h"
#include "mainwindow/data_plotter.h"
#include "platform/forms.h"
#include "support/silent_set.h"
#include "tools/three_d_form.h"
#include "mainwindow/main_window_fixture.h"

namespace zentor::test {

// Time zero of every slice gate at 48 kHz: the 50 ms point.
constexpr size_t kStartSample = 2400;

// Index of the slice point nearest f.
inline size_t Nearest(const WaterfallSlice& s, double f) {
  size_t best = 0;
  for (size_t j = 1; j < static_cast<size_t>(s.Count); ++j)
    if (std::fabs(s.Freqs[j] - f) < std::fabs(s.Freqs[best] - f)) best = j;
  return best;
}

class WaterfallTest : public MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    main = Start();
    InstallWaterfallLinks();
    main->RefreshLinkedControls();
  }

  // n silent results at 48 kHz with a Bode gate; display resolution 0.
  void LoadSet(int32_t n, float gateMs = 20.0f, int32_t exponent = 17, int32_t fs = 48000) {
    main->SetDisplayRes(0);
    LoadSilentSet(n, fs, exponent, 10.0f);
    ResultsDataSetInfo[0].FreqRespGateTime = gateMs;
    FreqGraphFrame.XStart = 20;
    FreqGraphFrame.XFinish = 20000;
    BodeCurves[0].NumPoints = 2;
    BodeCurves[0].XValues[0] = 10;
    BodeCurves[0].XValues[1] = 23000;
  }

  // Adds e^(-t/tau) sin(2 pi f t) x amplitude to result c from the 50 ms point.
  static void AddResonance(size_t c, double f, double tauMs, double amplitude = 1.0) {
    auto& x = ImpulseSet[c];
    for (size_t i = 0; i + kStartSample < x.size(); ++i) {
      const double t = static_cast<double>(i) / 48.0;  // ms
      x[kStartSample + i] += static_cast<float>(amplitude * std::exp(-t / tauMs) *
                                                std::sin(2 * std::numbers::pi * f * t / 1000.0));
    }
  }

  // Opens the window answering the recalculation question.
  ThreeDForm* Open(MsgAnswer answer = MsgAnswer::Yes) {
    dialogs.ExpectMessage(answer);
    return OpenUnasked();
  }
  ThreeDForm* OpenUnasked() {
    ThreeDForm* f = Forms::Get<ThreeDForm>();
    f->Initialize("room.cfa");
    return f;
  }

  // The averaged slices of the set loaded now, from a fresh window.
  WaterfallSliceSet FreshSlices() {
    Forms::Unload<ThreeDForm>();
    return Open()->UnfilteredSlices;
  }

  DataPlotter* main = nullptr;
};

}  // namespace zentor::test
