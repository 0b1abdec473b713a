// The main window's help page, followed step by step on the simulated card with the
// equaliser Zentor starts with: measure a room, fit, apply all listed modes, save the
// .EQ file, open it again and write the settings report. The pages' pictures are
// rendered from the windows as the steps leave them and must match the committed
// ones; ZENTOR_WRITE_HELP_PICTURES=<folder> writes them there instead, to renew them.
#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <algorithm>
#include <cstdlib>
#include <QFile>
#include <QListWidget>

#include "app/window_links.h"
#include "crossover/xover_form.h"
#include "eqdesign/eq_report.h"
#include "eqdesign/level_set.h"
#include "measurement/measurement_fixture.h"
#include "measurement/sound_card_selector.h"

namespace zentor::test {
namespace {

// A window as a small picture for the help pages: at most `width` pixels wide, 8-bit colour.
// Rendering is deterministic with the same fonts (DejaVu, as on CI), so the picture must
// match the committed one but for stray pixels: the same size, and at most 0.01% of the
// pixels off by more than 48 levels in a channel. A changed number in one text box
// already moves 0.04% of the measurement window's pixels.
void CheckPicture(QWidget* w, const char* name, int width = 560) {
  QImage image = w->grab().toImage();
  if (image.width() > width) image = image.scaledToWidth(width, Qt::SmoothTransformation);
  image = image.convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither | Qt::AvoidDither);
  const QString folder = qEnvironmentVariable("ZENTOR_WRITE_HELP_PICTURES");
  if (!folder.isEmpty()) {
    ASSERT_TRUE(image.save(QDir(folder).filePath(name), "PNG", 9)) << name;
    return;
  }
  const QImage now = image.convertToFormat(QImage::Format_RGB32);
  const QImage committed = QImage(QString(":/help/pictures/") + name).convertToFormat(QImage::Format_RGB32);
  ASSERT_EQ(now.size(), committed.size()) << name << " drifted from the picture in help/pictures";
  int64_t off = 0;
  for (int y = 0; y < now.height(); ++y)
    for (int x = 0; x < now.width(); ++x) {
      const QRgb a = now.pixel(x, y), b = committed.pixel(x, y);
      off += std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)), std::abs(qBlue(a) - qBlue(b))}) > 48;
    }
  EXPECT_LE(off * 10000, int64_t{now.width()} * now.height()) << off << " pixels of " << name << " drifted";
}

class HelpWorkflowTest : public MeasurementWindowTest {
 protected:
  void RunCard() {
    for (int i = 0; i < 400 && SoundCardBusy; ++i) Run(8192);
    ASSERT_FALSE(SoundCardBusy);
  }
};

TEST_F(HelpWorkflowTest, FitAndApplyOnTheSimulatedCardEndsInTheSettingsReport) {
  SimulatedCardSettings card = Quiet();
  card.blockSize = 8192;
  card.room.clear();  // the built-in room, with its two low modes
  UseCard(card);
  InstallWindowLinks();
  main->RefreshLinkedControls();
  main->show();

  // Workflow 1: the measurement window, the simulated card listed last, a sweep.
  main->NewMeasMenue->trigger();
  AudioForm* f = Forms::Get<AudioForm>();
  ASSERT_TRUE(f->isVisible());
  f->SndCardSelect->click();
  SoundCardSelectorForm* cards = Forms::Get<SoundCardSelectorForm>();
  ASSERT_EQ(cards->InputCard.back()->text(), kSimulatedCardName);
  cards->InputCard.back()->click();
  cards->hide();
  dialogs.ExpectMessage();  // the hearing warning
  f->SweepsBut->click();
  f->Levels->click();
  RunCard();
  f->Test->click();
  RunCard();
  ASSERT_EQ(ResultsDataSetInfo[0].NumInSet, 1);
  CheckPicture(f, "measurement.png");

  // Workflow 2: the frequency view and the fit, for the equaliser Zentor starts with.
  ASSERT_EQ(main->GetParametricEQEmulation(), 1);
  ShowBodeWithGate(*main, "500");
  main->FitFiltersBut->click();
  const int modes = main->ModesList->count();
  ASSERT_GT(modes, 0);
  ASSERT_TRUE(main->ModesList->item(0)->text().contains(" Hz, Q:")) << main->ModesList->item(0)->text().toStdString();

  main->ApplyAll->click();  // as the page says, every listed mode at once
  ASSERT_EQ(AppliedFilters[0].Count, modes);
  ASSERT_EQ(main->AppliedFilterListBox->count(), modes);
  CheckPicture(main, "main_window.png", 800);

  const std::string eq = TempPath("room.EQ"), report = TempPath("room.txt");
  dialogs.ExpectSaveFile(eq);
  main->SaveEQModel->trigger();
  EXPECT_TRUE(QFile::exists(QString::fromStdString(eq)));
  // The saved file gives the same list back, after the list was cleared.
  QStringList applied;
  for (int i = 0; i < modes; ++i) applied << main->AppliedFilterListBox->item(i)->text();
  dialogs.ExpectMessage(MsgAnswer::Yes);  // clear the applied filters
  main->DeleteEQ->trigger();
  ASSERT_EQ(AppliedFilters[0].Count, 0);
  dialogs.ExpectOpenFile(eq);
  main->OpenEQFileMenue->trigger();
  ASSERT_EQ(main->AppliedFilterListBox->count(), modes);
  for (int i = 0; i < modes; ++i) EXPECT_EQ(main->AppliedFilterListBox->item(i)->text(), applied[i]);
  dialogs.ExpectSaveFile(report);
  main->TextEQ->trigger();
  QFile text(QString::fromStdString(report));
  ASSERT_TRUE(text.open(QIODevice::ReadOnly));
  const QString written = QString::fromUtf8(text.readAll());
  int settings = 0;
  for (const std::string& line : EQReportLines(AppliedFilters)) {
    settings += line.find("Level = ") != std::string::npos;
    EXPECT_TRUE(written.contains(QString::fromStdString(line))) << line;
  }
  EXPECT_EQ(settings, modes);

  dialogs.ExpectModal([](QDialog* d) {
    d->adjustSize();
    CheckPicture(d, "filter_editor.png");
    return 0;
  });
  main->AppliedFilterListBox->setCurrentRow(0);
  emit main->AppliedFilterListBox->itemClicked(main->AppliedFilterListBox->item(0));
  dialogs.ExpectMessage(MsgAnswer::No);  // not saved
  dialogs.ExpectMessage(MsgAnswer::No);  // no resampling
  main->Xover->trigger();
  CheckPicture(Forms::Get<XoverForm>(), "crossover.png");
}

}  // namespace
}  // namespace zentor::test
