#include "core/work_arrays.h"

#include <algorithm>

#include "base/shared_state.h"

namespace zentor {

std::vector<float> WorkCurve, WorkCurve2, WorkCurve3, WorkCurve4, WorkCurve5;
std::vector<double> WorkDoublePoints, WorkDoublePoints2;
std::vector<double> WorkDoubleCurve, WorkDoubleCurve2;
std::vector<int16_t> PcmSamples;
std::vector<float> WorkCurveAux;

namespace {

// Replaces the vector so old contents and capacity are gone.
template <class T>
void Resize(std::vector<T>& v, size_t n) {
  std::vector<T>(n).swap(v);
}

void SizeAll(size_t curve, size_t points, size_t aux) {
  for (auto* v : {&WorkCurve, &WorkCurve2, &WorkCurve3, &WorkCurve4, &WorkCurve5}) Resize(*v, curve);
  Resize(WorkDoublePoints, points);
  Resize(WorkDoublePoints2, points);
  Resize(WorkDoubleCurve, curve);
  Resize(WorkDoubleCurve2, curve);
  Resize(PcmSamples, curve);
  Resize(WorkCurveAux, aux);
}

SharedStateRegistrar g_reset([] { SizeAll(0, 0, 0); });

}  // namespace

void AllocateWorkArrays(int32_t n) {
  size_t count = static_cast<size_t>(std::max<int32_t>(n, 0)) + 1;
  SizeAll(count, 2001, 32768);
}

void FreeWorkArrays() { SizeAll(2, 2, 2); }

}  // namespace zentor
