#include "analysers/test_cd_links.h"

#include "analysers/test_cd_measure.h"
#include "analysers/test_cd_writer.h"
#include "mainwindow/main_window_links.h"
#include "platform/dialogs.h"
#include "platform/forms.h"

namespace zentor {

namespace {

// Each opening starts afresh; a window that refuses to close stays loaded.
template <class T>
void ShowModalAfresh() {
  Forms::Unload<T>();
  ShowModal(Forms::Get<T>());
  Forms::Unload<T>();
}

}  // namespace

void InstallTestCDLinks() {
  MainWindowHooks.TestCDMake_Click = [] { ShowModalAfresh<CreateTestCD>(); };
  MainWindowHooks.ShowCDTest = [] { ShowModalAfresh<CDTest>(); };
}

}  // namespace zentor
