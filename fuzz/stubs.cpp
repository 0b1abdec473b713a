// What a reader's code reaches above its layer, which a fuzz run has no window or
// settings store for: the message box answers as its default button would; the
// FFT's wisdom file is never reached, and the run stops there if it is.
#include <cstdlib>

#include "platform/dialogs.h"
#include "platform/settings.h"

namespace zentor {

MsgAnswer MsgBox(const std::string&, MsgButtons, MsgIcon, const std::string&) { return MsgAnswer::OK; }
std::string SettingsFilePath(const std::string&) { std::abort(); }

}  // namespace zentor
