// A fitted curve beside the same curve as the fitted filter set would correct it,
// in the fit graph.
#pragma once

#include <cstdint>

#include "core/filter_design.h"
#include "core/records.h"
#include "display/graph_frame.h"
#include "display/graph_host.h"

namespace zentor {

// corrected = response with every entry of the set applied as an analogue
// section (zeros over poles at Freq, the peak side's Q on the zeros), the
// magnitudes multiplied in linear units at the response's frequencies. An entry
// whose Q1 is 0, whose Q2 is not positive or whose values are not finite
// contributes nothing. The label is left alone. block is work space; no messages.
void BuildCorrectedCurve(const CurveRecord& response, CurveRecord& corrected, const SingularityListRecord& set,
                         FilterBlock& block, int32_t fs);

// Level limits of the fit graph: every response point, the corrected curve's points
// strictly inside (XStart, XFinish) and its points 1 and 2 (those that exist),
// widened by 2 dB.
void ScaleFitGraphLevels(GraphFrame& frame, const CurveRecord& response, const CurveRecord& corrected);

// Builds the corrected curve of slot k, scales the fit graph to the set's range
// and draws both curves with the fit legend into the host's graph.
void ShowCorrectedResponse(GraphHost& host, CurveRecord& response, CurveRecord& corrected,
                           const SingularityListRecord& set, int32_t k, FilterBlock& block, int32_t fs,
                           GraphFrame& frame);

}  // namespace zentor
