// The applied filters to and from other equalisers: File > Save > "Filters For
// Other Equalisers…" (a dialog of the format and its options) and File > Open >
// "Filters From Other Equalisers…".
#pragma once

#include <QDialog>
#include <cstdint>

#include "exchange/filter_export.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace zentor {

class FilterExportDialog : public QDialog {
 public:
  FilterExportDialog();

  QComboBox* FormatList = nullptr;
  QComboBox* RateList = nullptr;
  QSpinBox* TapsBox = nullptr;
  QLineEdit* ChannelsText = nullptr;
  QSpinBox* BiquadsBox = nullptr;
  QLabel* PreampLabel = nullptr;  // the preamp and the count of the set as it would be written
  QPushButton* SaveBut = nullptr;
  QPushButton* CancelBut = nullptr;
  QPushButton* Help = nullptr;

  // Loads the last choices and shows what the applied set would give.
  void Prepare();
  // The options as the controls hold them; false, with the reason shown, when they are not usable.
  bool ReadOptions(FilterExportOptions& options);
  // Writes the file the user picks; true when it was written.
  bool Save_Click();
  void Help_Click();
  void Refresh();
};

// Opens the dialog for the applied set.
void SaveFiltersForOtherEqualisers();
// Asks for a filter text and replaces the applied set with its filters in the
// parametric model; the set stays as it was when the file is refused.
void OpenFiltersFromOtherEqualisers();

}  // namespace zentor
