// Joint refinement of filter-set entries whose bands overlap. Each entry is
// fitted alone at one curve point and the polish refits one at a time, so two
// singularities a few hertz apart pull each other's fits astray; fitted
// together, with a local sloping baseline, they settle where both belong.
// Qt-free.
#pragma once

#include <cstdint>

#include "core/records.h"
#include "eqdesign/fit/fit_bounds.h"
#include "eqdesign/fit/fit_records.h"

namespace zentor {

// Groups the set's entries whose centres lie within two bandwidths of each
// other (an entry alone is a group of one) and refines each group by damped
// Gauss-Newton (Levenberg-Marquardt) over every entry's ln centre, ln centre Q
// and level in dB, plus a straight line in ln f, against the curve's dB levels
// with the group put back, weighted by log frequency over the group's bands
// inside the set's range. The entries stay within the bounds (resolution,
// reach, the set's Q limits). A group's new values are kept only when its
// residual falls; an entry whose level then sinks into the noise leaves the
// set. The curve is the residual with the entries taken out at `damping`, and
// leaves as the new residual. Runs on the calling thread.
// The entries are those of `set`; the range, Q limits and view are read from
// `header`'s.
void RefineOverlappingGroups(SingularityListRecord& set, const SingularityListRecord& header, FitCurveRecord& curve,
                             float damping, const FitBounds& bounds);

}  // namespace zentor
