#include "cli/headless.h"

#include <QApplication>
#include <QThread>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

#include "app/window_links.h"
#include "base/binary_io.h"
#include "core/helpers.h"
#include "mainwindow/data_plotter.h"
#include "platform/forms.h"
#include "platform/picture.h"
#include "platform/settings.h"

namespace zentor::cli {

namespace {

// Qt's own warnings (fonts, the offscreen plug-in) are not the program's messages.
void QuietQt(QtMsgType, const QMessageLogContext&, const QString&) {}

int g_argc = 1;
char g_arg0[] = "zentor";
char* g_argv[] = {g_arg0, nullptr};

}  // namespace

void SayOnStderr(const std::string& text) {
  std::string line = text;
  for (char& c : line)
    if (c == '\n' || c == '\r') c = ' ';
  std::fprintf(stderr, "zentor: %s\n", PrintableText(line).c_str());
  std::fflush(stderr);
}

void HeadlessDialogs::Say(const std::string& text) {
  if (holding_) {
    held_.push_back(text);
    return;
  }
  messages_.push_back(text);
  SayOnStderr(text);
}

void HeadlessDialogs::ReleaseMessages(const std::function<bool(const std::string&)>& drop) {
  holding_ = false;
  for (const std::string& text : held_)
    if (!drop(text)) Say(text);
  held_.clear();
}

MsgAnswer HeadlessDialogs::Message(const std::string& text, MsgButtons buttons, MsgIcon, const std::string&) {
  Say(text);
  if (buttons == MsgButtons::OK || buttons == MsgButtons::OKCancel) return MsgAnswer::OK;
  return MsgAnswer::Yes;
}

MsgAnswer HeadlessDialogs::AskToReplace(const std::string& path, const std::string& text, MsgButtons buttons,
                                        MsgIcon, const std::string&) {
  for (const std::string& checked : replaceable_)
    if (SameFile(path, checked)) return MsgAnswer::Yes;
  Say(text);
  return buttons == MsgButtons::YesNo ? MsgAnswer::No : MsgAnswer::Cancel;
}

std::optional<std::string> HeadlessDialogs::Input(const std::string&, const std::string&,
                                                  const std::string& defaultText) {
  return defaultText;
}

std::optional<std::string> HeadlessDialogs::OpenFile(const FileDialogRequest&) {
  if (files_.empty()) return std::nullopt;
  std::string path = std::move(files_.front());
  files_.pop_front();
  return path;
}

std::optional<std::string> HeadlessDialogs::SaveFile(const FileDialogRequest& req) { return OpenFile(req); }

int HeadlessDialogs::ShowModal(QDialog* dialog) {
  if (modals_.empty()) return QDialog::Rejected;
  auto f = std::move(modals_.front());
  modals_.pop_front();
  return f(dialog);
}

Progress::Progress() : terminal_(isatty(STDERR_FILENO) == 1) {}

Progress::~Progress() {
  if (shown_) std::fputs("\r\033[K", stderr);
}

void Progress::Show(const std::string& text) {
  if (!terminal_) return;
  std::fprintf(stderr, "\r\033[K%s", text.c_str());
  std::fflush(stderr);
  shown_ = true;
}

HeadlessSession::HeadlessSession(bool withMainWindow) {
  qInstallMessageHandler(QuietQt);
  if (QCoreApplication::instance() == nullptr) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    app_ = std::make_unique<QApplication>(g_argc, g_argv);
    QApplication::setApplicationName("Zentor");
    ReleaseVectorUpperState();
  }
  SetSettingsReadOnly(true);
  SetDialogService(&dialogs_);
  if (!withMainWindow) return;
  main_ = new DataPlotter();
  Forms::Adopt(main_);
  InstallWindowLinks();
  main_->RefreshLinkedControls();
  main_->Form_Load();
}

HeadlessSession::~HeadlessSession() {
  Forms::DeleteAll();
  SetDialogService(nullptr);
  SetSettingsReadOnly(false);
  qInstallMessageHandler(nullptr);
}

void HeadlessSession::RunUntil(const std::function<bool()>& done, const std::function<void()>& tick) {
  while (!done()) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    QThread::msleep(5);
    if (tick) tick();
  }
}

}  // namespace zentor::cli
