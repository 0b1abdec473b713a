#include "display/graph_export.h"

#include <functional>
#include <optional>

#include "core/helpers.h"
#include "platform/dialogs.h"
#include "platform/forms.h"
#include "platform/imaging.h"
#include "platform/picture.h"

namespace zentor {

namespace {
constexpr int kJpegQuality = 90;
}

std::optional<std::string> JpegExportName(const std::string& chosen) { return PictureExportName(chosen, "jpg"); }

std::optional<std::string> PictureExportName(const std::string& chosen, const std::string& extension) {
  return SaveFileName(chosen, extension);
}

namespace {

// Asks the name of a "ZentorGraphic.<extension>" file and writes it.
void ExportPicture(const std::string& extension, const std::string& kind,
                   const std::function<bool(const std::string&)>& write) {
  FileDialogRequest req;
  req.fileName = "ZentorGraphic." + extension;
  req.title = "Save *." + extension + " File";
  req.filter = kind + " Graphic Export (*." + extension + ")|*." + extension;
  const std::optional<std::string> chosen = FileSaveDialog(req);
  if (!chosen || chosen->empty()) return;
  const std::optional<std::string> named = SaveFileNameAsked(*chosen, extension);
  if (!named) return;
  const std::string& name = *named;
  bool written = false;
  {
    WaitCursor hourglass;
    written = write(name);
  }
  if (!written) MsgBox("Error 4977: Error writing file " + name);
}

}  // namespace

void ExportPictureAsPng(const PictureBox& picture) {
  ExportPicture("png", "PNG", [&](const std::string& name) { return WritePngFile(picture.ViewSizeImage(), name); });
}

void ExportPictureAsSvg(const PictureBox& picture) {
  ExportPicture("svg", "SVG", [&](const std::string& name) { return WriteSvgFile(picture, name); });
}

void ExportPictureAsJpeg(const PictureBox& picture) {
  FileDialogRequest req;
  req.fileName = "ZentorGraphic.jpg";
  req.title = "Save *.jpg File";
  req.filter = "JPG Graphic Export (*.jpg)|*.jpg";
  const std::optional<std::string> chosen = FileSaveDialog(req);
  if (!chosen || chosen->empty()) return;
  const std::optional<std::string> named = SaveFileNameAsked(*chosen, "jpg");
  if (!named) return;
  const std::string& name = *named;
  bool written = false;
  {
    WaitCursor hourglass;
    written = WriteJpegFile(picture.DrawingSpaceImage(), name, kJpegQuality);
  }
  if (!written) MsgBox("Error 4977: Error writing file " + name);
}

void PrintPicture(const PictureBox& picture) {
  PrinterService& printers = Printers();
  bool printed = false;
  if (printers.HasDefaultPrinter()) {
    WaitCursor hourglass;
    printed = printers.PrintOnDefaultPrinter(picture.DrawingSpaceImage());
  } else {
    FileDialogRequest req;
    req.fileName = "ZentorGraphic.pdf";
    req.title = "Save *.pdf File";
    req.filter = "PDF File (*.pdf)|*.pdf";
    const std::optional<std::string> chosen = FileSaveDialog(req);
    if (!chosen || chosen->empty()) return;
    const std::optional<std::string> named = SaveFileNameAsked(*chosen, "pdf");
    if (!named) return;
    WaitCursor hourglass;
    printed = WritePdfFile(picture.DrawingSpaceImage(), *named);
  }
  if (!printed) MsgBox("Error 4978: Error printing graph");
}

}  // namespace zentor
