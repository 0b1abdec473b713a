#include "platform/forms.h"
#include "platform/window_placement.h"

#include <QApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <algorithm>

namespace zentor {

std::unordered_map<std::type_index, QPointer<QWidget>>& Forms::Map() {
  static std::unordered_map<std::type_index, QPointer<QWidget>> m;
  return m;
}

void Forms::DeleteAll() {
  auto m = std::move(Map());
  Map().clear();
  for (auto& [k, w] : m)
    if (!w.isNull()) delete w.data();
}

namespace {

int g_depth = 0;

// A window not shown yet has no frame: allow for a usual title bar and border, so
// that its decorations land on the screen too.
constexpr QMargins kAssumedFrame(4, 30, 4, 4);

WindowsOnScreen* g_onScreen = nullptr;

int PlaceSpan(int start, int length, int areaStart, int areaLength) {
  if (length >= areaLength) return areaStart;
  return std::clamp(start, areaStart, areaStart + areaLength - length);
}

}  // namespace

QRect PlaceInside(const QRect& frame, const QSize& minimum, const QRect& available) {
  if (available.isEmpty()) return frame;
  const int width = std::max(std::min(frame.width(), available.width()), minimum.width());
  const int height = std::max(std::min(frame.height(), available.height()), minimum.height());
  return {PlaceSpan(frame.x(), width, available.x(), available.width()),
          PlaceSpan(frame.y(), height, available.y(), available.height()), width, height};
}

WindowsOnScreen::WindowsOnScreen(std::function<QRect(const QWidget&)> area)
    : area_(std::move(area)), previous_(g_onScreen) {
  g_onScreen = this;
  if (!area_)
    area_ = [](const QWidget& w) {
      const QScreen* s = w.screen();
      return s ? s->availableGeometry() : QRect();
    };
  if (QCoreApplication::instance()) QCoreApplication::instance()->installEventFilter(this);
}

WindowsOnScreen::~WindowsOnScreen() {
  g_onScreen = previous_;
  if (QCoreApplication::instance()) QCoreApplication::instance()->removeEventFilter(this);
}

bool WindowsOnScreen::eventFilter(QObject* watched, QEvent* event) {
  // A window shown by the program (not restored by the window manager) is placed
  // before it appears.
  if (event->type() == QEvent::Show && !event->spontaneous() && watched->isWidgetType()) {
    auto* w = static_cast<QWidget*>(watched);
    const Qt::WindowType type = w->windowType();
    if (w->isWindow() && (type == Qt::Window || type == Qt::Dialog)) Place(*w);
  }
  return false;
}

void WindowsOnScreen::Place(QWidget& w) const {
  if (w.isMaximized() || w.isFullScreen()) return;
  const QRect area = area_(w);
  if (area.isEmpty()) return;
  const QRect inner = w.geometry();
  const QRect outer = w.frameGeometry();
  QMargins frame(inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
                 outer.bottom() - inner.bottom());
  if (frame.isNull()) frame = kAssumedFrame;
  const QSize frameSize(frame.left() + frame.right(), frame.top() + frame.bottom());
  const QRect from(w.pos(), inner.size() + frameSize);
  const QRect to = PlaceInside(from, w.minimumSize() + frameSize, area);
  if (to.size() != from.size()) w.resize(to.size() - frameSize);
  if (to.topLeft() != from.topLeft()) w.move(to.topLeft());
}

void FitWindowOnScreen(QWidget& window) {
  if (g_onScreen) g_onScreen->Place(window);
}

WaitCursor::WaitCursor() : active_(qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr) {
  ++g_depth;
  if (active_) QGuiApplication::setOverrideCursor(Qt::WaitCursor);
}

WaitCursor::~WaitCursor() {
  --g_depth;
  if (active_) QGuiApplication::restoreOverrideCursor();
}

int WaitCursor::Depth() { return g_depth; }

}  // namespace zentor
