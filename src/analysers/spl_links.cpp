#include "analysers/spl_links.h"

#include "analysers/spl_meter.h"
#include "mainwindow/main_window_links.h"
#include "platform/dialogs.h"
#include "platform/forms.h"

namespace zentor {

void InstallSplLinks() {
  // Each opening starts uncalibrated.
  MainWindowHooks.ShowSPLLevelForm = [] {
    Forms::Unload<SPLLevelForm>();
    ShowModal(Forms::Get<SPLLevelForm>());
    Forms::Unload<SPLLevelForm>();
  };
}

}  // namespace zentor
