// The display colours: 0 title and legend text, 1 background, 2 grid face,
// 3..10 the eight curve colours, 11 spare, 12 not stored.
#pragma once

#include <array>
#include <cstdint>

#include "platform/dialogs.h"

namespace zentor {

constexpr int kNumPlotColours = 13;
extern std::array<ColourRef, kNumPlotColours> PlotColours;

// The start-up colours of entries 1 to 11; 0 and 12 are left as they are.
void SetDefaultPlotColours();

// PlotColours((n mod 8) + 3), with a non-negative remainder.
int32_t GetCurveColour(int32_t n);

}  // namespace zentor
