// Windows kept inside the screen's available area: their designed sizes and positions
// where they fit, otherwise shrunk and moved just far enough onto the screen.
#pragma once

#include <QObject>
#include <QRect>
#include <QSize>
#include <functional>

class QWidget;

namespace zentor {

// Where a window whose outer rectangle (decorations included) is `frame` goes inside
// `available`: its size where it fits, else the area's (but never below `minimum`,
// the outer minimum); its position where it fits, else moved just far enough to lie
// inside, or to the area's top-left corner when it is larger.
QRect PlaceInside(const QRect& frame, const QSize& minimum, const QRect& available);

// While it lives, every window is fitted into its screen's available area as it is
// shown. `area` gives that area for a window (tests inject a small screen); by
// default the window's own screen is asked.
class WindowsOnScreen : public QObject {
 public:
  explicit WindowsOnScreen(std::function<QRect(const QWidget&)> area = {});
  ~WindowsOnScreen() override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  // Fits one window now.
  void Place(QWidget& window) const;

 private:
  std::function<QRect(const QWidget&)> area_;
  WindowsOnScreen* previous_;
};

// Fits a window the program has just resized while it is shown, as the living
// WindowsOnScreen fits windows at showing; nothing when none lives.
void FitWindowOnScreen(QWidget& window);

}  // namespace zentor
