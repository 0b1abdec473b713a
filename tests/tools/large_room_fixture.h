// A started main window with the large-room links installed, and loaders for
// synthetic room sets of 2^17 samples at 48 kHz.
#pragma once

#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QRadioButton>
#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <string>

#include "core/records.h"
#include "mainwindow/main_window_fixture.h"
#include "platform/forms.h"
#include "support/silent_set.h"
#include "tools/data_integrity_form.h"
#include "tools/decay_signals.h"
#include "tools/large_room_links.h"

namespace zentor::test {

class LargeRoomTest : public MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    w = Start();
    InstallLargeRoomLinks();
    w->RefreshLinkedControls();
  }

  // n curves, each the same decaying tones; `negate` lists curves (0-based) that
  // are turned upside down.
  void Load(int n, std::initializer_list<DecayTone> tones, std::initializer_list<int> negate = {}) {
    LoadSilentSet(n, kDecayRate, kDecayOrder, 20.0f);
    for (int k = 0; k < n; ++k) {
      const bool down = std::find(negate.begin(), negate.end(), k) != negate.end();
      AddDecayingTones(ImpulseSet[static_cast<size_t>(k)], tones, down ? -1.0 : 1.0);
    }
  }

  // The window opened through the main window's command.
  DataIntegrityForm* Open() {
    w->DataIntegrity->trigger();
    return Forms::Get<DataIntegrityForm>();
  }

  static void Click(QRadioButton* b) { b->click(); }

  DataPlotter* w = nullptr;
};

}  // namespace zentor::test
