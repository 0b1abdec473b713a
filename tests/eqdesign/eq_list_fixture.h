// The started main window with the applied-filter list, the modes listing and
// their dialogs linked, and helpers to build filters and measured sets.
#pragma once

#include <QDir>
#include <QListWidget>
#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "core/emulation.h"
#include "core/records.h"
#include "eqdesign/eq_list_links.h"
#include "mainwindow/main_window_fixture.h"
#include "platform/picture.h"

namespace zentor::test {

constexpr float kTwoPiF = 2 * std::numbers::pi_v<float>;

// A filter of `level` dB (boost above 0) with centre Q q at f Hz.
inline FilterRecord MakeFilter(int32_t kind, float f, float level, float q, int32_t code = 2) {
  FilterRecord r;
  r.Kind = kind;
  r.Graphshown = 3;
  r.Freq1 = kTwoPiF * f;
  r.Q1 = ConvertQForFilterType(q, level, code);
  r.Q2 = std::fabs(r.Q1) / std::pow(10.0f, std::fabs(level) / 20);
  r.EQEmulationCode = code;
  return r;
}

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

class EqListTest : public MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    w = Start();
    w->MainGraphOverride = &rec;
    InstallEqListLinks();
    w->RefreshLinkedControls();
  }
  void Screenshot(QWidget* window, const char* name) {
    window->adjustSize();
    window->grab().save(QDir::temp().filePath(name));
  }

  DataPlotter* w = nullptr;
  RecordingSurface rec;
};

}  // namespace zentor::test
