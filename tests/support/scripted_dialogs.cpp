#include "support/scripted_dialogs.h"

#include <gtest/gtest.h>

#include <QDialog>

namespace zentor::test {

ScriptedDialogs::ScriptedDialogs() { SetDialogService(this); }
ScriptedDialogs::~ScriptedDialogs() { SetDialogService(nullptr); }

std::vector<std::string> ScriptedDialogs::MessageTexts() const {
  std::vector<std::string> out;
  for (const auto& c : calls_)
    if (c.kind == DialogCall::Message) out.push_back(c.text);
  return out;
}

size_t ScriptedDialogs::Unused() const {
  return messages_.size() + inputs_.size() + opens_.size() + saves_.size() + colours_.size() + modals_.size();
}

void ScriptedDialogs::Clear() {
  calls_.clear();
  messages_.clear();
  inputs_.clear();
  opens_.clear();
  saves_.clear();
  colours_.clear();
  modals_.clear();
}

namespace {

// The next queued answer, or `none` and a failure naming the call when nothing is queued.
template <class Queue, class Answer>
Answer Next(Queue& q, Answer none, const std::string& call) {
  if (q.empty()) {
    ADD_FAILURE() << "unscripted " << call;
    return none;
  }
  Answer a = std::move(q.front());
  q.pop_front();
  return a;
}

}  // namespace

MsgAnswer ScriptedDialogs::Message(const std::string& text, MsgButtons buttons, MsgIcon icon,
                                   const std::string& title) {
  if (tolerated_ && tolerated_(text)) return MsgAnswer::OK;
  calls_.push_back({DialogCall::Message, text, title, buttons, icon, {}, {}, {}, {}, {}});
  return Next(messages_, buttons == MsgButtons::OK ? MsgAnswer::OK : MsgAnswer::Cancel,
              "message box: \"" + text + "\" (title \"" + title + "\")");
}

std::optional<std::string> ScriptedDialogs::Input(const std::string& prompt, const std::string& title,
                                                  const std::string& defaultText) {
  calls_.push_back({DialogCall::Input, prompt, title, MsgButtons::OK, MsgIcon::None, {}, {}, defaultText, {}, {}});
  return Next(inputs_, std::optional<std::string>(), "input box: \"" + prompt + "\"");
}

std::optional<std::string> ScriptedDialogs::OpenFile(const FileDialogRequest& req) {
  calls_.push_back({DialogCall::OpenFile, {}, req.title, MsgButtons::OK, MsgIcon::None, req.filter,
                    req.initialFolder, req.fileName, {}, req.defaultExtension});
  return Next(opens_, std::optional<std::string>(), "file-open dialog: \"" + req.title + "\"");
}

std::optional<std::string> ScriptedDialogs::SaveFile(const FileDialogRequest& req) {
  calls_.push_back({DialogCall::SaveFile, {}, req.title, MsgButtons::OK, MsgIcon::None, req.filter,
                    req.initialFolder, req.fileName, {}, req.defaultExtension});
  return Next(saves_, std::optional<std::string>(), "file-save dialog: \"" + req.title + "\"");
}

std::optional<ColourRef> ScriptedDialogs::PickColour(ColourRef initial) {
  calls_.push_back({DialogCall::Colour, std::to_string(initial), {}, MsgButtons::OK, MsgIcon::None, {}, {}, {}, {}, {}});
  return Next(colours_, std::optional<ColourRef>(), "colour dialog");
}

int ScriptedDialogs::ShowModal(QDialog* dialog) {
  calls_.push_back({DialogCall::Modal, {}, dialog->windowTitle().toStdString(), MsgButtons::OK, MsgIcon::None, {},
                    {}, {}, dialog->metaObject()->className(), {}});
  const auto show = Next(modals_, std::function<int(QDialog*)>(),
                         std::string("modal window: ") + dialog->metaObject()->className());
  return show ? show(dialog) : QDialog::Rejected;
}

}  // namespace zentor::test
