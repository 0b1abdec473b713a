// A graph's picture saved as a JPEG file or printed: the picture in the whole
// drawing space (1200 x 1200), whatever the size of its window. Also saved as a
// PNG image or an SVG drawing at the size the window shows it.
#pragma once

#include <optional>
#include <string>

namespace zentor {

class PictureBox;

// The file the export writes for the name chosen in the save dialog, with ".jpg"
// (SaveFileName); nullopt for a name that is only an extension.
std::optional<std::string> JpegExportName(const std::string& chosen);

// Asks the file name and writes the picture as a JPEG file at quality 90. A
// cancelled dialog ends quietly; a file that cannot be written is reported.
void ExportPictureAsJpeg(const PictureBox& picture);

// The file an export writes for the name chosen, with the extension given.
std::optional<std::string> PictureExportName(const std::string& chosen, const std::string& extension);

// Ask the file name and write the picture as a PNG image or an SVG drawing. A
// cancelled dialog ends quietly; a file that cannot be written is reported.
void ExportPictureAsPng(const PictureBox& picture);
void ExportPictureAsSvg(const PictureBox& picture);

// Prints the picture on the default printer without a dialog; with no printer
// installed, into a PDF file whose name is asked. A failure is reported.
void PrintPicture(const PictureBox& picture);

}  // namespace zentor
