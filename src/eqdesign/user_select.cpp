#include "eqdesign/user_select.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "base/text_number.h"
#include "core/emulation.h"
#include "core/records.h"
#include "core/results_store.h"
#include "eqdesign/applied_filters.h"
#include "eqdesign/fit_limits_store.h"
#include "exchange/filter_export.h"
#include "mainwindow/data_plotter.h"
#include "mainwindow/filter_file.h"
#include "platform/dialogs.h"
#include "platform/forms.h"
#include "platform/help.h"

namespace zentor {

namespace {

QPushButton* Button(QWidget* parent, const char* name, const char* caption) {
  auto* b = new QPushButton(caption, parent);
  b->setObjectName(name);
  b->setAutoDefault(false);
  return b;
}

QLineEdit* ShownValue(QWidget* parent, const char* name) {
  auto* e = new QLineEdit(parent);
  e->setObjectName(name);
  e->setReadOnly(true);
  return e;
}

constexpr auto* Caption = &NamedControl<QLabel>;

}  // namespace

FilterRecord FilterFromMode(const FilterRecord& mode, int32_t parametricCode, double maxBoostDb) {
  FilterRecord f = mode;
  f.EQEmulationCode = parametricCode;
  // Codes 2 and 3 have no steps: the list snaps the filter when it is added.
  const bool steps = parametricCode == 1 || parametricCode == 4 || parametricCode == 5;
  if (steps) f.Kind = 2;
  if (maxBoostDb >= 0) {
    if (!SnapWithinLimits(steps ? parametricCode : 0, f.Freq1, f.Q1, f.Q2, maxBoostDb)) f.Q2 = std::fabs(f.Q1);
    return f;
  }
  // No more than 20 dB.
  if (std::fabs(f.Q1) * 0.1f > f.Q2) f.Q2 = std::fabs(f.Q1) * 0.1f;
  if (steps) EmulateEQBand(parametricCode, f.Freq1, f.Q1, f.Q2);
  return f;
}


namespace {

// What the applied set would boost in all, with one filter more when given.
PeakLevel NetBoostWith(std::vector<FilterRecord> set, const FilterRecord* more = nullptr) {
  if (more != nullptr) set.push_back(*more);
  if (set.empty()) return {};
  set[0].Count = static_cast<int32_t>(set.size());
  return AppliedSetPeak(set, JudgedRateHz());
}

}  // namespace

int32_t ApplyAllModes(DataPlotter& window, bool ask, std::optional<double> maxBoostDb) {
  if (window.GetBusy()) return -2;
  if (ask && !MayReplaceAppliedFilters())
    return -1;
  const int32_t listed = std::clamp<int32_t>(ModesListContents[0].Count, 0, kMaxModes);
  const int32_t code = window.GetParametricEQEmulation();
  const double limit = maxBoostDb ? *maxBoostDb : LoadFitLimits().MaxBoostDb;
  std::vector<FilterRecord> taken;
  int32_t left = 0, refused = 0;
  std::string firstRefusal;
  for (int32_t i = 0; i < listed; ++i) {
    const FilterRecord& mode = ModesListContents[static_cast<size_t>(i)];
    // The dialog refuses a mode with no level; here it is passed over.
    if (mode.Q1 == 0 || !(mode.Q2 > 0) || !std::isfinite(mode.Q1) || !std::isfinite(mode.Freq1)) continue;
    if (std::ssize(taken) == kMaxFilters) {
      ++left;
      continue;
    }
    FilterRecord f = FilterFromMode(mode, code, limit);
    if (f.Q1 < 0 && !(f.Q2 < std::fabs(f.Q1))) continue;  // a boost the limit leaves nothing
    taken.push_back(f);
  }
  // The whole list is judged, as its cuts may hold its boosts down: while the
  // set boosts past the limit, the boost that adds most where it does is left out.
  for (PeakLevel net = NetBoostWith(taken); limit >= 0 && net.db > limit + kNetBoostSlackDb;
       net = NetBoostWith(taken)) {
    size_t worst = taken.size();
    double most = 0;
    for (size_t i = 0; i < taken.size(); ++i) {
      std::vector<FilterRecord> without = taken;
      without.erase(without.begin() + static_cast<std::ptrdiff_t>(i));
      const double lower = net.db - NetBoostWith(without).db;
      if (taken[i].Q1 < 0 && lower > most) most = lower, worst = i;
    }
    if (worst == taken.size()) break;
    if (refused++ == 0)
      firstRefusal = NetBoostRefusal(
          "The mode at " + FormatDouble(std::round(taken[worst].Freq1 / 6.28318530717959 * 10) / 10) + " Hz",
          net.db, net.hz, limit);
    taken.erase(taken.begin() + static_cast<std::ptrdiff_t>(worst));
  }
  for (FilterRecord& slot : AppliedFilters) slot = FilterRecord{};
  for (size_t n = 0; n < taken.size(); ++n) CopyFilterRecord(taken[n], AppliedFilters[n]);
  AppliedFilters[0].Count = static_cast<int32_t>(taken.size());
  UpdateAppliedFiltersList(window);
  window.EQResultsTakenButNotSaved = kTrue;
  if (left > 0)
    MsgBox("Error 5855: " + std::to_string(left) + " modes were left out: the applied list holds 75 filters.");
  if (refused > 0)
    MsgBox(firstRefusal + (refused > 1 ? " " + std::to_string(refused - 1) + " more modes were left out likewise." : ""));
  return static_cast<int32_t>(taken.size());
}

UserSelect::UserSelect(QWidget* parent) : QDialog(parent) {
  setObjectName("UserSelect");
  setWindowTitle("New Filter");
  FreqText = ShownValue(this, "FreqText");
  QText = ShownValue(this, "QText");
  CentreQText = ShownValue(this, "CentreQText");
  FreqLabel = Caption(this, "FreqLabel", "[Hz] Frequency");
  QLabelCaption = Caption(this, "QLabel", "[unitless] Q");
  CentreQLabel = Caption(this, "CentreQLabel", "Centre Q: the Q of the filter as exports write it");
  WarningAverageLabel = Caption(this, "WarningAverageLabel", "! NOT TAKEN FROM AVERAGE");
  WarningAverageLabel->setStyleSheet("color: rgb(192, 0, 0); font-weight: bold");
  Apply = Button(this, "Apply", "Apply");
  Delete = Button(this, "Delete", "Del");
  Cancel = Button(this, "Cancel", "Cancel");
  Help = Button(this, "Help", "Help");

  auto* grid = new QGridLayout;
  grid->addWidget(FreqText, 0, 0);
  grid->addWidget(FreqLabel, 0, 1);
  grid->addWidget(QText, 1, 0);
  grid->addWidget(QLabelCaption, 1, 1);
  grid->addWidget(CentreQText, 2, 0);
  grid->addWidget(CentreQLabel, 2, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(Apply);
  buttons->addWidget(Delete);
  buttons->addWidget(Cancel);
  buttons->addWidget(Help);
  auto* all = new QVBoxLayout(this);
  all->addLayout(grid);
  all->addWidget(WarningAverageLabel);
  all->addLayout(buttons);

  connect(Apply, &QPushButton::clicked, this, [this] { Apply_Click(); });
  connect(Delete, &QPushButton::clicked, this, [this] { Delete_Click(); });
  connect(Cancel, &QPushButton::clicked, this, [this] { Cancel_Click(); });
  connect(Help, &QPushButton::clicked, this, [] { ShowHelpTopic(HelpTopic::UserSelect); });
}

void UserSelect::InitializeUserSelect(int32_t i) {
  ModeIndex = std::clamp(i, 0, kMaxModes - 1);
  listed_ = GetModesListEntry(ModeIndex);
  OriginalQ2 = listed_.Q2;
  // Snapped within the limit, so that rounding to the steps never lifts a boost past it.
  mode_ = FilterFromMode(listed_, Forms::Get<DataPlotter>()->GetParametricEQEmulation(), LoadFitLimits().MaxBoostDb);
  CentreQText->setText(QString::fromStdString(FormatDouble(std::round(CentreQ(mode_.Q1, mode_.Q2) * 100) / 100)));
  if (mode_.Q1 < 0)
    setWindowTitle("Boost Filter");
  else if (mode_.Q1 > 0)
    setWindowTitle("Cut Filter");
  else
    MsgBox("Error 8729");
  WarningAverageLabel->setVisible(mode_.Average == 0);
  FreqText->setText(QString::fromStdString(FormatDouble(Fix(mode_.Freq1 * 100.0 / 6.28318530717959) * 0.01 + 0.0)));
  QText->setText(QString::fromStdString(FormatDouble(Fix(mode_.Q1 * 10.0) * 0.1 + 0.0)));
}

void UserSelect::Apply_Click() {
  // A mode fitted without the limit, or before it was lowered, is refused rather than changed.
  const FitLimits limits = LoadFitLimits();
  const double boost = std::min(FilterBoostDb(listed_.Q1, listed_.Q2), 20.0);
  if (limits.BoostLimited() && boost > limits.MaxBoostDb + 0.05) {
    MsgBox(BoostRefusal(boost, limits.MaxBoostDb));
    return;
  }
  const int32_t count = AppliedFilters[0].Count;
  if (count < 0 || count >= kMaxFilters) {
    MsgBox("Error 5852: 75 filters are applied already. Delete one before adding another.");
    return;
  }
  if (limits.BoostLimited() && mode_.Q1 < 0) {
    const PeakLevel net = NetBoostWith(
        std::vector<FilterRecord>(AppliedFilters.begin(), AppliedFilters.begin() + count), &mode_);
    if (net.db > limits.MaxBoostDb + kNetBoostSlackDb) {
      MsgBox(NetBoostRefusal("This filter", net.db, net.hz, limits.MaxBoostDb));
      return;
    }
  }
  CopyFilterRecord(mode_, AppliedFilters[static_cast<size_t>(count)]);
  AppliedFilters[0].Count = count + 1;
  DataPlotter& window = *Forms::Get<DataPlotter>();
  UpdateAppliedFiltersList(window);
  window.EQResultsTakenButNotSaved = kTrue;
  accept();
}

void UserSelect::Delete_Click() {
  mode_.Q2 = OriginalQ2;
  bool ok = false;
  const int32_t c = listed_.Curve;
  const int32_t e = FindMeasuredEntry(c, listed_);
  if (e >= 0) RemoveResultMeasuredFilterSet(*Forms::Get<DataPlotter>(), c, e, ok);
  if (!ok) {
    MsgBox(" Error 8724");
    return;
  }
  accept();
}

void UserSelect::Cancel_Click() { reject(); }

}  // namespace zentor
