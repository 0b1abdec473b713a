#include "analysers/distortion_links.h"

#include "analysers/distortion_form.h"
#include "mainwindow/data_plotter.h"
#include "mainwindow/main_window_links.h"
#include "platform/dialogs.h"
#include "platform/forms.h"

namespace zentor {

void InstallDistortionLinks() {
  MainWindowHooks.ShowDistForm = [] {
    DistForm* form = Forms::Get<DistForm>();
    if (form->Loaded()) {
      if (Forms::IsLoaded<DataPlotter>()) form->setParent(Forms::Get<DataPlotter>(), Qt::Dialog);
      ShowModal(form);
    }
    Forms::Unload<DistForm>();
  };
}

}  // namespace zentor
