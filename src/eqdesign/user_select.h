// "New Filter": one mode of the modes list turned into an applied filter, held to
// 20 dB and to the parametric equaliser's steps; or removed from its curve's
// measured filter set.
#pragma once

#include <QDialog>
#include <cstdint>
#include <optional>
#include <string>

#include "core/filter_record.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace zentor {

class DataPlotter;

// Mode `mode` of the modes list as Apply adds it: held to 20 dB and to
// maxBoostDb (when not negative; a boost a limit of 0 leaves is kept at 0 dB)
// and, for the parametric codes with steps (1, 4, 5), snapped to them as a
// parametric band; codes 2 and 3 are snapped when the list is refreshed.
FilterRecord FilterFromMode(const FilterRecord& mode, int32_t parametricCode, double maxBoostDb = -1);


// "Apply All Modes": every listed mode (ModesListContents) made into an applied
// filter as the new-filter dialog's Apply makes it, replacing the applied list,
// which is relisted. When the list holds filters and `ask` is set, asks first;
// returns -1 when the user keeps the list, -2 while the window is busy, else the
// count applied. Boosts are held to maxBoostDb (none given: the stored Max
// boost). Modes with no level, or boosts under a cuts-only limit, are left out;
// past 75 the rest are left out with a message.
int32_t ApplyAllModes(DataPlotter& window, bool ask = true, std::optional<double> maxBoostDb = std::nullopt);

class UserSelect : public QDialog {
  Q_OBJECT
 public:
  explicit UserSelect(QWidget* parent = nullptr);

  // Prepares the dialog for entry i of ModesListContents; the caller shows it.
  void InitializeUserSelect(int32_t i);

  // Event handlers.
  void Apply_Click();
  void Delete_Click();
  void Cancel_Click();

  // The working record as Apply would add it.
  const FilterRecord& Working() const { return mode_; }

  QLineEdit *FreqText, *QText, *CentreQText;
  QLabel *FreqLabel, *QLabelCaption, *CentreQLabel, *WarningAverageLabel;
  QPushButton *Apply, *Delete, *Cancel, *Help;

 private:
  FilterRecord mode_;
  // The entry as listed, before the level limit and any snapping: Del finds it
  // in its curve's set by these values.
  FilterRecord listed_;
  int32_t ModeIndex = 0;
  float OriginalQ2 = 0;
};

}  // namespace zentor
