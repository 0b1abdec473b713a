#include "eqdesign/eq_list_links.h"

#include "eqdesign/applied_filters.h"
#include "eqdesign/eq_opt.h"
#include "eqdesign/eq_report.h"
#include "eqdesign/fit_limits_store.h"
#include "eqdesign/modes_list.h"
#include "eqdesign/user_select.h"
#include "mainwindow/data_plotter.h"
#include "mainwindow/main_window_links.h"
#include "mainwindow/measurement_file.h"
#include "platform/forms.h"

namespace zentor {

void InstallEqListLinks() {
  FileCommandHooks.UpdateAppliedFiltersList = [] { UpdateAppliedFiltersList(*Forms::Get<DataPlotter>()); };
  MainWindowHooks.CompModes_Click = [] { CompModes_Click(*Forms::Get<DataPlotter>()); };
  MainWindowHooks.ApplyAllModes_Click = [] { ApplyAllModes(*Forms::Get<DataPlotter>()); };
  MainWindowHooks.AppliedSetOverLimitNote = [] { return OverLimitNote(AppliedFilters, LoadFitLimits().MaxBoostDb); };
  MainWindowHooks.ModesList_Click = [](int32_t row) { ModesList_Click(*Forms::Get<DataPlotter>(), row); };
  MainWindowHooks.TextEQ_Click = [] { TextEQ_Click(); };
  MainWindowHooks.ShowEQOpt = [] { ShowEQOpt(); };
  MainWindowHooks.EQEmulation_Click = [] { ShowEQOpt(); };
}

}  // namespace zentor
