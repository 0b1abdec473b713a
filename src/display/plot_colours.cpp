#include "display/plot_colours.h"

#include "core/shared_state.h"

namespace zentor {

std::array<ColourRef, kNumPlotColours> PlotColours{};

namespace {
SharedStateRegistrar g_reset([] { PlotColours.fill(0); });
}

}  // namespace zentor
