// Messages raised on a worker thread: a message box cannot be shown there, so
// while a KeepMessages lives on a thread, MsgBox on that thread keeps its message
// and gives the safe answer of its kind; the thread that started the work shows
// them afterwards, in the order they were raised.
#pragma once

#include <string>
#include <vector>

#include "platform/dialogs.h"

namespace zentor {

struct KeptMessage {
  std::string text;
  MsgButtons buttons = MsgButtons::OK;
  MsgIcon icon = MsgIcon::None;
  std::string title;
};

class KeepMessages {
 public:
  explicit KeepMessages(std::vector<KeptMessage>& into);
  ~KeepMessages();
  KeepMessages(const KeepMessages&) = delete;
  KeepMessages& operator=(const KeepMessages&) = delete;

 private:
  std::vector<KeptMessage>* previous_;
};

void ShowKeptMessages(const std::vector<KeptMessage>& messages);

}  // namespace zentor
