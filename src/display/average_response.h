// The room average a design works on: the curves of one frequency view averaged
// as measured and after the applied equaliser filters. The Bode view averages in
// power, the fractional-octave and psychoacoustic views the dB levels.
#pragma once

#include <cstdint>
#include <span>

#include "core/filter_record.h"
#include "core/records.h"
#include "display/graph_frame.h"
#include "display/graph_host.h"

namespace zentor {

// curves: the view's array (BodeCurves, FractOctCurves, PsycCurves); view 3, 6 or 7.
// p7..p9 are the analysis settings the curves should have been built with:
//   view 3: p8 the Bode gate (ms); 6: p8 the gate (ms), p9 the resolution
//   (octaves); 7: the psychoacoustic settings 4, 2 and 1 (shelf level, gate, LF
//   resolution). p7 is not read for views 3 and 6, nor p9 for view 3.
// When they differ from the first result's header, or the array holds no curve,
// the curves are rebuilt from the impulses and the settings written to the header.
// Then `plain` receives the average and `filtered` the average after the applied
// filters (label ending in "*"); the normalisation range comes from frame. Sets
// DisplayConfig's view and average flag. Faults end the call after "Error 4583"
// (rebuilding), "Error 4584" (plain average, also with no curve) or "Error 4585"
// (filtered average), each followed by the view's name.
void ComputeAverageResponse(GraphHost& host, CurveArray& curves, CurveRecord& plain, CurveRecord& filtered,
                            std::span<const FilterRecord> filters, const GraphFrame& frame, int32_t view, float& p7,
                            float& p8, float& p9);

}  // namespace zentor
