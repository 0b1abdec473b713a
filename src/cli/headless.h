// The command line runs the windows' own code without a desktop: the offscreen
// platform, the main window created and loaded but never shown, and a dialog
// service that prints what a window would show and answers as its default
// button would, replacing only the files the command checked itself.
#pragma once

#include <QDialog>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/dialogs.h"

class QApplication;

namespace zentor {
class DataPlotter;
}

namespace zentor::cli {

class HeadlessDialogs final : public DialogService {
 public:
  HeadlessDialogs() = default;

  // The next file dialog (open or save) answers this path.
  void QueueFile(std::string path) { files_.push_back(std::move(path)); }
  // Files the command checked itself: a window's question whether to replace one
  // of these is answered Yes, for any other file No.
  void MayReplace(const std::vector<std::string>& paths) { replaceable_ = paths; }
  // The next modal window is handed to this instead of being shown.
  void QueueModal(std::function<int(QDialog*)> f) { modals_.push_back(std::move(f)); }
  // Messages from here on are kept back, neither printed nor counted, until
  // ReleaseMessages prints those `drop` does not take and ends the holding.
  void HoldMessages() { holding_ = true; }
  void ReleaseMessages(const std::function<bool(const std::string&)>& drop);
  // Every message shown so far, in order.
  const std::vector<std::string>& Messages() const { return messages_; }
  std::string LastMessage() const { return messages_.empty() ? std::string() : messages_.back(); }

  MsgAnswer Message(const std::string& text, MsgButtons buttons, MsgIcon icon, const std::string& title) override;
  std::optional<std::string> Input(const std::string& prompt, const std::string& title,
                                   const std::string& defaultText) override;
  std::optional<std::string> OpenFile(const FileDialogRequest& req) override;
  std::optional<std::string> SaveFile(const FileDialogRequest& req) override;
  std::optional<ColourRef> PickColour(ColourRef) override { return std::nullopt; }
  int ShowModal(QDialog* dialog) override;
  MsgAnswer AskToReplace(const std::string& path, const std::string& text, MsgButtons buttons, MsgIcon icon,
                         const std::string& title) override;

 private:
  std::vector<std::string> replaceable_;
  std::deque<std::string> files_;
  std::deque<std::function<int(QDialog*)>> modals_;
  std::vector<std::string> messages_;
  std::vector<std::string> held_;
  bool holding_ = false;
  void Say(const std::string& text);
};

// One line "zentor: TEXT" on standard error.
void SayOnStderr(const std::string& text);

// Progress on standard error, only when it is a terminal.
class Progress {
 public:
  Progress();
  ~Progress();
  void Show(const std::string& text);

 private:
  bool terminal_;
  bool shown_ = false;
};

class HeadlessSession {
 public:
  // withMainWindow: create and load the main window with its links (every
  // command but describe needs it).
  explicit HeadlessSession(bool withMainWindow);
  ~HeadlessSession();
  HeadlessSession(const HeadlessSession&) = delete;
  HeadlessSession& operator=(const HeadlessSession&) = delete;

  HeadlessDialogs& Dialogs() { return dialogs_; }
  DataPlotter& Main() { return *main_; }
  // Runs the event loop until `done` is true, calling `tick` now and then.
  void RunUntil(const std::function<bool()>& done, const std::function<void()>& tick = {});

 private:
  std::unique_ptr<QApplication> app_;
  HeadlessDialogs dialogs_;
  DataPlotter* main_ = nullptr;
};

}  // namespace zentor::cli
