#include "eqdesign/eq_dialog_links.h"

#include "eqdesign/band_simulator.h"
#include "eqdesign/numerical_options.h"
#include "mainwindow/main_window_links.h"

namespace zentor {

void InstallEQDialogLinks() {
  MainWindowHooks.NewFilter_Click = [] { NewFilter_Click(); };
  // The main window has refused already when no results are loaded.
  MainWindowHooks.ShowNewEQControl = [] { ShowBandSimulator(); };
  MainWindowHooks.ShowNumericalOptions = [] { ShowNumericalOptions(); };
}

}  // namespace zentor
