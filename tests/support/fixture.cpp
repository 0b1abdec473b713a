#include "support/fixture.h"

#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "core/records.h"
#include "display/display_options.h"
#include "eqdesign/user_select.h"
#include "mainwindow/data_plotter.h"
#include "mainwindow/main_window_links.h"

#include "base/shared_state.h"
#include "platform/audio/wave_streaming.h"
#include "platform/forms.h"
#include "platform/settings.h"

namespace zentor::test {

namespace {
int64_t g_waveNow = 0;
}  // namespace

void ZentorTest::AdvanceWaveClock(int64_t ms) { g_waveNow += ms; }

void ZentorTest::ShowBodeWithGate(DataPlotter& main, const char* gateMs) {
  main.FreqBut->click();
  dialogs.ExpectModal([gateMs](QDialog* d) {
    auto* o = qobject_cast<DisplayControlForm*>(d);
    o->FFTRadio->click();
    o->BodeGateTimeText->setText(gateMs);
    o->Apply->click();
    return 0;
  });
  main.FrequencyOptions->trigger();
}

void ZentorTest::ApplyEachModeByDialog() {
  // Cuts first: a boost that a cut beside it holds down would take the set past
  // the boost limit on its own, and the dialog refuses it then.
  for (const bool cuts : {true, false})
    for (int32_t row = 0; row < ModesListContents[0].Count; ++row) {
      if ((ModesListContents[static_cast<size_t>(row)].Q1 > 0) != cuts) continue;
      dialogs.ExpectModal([](QDialog* d) {
        qobject_cast<UserSelect*>(d)->Apply->click();
        return d->result();
      });
      MainWindowHooks.ModesList_Click(row);
    }
}

void ZentorTest::SetUp() {
  g_waveNow = 0;
  SetWaveClock([] { return g_waveNow; });
  ASSERT_TRUE(tempDir.isValid());
  SetSettingsFolder(tempDir.path().toStdString() + "/config");
  ResetSharedState();
}

void ZentorTest::TearDown() {
  EXPECT_EQ(dialogs.Unused(), 0u) << "answers queued for dialogs that never appeared";
  EXPECT_EQ(WaitCursor::Depth(), 0) << "a wait cursor was not restored";
  Forms::DeleteAll();
  SetSettingsFolder("");
}

std::string ZentorTest::TempPath(const std::string& name) const {
  return tempDir.path().toStdString() + "/" + name;
}

}  // namespace zentor::test
