// The main graph's views driven through a recording host (no main window), with
// the start-up frames, colours, work arrays and analysis settings, and loaders for
// synthetic result sets.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "core/records.h"
#include "core/work_arrays.h"
#include "display/graph_frame.h"
#include "display/plot_colours.h"
#include "display/view_state.h"
#include "platform/picture.h"
#include "support/silent_set.h"
#include "recording_host.h"
#include "support/fixture.h"

namespace zentor::test {

class ViewsTest : public ZentorTest {
 protected:
  void SetUp() override {
    ZentorTest::SetUp();
    AllocateWorkArrays(kWorkArrayPoints);
    SetDefaultGraphFrames();
    SetDefaultPlotColours();
    DisplayConfig.FFTSelected = kTrue;
    DisplayConfig.Graphshown = kImpulseView;
    CoOrdLockLimits = CoOrdLockLimitsRecord{-5, 25, 16, 20000, 20, -50, 16, 20000, 75, -10};
    RubberBandState.BoxErased = kTrue;
    SetDefaultMeasurementHeader(EQConfig);
    EQConfig.PeriodExponent = 17;
  }
  void TearDown() override {
    FreeWorkArrays();
    ZentorTest::TearDown();
  }

  void LoadSet(int32_t n, int32_t fs, int32_t exponent, float impulseGate = 20.0f) {
    LoadSilentSet(n, fs, exponent, impulseGate);
  }
  std::vector<RecordingSurface::Call> CurvesIn(ColourRef colour) const { return test::CurvesIn(rec, colour); }
  bool HasText(const std::string& text) const { return test::HasText(rec, text); }

  RecordingHost host;
  RecordingSurface& rec = host.rec;
};

}  // namespace zentor::test
