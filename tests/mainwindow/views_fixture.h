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
#include "support/silent_set.h"

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

  void LoadSet(int32_t n, int32_t fs, int32_t exponent, float impulseGate = 20.0f) {
    LoadSilentSet(n, fs, exponent, impulseGate);
  }
  std::vector<RecordingSurface::Call> CurvesIn(ColourRef colour) const { return test::CurvesIn(rec, colour); }
  bool HasText(const std::string& text) const { return test::HasText(rec, text); }

  DataPlotter* w = nullptr;
  RecordingSurface rec;
};

}  // namespace zentor::test
