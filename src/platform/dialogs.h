// The one road to modal dialogs. Production shows Qt dialogs; tests install a
// scripted service that records every call and answers from a queue.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

class QDialog;
class QWidget;

namespace zentor {

enum class MsgButtons { OK, OKCancel, YesNo, YesNoCancel };
enum class MsgIcon { None, Exclamation, Question, Information, Critical };
enum class MsgAnswer { OK, Cancel, Yes, No };

constexpr const char* kDefaultTitle = "Zentor";

struct FileDialogRequest {
  std::string title;
  std::string filter;  // "desc (*.x)|*.x|desc2 (*.y)|*.y"
  std::string initialFolder;
  std::string fileName;  // preset
  std::string defaultExtension = {};  // added to a name typed without one ("cal")
};

// A colour as the settings store keeps it: red + 256 green + 65536 blue.
using ColourRef = int32_t;
constexpr ColourRef RGB(int r, int g, int b) { return r + 256 * g + 65536 * b; }
constexpr int RedOf(ColourRef c) { return c & 0xFF; }
constexpr int GreenOf(ColourRef c) { return (c >> 8) & 0xFF; }
constexpr int BlueOf(ColourRef c) { return (c >> 16) & 0xFF; }

class DialogService {
 public:
  virtual ~DialogService() = default;
  virtual MsgAnswer Message(const std::string& text, MsgButtons buttons, MsgIcon icon,
                            const std::string& title) = 0;
  // nullopt when cancelled.
  virtual std::optional<std::string> Input(const std::string& prompt, const std::string& title,
                                           const std::string& defaultText) = 0;
  virtual std::optional<std::string> OpenFile(const FileDialogRequest& req) = 0;
  virtual std::optional<std::string> SaveFile(const FileDialogRequest& req) = 0;
  virtual std::optional<ColourRef> PickColour(ColourRef initial) = 0;
  // Shows a window modally; returns the dialog's result code.
  virtual int ShowModal(QDialog* dialog) = 0;
  // Whether the existing file `path` may be replaced, asked as `text`: the windows ask
  // the user; the command line answers from the paths it checked itself.
  virtual MsgAnswer AskToReplace(const std::string& path, const std::string& text, MsgButtons buttons,
                                 MsgIcon icon, const std::string& title) {
    (void)path;
    return Message(text, buttons, icon, title);
  }
};

// Installs a service (tests); nullptr restores the Qt one.
void SetDialogService(DialogService* service);
DialogService& Dialogs();

MsgAnswer MsgBox(const std::string& text, MsgButtons buttons = MsgButtons::OK,
                 MsgIcon icon = MsgIcon::None, const std::string& title = kDefaultTitle);
std::optional<std::string> InputBox(const std::string& prompt, const std::string& title = kDefaultTitle,
                                    const std::string& defaultText = "");
std::optional<std::string> FileOpenDialog(const FileDialogRequest& req);
std::optional<std::string> FileSaveDialog(const FileDialogRequest& req);
std::optional<ColourRef> ColourDialog(ColourRef initial);
int ShowModal(QDialog* dialog);

// "desc (*.x)|*.x|..." to Qt's "desc (*.x);;..."
std::string ConvertFileFilter(const std::string& filter);

}  // namespace zentor
