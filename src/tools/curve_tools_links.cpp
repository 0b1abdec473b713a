#include "tools/curve_tools_links.h"

#include "mainwindow/main_window_links.h"
#include "platform/dialogs.h"
#include "platform/forms.h"
#include "tools/export_pcm.h"
#include "tools/levels_form.h"
#include "tools/math_form.h"
#include "tools/wav_import.h"

namespace zentor {


void InstallCurveToolsLinks() {
  MainWindowLinks& l = MainWindowHooks;
  l.OpenMathForm = [](int32_t mode) {
    Forms::Unload<MathForm>();
    MathForm* f = Forms::Get<MathForm>();
    if (f->Initialize(mode)) ShowModal(f);
    Forms::Unload<MathForm>();
  };
  // The export window is modeless and shows itself.
  l.ShowExportPCM = [](int32_t curve) { Forms::Get<ExportPCM>()->Initialize(curve); };
  l.ShowImportWave = [] { ShowModalAfresh<Import>(); };
  l.ShowLevels = [] { ShowModalAfresh<Levels>(); };
}

}  // namespace zentor
