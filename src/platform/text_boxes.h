// Text boxes as the dialogs use them: the one check of numeric input fields and
// reading a line of a multi-line box.
#pragma once

#include <string>

class QLineEdit;
class QPlainTextEdit;
class QTextEdit;
class QWidget;

namespace zentor {

// Background of a field that failed validation.
constexpr int kInvalidFieldRed = 128;

// True when the field is disabled or holds a number within [min, max]; then value
// receives it (as Single) and the field shows it in full. Otherwise shows the
// user error, turns the field dark red (white again once edited) and keeps value.
bool ValidateNumericTextBox(QLineEdit* control, double min, double max, double& value);

// The field's mark of a failed check is gone (the user came back to it).
void ClearValidationMark(QLineEdit* field);

// A numeric entry box of the option windows, 90 pixels at most; editing it
// whitens it again after a failed check.
QLineEdit* EntryBox(QWidget* parent, const char* name, const char* text = "");

// Line n (1-based) of a text box; empty below 1 or past the last line.
std::string GetTextBoxLine(const QPlainTextEdit* box, int n);
std::string GetTextBoxLine(const QTextEdit* box, int n);
std::string GetTextBoxLine(const QLineEdit* box, int n);

}  // namespace zentor
