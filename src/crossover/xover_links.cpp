#include "crossover/xover_links.h"

#include "crossover/xover_form.h"
#include "mainwindow/main_window_links.h"
#include "mainwindow/measurement_file.h"
#include "platform/forms.h"

namespace zentor {

void InstallXoverLinks() {
  MainWindowHooks.Xover_Click = [] { OpenXoverWindow(); };
  ExtDisplayHooks.UnloadXoverForm = [] { return Forms::Unload<XoverForm>(); };
}

}  // namespace zentor
