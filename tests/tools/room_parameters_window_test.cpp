// The large-room window's table of room-acoustic parameters: shown on request beside
// the graph, following the curve, marking values in grey with their reason, saved
// as the CSV of the same numbers.
#include <QCheckBox>
#include <QPushButton>
#include <QTableWidget>
#include <fstream>
#include <iterator>

#include "large_room_fixture.h"
#include "platform/settings.h"
#include "tools/room_parameters.h"

namespace zentor::test {
namespace {

class RoomParametersWindow : public LargeRoomTest {};

TEST_F(RoomParametersWindow, TheTableFollowsTheCurveMarksUntrustedValuesAndSaves) {
  Load(2, {});
  AddDecayingTones(ImpulseSet[0], {{1000, 0.5}});
  AddWhiteNoise(ImpulseSet[0], 1e-2, 3);  // 37 dB below the tone over the whole band
  AddDecayingTones(ImpulseSet[1], {{1000, 0.9}});
  DataIntegrityForm* f = Open();
  const int fullWidth = f->Picture1->width();
  EXPECT_TRUE(f->ParametersTable->isHidden());
  f->ParametersBut->click();
  EXPECT_EQ(GetSetting("Zentor", "LargeRoom", "Parameters"), "1");
  EXPECT_FALSE(f->ParametersTable->isHidden());
  EXPECT_FALSE(f->SaveParametersBut->isHidden());
  EXPECT_LT(f->Picture1->width(), fullWidth);

  QTableWidget* t = f->ParametersTable;
  ASSERT_EQ(t->columnCount(), 9);
  EXPECT_EQ(t->horizontalHeaderItem(4)->text(), "1k");
  EXPECT_EQ(t->horizontalHeaderItem(8)->text(), "Broadband");
  EXPECT_EQ(t->verticalHeaderItem(2)->text(), "T30 [s]");
  EXPECT_NEAR(t->item(2, 4)->text().toDouble(), 0.5, 0.01);  // T30 at 1 kHz
  EXPECT_EQ(t->item(2, 4)->toolTip(), "");
  // Broadband the noise lies too near for T30: grey, starred, and why.
  QTableWidgetItem* broad = t->item(2, 8);
  EXPECT_TRUE(broad->text().endsWith("*")) << broad->text().toStdString();
  EXPECT_EQ(broad->foreground().color(), QColor(Qt::gray));
  EXPECT_EQ(broad->toolTip(), "The impulse-to-noise ratio is below 45 dB");
  EXPECT_FALSE(t->item(1, 8)->text().endsWith("*"));  // T20 needs only 35 dB

  const std::string path = TempPath("room.csv");
  dialogs.ExpectSaveFile(path);
  f->SaveParametersBut->click();
  std::ifstream in(path, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), RoomParametersCsv(f->Parameters));
  EXPECT_EQ(dialogs.calls().back().title, "Save Parameters");

  // The next curve's own decay.
  f->RightArrow->click();
  EXPECT_EQ(f->Parameters.curve, 2);
  EXPECT_NEAR(t->item(2, 4)->text().toDouble(), 0.9, 0.02);
  f->ParametersBut->click();
  EXPECT_TRUE(f->ParametersTable->isHidden());
  EXPECT_EQ(f->Picture1->width(), fullWidth);
}

}  // namespace
}  // namespace zentor::test
