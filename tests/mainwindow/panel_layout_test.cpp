#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <cstdlib>

#include "main_window_fixture.h"

namespace zentor {
namespace {

using test::MainWindowTest;

// Frame1's controls stay apart, and the results frame's Delete Curve button sits
// on the row of the curve number it removes.
TEST_F(MainWindowTest, RemoveCurveSitsBesideTheCurveNumberAndOverlapsNothing) {
  DataPlotter* w = Start();
  ASSERT_NE(w->RemoveCurve, nullptr);
  EXPECT_EQ(w->RemoveCurve->text(), "Delete Curve");
  EXPECT_EQ(w->RemoveCurve->parentWidget(), w->Frame1);
  const QRect r = w->RemoveCurve->geometry();
  for (QWidget* other : w->Frame1->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    if (other == w->RemoveCurve || other->isHidden()) continue;
    EXPECT_FALSE(r.intersects(other->geometry())) << other->objectName().toStdString();
  }
  if (const char* path = std::getenv("ZENTOR_PANEL_PNG")) {
    EXPECT_TRUE(w->grab().save(path));
  }
}

}  // namespace
}  // namespace zentor
