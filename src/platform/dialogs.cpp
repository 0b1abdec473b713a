#include "platform/dialogs.h"
#include "platform/kept_messages.h"

#include <QApplication>
#include <QColorDialog>
#include <QDialog>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <vector>

namespace zentor {

namespace {

QWidget* ActiveParent() { return QApplication::activeWindow(); }

// What a box closed without a button, or one that cannot be shown, answers.
MsgAnswer SafeAnswer(MsgButtons buttons) {
  return buttons == MsgButtons::OK ? MsgAnswer::OK : buttons == MsgButtons::YesNo ? MsgAnswer::No : MsgAnswer::Cancel;
}

// The convenience functions take no default suffix; a dialog object does.
std::optional<std::string> WithDefaultExtension(const FileDialogRequest& req, const QString& dir,
                                                QFileDialog::AcceptMode mode) {
  QFileDialog d(ActiveParent(), QString::fromStdString(req.title), dir,
                QString::fromStdString(ConvertFileFilter(req.filter)));
  d.setAcceptMode(mode);
  if (mode == QFileDialog::AcceptOpen) d.setFileMode(QFileDialog::ExistingFile);
  d.setDefaultSuffix(QString::fromStdString(req.defaultExtension));
  if (d.exec() != QDialog::Accepted || d.selectedFiles().isEmpty()) return std::nullopt;
  return d.selectedFiles().first().toStdString();
}

class QtDialogService final : public DialogService {
 public:
  MsgAnswer Message(const std::string& text, MsgButtons buttons, MsgIcon icon,
                    const std::string& title) override {
    QMessageBox box(ActiveParent());
    box.setWindowTitle(QString::fromStdString(title));
    box.setText(QString::fromStdString(text));
    switch (icon) {
      case MsgIcon::None: box.setIcon(QMessageBox::NoIcon); break;
      case MsgIcon::Exclamation: box.setIcon(QMessageBox::Warning); break;
      case MsgIcon::Question: box.setIcon(QMessageBox::Question); break;
      case MsgIcon::Information: box.setIcon(QMessageBox::Information); break;
      case MsgIcon::Critical: box.setIcon(QMessageBox::Critical); break;
    }
    QMessageBox::StandardButtons b = QMessageBox::Ok;
    switch (buttons) {
      case MsgButtons::OK: b = QMessageBox::Ok; break;
      case MsgButtons::OKCancel: b = QMessageBox::Ok | QMessageBox::Cancel; break;
      case MsgButtons::YesNo: b = QMessageBox::Yes | QMessageBox::No; break;
      case MsgButtons::YesNoCancel: b = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel; break;
    }
    box.setStandardButtons(b);
    switch (box.exec()) {
      case QMessageBox::Yes: return MsgAnswer::Yes;
      case QMessageBox::No: return MsgAnswer::No;
      case QMessageBox::Cancel: return MsgAnswer::Cancel;
      case QMessageBox::Ok: return MsgAnswer::OK;
      default: return SafeAnswer(buttons);  // closed without a button
    }
  }

  std::optional<std::string> Input(const std::string& prompt, const std::string& title,
                                   const std::string& defaultText) override {
    bool ok = false;
    QString t = QInputDialog::getText(ActiveParent(), QString::fromStdString(title), QString::fromStdString(prompt),
                                      QLineEdit::Normal, QString::fromStdString(defaultText), &ok);
    if (!ok) return std::nullopt;
    return t.toStdString();
  }

  std::optional<std::string> OpenFile(const FileDialogRequest& req) override {
    QString dir = QString::fromStdString(req.initialFolder);
    if (!req.fileName.empty()) dir = dir.isEmpty() ? QString::fromStdString(req.fileName)
                                                    : dir + "/" + QString::fromStdString(req.fileName);
    if (!req.defaultExtension.empty()) return WithDefaultExtension(req, dir, QFileDialog::AcceptOpen);
    QString p = QFileDialog::getOpenFileName(ActiveParent(), QString::fromStdString(req.title), dir,
                                             QString::fromStdString(ConvertFileFilter(req.filter)));
    if (p.isEmpty()) return std::nullopt;
    return p.toStdString();
  }

