#include "eqdesign/filter_edit_links.h"

#include "core/filter_design.h"
#include "core/records.h"
#include "display/graph_frame.h"
#include "eqdesign/applied_filter_list.h"
#include "eqdesign/corrected_response.h"
#include "mainwindow/data_plotter.h"
#include "mainwindow/main_window_links.h"
#include "platform/forms.h"

namespace zentor {

void InstallFilterEditLinks() {
  MainWindowHooks.ShowCorrectedResponse = [](CurveRecord& fitInput, CurveRecord& fitStored,
                                             SingularityListRecord& set, int32_t k) {
    ShowCorrectedResponse(*Forms::Get<DataPlotter>(), fitInput, fitStored, set, k, WorkFilterBlock,
                          ResultsDataSetInfo[0].SampleRate, FitGraphFrame);
  };
  MainWindowHooks.AppliedFilterListBox_Click = [] { AppliedFilterListBox_Click(*Forms::Get<DataPlotter>()); };
}

}  // namespace zentor
