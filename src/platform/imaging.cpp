#include "platform/imaging.h"

#include <QImageWriter>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>
#include <QPrinterInfo>
#include <algorithm>

namespace zentor {

bool WriteJpegFile(const QImage& image, const std::string& path, int quality) {
  QImageWriter writer(QString::fromStdString(path), "jpeg");
  writer.setQuality(std::clamp(quality, 0, 100));
  return writer.write(image);
}

QRect LargestCentredSquare(const QRect& area) {
  const int side = std::max(0, std::min(area.width(), area.height()));
  return QRect(area.left() + (area.width() - side) / 2, area.top() + (area.height() - side) / 2, side, side);
}

bool PaintOnPage(QPagedPaintDevice& device, const QImage& image) {
  QPainter p;
  if (!p.begin(&device)) return false;
  // The painter's own coordinates are the printable area, in device pixels.
  const QRect page = p.viewport();
  p.setRenderHint(QPainter::SmoothPixmapTransform, true);
  p.drawImage(LargestCentredSquare(page), image);
  return p.end();
}

bool WritePdfFile(const QImage& image, const std::string& path) {
  QPdfWriter writer(QString::fromStdString(path));
  writer.setResolution(300);
  writer.setPageSize(QPageSize(QPageSize::A4));
  return PaintOnPage(writer, image);
}

namespace {

class SystemPrinters final : public PrinterService {
 public:
  bool HasDefaultPrinter() override { return !QPrinterInfo::defaultPrinter().isNull(); }
  bool PrintOnDefaultPrinter(const QImage& image) override {
    const QPrinterInfo info = QPrinterInfo::defaultPrinter();
    if (info.isNull()) return false;
    QPrinter printer(info, QPrinter::HighResolution);
    printer.setDocName("ZentorGraphic");
    return PaintOnPage(printer, image);
  }
};

PrinterService* g_printers = nullptr;

}  // namespace

void SetPrinterService(PrinterService* service) { g_printers = service; }

PrinterService& Printers() {
  static SystemPrinters system;
  return g_printers ? *g_printers : system;
}

}  // namespace zentor
