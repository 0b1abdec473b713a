#include "mainwindow/single_curve_links.h"

#include "display/single_curve_views.h"
#include "mainwindow/data_plotter.h"
#include "mainwindow/main_window_links.h"
#include "platform/forms.h"

namespace zentor {

void InstallSingleCurveViewLinks() {
  InstallImpulseShiftLinks();
  MainWindowHooks.ShowCurveView = [](int32_t n) {
    DataPlotter* w = Forms::Get<DataPlotter>();
    ShowCurveView(*w, n);
    // With the average on the view shows curve 1, and the arrows go on from there.
    if (n != w->GetDisplayCurveNumber() && n >= 1 && n <= ResultsDataSetInfo[0].NumInSet) w->SetDisplayCurveNumber(n);
  };
}

}  // namespace zentor
