// "New Filter": one mode of the modes list turned into an applied filter, held to
// 20 dB and to the parametric equaliser's steps; or removed from its curve's
// measured filter set.
#pragma once

#include <QDialog>
#include <cstdint>

#include "core/filter_record.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace zentor {

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

  QLineEdit *FreqText, *QText;
  QLabel *FreqLabel, *QLabelCaption, *WarningAverageLabel;
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
