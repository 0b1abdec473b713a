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

MsgAnswer ScriptedDialogs::Message(const std::string& text, MsgButtons buttons, MsgIcon icon,
                                   const std::string& title) {
  calls_.push_back({DialogCall::Message, text, title, buttons, icon, {}, {}, {}, {}, {}});
  if (messages_.empty()) {
    ADD_FAILURE() << "unscripted message box: \"" << text << "\" (title \"" << title << "\")";
    return buttons == MsgButtons::OK ? MsgAnswer::OK : MsgAnswer::Cancel;
  }
  MsgAnswer a = messages_.front();
  messages_.pop_front();
  return a;
}

std::optional<std::string> ScriptedDialogs::Input(const std::string& prompt, const std::string& title,
                                                  const std::string& defaultText) {
  calls_.push_back({DialogCall::Input, prompt, title, MsgButtons::OK, MsgIcon::None, {}, {}, defaultText, {}, {}});
  if (inputs_.empty()) {
    ADD_FAILURE() << "unscripted input box: \"" << prompt << "\"";
    return std::nullopt;
  }
  auto a = inputs_.front();
  inputs_.pop_front();
  return a;
}

std::optional<std::string> ScriptedDialogs::OpenFile(const FileDialogRequest& req) {
  calls_.push_back({DialogCall::OpenFile, {}, req.title, MsgButtons::OK, MsgIcon::None, req.filter,
                    req.initialFolder, req.fileName, {}, req.defaultExtension});
  if (opens_.empty()) {
    ADD_FAILURE() << "unscripted file-open dialog: \"" << req.title << "\"";
    return std::nullopt;
  }
  auto a = opens_.front();
  opens_.pop_front();
  return a;
}

std::optional<std::string> ScriptedDialogs::SaveFile(const FileDialogRequest& req) {
  calls_.push_back({DialogCall::SaveFile, {}, req.title, MsgButtons::OK, MsgIcon::None, req.filter,
                    req.initialFolder, req.fileName, {}, req.defaultExtension});
  if (saves_.empty()) {
    ADD_FAILURE() << "unscripted file-save dialog: \"" << req.title << "\"";
    return std::nullopt;
  }
  auto a = saves_.front();
  saves_.pop_front();
  return a;
}

std::optional<ColourRef> ScriptedDialogs::PickColour(ColourRef initial) {
  calls_.push_back({DialogCall::Colour, std::to_string(initial), {}, MsgButtons::OK, MsgIcon::None, {}, {}, {}, {}, {}});
  if (colours_.empty()) {
    ADD_FAILURE() << "unscripted colour dialog";
    return std::nullopt;
  }
  auto a = colours_.front();
  colours_.pop_front();
  return a;
}

int ScriptedDialogs::ShowModal(QDialog* dialog) {
  calls_.push_back({DialogCall::Modal, {}, dialog->windowTitle().toStdString(), MsgButtons::OK, MsgIcon::None, {},
                    {}, {}, dialog->metaObject()->className(), {}});
  if (modals_.empty()) {
    ADD_FAILURE() << "unscripted modal window: " << dialog->metaObject()->className();
    return QDialog::Rejected;
  }
  auto f = std::move(modals_.front());
  modals_.pop_front();
  return f(dialog);
}

}  // namespace zentor::test
