// The applied-filter list beside the main graph: removing an entry, and a click on
// a line, which opens the filter editor for that filter over the room average.
#pragma once

#include <cstdint>

namespace zentor {

class DataPlotter;

// Removes entry k (0-based) of AppliedFilters, closing the gap in order, then
// relists. An empty list only relists; a k outside the list shows "Error 8772".
void RemoveFromAppliedList(DataPlotter& window, int32_t k);

// The click handler of AppliedFilterListBox: refuses outside the Bode,
// fractional-octave and psychoacoustic views and without results, sets the
// editor's working range, shows the editor modally, then puts back the view, its
// limits, log flag, average flag and (unless the filter was deleted) its curves
// and header settings, relists and redraws.
void AppliedFilterListBox_Click(DataPlotter& window);

}  // namespace zentor
