#include "platform/picture.h"

#include "platform/worker_threads.h"

#include <QFont>
#include <QMouseEvent>
#include <QFontMetricsF>
#include <QPaintEvent>
#include <QPainter>
#include <QPolygon>
#include <QTransform>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <map>
#include <thread>
#include <vector>

namespace zentor {

void ReleaseVectorUpperState() {
#if defined(__x86_64__) && defined(__GNUC__)
  static const bool avx = __builtin_cpu_supports("avx");
  if (avx) __asm__ volatile("vzeroupper" ::: "memory");
#endif
}

namespace {

QColor ToQColor(ColourRef c) { return QColor(RedOf(c), GreenOf(c), BlueOf(c)); }

QPoint ToQPoint(DrawPoint p) { return QPoint(p.x, p.y); }

QPolygon ToQPolygon(std::span<const DrawPoint> points) {
  QPolygon poly(static_cast<int>(points.size()));
  for (size_t i = 0; i < points.size(); ++i) poly.setPoint(static_cast<int>(i), points[i].x, points[i].y);
  return poly;
}

// The text face measured once at a large size; drawing scales it to the recipe's
// cell height and average character width.
struct FaceMetrics {
  QFont font;
  double ascent = 0;
  double cellHeight = 1;
  double averageWidth = 1;
};

const FaceMetrics& Face() {
  static const FaceMetrics face = [] {
    FaceMetrics m;
    m.font.setStyleHint(QFont::SansSerif);
    m.font.setPixelSize(100);
    m.font.setWeight(QFont::Normal);
    QFontMetricsF fm(m.font);
    m.ascent = fm.ascent();
    m.cellHeight = std::max(1.0, fm.ascent() + fm.descent());
    m.averageWidth = std::max(1.0, fm.averageCharWidth());
    return m;
  }();
  return face;
}

// The drawing itself, shared by the picture on screen and its replay.
void SetPen(QPainter& p, const Pen& pen, DrawMode mode) {
  p.setCompositionMode(mode == DrawMode::XorPen ? QPainter::RasterOp_SourceXorDestination
                                                : QPainter::CompositionMode_SourceOver);
  QPen qp(ToQColor(pen.colour));
  qp.setCosmetic(true);
  qp.setWidth(1);
  qp.setStyle(pen.style == PenStyle::Dash ? Qt::DashLine : Qt::SolidLine);
  p.setPen(qp);
  p.setBrush(Qt::NoBrush);
}

void PaintRectangle(QPainter& p, DrawPoint a, DrawPoint b, std::optional<ColourRef> fill) {
  if (fill) p.setBrush(ToQColor(*fill));
  // The outline runs through a and b-1, so the filled area is a..b-1.
  int x1 = std::min(a.x, b.x), x2 = std::max(a.x, b.x) - 1;
  int y1 = std::min(a.y, b.y), y2 = std::max(a.y, b.y) - 1;
  if (x2 < x1 || y2 < y1) return;
  // A stroked QRect spans its width plus one pixel.
  p.drawRect(QRect(x1, y1, x2 - x1, y2 - y1));
}

void PaintPolyline(QPainter& p, std::span<const DrawPoint> points) {
  if (points.size() >= 2) p.drawPolyline(ToQPolygon(points));
}

// A curve standing on its baseline: it starts and ends there, runs left to right and
// never dips below it. Inside is then what lies between the curve and the baseline.
bool IsCurveOverBase(std::span<const DrawPoint> points) {
  const size_t n = points.size();
  if (n < 3) return false;
  const int32_t base = points[0].y;
  if (points[n - 1].y != base || points[n - 2].y != base) return false;
  for (size_t i = 0; i < n; ++i) {
    if (points[i].y > base) return false;
    if (i > 0 && points[i].x < points[i - 1].x) return false;
  }
  return true;
}

// The image the painter draws on when it puts plain opaque pixels there, scaled
// without turning or mirroring; otherwise null. A shared image is left to the painter,
// which holds on to the pixels it was given.
QImage* PlainImage(QPainter& p) {
  if (p.device() == nullptr || p.device()->devType() != QInternal::Image) return nullptr;
  auto* image = static_cast<QImage*>(p.device());
  if (!image->isDetached() || image->format() != QImage::Format_RGB32 ||
      p.compositionMode() != QPainter::CompositionMode_SourceOver || p.hasClipping() ||
      p.testRenderHint(QPainter::Antialiasing))
    return nullptr;
  const QTransform t = p.combinedTransform();
  if (t.type() > QTransform::TxScale || !(t.m11() > 0) || !(t.m22() > 0)) return nullptr;
  return image;
}

int FloorToInt(double v) {
  const auto i = static_cast<int>(v);
  return i - (v < i ? 1 : 0);
}

}  // namespace

// A curve over its baseline waiting for the image: its points in device pixels,
// its fill, its pen, and the pixels its outline sets, as runs down the columns.
struct PendingCurve {
  struct Run {
    int column, first, last;  // rows first..last
  };
  std::vector<QPointF> device;
  QRgb fill = 0;
  QPen pen;
  std::vector<Run> runs;
};

namespace {

struct CurveScratch {
  std::vector<QPointF> device;  // the points where the painter puts them
  std::vector<int> firstRow, byRow, rowEnd, runEnd, runStart, runs, slot;
  std::vector<char> filled;
  std::vector<QPointF> outline;
};

CurveScratch& Scratch() {
  thread_local CurveScratch scratch;
  return scratch;
}

// Fills a curve over its baseline (in device pixels) row by row, where the general
// scan conversion spends its time on every wiggle of the curve. A pixel is filled when
// its centre lies inside, as with the painter; the two can differ only for a centre on
// the outline itself, which the pen draws over afterwards.
void FillCurveOverBase(QImage& image, std::span<const QPointF> curve, QRgb colour) {
  CurveScratch& s = Scratch();
  const double baseY = curve.front().y();
  const int firstColumn = std::max(0, FloorToInt(curve.front().x() - 0.5) + 1);
  const int lastColumn = std::min(image.width() - 1, -FloorToInt(0.5 - curve.back().x()) - 1);
  const int lastRow = std::min(image.height() - 1, -FloorToInt(0.5 - baseY) - 1);
  if (firstColumn > lastColumn || lastRow < 0) return;

  // The first row in each column whose centre lies below the curve.
  const int columns = lastColumn - firstColumn + 1;
  s.firstRow.resize(size_t(columns));
  int topRow = lastRow + 1;
  size_t j = 0;
  for (int c = 0; c < columns; ++c) {
    const double x = firstColumn + c + 0.5;
    while (j + 2 < curve.size() && curve[j + 1].x() < x) ++j;
    const QPointF a = curve[j], b = curve[j + 1];
    const double y = b.x() > a.x() ? a.y() + (b.y() - a.y()) * ((x - a.x()) / (b.x() - a.x())) : a.y();
    const int row = std::max(0, FloorToInt(y - 0.5) + 1);
    s.firstRow[size_t(c)] = row;
    topRow = std::min(topRow, row);
  }
  if (topRow > lastRow) return;

  // Columns in the order they start, by counting.
  const auto rows = size_t(lastRow - topRow + 1);
  s.rowEnd.assign(rows + 1, 0);
  for (const int row : s.firstRow)
    if (row <= lastRow) ++s.rowEnd[size_t(row - topRow) + 1];
  for (size_t r = 1; r <= rows; ++r) s.rowEnd[r] += s.rowEnd[r - 1];
  s.byRow.resize(size_t(s.rowEnd[rows]));
  for (int c = 0; c < columns; ++c) {
    const int row = s.firstRow[size_t(c)];
    if (row <= lastRow) s.byRow[size_t(s.rowEnd[size_t(row - topRow)]++)] = c + 1;
  }

  // Going down, a column once filled stays filled to the baseline, so the runs of
  // filled columns only grow and merge; each row is then a few solid runs. Columns are
  // counted from 1, with a free one on either side.
  const auto size = size_t(columns) + 2;
  s.runEnd.assign(size, 0);
  s.runStart.assign(size, 0);
  s.slot.assign(size, 0);
  s.filled.assign(size, 0);
  s.runs.clear();
  uchar* const bits = image.bits();
  const qsizetype stride = image.bytesPerLine();
  size_t next = 0;
  for (int r = topRow; r <= lastRow; ++r) {
    for (const auto end = size_t(s.rowEnd[size_t(r - topRow)]); next < end; ++next) {
      const int c = s.byRow[next];
      const bool left = s.filled[size_t(c - 1)] != 0, right = s.filled[size_t(c + 1)] != 0;
      const int a = left ? s.runStart[size_t(c - 1)] : c;
      const int b = right ? s.runEnd[size_t(c + 1)] : c;
      if (right) {  // the run on the right now belongs to this one
        const int moved = s.runs.back();
        s.runs[size_t(s.slot[size_t(c + 1)])] = moved;
        s.slot[size_t(moved)] = s.slot[size_t(c + 1)];
        s.runs.pop_back();
      }
      if (!left) {
        s.slot[size_t(c)] = static_cast<int>(s.runs.size());
        s.runs.push_back(c);
      }
      s.runEnd[size_t(a)] = b;
      s.runStart[size_t(b)] = a;
      s.filled[size_t(c)] = 1;
    }
    QRgb* line = reinterpret_cast<QRgb*>(bits + r * stride) + firstColumn - 1;
    for (const int a : s.runs) std::fill(line + a, line + s.runEnd[size_t(a)] + 1, colour);
  }
}

// The outline of a polygon given in device pixels. Of the points that fall in one
// pixel column only the first, the highest, the lowest and the last are kept: the pen
// covers the same run of the column either way, give or take a pixel of a steep stretch.
void ThinOutline(std::span<const QPointF> points, std::vector<QPointF>& kept) {
  kept.clear();
  for (size_t i = 0; i < points.size();) {
    const int column = FloorToInt(points[i].x());
    size_t high = i, low = i, last = i;
    while (last + 1 < points.size() && FloorToInt(points[last + 1].x()) == column) {
      ++last;
      if (points[last].y() < points[high].y()) high = last;
      if (points[last].y() > points[low].y()) low = last;
    }
    size_t previous = i;
    kept.push_back(points[i]);
    for (const size_t k : {std::min(high, low), std::max(high, low), last}) {
      if (k != previous) kept.push_back(points[k]);
      previous = k;
    }
    i = last + 1;
  }
}

void StrokeInPixels(QPainter& p, std::span<const QPointF> points) {
  std::vector<QPointF>& kept = Scratch().outline;
  ThinOutline(points, kept);
  // Already in pixels: drawn without the painter's scaling.
  const QTransform world = p.worldTransform();
  const bool view = p.viewTransformEnabled();
  p.setViewTransformEnabled(false);
  p.setWorldTransform(QTransform());
  p.drawPolygon(kept.data(), static_cast<int>(kept.size()), Qt::OddEvenFill);
  p.setWorldTransform(world);
  p.setViewTransformEnabled(view);
}

void PaintPolygon(QPainter& p, std::span<const DrawPoint> points, ColourRef fill) {
  if (points.empty()) return;
  QImage* image = PlainImage(p);
  if (image == nullptr || !IsCurveOverBase(points)) {
    p.setBrush(ToQColor(fill));
    p.drawPolygon(ToQPolygon(points), Qt::OddEvenFill);
    return;
  }
  // Mapped as the painter maps them, so the outline lands on the same pixels.
  const QTransform t = p.combinedTransform();
  std::vector<QPointF>& device = Scratch().device;
  device.resize(points.size());
  for (size_t i = 0; i < points.size(); ++i)
    device[i] = QPointF(t.m11() * points[i].x + t.dx(), t.m22() * points[i].y + t.dy());
  FillCurveOverBase(*image, std::span<const QPointF>(device).first(points.size() - 1),
                    qRgb(RedOf(fill), GreenOf(fill), BlueOf(fill)));
  p.setBrush(Qt::NoBrush);
  StrokeInPixels(p, device);
}

// The pixels an outline's pen sets, found by drawing it on a picture of the
// image's size (so clipped at the same edges) and reading back what changed.
// The picture is left as it was found: all kClear.
constexpr QRgb kClear = 0xFF000000u;

void RasteriseOutline(QImage& mask, PendingCurve& c) {
  thread_local std::vector<QPointF> kept;
  ThinOutline(c.device, kept);
  c.runs.clear();
  if (kept.empty()) return;
  {
    QPainter p(&mask);
    p.setRenderHint(QPainter::Antialiasing, false);
    QPen pen = c.pen;
    pen.setColor(Qt::white);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    p.drawPolygon(kept.data(), static_cast<int>(kept.size()), Qt::OddEvenFill);
  }
  // Each segment's pixels lie within its bounds and a pixel more, so only those
  // stretches of the columns are read: a column each, as the slices are tall.
  thread_local std::vector<int> low, high;
  const int width = mask.width(), height = mask.height();
  low.assign(static_cast<size_t>(width), height);
  high.assign(static_cast<size_t>(width), -1);
  for (size_t i = 0; i < kept.size(); ++i) {
    const QPointF a = kept[i], b = kept[(i + 1) % kept.size()];
    const int x0 = std::max(0, FloorToInt(std::min(a.x(), b.x())) - 2);
    const int x1 = std::min(width - 1, FloorToInt(std::max(a.x(), b.x())) + 2);
    const int y0 = std::max(0, FloorToInt(std::min(a.y(), b.y())) - 2);
    const int y1 = std::min(height - 1, FloorToInt(std::max(a.y(), b.y())) + 2);
    for (int x = x0; x <= x1; ++x) {
      low[static_cast<size_t>(x)] = std::min(low[static_cast<size_t>(x)], y0);
      high[static_cast<size_t>(x)] = std::max(high[static_cast<size_t>(x)], y1);
    }
  }
  uchar* const bits = mask.bits();
  const qsizetype stride = mask.bytesPerLine();
  for (int x = 0; x < width; ++x) {
    for (int y = low[static_cast<size_t>(x)]; y <= high[static_cast<size_t>(x)]; ++y) {
      QRgb& pixel = reinterpret_cast<QRgb*>(bits + y * stride)[x];
      if (pixel == kClear) continue;
      pixel = kClear;
      if (!c.runs.empty() && c.runs.back().column == x && c.runs.back().last == y - 1)
        c.runs.back().last = y;
      else
        c.runs.push_back({x, y, y});
    }
  }
}

void PaintText(QPainter& p, DrawPoint topLeft, std::string_view text, const FontSpec& font) {
  if (text.empty()) return;
  const FaceMetrics& face = Face();
  p.save();
  p.setRenderHint(QPainter::TextAntialiasing, true);
  p.setFont(face.font);
  p.translate(topLeft.x, topLeft.y);
  if (font.escapement != 0) p.rotate(-font.escapement / 10.0);
  p.scale(font.width / face.averageWidth, font.height / face.cellHeight);
  p.drawText(QPointF(0, face.ascent), QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
  p.restore();
}

}  // namespace

PictureBox::PictureBox(QWidget* parent)
    : QWidget(parent), drawn_(std::make_unique<RecordingSurface>()), pending_(std::make_unique<std::vector<PendingCurve>>()) {
  ReleaseVectorUpperState();
  setAttribute(Qt::WA_OpaquePaintEvent);
  MatchImageToSize();
}

PictureBox::~PictureBox() {
  pending_->clear();  // nobody will see them
  EndPainting();
}

bool PictureBox::QueueCurve(QPainter& p, std::span<const DrawPoint> points, ColourRef fill) {
  if (PlainImage(p) == nullptr || !IsCurveOverBase(points)) return false;
  // Mapped as the painter maps them, so the outline lands on the same pixels.
  const QTransform t = p.combinedTransform();
  PendingCurve& c = pending_->emplace_back();
  c.device.resize(points.size());
  for (size_t i = 0; i < points.size(); ++i)
    c.device[i] = QPointF(t.m11() * points[i].x + t.dx(), t.m22() * points[i].y + t.dy());
  c.fill = qRgb(RedOf(fill), GreenOf(fill), BlueOf(fill));
  c.pen = p.pen();
  return true;
}

// Curves drawn one after another (a waterfall's slices) have their outlines
// rasterised side by side; then each fill and outline goes into the image in
// turn, which leaves it as drawing them one by one would.
void PictureBox::FlushCurves() {
  std::vector<PendingCurve>& curves = *pending_;
  if (curves.empty()) return;
  const auto count = static_cast<int32_t>(curves.size());
  const int32_t threads = std::clamp(static_cast<int32_t>(std::thread::hardware_concurrency()), 1, count);
  // Used on the interface thread only, one flush at a time.
  static std::vector<QImage> masks;
  if (masks.size() < static_cast<size_t>(threads)) masks.resize(static_cast<size_t>(threads));
  for (int32_t w = 0; w < threads; ++w) {
    QImage& m = masks[static_cast<size_t>(w)];
    if (m.size() == image_.size()) continue;
    m = QImage(image_.size(), QImage::Format_RGB32);
    m.fill(kClear);
  }
  std::atomic<int32_t> next{0};
  WorkerThreads::Run(threads, [&](int32_t w) {
    for (int32_t i = next++; i < count; i = next++) RasteriseOutline(masks[static_cast<size_t>(w)], curves[static_cast<size_t>(i)]);
  });
  for (const PendingCurve& c : curves) {
    FillCurveOverBase(image_, std::span<const QPointF>(c.device).first(c.device.size() - 1), c.fill);
    const QRgb pen = c.pen.color().rgb();
    uchar* const bits = image_.bits();
    const qsizetype stride = image_.bytesPerLine();
    for (const PendingCurve::Run& r : c.runs)
      for (int y = r.first; y <= r.last; ++y) reinterpret_cast<QRgb*>(bits + y * stride)[r.column] = pen;
  }
  curves.clear();
}

void PictureBox::MatchImageToSize() {
  QSize want(std::max(1, width()), std::max(1, height()));
  if (image_.size() == want) return;
  EndPainting();
  // A resized picture keeps what it showed at its top-left corner.
  QImage grown(want, QImage::Format_RGB32);
  grown.fill(ToQColor(backColor_));
  if (!image_.isNull()) {
    QPainter p(&grown);
    p.drawImage(0, 0, image_);
  }
  image_ = std::move(grown);
}

QPainter& PictureBox::Painter(const Pen& pen, bool flush) {
  if (flush) FlushCurves();
  MatchImageToSize();
  if (!painter_) {
    painter_ = std::make_unique<QPainter>(&image_);
    painter_->setRenderHint(QPainter::Antialiasing, false);
    painter_->setWindow(0, 0, kDrawingSpace, kDrawingSpace);
    painter_->setViewport(0, 0, image_.width(), image_.height());
  }
  SetPen(*painter_, pen, drawMode_);
  return *painter_;
}

void PictureBox::EndPainting() {
  FlushCurves();
  if (painter_) {
    painter_->end();
    painter_.reset();
  }
}

void PictureBox::SetBackColor(ColourRef c) {
  backColor_ = c;
  drawn_->Clear();
  MatchImageToSize();
  EndPainting();
  image_.fill(ToQColor(c));
}

void PictureBox::Rectangle(DrawPoint a, DrawPoint b, const Pen& pen, std::optional<ColourRef> fill) {
  if (RecordingSurface* k = Kept()) k->Rectangle(a, b, pen, fill);
  PaintRectangle(Painter(pen), a, b, fill);
}

void PictureBox::Line(DrawPoint a, DrawPoint b, const Pen& pen) {
  if (RecordingSurface* k = Kept()) k->Line(a, b, pen);
  Painter(pen).drawLine(ToQPoint(a), ToQPoint(b));
}

void PictureBox::Polyline(std::span<const DrawPoint> points, const Pen& pen) {
  if (points.size() < 2) return;
  if (RecordingSurface* k = Kept()) k->Polyline(points, pen);
  PaintPolyline(Painter(pen), points);
}

void PictureBox::Polygon(std::span<const DrawPoint> points, const Pen& pen, ColourRef fill) {
  if (points.empty()) return;
  if (RecordingSurface* k = Kept()) k->Polygon(points, pen, fill);
  QPainter& p = Painter(pen, false);
  if (QueueCurve(p, points, fill)) return;
  FlushCurves();
  PaintPolygon(p, points, fill);
}

void PictureBox::Text(DrawPoint topLeft, std::string_view text, ColourRef colour, const FontSpec& font) {
  if (text.empty()) return;
  if (RecordingSurface* k = Kept()) k->Text(topLeft, text, colour, font);
  PaintText(Painter(Pen{colour}), topLeft, text, font);
}

void PictureBox::Refresh() {
  EndPainting();
  update();
}

const QImage& PictureBox::Image() {
  MatchImageToSize();
  EndPainting();
  return image_;
}

void PictureBox::paintEvent(QPaintEvent* e) {
  MatchImageToSize();
  EndPainting();
  QPainter p(this);
  p.drawImage(e->rect(), image_, e->rect());
  if (overlay_) {
    const Overlay& o = *overlay_;
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setWindow(0, 0, kDrawingSpace, kDrawingSpace);
    p.setViewport(0, 0, image_.width(), image_.height());
    QPen pen(ToQColor(o.pen.colour));
    pen.setCosmetic(true);
    pen.setWidth(1);
    pen.setStyle(o.pen.style == PenStyle::Dash ? Qt::DashLine : Qt::SolidLine);
    p.setPen(pen);
    const QPoint outline[5] = {QPoint(o.a.x, o.a.y), QPoint(o.b.x, o.a.y), QPoint(o.b.x, o.b.y), QPoint(o.a.x, o.b.y),
                               QPoint(o.a.x, o.a.y)};
    p.drawPolyline(outline, 5);
  }
}

// ---- Rubber-band overlay ------------------------------------------------------

QRegion PictureBox::OverlayRegion(const Overlay& band) const {
  const double sx = double(std::max(1, width())) / kDrawingSpace;
  const double sy = double(std::max(1, height())) / kDrawingSpace;
  const int left = static_cast<int>(std::floor(std::min(band.a.x, band.b.x) * sx));
  const int right = static_cast<int>(std::ceil(std::max(band.a.x, band.b.x) * sx));
  const int top = static_cast<int>(std::floor(std::min(band.a.y, band.b.y) * sy));
  const int bottom = static_cast<int>(std::ceil(std::max(band.a.y, band.b.y) * sy));
  // Each edge as a strip a few pixels wide, so the repaint leaves the inside alone.
  constexpr int m = 2;
  QRegion r;
  r += QRect(QPoint(left - m, top - m), QPoint(right + m, top + m));
  r += QRect(QPoint(left - m, bottom - m), QPoint(right + m, bottom + m));
  r += QRect(QPoint(left - m, top - m), QPoint(left + m, bottom + m));
  r += QRect(QPoint(right - m, top - m), QPoint(right + m, bottom + m));
  return r;
}

void PictureBox::ShowOverlay(const Overlay& band) {
  if (overlay_ == band) return;
  QRegion dirty = OverlayRegion(band);
  if (overlay_) dirty += OverlayRegion(*overlay_);
  overlay_ = band;
  update(dirty);
}

void PictureBox::ClearOverlay() {
  if (!overlay_) return;
  const QRegion dirty = OverlayRegion(*overlay_);
  overlay_.reset();
  update(dirty);
}

// ---- Mouse ----------------------------------------------------------------------

namespace {

int ButtonCode(Qt::MouseButtons b) {
  return (b & Qt::LeftButton ? 1 : 0) | (b & Qt::RightButton ? 2 : 0) | (b & Qt::MiddleButton ? 4 : 0);
}

int ShiftCode(Qt::KeyboardModifiers m) {
  return (m & Qt::ShiftModifier ? 1 : 0) | (m & Qt::ControlModifier ? 2 : 0) | (m & Qt::AltModifier ? 4 : 0);
}

}  // namespace

QPointF PictureBox::ToDrawing(const QPointF& pixel) const {
  return QPointF(pixel.x() / std::max(1, width()) * kDrawingSpace, pixel.y() / std::max(1, height()) * kDrawingSpace);
}

void PictureBox::mousePressEvent(QMouseEvent* e) {
  const QPointF d = ToDrawing(e->position());
  emit MouseDown(ButtonCode(e->button()), ShiftCode(e->modifiers()), float(d.x()), float(d.y()));
  e->accept();
}

void PictureBox::mouseMoveEvent(QMouseEvent* e) {
  const QPointF d = ToDrawing(e->position());
  emit MouseMove(ButtonCode(e->buttons()), ShiftCode(e->modifiers()), float(d.x()), float(d.y()));
  e->accept();
}

void PictureBox::mouseReleaseEvent(QMouseEvent* e) {
  const QPointF d = ToDrawing(e->position());
  emit MouseUp(ButtonCode(e->button()), ShiftCode(e->modifiers()), float(d.x()), float(d.y()));
  e->accept();
}

// ---- The picture in the whole drawing space -------------------------------------

RecordingSurface* PictureBox::Kept() { return drawMode_ == DrawMode::XorPen ? nullptr : drawn_.get(); }

QImage PictureBox::DrawingSpaceImage() const {
  QImage out(kDrawingSpace, kDrawingSpace, QImage::Format_RGB32);
  out.fill(ToQColor(backColor_));
  QPainter p(&out);
  p.setRenderHint(QPainter::Antialiasing, false);
  PaintKeptDrawing(p);
  return out;
}

QSize PictureBox::ViewSize() const { return QSize(std::max(1, width()), std::max(1, height())); }

QImage PictureBox::ViewSizeImage() const {
  QImage out(ViewSize(), QImage::Format_RGB32);
  out.fill(ToQColor(backColor_));
  QPainter p(&out);
  p.setRenderHint(QPainter::Antialiasing, false);
  p.setWindow(0, 0, kDrawingSpace, kDrawingSpace);
  p.setViewport(0, 0, out.width(), out.height());
  PaintKeptDrawing(p);
  return out;
}

void PictureBox::PaintKeptDrawing(QPainter& p) const {
  using Kind = RecordingSurface::Kind;
  for (const RecordingSurface::Call& c : drawn_->calls()) {
    switch (c.kind) {
      case Kind::Rectangle:
        SetPen(p, c.pen, DrawMode::CopyPen);
        PaintRectangle(p, c.points[0], c.points[1], c.fill);
        break;
      case Kind::Line:
        SetPen(p, c.pen, DrawMode::CopyPen);
        p.drawLine(ToQPoint(c.points[0]), ToQPoint(c.points[1]));
        break;
      case Kind::Polyline:
        SetPen(p, c.pen, DrawMode::CopyPen);
        PaintPolyline(p, c.points);
        break;
      case Kind::Polygon:
        SetPen(p, c.pen, DrawMode::CopyPen);
        PaintPolygon(p, c.points, c.fill.value_or(0));
        break;
      case Kind::Text:
        SetPen(p, Pen{c.colour}, DrawMode::CopyPen);
        PaintText(p, c.points[0], c.text, c.font);
        break;
      case Kind::BackColor:
      case Kind::Refresh: break;
    }
  }
}

RecordingSurface::Call& RecordingSurface::Add(Kind k) {
  Call& c = calls_.emplace_back();
  c.kind = k;
  c.mode = drawMode_;
  return c;
}

void RecordingSurface::SetBackColor(ColourRef c) {
  backColor_ = c;
  Add(Kind::BackColor).colour = c;
}

void RecordingSurface::Rectangle(DrawPoint a, DrawPoint b, const Pen& pen, std::optional<ColourRef> fill) {
  Call& c = Add(Kind::Rectangle);
  c.points = {a, b};
  c.pen = pen;
  c.fill = fill;
}

void RecordingSurface::Line(DrawPoint a, DrawPoint b, const Pen& pen) {
  Call& c = Add(Kind::Line);
  c.points = {a, b};
  c.pen = pen;
}

void RecordingSurface::Polyline(std::span<const DrawPoint> points, const Pen& pen) {
  Call& c = Add(Kind::Polyline);
  c.points.assign(points.begin(), points.end());
  c.pen = pen;
}

void RecordingSurface::Polygon(std::span<const DrawPoint> points, const Pen& pen, ColourRef fill) {
  Call& c = Add(Kind::Polygon);
  c.points.assign(points.begin(), points.end());
  c.pen = pen;
  c.fill = fill;
}

void RecordingSurface::Text(DrawPoint topLeft, std::string_view text, ColourRef colour, const FontSpec& font) {
  Call& c = Add(Kind::Text);
  c.points = {topLeft};
  c.text = std::string(text);
  c.colour = colour;
  c.font = font;
}

void RecordingSurface::Refresh() { Add(Kind::Refresh); }

std::vector<RecordingSurface::Call> RecordingSurface::Of(Kind k) const {
  std::vector<Call> out;
  for (const Call& c : calls_)
    if (c.kind == k) out.push_back(c);
  return out;
}

}  // namespace zentor
