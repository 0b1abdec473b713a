// Removal of near-duplicate entries from a filter set: repeated polishing can
// move two entries onto one singularity. Qt-free.
#pragma once

#include "core/records.h"
#include "eqdesign/fit/fit_records.h"

namespace zentor {

// |a - b| <= max(|a|, |b|) × 0.1 %.
bool NearlyEqual(double a, double b);
// Entries (Freq, Q1, Q2; FitError 0) that follow an entry of nearly the same
// frequency and Q1 in the set ordered by frequency.
SingularityListRecord FindNearDuplicateFilters(const SingularityListRecord& set);
// Removes the first entry of nearly this frequency and Q1: "Error 6287" for a
// set of fewer than 2 entries, "Error 6286" when none matches.
void RemoveFilterSetEntry(SingularityListRecord& set, double freq, double q1, double q2,
                          const MessageSink& say = MessageBoxSink());
// Removes one entry of each near-duplicate pair; returns the number found.
int32_t RemoveNearDuplicateFilters(SingularityListRecord& set, const MessageSink& say = MessageBoxSink());

}  // namespace zentor