  std::optional<std::string> SaveFile(const FileDialogRequest& req) override {
    QString dir = QString::fromStdString(req.initialFolder);
    if (!req.fileName.empty()) dir = dir.isEmpty() ? QString::fromStdString(req.fileName)
                                                    : dir + "/" + QString::fromStdString(req.fileName);
    if (!req.defaultExtension.empty()) return WithDefaultExtension(req, dir, QFileDialog::AcceptSave);
    QString p = QFileDialog::getSaveFileName(ActiveParent(), QString::fromStdString(req.title), dir,
                                             QString::fromStdString(ConvertFileFilter(req.filter)));
    if (p.isEmpty()) return std::nullopt;
    return p.toStdString();
  }

  std::optional<ColourRef> PickColour(ColourRef initial) override {
    QColor c = QColorDialog::getColor(QColor(RedOf(initial), GreenOf(initial), BlueOf(initial)), ActiveParent());
    if (!c.isValid()) return std::nullopt;
    return RGB(c.red(), c.green(), c.blue());
  }

  int ShowModal(QDialog* dialog) override { return dialog->exec(); }
};

QtDialogService& QtService() {
  static QtDialogService s;
  return s;
}

DialogService* g_service = nullptr;

}  // namespace

void SetDialogService(DialogService* service) { g_service = service; }
DialogService& Dialogs() { return g_service ? *g_service : QtService(); }

namespace {
thread_local std::vector<KeptMessage>* t_kept = nullptr;
}  // namespace

MsgAnswer MsgBox(const std::string& text, MsgButtons buttons, MsgIcon icon, const std::string& title) {
  if (t_kept) {
    t_kept->push_back({text, buttons, icon, title});
    return SafeAnswer(buttons);
  }
  return Dialogs().Message(text, buttons, icon, title);
}

KeepMessages::KeepMessages(std::vector<KeptMessage>& into) : previous_(t_kept) { t_kept = &into; }
KeepMessages::~KeepMessages() { t_kept = previous_; }

void ShowKeptMessages(const std::vector<KeptMessage>& messages) {
  for (const KeptMessage& m : messages) MsgBox(m.text, m.buttons, m.icon, m.title);
}
std::optional<std::string> InputBox(const std::string& prompt, const std::string& title,
                                    const std::string& defaultText) {
  return Dialogs().Input(prompt, title, defaultText);
}
std::optional<std::string> FileOpenDialog(const FileDialogRequest& req) { return Dialogs().OpenFile(req); }
std::optional<std::string> FileSaveDialog(const FileDialogRequest& req) { return Dialogs().SaveFile(req); }
std::optional<ColourRef> ColourDialog(ColourRef initial) { return Dialogs().PickColour(initial); }
int ShowModal(QDialog* dialog) { return Dialogs().ShowModal(dialog); }

std::string ConvertFileFilter(const std::string& filter) {
  // Pairs of "description|pattern"; Qt shows the description, which already names the pattern.
  std::vector<std::string> parts;
  size_t start = 0;
  while (true) {
    size_t bar = filter.find('|', start);
    parts.push_back(filter.substr(start, bar == std::string::npos ? std::string::npos : bar - start));
    if (bar == std::string::npos) break;
    start = bar + 1;
  }
  std::string out;
  for (size_t i = 0; i < parts.size(); i += 2) {
    std::string desc = parts[i];
    std::string pat = i + 1 < parts.size() ? parts[i + 1] : "";
    for (char& c : pat)
      if (c == ';') c = ' ';
    std::string entry = desc;
    if (!pat.empty() && desc.find(pat) == std::string::npos) entry = desc + " (" + pat + ")";
    if (!out.empty()) out += ";;";
    out += entry;
  }
  return out;
}

}  // namespace zentor
