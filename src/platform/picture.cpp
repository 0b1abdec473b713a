#include "platform/picture.h"

#include <QFont>
#include <QMouseEvent>
#include <QFontMetricsF>
#include <QPaintEvent>
#include <QPainter>
#include <QPolygon>
#include <algorithm>
#include <cmath>
#include <map>

namespace zentor {

int32_t ToDrawUnit(double v) {
  if (std::isnan(v)) return 0;
  v = std::clamp(v, 0.0, static_cast<double>(kDrawingSpace));
  return static_cast<int32_t>(std::nearbyint(v));  // default rounding: halves to even
}

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

void PaintPolygon(QPainter& p, std::span<const DrawPoint> points, ColourRef fill) {
  if (points.empty()) return;
  p.setBrush(ToQColor(fill));
  p.drawPolygon(ToQPolygon(points), Qt::OddEvenFill);
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

PictureBox::PictureBox(QWidget* parent) : QWidget(parent), drawn_(std::make_unique<RecordingSurface>()) {
  ReleaseVectorUpperState();
  setAttribute(Qt::WA_OpaquePaintEvent);
  MatchImageToSize();
}

PictureBox::~PictureBox() { EndPainting(); }

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

QPainter& PictureBox::Painter(const Pen& pen) {
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
  PaintPolygon(Painter(pen), points, fill);
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
  return out;
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
