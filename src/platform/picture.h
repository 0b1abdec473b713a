// The picture seam: every graph draws into a fixed 1200 x 1200 logical space that
// is stretched over the picture's client area (independently in x and y). Drawing
// goes through DrawingSurface; PictureBox paints it with QPainter onto a persistent
// image, RecordingSurface keeps the calls so tests can assert exact geometry.
#pragma once

#include <QImage>
#include <QRegion>
#include <QWidget>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/dialogs.h"

class QMouseEvent;
class QPainter;

namespace zentor {

class RecordingSurface;
struct PendingCurve;

// Width and height of the logical drawing space.
constexpr int32_t kDrawingSpace = 1200;

// A coordinate in drawing units: rounded half to even, clamped to the drawing
// space; NaN lands on 0. Every float-to-coordinate conversion goes through here.
inline int32_t ToDrawUnit(double v) {
  if (std::isnan(v)) return 0;
  v = std::clamp(v, 0.0, static_cast<double>(kDrawingSpace));
  // Adding and taking away 2^52 rounds like the default mode (halves to even) without
  // a library call in the curve loops.
  constexpr double kRounder = 0x1p52;
  return static_cast<int32_t>((v + kRounder) - kRounder);
}

// Start-up code of the GUI libraries can leave the upper halves of the vector
// registers marked in use; until they are cleared, every scalar floating-point
// instruction of the curve loops pays a transition penalty (ten times slower).
void ReleaseVectorUpperState();

// The picture's draw mode, with the original numbering (7 XOR pen, 13 copy pen).
enum class DrawMode : int16_t { XorPen = 7, CopyPen = 13 };

enum class PenStyle { Solid, Dash };

// Always a cosmetic one-pixel pen.
struct Pen {
  ColourRef colour = 0;
  PenStyle style = PenStyle::Solid;
  bool operator==(const Pen&) const = default;
};

// Cell height and average character width in drawing units; escapement in tenths
// of a degree, counter-clockwise (900: text reads upwards).
struct FontSpec {
  int32_t height = 30;
  int32_t width = 10;
  int32_t escapement = 0;
  bool operator==(const FontSpec&) const = default;
};

struct DrawPoint {
  int32_t x = 0;
  int32_t y = 0;
  bool operator==(const DrawPoint&) const = default;
};

class DrawingSurface {
 public:
  virtual ~DrawingSurface() = default;

  // Setting the background clears the picture to it.
  virtual void SetBackColor(ColourRef c) = 0;
  ColourRef BackColor() const { return backColor_; }
  void SetDrawMode(DrawMode m) { drawMode_ = m; }
  DrawMode GetDrawMode() const { return drawMode_; }
  void SetAutoRedraw(bool on) { autoRedraw_ = on; }
  bool AutoRedraw() const { return autoRedraw_; }

  // Filled when `fill` is given, else outline only. Covers a..b-1 like the original.
  virtual void Rectangle(DrawPoint a, DrawPoint b, const Pen& pen, std::optional<ColourRef> fill) = 0;
  virtual void Line(DrawPoint a, DrawPoint b, const Pen& pen) = 0;
  virtual void Polyline(std::span<const DrawPoint> points, const Pen& pen) = 0;
  // Filled with the alternate (odd-even) rule, outlined with the pen.
  virtual void Polygon(std::span<const DrawPoint> points, const Pen& pen, ColourRef fill) = 0;
  // Placed by the top-left corner of its cell (before rotation).
  virtual void Text(DrawPoint topLeft, std::string_view text, ColourRef colour, const FontSpec& font) = 0;
  // Makes what was drawn visible.
  virtual void Refresh() = 0;

 protected:
  ColourRef backColor_ = RGB(255, 255, 255);
  DrawMode drawMode_ = DrawMode::CopyPen;
  bool autoRedraw_ = false;
};

// A picture box: a widget showing a persistent image the size of its client area.
class PictureBox : public QWidget, public DrawingSurface {
  Q_OBJECT
 public:
  explicit PictureBox(QWidget* parent = nullptr);
  ~PictureBox() override;

  void SetBackColor(ColourRef c) override;
  void Rectangle(DrawPoint a, DrawPoint b, const Pen& pen, std::optional<ColourRef> fill) override;
  void Line(DrawPoint a, DrawPoint b, const Pen& pen) override;
  void Polyline(std::span<const DrawPoint> points, const Pen& pen) override;
  void Polygon(std::span<const DrawPoint> points, const Pen& pen, ColourRef fill) override;
  void Text(DrawPoint topLeft, std::string_view text, ColourRef colour, const FontSpec& font) override;
  void Refresh() override;

