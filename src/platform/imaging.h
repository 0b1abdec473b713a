// The imaging seam: a picture written as a JPEG, PNG or SVG file, printed on the system's
// default printer, or printed into a PDF file. Production prints through Qt's
// printer; tests install a printer double.
#pragma once

#include <QImage>
#include <QRect>
#include <string>

class QPagedPaintDevice;

namespace zentor {

class PictureBox;

// Writes the image as a JPEG file at the quality given (0 to 100), colour at
// full resolution; false when the file could not be written (none is left).
bool WriteJpegFile(const QImage& image, const std::string& path, int quality);

// Writes the image as a PNG file, lossless; false when it could not be written.
bool WritePngFile(const QImage& image, const std::string& path);

// Writes the picture's drawing as an SVG file at the picture's size on screen:
// lines and curves as paths, text as text. False when it could not be written.
bool WriteSvgFile(const PictureBox& picture, const std::string& path);
// The SVG text itself.
QByteArray PictureAsSvg(const PictureBox& picture);

// The largest square centred in the area: where a printed picture goes.
QRect LargestCentredSquare(const QRect& area);

// Paints the image over the largest centred square of the device's page; false
// when the device cannot be painted on.
bool PaintOnPage(QPagedPaintDevice& device, const QImage& image);

// Writes the image as a one-page PDF file; false when it could not be written.
bool WritePdfFile(const QImage& image, const std::string& path);

class PrinterService {
 public:
  virtual ~PrinterService() = default;
  // False when the system has no printer.
  virtual bool HasDefaultPrinter() = 0;
  // Prints the image on the default printer, one page; false when printing failed.
  virtual bool PrintOnDefaultPrinter(const QImage& image) = 0;
};

// Installs a printer service (tests); nullptr restores the system's one.
void SetPrinterService(PrinterService* service);
PrinterService& Printers();

}  // namespace zentor
