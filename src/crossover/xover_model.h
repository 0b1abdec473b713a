// The model run: the measurements as they were when the crossover window opened,
// grouped by ways, filtered by their sets and put back into the results store, one
// curve per group (one way's view, or the average of the ways).
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "core/filter_design.h"
#include "core/records.h"
#include "crossover/xover_record.h"

namespace zentor {

class DataPlotter;

enum class XoverView { None = -1, Set1 = 0, Set2 = 1, Set3 = 2, Sum = 3 };

struct XoverModel {
  std::array<MeasurementHeader, kMaxResults> SavedHeaders{};
  std::vector<float> SavedImpulses;  // N0 curves of kMaxSamples
  int32_t N0 = 0;

  // Backs up the store's headers, counts and impulses.
  void TakeBackup();
  // Puts them back bit for bit, with the count as it was.
  void RestoreBackup() const;
  const float* Saved(int32_t curve) const { return SavedImpulses.data() + size_t(curve) * kMaxSamples; }
};

// Refuses ("Error 8730", store unchanged) a ticked corner or shelf frequency of a
// set the view uses outside 15 .. min(15000, 0.45 x rate).
bool CheckXoverFrequencies(const XoverSetArray& sets, int32_t ways, XoverView view, int32_t rate);

// Replaces the store by the modelled curves of the view; false when it refused or
// a chain failed (the groups done stay, redrawn).
bool RunXoverModel(XoverModel& model, const XoverSetArray& sets, XoverView view, DataPlotter& plotter);

}  // namespace zentor
