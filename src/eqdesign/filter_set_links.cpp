#include "eqdesign/filter_set_links.h"

#include "eqdesign/filter_sets.h"
#include "eqdesign/modes_list.h"
#include "mainwindow/data_plotter.h"
#include "mainwindow/main_window_links.h"
#include "platform/forms.h"

namespace zentor {

void InstallFilterSetLinks() {
  MainWindowHooks.SortFilterSetByKey1 = [](SingularityListRecord& s, bool up) { SortFilterSetByKey1(s, up); };
  MainWindowHooks.SortFilterSetByKey2 = [](SingularityListRecord& s, bool up) { SortFilterSetByKey2(s, up); };
  MainWindowHooks.SortFilterSetByKey4 = [](SingularityListRecord& s, bool up) { SortFilterSetByKey4(s, up); };
  MainWindowHooks.CheckForCurveSingularities = [](int32_t k) {
    return CheckForCurveSingularities(*Forms::Get<DataPlotter>(), k);
  };
}

}  // namespace zentor
