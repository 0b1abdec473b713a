#include "platform/text_boxes.h"

#include <QLineEdit>
#include <QPalette>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>
#include <cfloat>
#include <cmath>

#include "base/text_number.h"
#include "platform/dialogs.h"

namespace zentor {

namespace {

void SetFieldBackground(QLineEdit* c, const QColor& colour) {
  QPalette p = c->palette();
  p.setColor(QPalette::Base, colour);
  c->setPalette(p);
}

void MarkInvalid(QLineEdit* c) {
  SetFieldBackground(c, QColor(kInvalidFieldRed, 0, 0));
  // Editing the field clears the mark; hooked once per field.
  if (!c->property("zentorValidationHook").toBool()) {
    c->setProperty("zentorValidationHook", true);
    QObject::connect(c, &QLineEdit::textEdited, c, [c](const QString&) { SetFieldBackground(c, Qt::white); });
  }
}

}  // namespace

void ClearValidationMark(QLineEdit* field) { SetFieldBackground(field, Qt::white); }

QLineEdit* EntryBox(QWidget* parent, const char* name, const char* text) {
  auto* e = new QLineEdit(QString::fromUtf8(text), parent);
  e->setObjectName(name);
  e->setMaximumWidth(90);
  QObject::connect(e, &QLineEdit::textEdited, e, [e](const QString&) { SetFieldBackground(e, Qt::white); });
  return e;
}

namespace {

constexpr const char* kValidateTitle = "Zentor Parametric";

std::string DocumentLine(const QTextDocument* doc, int n) {
  if (n < 1 || n > doc->blockCount()) return {};
  return doc->findBlockByNumber(n - 1).text().toStdString();
}

}  // namespace

bool ValidateNumericTextBox(QLineEdit* control, double min, double max, double& value) {
  if (!control->isEnabled()) return true;
  std::string text = control->text().toStdString();
  if (!IsNumeric(text)) {
    MarkInvalid(control);
    MsgBox("User Error: Non Numeric Input", MsgButtons::OK, MsgIcon::Exclamation, kValidateTitle);
    return false;
  }
  double parsed = Val(text);
  if (!std::isfinite(parsed) || std::fabs(parsed) > FLT_MAX) {
    MarkInvalid(control);
    MsgBox("Error 7899");
    return false;
  }
  float x = static_cast<float>(parsed);
  float lo = static_cast<float>(min), hi = static_cast<float>(max);
  if (lo <= x && x <= hi) {
    value = static_cast<double>(x);
    {
      QSignalBlocker block(control);
      // The value is a Single from here on, and is shown as one (0.05, not 0.0500000007450581).
      control->setText(QString::fromStdString(FormatSingle(x)));
    }
    SetFieldBackground(control, Qt::white);
    return true;
  }
  MsgBox("User Error: Input must be between " + FormatDouble(min) + " and " + FormatDouble(max), MsgButtons::OK,
         MsgIcon::Exclamation, kValidateTitle);
  MarkInvalid(control);
  return false;
}

std::string GetTextBoxLine(const QPlainTextEdit* box, int n) { return DocumentLine(box->document(), n); }
std::string GetTextBoxLine(const QTextEdit* box, int n) { return DocumentLine(box->document(), n); }
std::string GetTextBoxLine(const QLineEdit* box, int n) {
  return n < 0 ? std::string() : box->text().toStdString();
}

}  // namespace zentor
