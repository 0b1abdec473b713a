#include "display/graph_frame.h"

#include <algorithm>
#include <limits>

#include "base/shared_state.h"

namespace zentor {

GraphFrame FreqGraphFrame;
GraphFrame TimeGraphFrame;
GraphFrame FitGraphFrame;

namespace {

SharedStateRegistrar g_reset([] {
  FreqGraphFrame = GraphFrame{};
  TimeGraphFrame = GraphFrame{};
  FitGraphFrame = GraphFrame{};
});

void SetDefaultRectangle(GraphFrame& f) {
  f.PlotLeft = 100;
  f.PlotRight = 1100;
  f.PlotBottom = 1100;
  f.PlotTop = 100;
}

int32_t Saturate(int64_t v) {
  return static_cast<int32_t>(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

int64_t GridStep(int64_t span) {
  struct Row {
    int64_t upTo, step;
  };
  static constexpr Row rows[] = {{10, 1},    {30, 3},     {60, 6},     {120, 10},   {240, 20},    {480, 40},
                                 {960, 80},  {2000, 200}, {4000, 400}, {8000, 800}, {16000, 1600}, {32000, 3200}};
  for (const Row& r : rows)
    if (span <= r.upTo) return r.step;
  return 0;
}

}  // namespace

void SetDefaultGraphFrames() {
  FreqGraphFrame.LogX = -1;
  FreqGraphFrame.XStart = 5;
  FreqGraphFrame.XFinish = 500;
  FreqGraphFrame.YLow = -30;
  FreqGraphFrame.YHigh = 30;
  FreqGraphFrame.XTitle = "Frequency (Hz) ";
  FreqGraphFrame.YTitle = "Level (dB)";
  SetDefaultRectangle(FreqGraphFrame);

  TimeGraphFrame.LogX = 0;
  TimeGraphFrame.XStart = -10;
  TimeGraphFrame.XFinish = 30;
  TimeGraphFrame.YLow = -30;
  TimeGraphFrame.YHigh = 30;
  TimeGraphFrame.XTitle = "Time [ms]";
  TimeGraphFrame.YTitle = "Norm. Linear Level ";
  SetDefaultRectangle(TimeGraphFrame);

  // The fit frame takes its axis kind and range from the frequency frame later.
  FitGraphFrame.XTitle = "Frequency (Hz) ";
  FitGraphFrame.YTitle = "Level (dB)";
  SetDefaultRectangle(FitGraphFrame);
}

void ComputeAxisGridSteps(GraphFrame& frame) { ComputeAxisGridSteps(frame, frame.YLow, frame.YHigh); }

void ComputeAxisGridSteps(GraphFrame& frame, int64_t low, int64_t high) {
  const int64_t span = high >= low ? high - low : low - high;
  const int64_t d = GridStep(span);
  if (d == 0) return;
  // With a step of one the top value is reached and then repeated.
  const int64_t bound = d == 1 ? high : high - d;
  // Entry 0 is always the low end, even on an inverted range.
  frame.YLabelValues[0] = Saturate(low);
  int32_t n = 1;
  for (int64_t v = low + d; v <= bound && n < kGridTableSize - 1; v += d) {
    frame.YLabelValues[static_cast<size_t>(n)] = Saturate(v);
    ++n;
  }
  frame.YLabelValues[static_cast<size_t>(n)] = Saturate(high);
  frame.YLineValues = frame.YLabelValues;
  frame.YLabelCount = n;
  frame.YLineCount = n;
}

}  // namespace zentor
