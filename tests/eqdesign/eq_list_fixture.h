// The started main window with its dialogs linked, and helpers to build
// filters and measured sets.
#pragma once

#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <cmath>
#include <functional>
#include <initializer_list>
#include <numbers>
#include <string>
#include <vector>

#include "core/emulation.h"
#include "core/records.h"
#include "display/view_state.h"
#include "eqdesign/eq_list_links.h"
#include "eqdesign/filter_edit_links.h"
#include "eqdesign/fit_commands.h"
#include "eqdesign/user_select.h"
#include "mainwindow/window_fixtures.h"
#include "mainwindow/main_window_links.h"
#include "platform/picture.h"
#include "support/filter_record.h"
#include "support/silent_set.h"

namespace zentor::test {

inline void SetApplied(const std::vector<FilterRecord>& filters) {
  AppliedFilters.fill(FilterRecord{});
  for (size_t i = 0; i < filters.size(); ++i) AppliedFilters[i] = filters[i];
  AppliedFilters[0].Count = static_cast<int32_t>(filters.size());
}

// Entry appended to SingularityList(c) as a fit leaves it: a peak of the
// response (Q1 > 0), damped parametric, fitted on the Bode view.
inline void AddMeasured(int32_t c, float f, float q1, float q2) {
  SingularityListRecord& set = SingularityList[static_cast<size_t>(c)];
  set.Kind = 4;
  set.Graphshown = 3;
  const auto e = static_cast<size_t>(set.Count++);
  set.Freq[e] = kTwoPiF * f;
  set.Q1[e] = q1;
  set.Q2[e] = q2;
  set.FitError[e] = 0.5f;
}

inline std::vector<std::string> Lines(const QListWidget* list) {
  std::vector<std::string> out;
  for (int i = 0; i < list->count(); ++i) out.push_back(list->item(i)->text().toStdString());
  return out;
}

// The started main window with the given links installed.
class LinkedWindowTest : public MainWindowTest {
 protected:
  void StartWith(std::initializer_list<void (*)()> installs, DrawingSurface* graph = nullptr) {
    w = Start();
    w->MainGraphOverride = graph;
    for (auto install : installs) install();
    w->RefreshLinkedControls();
  }
  // Saves a picture of the window for the manual.
  static bool Screenshot(QWidget* window, const char* name) {
    window->adjustSize();
    return window->grab().save(QDir::temp().filePath(name));
  }
  static std::string Text(const QLineEdit* e) { return e->text().toStdString(); }
  // One result holding an impulse at 50 ms on the Bode view, as the filter editor redraws it.
  void LoadImpulse() {
    test::LoadSilentSet(1, 48000, 17, 20);
    ImpulseSet[0][2400] = 1.0f;
    DisplayConfig.Graphshown = kBodeView;
    w->SetParametricEmulation(2);
    w->SetGraphicEmulation(3);
  }

  DataPlotter* w = nullptr;
};

// The window with the lists', fit commands' and filter editor's links, and one
// result loaded.
class EqListTest : public LinkedWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    StartWith({InstallEqListLinks, InstallFitCommandLinks, InstallFilterEditLinks}, &rec);
    LoadImpulse();
  }
  // The next modal dialog, if a `Dialog`, is handed to `inside`.
  template <class Dialog>
  void Expect(const std::function<void(Dialog*)>& inside) {
    dialogs.ExpectModal([inside](QDialog* d) {
      auto* t = qobject_cast<Dialog*>(d);
      EXPECT_NE(t, nullptr);
      if (t != nullptr) inside(t);
      return d->result();
    });
  }
  // Clicks line `row` of the modes list; `inside` acts on the shown dialog.
  void ClickMode(int row, const std::function<void(UserSelect*)>& inside) {
    Expect<UserSelect>(inside);
    MainWindowHooks.ModesList_Click(row);
  }
  // Applies line `row` by its dialog, which is expected to refuse it: the messages shown.
  std::vector<std::string> RefusedApply(int row) {
    dialogs.Clear();
    dialogs.ExpectMessage();
    ClickMode(row, [](UserSelect* u) {
      u->Apply->click();
      u->Cancel->click();
    });
    return dialogs.MessageTexts();
  }

  RecordingSurface rec;
};

}  // namespace zentor::test
