#include "core/helpers.h"

#include <QLineEdit>
#include <QPalette>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <filesystem>

#include "core/binary_io.h"
#include "core/text_number.h"
#include "display/plot_colours.h"
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

constexpr const char* kValidateTitle = "Zentor Parametric";

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
      control->setText(QString::fromStdString(FormatDouble(value)));
    }
    SetFieldBackground(control, Qt::white);
    return true;
  }
  MsgBox("User Error: Input must be between " + FormatDouble(min) + " and " + FormatDouble(max), MsgButtons::OK,
         MsgIcon::Exclamation, kValidateTitle);
  MarkInvalid(control);
  return false;
}

float ParseSingleOrWarn(const std::string& text) {
  if (IsNumeric(text)) return static_cast<float>(Val(text));
  MsgBox("Error: Input value is non numeric");
  return 0.0f;
}

int SplitCalibrationLine(const std::string& line, std::string& f1, std::string& f2, std::string& f3) {
  f1 = f2 = f3 = " ";
  if (line.size() < 2) return -1;
  int result = -1;
  size_t pos = 0;
  std::string* fields[3] = {&f1, &f2, &f3};
  for (int k = 0; k < 3; ++k) {
    while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) ++pos;
    size_t start = pos;
    while (pos < line.size() && line[pos] != ' ' && line[pos] != '\t') ++pos;
    if (pos > start) {
      *fields[k] = line.substr(start, pos - start);
      result = k + 1;
    }
  }
  return result;
}

float ParseLocaleNumber(const std::string& text) {
  std::string t = text;
  std::replace(t.begin(), t.end(), ',', '.');
  if (!IsNumeric(t)) return 0.0f;
  return static_cast<float>(Val(t));
}

namespace {
std::string DocumentLine(const QTextDocument* doc, int n) {
  if (n < 1 || n > doc->blockCount()) return {};
  return doc->findBlockByNumber(n - 1).text().toStdString();
}
}  // namespace

std::string GetTextBoxLine(const QPlainTextEdit* box, int n) { return DocumentLine(box->document(), n); }
std::string GetTextBoxLine(const QTextEdit* box, int n) { return DocumentLine(box->document(), n); }
std::string GetTextBoxLine(const QLineEdit* box, int n) {
  return n < 0 ? std::string() : box->text().toStdString();
}

std::string GetFileNameFromPath(const std::string& path) {
  size_t p = path.find_last_of("/\\");
  return p == std::string::npos ? path : path.substr(p + 1);
}

std::string GetFileExtension(const std::string& name) {
  std::string file = GetFileNameFromPath(name);
  size_t p = file.rfind('.');
  return p == std::string::npos ? file : file.substr(p + 1);
}

std::string GetFileNameStem(const std::string& name) {
  size_t sep = name.find_last_of("/\\");
  size_t fileStart = sep == std::string::npos ? 0 : sep + 1;
  size_t dot = name.find('.', fileStart);
  return dot == std::string::npos ? name : name.substr(0, dot);
}

std::string ReplaceFileExtension(const std::string& path, const std::string& newExtension) {
  return GetFileNameStem(path) + "." + newExtension;
}

bool FileExists(const std::string& path) {
  std::error_code ec;
  return !path.empty() && std::filesystem::exists(path, ec);
}

const std::string& CopyString(std::string& dest, const std::string& src) {
  dest = src;
  return dest;
}

int32_t GetCurveColour(int32_t n) {
  int32_t r = n % 8;
  if (r < 0) r += 8;
  return PlotColours[static_cast<size_t>(r + 3)];
}

namespace {
int32_t ClampCount(std::span<const float> x, std::span<const float> y, int32_t n) {
  int64_t m = std::min<int64_t>({static_cast<int64_t>(n), static_cast<int64_t>(x.size()),
                                 static_cast<int64_t>(y.size())});
  return static_cast<int32_t>(std::max<int64_t>(0, m));
}
}  // namespace

float GetFirstValueInRange(float lo, float hi, std::span<const float> x, std::span<const float> y, int32_t n) {
  n = ClampCount(x, y, n);
  for (int32_t i = 0; i < n; ++i)
    if (lo <= x[i] && x[i] <= hi) return y[i];
  return 0.0f;
}

float GetMaxValueInRange(float lo, float hi, std::span<const float> x, std::span<const float> y, int32_t n,
                         float start) {
  n = ClampCount(x, y, n);
  for (int32_t i = 0; i < n; ++i)
    if (lo <= x[i] && x[i] <= hi && y[i] > start) start = y[i];
  return start;
}

float GetMinValueInRange(float lo, float hi, std::span<const float> x, std::span<const float> y, int32_t n,
                         float start) {
  n = ClampCount(x, y, n);
  for (int32_t i = 0; i < n; ++i)
    if (lo <= x[i] && x[i] <= hi && y[i] < start) start = y[i];
  return start;
}

void StringToCharCodes(const std::string& utf8, std::span<int32_t> codes, int32_t& len) {
  const std::string s = Utf8ToLatin1(utf8);
  len = 0;
  const int32_t room = codes.empty() ? 0 : static_cast<int32_t>(codes.size()) - 1;
  for (int32_t i = 1; i <= static_cast<int32_t>(s.size()) && i <= room; ++i) {
    int32_t c = static_cast<unsigned char>(s[static_cast<size_t>(i - 1)]);
    if (c == 0 && i > 2) break;
    codes[static_cast<size_t>(i)] = c;
    len = i;
  }
}

void CharCodesToString(std::string& s, std::span<const int32_t> codes, int32_t n) {
  std::string latin1;
  for (int32_t i = 1; i <= n && i < static_cast<int32_t>(codes.size()); ++i)
    latin1.push_back(static_cast<char>(codes[static_cast<size_t>(i)] & 0xFF));
  s = Latin1ToUtf8(latin1);
}

void ShowGraphShownMessage(int32_t kind) {
  switch (kind) {
    case 3: MsgBox("FREQRESPSHOWN "); break;
    case 6: MsgBox("FRACTOCTSHOWN "); break;
    case 7: MsgBox("PSYCHOACOUSTICSHOWN "); break;
    case 1: MsgBox("NOISESHOWN "); break;
    case 0: MsgBox("GraphShown = 0"); break;
    default: MsgBox("GraphShown = " + FormatDouble(kind)); break;
  }
}

}  // namespace zentor
