// The panel keeps its fixed twips geometry, so its font must be small enough that
// no caption is clipped, and the window may not shrink below the panel.
#include <QStyleOptionButton>

#include "window_fixtures.h"

namespace zentor::test {

namespace {

// The rectangle the style leaves for a button's caption.
QRect CaptionSpace(QAbstractButton* b) {
  QStyleOptionButton opt;
  opt.initFrom(b);
  opt.rect = b->rect();
  opt.text = b->text();
  const QStyle::SubElement e = qobject_cast<QCheckBox*>(b)      ? QStyle::SE_CheckBoxContents
                               : qobject_cast<QRadioButton*>(b) ? QStyle::SE_RadioButtonContents
                                                                : QStyle::SE_PushButtonContents;
  return b->style()->subElementRect(e, &opt, b);
}

// Empty when the caption fits (or the widget has none); otherwise what is clipped.
QString Clipped(QWidget* w) {
  QRect space;
  QString text;
  int flags = Qt::AlignCenter | Qt::TextShowMnemonic;
  if (auto* b = qobject_cast<QAbstractButton*>(w)) {
    space = CaptionSpace(b);
    text = b->text();
    if (b->property("wrapCaption").toBool()) flags |= Qt::TextWordWrap;
  } else if (auto* l = qobject_cast<QLabel*>(w)) {
    space = l->contentsRect();
    text = l->text();
    if (l->wordWrap()) flags |= Qt::TextWordWrap;
  }
  if (text.isEmpty()) return {};
  const QRect need = w->fontMetrics().boundingRect(space, flags, text);
  const bool wraps = flags & Qt::TextWordWrap;
  if (need.width() <= space.width() && (!wraps || need.height() <= space.height())) return {};
  return w->objectName() + " \"" + text + "\"" + QString(" needs %1x%2 in %3x%4")
                           .arg(need.width()).arg(need.height()).arg(space.width()).arg(space.height());
}

// Visible siblings whose rectangles intersect, named.
QStringList Overlaps(QWidget* root) {
  QStringList out;
  QList<QWidget*> parents{root};
  for (QWidget* w : root->findChildren<QWidget*>()) parents << w;
  for (QWidget* p : parents) {
    QList<QWidget*> kids;
    for (QObject* o : p->children()) {
      auto* k = qobject_cast<QWidget*>(o);
      if (k && k->isVisible() && !k->isWindow() && k->width() > 0 && k->height() > 0) kids << k;
    }
    for (int i = 0; i < kids.size(); ++i) {
      for (int j = i + 1; j < kids.size(); ++j) {
        if (kids[i]->geometry().intersects(kids[j]->geometry()))
          out << kids[i]->objectName() + " / " + kids[j]->objectName();
      }
    }
  }
  return out;
}

}  // namespace

// Every caption fits its control at the default size; the results frame's Delete
// Curve button sits on the row of the curve number it removes.
TEST_F(MainWindowTest, PanelCaptionsFitAndNoTwoControlsOverlapAtTheStartSizeTheMinimumOrLarger) {
  DataPlotter* w = Start();
  QApplication::processEvents();
  QStringList clipped;
  for (QWidget* c : w->centralWidget()->findChildren<QWidget*>()) {
    if (c->isVisible() && !Clipped(c).isEmpty()) clipped << Clipped(c);
  }
  EXPECT_TRUE(clipped.isEmpty()) << clipped.join("\n").toStdString();
  EXPECT_EQ(w->RemoveCurve->text(), "Delete Curve");
  EXPECT_EQ(w->RemoveCurve->parentWidget(), w->Frame1);
  EXPECT_TRUE(Overlaps(w->centralWidget()).isEmpty());
  const QSize min = w->minimumSize();
  ASSERT_GT(min.width(), 0);
  ASSERT_GT(min.height(), 0);
  for (const QSize s : {min, min * 1.5}) {
    w->resize(s);
    QApplication::processEvents();
    EXPECT_EQ(w->size(), s);
    const QStringList hits = Overlaps(w->centralWidget());
    EXPECT_TRUE(hits.isEmpty()) << s.width() << "x" << s.height() << ":\n" << hits.join("\n").toStdString();
  }
  // Smaller than the minimum is not offered.
  w->resize(min - QSize(100, 100));
  QApplication::processEvents();
  EXPECT_EQ(w->size(), min);
}

}  // namespace zentor::test
