// Test double of the dialog seam: records every call and answers from a queue.
// A call with nothing queued fails the running test and names the message.
#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "platform/dialogs.h"

namespace zentor::test {

struct DialogCall {
  enum Kind { Message, Input, OpenFile, SaveFile, Colour, Modal } kind;
  std::string text;   // message text or input prompt
  std::string title;  // box title or file dialog title
  MsgButtons buttons = MsgButtons::OK;
  MsgIcon icon = MsgIcon::None;
  std::string filter;
  std::string initialFolder;
  std::string fileName;
  std::string dialogClass;  // Modal: the window's class name
  std::string defaultExtension;
};

class ScriptedDialogs final : public DialogService {
 public:
  ScriptedDialogs();
  ~ScriptedDialogs() override;

  // Answers, consumed in order by the next call of the matching kind.
  void ExpectMessage(MsgAnswer a = MsgAnswer::OK) { messages_.push_back(a); }
  void ExpectInput(std::optional<std::string> a) { inputs_.push_back(std::move(a)); }
  void ExpectOpenFile(std::optional<std::string> a) { opens_.push_back(std::move(a)); }
  void ExpectSaveFile(std::optional<std::string> a) { saves_.push_back(std::move(a)); }
  void ExpectColour(std::optional<ColourRef> a) { colours_.push_back(a); }
  // A modal window: the callback runs while it is "shown" and gives its result.
  void ExpectModal(std::function<int(QDialog*)> f) { modals_.push_back(std::move(f)); }

  // Message boxes that `f` picks are answered OK and not recorded: what a run may
  // say or not depending on the machine's load (nullptr: none).
  void Tolerate(std::function<bool(const std::string&)> f) { tolerated_ = std::move(f); }

  const std::vector<DialogCall>& calls() const { return calls_; }
  std::vector<std::string> MessageTexts() const;
  // Answers queued but never asked for.
  size_t Unused() const;
  void Clear();

  MsgAnswer Message(const std::string& text, MsgButtons buttons, MsgIcon icon, const std::string& title) override;
  std::optional<std::string> Input(const std::string& prompt, const std::string& title,
                                   const std::string& defaultText) override;
  std::optional<std::string> OpenFile(const FileDialogRequest& req) override;
  std::optional<std::string> SaveFile(const FileDialogRequest& req) override;
  std::optional<ColourRef> PickColour(ColourRef initial) override;
  int ShowModal(QDialog* dialog) override;

 private:
  std::vector<DialogCall> calls_;
  std::function<bool(const std::string&)> tolerated_;
  std::deque<MsgAnswer> messages_;
  std::deque<std::optional<std::string>> inputs_, opens_, saves_;
  std::deque<std::optional<ColourRef>> colours_;
  std::deque<std::function<int(QDialog*)>> modals_;
};

}  // namespace zentor::test
