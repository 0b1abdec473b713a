#include "tools/large_room_links.h"

#include "mainwindow/graphics_export.h"
#include "mainwindow/main_window_links.h"
#include "mainwindow/measurement_file.h"
#include "platform/forms.h"
#include "tools/data_integrity_form.h"

namespace zentor {

void InstallLargeRoomLinks() {
  MainWindowHooks.ShowDataIntegrityForm = [](const std::string& caption) {
    Forms::Get<DataIntegrityForm>()->ShowModeless(caption);
  };
  // Creating the window for its picture does not load it: that waits for its showing.
  GraphicsExportHooks.LargeRoomPicture = [] { return Forms::Get<DataIntegrityForm>()->Picture1; };
  ExtDisplayHooks.UnloadDataIntegrityForm = [] { return Forms::Unload<DataIntegrityForm>(); };
}

}  // namespace zentor