  // The persistent image with everything drawn so far.
  const QImage& Image();

  // ---- The picture in the whole drawing space -------------------------------------
  // The calls drawn since the last SetBackColor, replayed into a kDrawingSpace
  // square image, one pixel per drawing unit, whatever the size of the window.
  // Drawing with the XOR pen (a transient mark that erases itself) is not kept.
  QImage DrawingSpaceImage() const;
  // The same calls replayed at the picture's size on screen.
  QImage ViewSizeImage() const;
  QSize ViewSize() const;
  // Replays those calls onto any painter whose window is the drawing space (a
  // vector drawing, an image of any size); the background is the painter's to fill.
  void PaintKeptDrawing(QPainter& p) const;

  // ---- Rubber-band overlay ----------------------------------------------------
  // A rectangle outline in drawing units painted over the image on screen; it
  // never enters the image, so redraws and exports do not see it.
  struct Overlay {
    DrawPoint a;
    DrawPoint b;
    Pen pen;
    bool operator==(const Overlay&) const = default;
  };
  void ShowOverlay(const Overlay& band);
  void ClearOverlay();
  const std::optional<Overlay>& CurrentOverlay() const { return overlay_; }

  // ---- Mouse -----------------------------------------------------------------
  // Buttons as 1 left, 2 right, 4 middle (a move reports the sum of those held);
  // shift 1, ctrl 2, alt 4; the position in drawing units.
 signals:
  void MouseDown(int button, int shift, float x, float y);
  void MouseMove(int button, int shift, float x, float y);
  void MouseUp(int button, int shift, float x, float y);

 protected:
  void mousePressEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  // ---- end of mouse -----------------------------------------------------------

 protected:
  void paintEvent(QPaintEvent* e) override;

 private:
  // The painter with the pen set; first the curves waiting are drawn, unless
  // `flush` is false.
  QPainter& Painter(const Pen& pen, bool flush = true);
  void EndPainting();
  // A curve over its baseline on a plain image waits for the next other drawing,
  // so that a run of them is drawn together; false when this one cannot wait.
  bool QueueCurve(QPainter& p, std::span<const DrawPoint> points, ColourRef fill);
  void FlushCurves();
  void MatchImageToSize();
  // The recorder of the calls kept for DrawingSpaceImage, or null under the XOR pen.
  RecordingSurface* Kept();

  QImage image_;
  std::unique_ptr<QPainter> painter_;

  // The overlay's outline in pixels, for repainting only what it covers.
  QRegion OverlayRegion(const Overlay& band) const;
  QPointF ToDrawing(const QPointF& pixel) const;
  std::optional<Overlay> overlay_;
  std::unique_ptr<RecordingSurface> drawn_;
  std::unique_ptr<std::vector<PendingCurve>> pending_;
};

// Keeps every call; draws nothing.
class RecordingSurface : public DrawingSurface {
 public:
  enum class Kind { BackColor, Rectangle, Line, Polyline, Polygon, Text, Refresh };
  struct Call {
    Kind kind;
    std::vector<DrawPoint> points;  // rectangle corners, line ends, vertices, text corner
    Pen pen;
    std::optional<ColourRef> fill;
    ColourRef colour = 0;  // text colour, or the background of BackColor
    std::string text;
    FontSpec font;
    DrawMode mode = DrawMode::CopyPen;
  };

  void SetBackColor(ColourRef c) override;
  void Rectangle(DrawPoint a, DrawPoint b, const Pen& pen, std::optional<ColourRef> fill) override;
  void Line(DrawPoint a, DrawPoint b, const Pen& pen) override;
  void Polyline(std::span<const DrawPoint> points, const Pen& pen) override;
  void Polygon(std::span<const DrawPoint> points, const Pen& pen, ColourRef fill) override;
  void Text(DrawPoint topLeft, std::string_view text, ColourRef colour, const FontSpec& font) override;
  void Refresh() override;

  const std::vector<Call>& calls() const { return calls_; }
  std::vector<Call> Of(Kind k) const;
  void Clear() { calls_.clear(); }

 private:
  Call& Add(Kind k);
  std::vector<Call> calls_;
};

}  // namespace zentor
