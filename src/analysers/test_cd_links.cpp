#include "analysers/test_cd_links.h"

#include "analysers/test_cd_measure.h"
#include "analysers/test_cd_writer.h"
#include "mainwindow/main_window_links.h"
#include "platform/dialogs.h"
#include "platform/forms.h"

namespace zentor {


void InstallTestCDLinks() {
  MainWindowHooks.TestCDMake_Click = [] { ShowModalAfresh<CreateTestCD>(); };
  MainWindowHooks.ShowCDTest = [] { ShowModalAfresh<CDTest>(); };
}

}  // namespace zentor
