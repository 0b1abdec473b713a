#include "analysers/spl_links.h"

#include "analysers/spl_meter.h"
#include "mainwindow/main_window_links.h"
#include "platform/dialogs.h"
#include "platform/forms.h"

namespace zentor {

void InstallSplLinks() {
  // Each opening starts uncalibrated.
  MainWindowHooks.ShowSPLLevelForm = [] {
    ShowModalAfresh<SPLLevelForm>();
  };
}

}  // namespace zentor
