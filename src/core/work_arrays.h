// Scratch arrays shared by the views, tools and signal routines: sized once at
// start-up and released at shut-down.
#pragma once

#include <cstdint>
#include <vector>

namespace zentor {

constexpr int32_t kWorkArrayPoints = 262144;  // 2^18, the start-up size

extern std::vector<float> WorkCurve, WorkCurve2, WorkCurve3, WorkCurve4, WorkCurve5;  // (0 To n)
extern std::vector<double> WorkDoublePoints, WorkDoublePoints2;                        // (0 To 2000)
extern std::vector<double> WorkDoubleCurve, WorkDoubleCurve2;                          // (0 To n)
extern std::vector<int16_t> PcmSamples;                                                // (0 To n)
extern std::vector<float> WorkCurveAux;                                                // (0 To 32767)

// Sizes every array, discarding its contents; a negative n is taken as 0.
void AllocateWorkArrays(int32_t n);
// Shrinks all eleven arrays to two elements and gives their memory back.
void FreeWorkArrays();

}  // namespace zentor
