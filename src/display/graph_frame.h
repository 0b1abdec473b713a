// The axis record of one graph and the y grid that goes with its level range.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace zentor {

constexpr int kGridTableSize = 101;  // entries 0 to 100

struct GraphFrame {
  int16_t LogX = 0;  // -1: logarithmic frequency axis; 0: linear
  std::array<int32_t, kGridTableSize> GridTable0{};  // kept and stored, not drawn
  std::array<int32_t, kGridTableSize> YLabelValues{};
  std::array<int32_t, kGridTableSize> GridTable2{};  // kept and stored, not drawn
  std::array<int32_t, kGridTableSize> YLineValues{};
  int32_t GridCount0 = 0;
  int32_t YLabelCount = 0;  // index of the last used entry
  int32_t GridCount2 = 0;
  int32_t YLineCount = 0;  // index of the last used entry
  int32_t XStart = 0;      // Hz on a log axis, ms on the time axis
  int32_t XFinish = 0;
  int32_t YLow = 0;
  int32_t YHigh = 0;
  std::string XTitle;
  std::string YTitle;
  std::string GraphCaption;
  // Derived on every frame draw: drawing x = x * XScale + XOffset (ln x on a log
  // axis), drawing y = y * YScale + YOffset.
  double XScale = 0;
  double YScale = 0;
  double XOffset = 0;
  double YOffset = 0;
  int32_t PlotLeft = 0;
  int32_t PlotRight = 0;
  int32_t PlotBottom = 0;  // the larger drawing y
  int32_t PlotTop = 0;
  std::array<uint8_t, 20> TrailingBlock{};  // stored with the frame as held
};

// Frequency views, time views and the filter-fit range.
extern GraphFrame FreqGraphFrame;
extern GraphFrame TimeGraphFrame;
extern GraphFrame FitGraphFrame;

// The start-up values of the three frames (the main window's defaults).
void SetDefaultGraphFrames();

// Fills YLabelValues/YLineValues and their counts from YLow..YHigh: YLow, then
// steps of d while not above YHigh - d (YHigh itself when d is 1), then YHigh.
// A span above 32000 leaves the tables as they are.
void ComputeAxisGridSteps(GraphFrame& frame);

// The same for an explicit range (the frame's own range is not touched).
void ComputeAxisGridSteps(GraphFrame& frame, int64_t low, int64_t high);

}  // namespace zentor
