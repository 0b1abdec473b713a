// A started main window whose graph draws into a recorder, and loaders for
// synthetic result sets.
#pragma once

#include <cmath>
#include <complex>
#include <string>
#include <vector>

#include "core/records.h"
#include "core/work_arrays.h"
#include "display/graph_frame.h"
#include "main_window_fixture.h"
#include "display/view_state.h"
#include "platform/picture.h"

namespace zentor::test {

class ViewsTest : public MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    w = Start();
    w->MainGraphOverride = &rec;
    rec.Clear();
  }
  void TearDown() override {
    if (w) w->MainGraphOverride = nullptr;
    MainWindowTest::TearDown();
  }

  // n results of 2^exponent samples at fs, all silent.
  void LoadSet(int32_t n, int32_t fs, int32_t exponent, float impulseGate = 20.0f) {
    MeasurementHeader& s = ResultsDataSetInfo[0];
    s = EQConfig;
    s.NumInSet = n;
    for (int32_t i = 0; i < std::min(n, kMaxResults); ++i) {
      MeasurementHeader& h = ResultsDataSetInfo[static_cast<size_t>(i)];
      if (i > 0) h = s;
      h.SampleRate = fs;
      h.PeriodExponent = exponent;
      h.ImpulseGateTime = impulseGate;
      ImpulseSet[static_cast<size_t>(i)].fill(0.0f);
    }
  }

  // Polylines drawn in the given colour (the curves; the frame uses lines and rectangles).
  std::vector<RecordingSurface::Call> CurvesIn(ColourRef colour) const {
    std::vector<RecordingSurface::Call> out;
    for (const auto& c : rec.Of(RecordingSurface::Kind::Polyline))
      if (c.pen.colour == colour) out.push_back(c);
    return out;
  }
  bool HasText(const std::string& text) const {
    for (const auto& c : rec.Of(RecordingSurface::Kind::Text))
      if (c.text == text) return true;
    return false;
  }

  DataPlotter* w = nullptr;
  RecordingSurface rec;
};

}  // namespace zentor::test
