#include "platform/imaging.h"

#include <QBuffer>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QSvgGenerator>
#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <span>

#include <jpeglib.h>

#include "base/atomic_file.h"
#include "platform/picture.h"

namespace zentor {

namespace {

// The library reports a fault by calling error_exit, which must not return.
struct JpegErrors {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
};

[[noreturn]] void LeaveEncoder(j_common_ptr info) { std::longjmp(reinterpret_cast<JpegErrors*>(info->err)->jump, 1); }

void NoMessage(j_common_ptr) {}

// Encodes 8-bit RGB rows into a buffer the library allocates (freed by the
// caller). Only plain data lives across the jump.
bool EncodeJpeg(const QImage& rgb, int quality, unsigned char** out, unsigned long* size) {
  jpeg_compress_struct info{};
  JpegErrors errors{};
  info.err = jpeg_std_error(&errors.manager);
  errors.manager.error_exit = LeaveEncoder;
  errors.manager.output_message = NoMessage;
  if (setjmp(errors.jump)) {
    jpeg_destroy_compress(&info);
    return false;
  }
  jpeg_create_compress(&info);
  jpeg_mem_dest(&info, out, size);
  info.image_width = static_cast<JDIMENSION>(rgb.width());
  info.image_height = static_cast<JDIMENSION>(rgb.height());
  info.input_components = 3;
  info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, quality, TRUE);
  // Colour at full resolution: halved, a one-pixel coloured curve fades into
  // the background.
  for (int c = 0; c < info.num_components; ++c) info.comp_info[c].h_samp_factor = info.comp_info[c].v_samp_factor = 1;
  jpeg_start_compress(&info, TRUE);
  while (info.next_scanline < info.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(rgb.constScanLine(static_cast<int>(info.next_scanline)));
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  return true;
}

}  // namespace

bool WriteJpegFile(const QImage& image, const std::string& path, int quality) {
  if (image.isNull()) return false;
  const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
  unsigned char* data = nullptr;
  unsigned long size = 0;
  const bool encoded = EncodeJpeg(rgb, std::clamp(quality, 0, 100), &data, &size);
  const std::unique_ptr<unsigned char, void (*)(void*)> hold(data, std::free);
  if (!encoded || !data) return false;
  // Written whole or not at all.
  return WriteWholeFileAtomic(path, std::span<const uint8_t>(data, static_cast<size_t>(size)));
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
  // Made in memory, then written whole or not at all.
  QByteArray pdf;
  {
    QBuffer buffer(&pdf);
    if (!buffer.open(QIODevice::WriteOnly)) return false;
    QPdfWriter writer(&buffer);
    writer.setResolution(300);
    writer.setPageSize(QPageSize(QPageSize::A4));
    if (!PaintOnPage(writer, image)) return false;
  }
  if (pdf.isEmpty()) return false;
  return WriteWholeFileAtomic(path, std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(pdf.constData()),
                                                             static_cast<size_t>(pdf.size())));
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

bool WritePngFile(const QImage& image, const std::string& path) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  if (image.isNull() || !buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "PNG")) return false;
  return WriteWholeFileAtomic(path, std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())));
}

QByteArray PictureAsSvg(const PictureBox& picture) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  if (!buffer.open(QIODevice::WriteOnly)) return {};
  const QSize size = picture.ViewSize();
  QSvgGenerator svg;
  svg.setOutputDevice(&buffer);
  svg.setSize(size);
  svg.setViewBox(QRect(QPoint(0, 0), size));
  svg.setResolution(96);  // the screen's, so the drawing opens at the size it had there
  svg.setTitle("Zentor graph");
  svg.setDescription("Made by Zentor");
  QPainter p;
  if (!p.begin(&svg)) return {};
  const ColourRef back = picture.BackColor();
  p.fillRect(QRect(QPoint(0, 0), size), QColor(RedOf(back), GreenOf(back), BlueOf(back)));
  p.setWindow(0, 0, kDrawingSpace, kDrawingSpace);
  p.setViewport(0, 0, size.width(), size.height());
  picture.PaintKeptDrawing(p);
  p.end();
  return bytes;
}

bool WriteSvgFile(const PictureBox& picture, const std::string& path) {
  const QByteArray bytes = PictureAsSvg(picture);
  if (bytes.isEmpty()) return false;
  return WriteWholeFileAtomic(path, std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())));
}

}  // namespace zentor
