// The main window's help page, followed step by step on the simulated card: measure
// a room, fit, apply all listed modes, save the .EQ file and write the settings
// report. ZENTOR_WRITE_HELP_PICTURES=<folder> also renders the pages' pictures
// from the windows as the steps leave them.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>

#include "app/window_links.h"
#include "display/display_options.h"
#include "crossover/xover_form.h"
#include "eqdesign/eq_opt.h"
#include "eqdesign/eq_report.h"
#include "eqdesign/level_set.h"
#include "eqdesign/user_select.h"
#include "measurement/measurement_fixture.h"
#include "measurement/sound_card_selector.h"

namespace zentor::test {
namespace {

// A window as a small picture for the help pages: at most `width` pixels wide, 8-bit colour.
void WritePicture(QWidget* w, const char* name, int width = 560) {
  const QString folder = qEnvironmentVariable("ZENTOR_WRITE_HELP_PICTURES");
  if (folder.isEmpty()) return;
  QImage image = w->grab().toImage();
  if (image.width() > width) image = image.scaledToWidth(width, Qt::SmoothTransformation);
  image = image.convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither | Qt::AvoidDither);
  ASSERT_TRUE(image.save(QDir(folder).filePath(name), "PNG", 9)) << name;
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
  WritePicture(f, "measurement.png");

  // Workflow 2: the equaliser, the frequency view, the fit.
  dialogs.ExpectModal([](QDialog* d) {
    qobject_cast<EQOpt*>(d)->ParametricClassicEng->click();
    d->accept();
    return d->result();
  });
  main->ErrSelect->click();
  main->FreqBut->click();
  dialogs.ExpectModal([](QDialog* d) {
    auto* o = qobject_cast<DisplayControlForm*>(d);
    o->FFTRadio->click();
    o->BodeGateTimeText->setText("500");
    o->Apply->click();
    return 0;
  });
  main->FrequencyOptions->trigger();
  main->FitFiltersBut->click();
  const int modes = main->ModesList->count();
  ASSERT_GT(modes, 0);
  ASSERT_TRUE(main->ModesList->item(0)->text().contains(" Hz, Q:")) << main->ModesList->item(0)->text().toStdString();

  main->ApplyAll->click();  // as the page says, every listed mode at once
  ASSERT_EQ(AppliedFilters[0].Count, modes);
  ASSERT_EQ(main->AppliedFilterListBox->count(), modes);
  WritePicture(main, "main_window.png", 800);

  const std::string eq = TempPath("room.EQ"), report = TempPath("room.txt");
  dialogs.ExpectSaveFile(eq);
  main->SaveEQModel->trigger();
  EXPECT_TRUE(QFile::exists(QString::fromStdString(eq)));
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

  if (!qEnvironmentVariableIsSet("ZENTOR_WRITE_HELP_PICTURES")) return;
  dialogs.ExpectModal([](QDialog* d) {
    d->adjustSize();
    WritePicture(d, "filter_editor.png");
    return 0;
  });
  main->AppliedFilterListBox->setCurrentRow(0);
  emit main->AppliedFilterListBox->itemClicked(main->AppliedFilterListBox->item(0));
  dialogs.ExpectMessage(MsgAnswer::No);  // not saved
  dialogs.ExpectMessage(MsgAnswer::No);  // no resampling
  main->Xover->trigger();
  WritePicture(Forms::Get<XoverForm>(), "crossover.png");
}

}  // namespace
}  // namespace zentor::test
