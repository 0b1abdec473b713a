// The boost of a filter set as a whole: the product of every section, which is
// what the loudspeaker and the amplifier see. A limit on each filter alone lets
// four filters on one null add up to four times the limit. Qt-free.
#pragma once

#include <cstdint>
#include <span>

#include "core/records.h"
#include "eqdesign/fit/fit_records.h"

namespace zentor {

// The largest gain of the set's correction (every entry divided out) and where,
// each entry the section equaliser `code` runs at the set's SampleRate;
// Hz 0 when the set nowhere rises above 0 dB.
struct NetBoost {
  double Db = 0;
  double Hz = 0;
};
NetBoost MaxNetBoost(const SingularityListRecord& set, int32_t code);

// Lowers the set's boosts, those that make the excess most first, until the
// set as the applied list would set it (each entry snapped to equaliser
// `code` within maxBoostDb) nowhere boosts more than maxBoostDb in all, as it
// runs at the set's SampleRate. An
// entry left with nothing goes. Returns the number of entries lowered or
// removed; nothing is done for a negative limit.
int32_t HoldNetBoost(SingularityListRecord& set, int32_t code, double maxBoostDb);

// Records in set.Null* the stretches of the fit range where the curve (its
// levels about 1) lies deeper than maxBoostDb: the nulls a limited set leaves.
void FindNulls(const FitCurveRecord& curve, double maxBoostDb, SingularityListRecord& set);

// Under a boost limit, raises a curve's levels (dB) between low and high Hz to
// at most maxBoostDb below its level: its log-frequency-weighted median there,
// or 0 dB for a curve taken relative to an anchored target. What a limited set
// may fill of a null is all a set is judged on, so the nulls take neither
// filters nor weight from the peaks. Nothing for no limit, nor for cuts only:
// with the floor at the level itself every point below it would count as on it.
void FillNullsToLimit(std::span<const float> hz, std::span<float> dB, double maxBoostDb, double low, double high,
                      bool anchored);

// Whether entry i of the set is a boost on one of the set's nulls.
bool BoostOnNull(const SingularityListRecord& set, int32_t i);

}  // namespace zentor
