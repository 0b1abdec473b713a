#include "analysers/rta_links.h"

#include "analysers/rta_display.h"
#include "analysers/rta_eq.h"
#include "analysers/rta_imp.h"
#include "mainwindow/main_window_links.h"
#include "platform/dialogs.h"
#include "platform/forms.h"

namespace zentor {

namespace {

// A modal analyser starts afresh at each opening. Should the modal loop end while
// it still runs, it is stopped before it goes.
template <class T>
void ShowAnalyser() {
  Forms::Unload<T>();
  T* w = Forms::Get<T>();
  ShowModal(w);
  if (Forms::IsLoaded<T>() && !w->RtaStopped) w->StopRta();
  Forms::Unload<T>();
}

}  // namespace

void InstallRtaLinks() {
  InstallRtaDisplayLinks();
  MainWindowHooks.ShowRTAEQ = [] { ShowAnalyser<RTAEQ>(); };
  MainWindowHooks.ShowRTAImp = [] { ShowAnalyser<RTAImp>(); };
}

}  // namespace zentor
