#include "display/plot_colours.h"

#include "base/shared_state.h"

namespace zentor {

std::array<ColourRef, kNumPlotColours> PlotColours{};

namespace {
SharedStateRegistrar g_reset([] { PlotColours.fill(0); });
}

void SetDefaultPlotColours() {
  PlotColours[1] = RGB(192, 192, 192);
  PlotColours[2] = RGB(192, 192, 192);
  PlotColours[3] = RGB(0, 0, 255);
  PlotColours[4] = RGB(0, 255, 0);
  PlotColours[5] = RGB(0, 255, 255);
  PlotColours[6] = RGB(255, 0, 0);
  PlotColours[7] = RGB(255, 0, 255);
  PlotColours[8] = RGB(255, 255, 0);
  PlotColours[9] = RGB(0, 0, 0);
  PlotColours[10] = RGB(128, 128, 128);
  PlotColours[11] = RGB(255, 0, 0);
}

int32_t GetCurveColour(int32_t n) {
  int32_t r = n % 8;
  if (r < 0) r += 8;
  return PlotColours[static_cast<size_t>(r + 3)];
}

}  // namespace zentor
