// The room averages the filter editor redraws on every slider release (32 results
// at 48 kHz, 2^17 samples each, 10 applied filters, fractional-octave view), with
// the filed curves current and after a new resolution forces their rebuild; and
// the fit graph's corrected curve for a full set of 75 entries on 2001 points.
#include <benchmark/benchmark.h>

#include "qt_bench_main.h"
#include "synthetic_rooms.h"

#include <cmath>
#include <numbers>
#include <random>

#include "core/emulation.h"
#include "core/filter_design.h"
#include "core/records.h"
#include "display/average_response.h"
#include "display/dispatcher.h"
#include "display/graph_frame.h"
#include "display/view_state.h"
#include "eqdesign/corrected_response.h"
#include "mainwindow/data_plotter.h"
#include "platform/picture.h"

namespace zentor {
namespace {

constexpr double kTwoPi = 2 * std::numbers::pi;

DataPlotter& Window() {
  static DataPlotter* w = [] {
    auto* p = StartedWindow<DataPlotter>();
    static PictureBox picture;
    picture.resize(1200, 1200);
    p->MainGraphOverride = &picture;
    FillSyntheticRooms(32);
    for (int i = 0; i < 10; ++i) {
      FilterRecord& r = AppliedFilters[static_cast<size_t>(i)];
      const float level = i % 2 == 0 ? -6.0f : 4.0f;
      r.Kind = 2;
      r.Freq1 = static_cast<float>(kTwoPi * 40 * std::pow(1.5, i));
      r.Q1 = ConvertQForFilterType(3, level, 2);
      r.Q2 = std::fabs(r.Q1) / std::pow(10.0f, std::fabs(level) / 20);
      r.EQEmulationCode = 2;
    }
    AppliedFilters[0].Count = 10;
    FreqGraphFrame.LogX = kTrue;
    FreqGraphFrame.XStart = 20;
    FreqGraphFrame.XFinish = 20000;
    DisplayConfig.Graphshown = kFractOctView;
    p->DisplayResults(kRecomputeAllCurves);
    return p;
  }();
  return *w;
}

void BM_AverageResponseFiledCurves(benchmark::State& state) {
  DataPlotter& w = Window();
  MeasurementHeader& s = ResultsDataSetInfo[0];
  for (auto _ : state)
    ComputeAverageResponse(w, FractOctCurves, SingleViewCurves[0], SingleViewCurves[1], AppliedFilters,
                           FreqGraphFrame, kFractOctView, s.PsycShelfLevel, s.FractOctGateTime, s.FractOctRes);
}
BENCHMARK(BM_AverageResponseFiledCurves)->Unit(benchmark::kMillisecond);

// Each pass asks for the other of two resolutions, so every pass rebuilds.
void BM_AverageResponseRebuilt(benchmark::State& state) {
  DataPlotter& w = Window();
  MeasurementHeader& s = ResultsDataSetInfo[0];
  float unused = 0, gate = s.FractOctGateTime;
  float res[2] = {1.0f / 3, 1.0f / 6};
  int n = 0;
  for (auto _ : state) {
    ComputeAverageResponse(w, FractOctCurves, SingleViewCurves[0], SingleViewCurves[1], AppliedFilters,
                           FreqGraphFrame, kFractOctView, unused, gate, res[n++ % 2]);
  }
}
BENCHMARK(BM_AverageResponseRebuilt)->Unit(benchmark::kMillisecond);

void BM_ShowCorrectedResponse75(benchmark::State& state) {
  DataPlotter& w = Window();
  CurveRecord& response = FitInputCurves[0];
  response.NumPoints = 2001;
  for (size_t i = 0; i < 2001; ++i) {
    response.XValues[i] = static_cast<float>(20 * std::pow(1000.0, i / 2000.0));
    response.YValues[i] = static_cast<float>(3 * std::sin(0.01 * static_cast<double>(i)));
  }
  SingularityListRecord& set = SingularityList[0];
  set.Count = 75;
  set.RangeLow = 20;
  set.RangeHigh = 20000;
  set.ModeCode = 5;
  for (size_t i = 0; i < 75; ++i) {
    set.Freq[i] = static_cast<float>(kTwoPi * 20 * std::pow(1000.0, i / 75.0));
    set.Q1[i] = i % 2 == 0 ? 8.0f : -6.0f;
    set.Q2[i] = 3.0f;
  }
  for (auto _ : state)
    ShowCorrectedResponse(w, response, FitStoredCurves[0], set, 0, WorkFilterBlock, 48000, FitGraphFrame);
}
BENCHMARK(BM_ShowCorrectedResponse75)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zentor

int main(int argc, char** argv) { return zentor::RunQtBenchmarks(argc, argv); }
