// The average curve of a view's set and the level differences against curve 1.
#pragma once

#include <cstdint>

#include "core/records.h"
#include "display/graph_host.h"

namespace zentor {

// The average of a view's curve set into element 0 of dest; kind is the view's
// Graphshown. False, dest untouched, for an empty set or curves of unequal length.
bool AverageCurveSet(CurveArray& dest, const CurveArray& source, int32_t kind);
// The curve number in CurveNoText, 1 when it does not hold one of 1..32.
int32_t GetMainCurveNumber(GraphHost& host);
// 2: curve 1 minus curve N; 3: curve N minus curve 1; else only the frame.
void ShowDifferenceCurves(GraphHost& host, int32_t mode);

}  // namespace zentor
