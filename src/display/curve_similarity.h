// How closely the other curves of a frequency view follow one curve's shape: a
// common equaliser only helps positions whose responses rise and fall together,
// so the slopes are compared, not the levels.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "core/records.h"
#include "display/graph_host.h"

namespace zentor {

// After a listing: the similarity values and the curve numbers (0-based) in
// listed order, the first `CurveSimilarityCount` of them in use.
extern std::array<double, kMaxResults> CurveSimilarity;
extern std::array<int32_t, kMaxResults> CurveSimilarityOrder;
extern int32_t CurveSimilarityCount;

// Lists, in the host's list box, the similarity of each loaded curve with points
// to curve k (0-based) between lo and hi Hz: " Corr 1 - 2 = 0.87". Most similar
// first unless the host asks for the least similar first; the reference is never
// listed. "Error 5428" when the window holds no compared point. Always "".
std::string ListCurveSimilarities(GraphHost& host, const CurveArray& curves, float lo, float hi, int32_t k);

}  // namespace zentor
