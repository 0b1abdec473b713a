// A full redraw of the main graph: frame, 32 curves of 2000 points, legend; and
// its export: the replay in the whole drawing space and the JPEG encoding.
#include <benchmark/benchmark.h>

#include "qt_bench_main.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/helpers.h"
#include "display/graph_frame.h"
#include "display/graph_primitives.h"
#include "display/plot_colours.h"
#include "platform/imaging.h"
#include "platform/picture.h"

namespace zentor {
namespace {

struct Curve {
  int32_t NumCurves = 0;
  int32_t NumPoints = 0;
  std::array<float, 2001> YValues{};
  std::array<float, 2001> XValues{};
  std::string Label;
};

std::array<Curve, 32>& Set() {
  static std::array<Curve, 32> set = [] {
    std::array<Curve, 32> s;
    s[0].NumCurves = 32;
    for (size_t k = 0; k < 32; ++k) {
      s[k].NumPoints = 2000;
      s[k].Label = std::to_string(k + 1);
      s[k].Label.push_back(' ');
      for (size_t i = 0; i < 2000; ++i) {
        const double f = 10 * std::pow(2500.0, double(i) / 1999);
        s[k].XValues[i] = static_cast<float>(f);
        s[k].YValues[i] = static_cast<float>(15 * std::sin(std::log(f) * (1 + 0.1 * double(k))) - double(k));
      }
    }
    return s;
  }();
  return set;
}

void Redraw(GraphFrame& frame, DrawingSurface& pic) {
  DrawGraphFrame(frame, pic);
  auto& set = Set();
  for (size_t k = 0; k < 32; ++k) PlotCurve(frame, pic, set[k], GetCurveColour(static_cast<int32_t>(k)));
  DrawGraphTitleAndLegend(frame, pic, set, "Bode", 32);
}

void BM_FrameAnd32Curves(benchmark::State& state) {
  SetDefaultPlotColours();
  SetDefaultGraphFrames();
  FreqGraphFrame.XStart = 16;
  FreqGraphFrame.XFinish = 20000;
  PictureBox pic;
  pic.resize(1200, 1200);
  for (auto _ : state) {
    Redraw(FreqGraphFrame, pic);
    benchmark::DoNotOptimize(pic.Image().constBits());
  }
}
BENCHMARK(BM_FrameAnd32Curves)->Unit(benchmark::kMillisecond);

void BM_FrameAlone(benchmark::State& state) {
  SetDefaultPlotColours();
  SetDefaultGraphFrames();
  PictureBox pic;
  pic.resize(1200, 1200);
  for (auto _ : state) {
    DrawGraphFrame(FreqGraphFrame, pic);
    benchmark::DoNotOptimize(pic.Image().constBits());
  }
}
BENCHMARK(BM_FrameAlone)->Unit(benchmark::kMillisecond);

// What an export does after the dialog: replay at 1200 x 1200 and write the JPEG.
void BM_ExportReplayAndJpeg(benchmark::State& state) {
  SetDefaultPlotColours();
  SetDefaultGraphFrames();
  FreqGraphFrame.XStart = 16;
  FreqGraphFrame.XFinish = 20000;
  PictureBox pic;
  pic.resize(900, 600);
  Redraw(FreqGraphFrame, pic);
  const std::string path = std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") + "/zentor_bench_export.jpg";
  for (auto _ : state) {
    if (!WriteJpegFile(pic.DrawingSpaceImage(), path, 90)) state.SkipWithError("JPEG not written");
  }
  std::remove(path.c_str());
}
BENCHMARK(BM_ExportReplayAndJpeg)->Unit(benchmark::kMillisecond);

void BM_ExportReplayAlone(benchmark::State& state) {
  SetDefaultPlotColours();
  SetDefaultGraphFrames();
  FreqGraphFrame.XStart = 16;
  FreqGraphFrame.XFinish = 20000;
  PictureBox pic;
  pic.resize(900, 600);
  Redraw(FreqGraphFrame, pic);
  for (auto _ : state) benchmark::DoNotOptimize(pic.DrawingSpaceImage().constBits());
}
BENCHMARK(BM_ExportReplayAlone)->Unit(benchmark::kMillisecond);

// The geometry alone, without painting.
void BM_Recorded(benchmark::State& state) {
  SetDefaultPlotColours();
  SetDefaultGraphFrames();
  FreqGraphFrame.XStart = 16;
  FreqGraphFrame.XFinish = 20000;
  for (auto _ : state) {
    RecordingSurface rec;
    Redraw(FreqGraphFrame, rec);
    benchmark::DoNotOptimize(rec.calls().size());
  }
}
BENCHMARK(BM_Recorded)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zentor

int main(int argc, char** argv) {
  return zentor::RunQtBenchmarks(argc, argv);
}
