// The fit limits' file holds the target reader beside the settings report's
// filter lines; the reader never reaches them, and the run stops there if it does.
#include <cstdlib>

#include "eqdesign/eq_report.h"

namespace zentor {

std::string EQReportLine(const FilterRecord&, bool) { std::abort(); }

}  // namespace zentor
