#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QLineEdit>
#include <QListWidget>
#include <vector>

#include "base/binary_io.h"
#include "core/helpers.h"
#include "core/records.h"
#include "core/results_store.h"
#include "main_window_fixture.h"
#include "mainwindow/frm_about.h"
#include "mainwindow/main_window_links.h"
#include "mainwindow/user_settings.h"
#include "platform/help.h"
#include "platform/settings.h"
#include "platform/sysinfo.h"
#include "support/file_faults.h"

namespace zentor {
namespace {

using test::MainWindowTest;

void Touch(const std::string& path) { ASSERT_TRUE(WriteWholeFileAtomic(path, std::vector<uint8_t>{0})); }

TEST_F(MainWindowTest, ProgressBarWrapsToOne) {
  DataPlotter* w = Start();
  w->InitializeProgressBar1(3);
  EXPECT_EQ(w->ProgressBar1->minimum(), 0);
  EXPECT_EQ(w->ProgressBar1->maximum(), 3);
  EXPECT_EQ(w->ProgressBar1->value(), 0);
  w->IncrementProgressBar1();
  w->IncrementProgressBar1();
  EXPECT_EQ(w->ProgressBar1->value(), 2);
  EXPECT_EQ(w->IncrementProgressBar1(), "");  // at Max - 1
  EXPECT_EQ(w->ProgressBar1->value(), 1);
  w->ClearProgressBar1();
  EXPECT_EQ(w->ProgressBar1->value(), 0);
}

// The entry shows while mixer settings were saved or an older mixer file is there;
// it deletes the older files, and a store that cannot take "False" keeps them too.
TEST_F(MainWindowTest, AutoMixerDeleteShowsWhileThereIsSomethingToDelete) {
  SaveSetting("Zentor", "Mixer", "SaveSetting", "TRUE");
  EXPECT_TRUE(Start()->AutoMixerDelete->isVisible());
  Forms::DeleteAll();
  SaveSetting("Zentor", "Mixer", "SaveSetting", "False");
  const struct {
    const char* name;
    std::vector<std::string> files;
    bool blocked;
  } table[] = {{"no files", {}, false},
               {"older files", {"ZentorMixer.cfg", "c:\\ZentorMixer", "ZentorMixer"}, false},
               {"store cannot be written", {"ZentorMixer"}, true}};
  for (const auto& row : table) {
    SCOPED_TRACE(row.name);
    for (const std::string& f : row.files) Touch(TempPath(f));
    DataPlotter* w = Start();
    EXPECT_EQ(w->AutoMixerDelete->isVisible(), !row.files.empty());
    w->SetAutoMixerDeleteVisible();
    if (row.blocked) {
      test::BlockSettingsStore(TempPath("blocked"));
      dialogs.ExpectMessage();
    }
    w->AutoMixerDelete_Click();
    if (row.blocked) EXPECT_EQ(dialogs.MessageTexts(), std::vector<std::string>{kMixerSettingsNotDeleted});
    else EXPECT_EQ(GetSetting("Zentor", "Mixer", "SaveSetting"), "False");
    for (const std::string& f : row.files) EXPECT_EQ(FileExists(TempPath(f)), row.blocked) << f;
    EXPECT_EQ(w->AutoMixerDelete->isVisible(), row.files.empty() || row.blocked);
    Forms::DeleteAll();
  }
}

// Of each pair of entries the one chosen is marked and its partner not; choosing it again keeps it.
TEST_F(MainWindowTest, MixerAndAveragingMarksAndHelpTopics) {
  DataPlotter* w = Start();
  const std::pair<QAction*, QAction*> pairs[] = {{w->MixerOnMenue, w->MixerOffMenue},
                                                 {w->MixerOffMenue, w->MixerOnMenue},
                                                 {w->EvenAndOdd, w->AllOpt},
                                                 {w->EvenAndOdd, w->AllOpt},
                                                 {w->AllOpt, w->EvenAndOdd}};
  for (const auto& [chosen, other] : pairs) {
    SCOPED_TRACE(chosen->objectName().toStdString());
    chosen->trigger();
    EXPECT_TRUE(chosen->isChecked());
    EXPECT_FALSE(other->isChecked());
    if (other == w->MixerOnMenue || other == w->MixerOffMenue) {
      EXPECT_EQ(AutoMixerOn, chosen == w->MixerOnMenue);
    }
  }
  w->SetMixerOn(-1);  // marks only
  EXPECT_TRUE(w->MixerOnMenue->isChecked());
  EXPECT_FALSE(AutoMixerOn);

  w->MainHelp->trigger();
  w->PrintingHelp->trigger();
  EXPECT_EQ(GetHelpLog().topics, (std::vector<int32_t>{460, 1170}));
}

TEST_F(MainWindowTest, PublicAccessors) {
  DataPlotter* w = Start();
  ResultsDataSetInfo[0].SampleRate = 44100;
  ResultsDataSetInfo[0].FreqRespGateTime = 12.5f;
  EXPECT_EQ(w->GetSampleRate(), 0);  // nothing loaded
  ResultsDataSetInfo[0].NumInSet = 1;
  EXPECT_EQ(w->GetSampleRate(), 44100);
  EXPECT_EQ(w->GetFrequencyResponseGateTime(), 12.5f);

  for (int i = 0; i < 32; ++i) ResultsDataSetInfo[i].ImpulseShift = 10 * i;
  std::array<int32_t, 32> delays{};
  w->GetSigSampleDelay(delays);
  EXPECT_EQ(delays[31], 310);

  w->SetMeasConfig(87);
  EXPECT_EQ(EQConfig.MeasConfig, 87);

  BodeCurves[5].NumCurves = 6;
  BodeCurves[5].NumPoints = 100;
  PsycCurves[0].NumPoints = 100;
  ImpulseCurves[0].NumPoints = 100;
  NoiseCurves[0].NumCurves = 2;
  ModalCurves[0].NumCurves = 2;
  w->SetDisplayRes(6);
  EXPECT_EQ(w->GetDisplayRes(), "6");
  EXPECT_EQ(BodeCurves[5].NumCurves, 0);
  EXPECT_EQ(BodeCurves[5].NumPoints, 0);
  EXPECT_EQ(PsycCurves[0].NumPoints, 0);
  EXPECT_EQ(ImpulseCurves[0].NumPoints, 100);
  EXPECT_EQ(NoiseCurves[0].NumCurves, 0);  // its point count follows the resolution
  EXPECT_EQ(ModalCurves[0].NumCurves, 2);

  w->SetModalNumericalConstants(2, 30.0f, 90.0f, 2.0f, 0.25f, 5, 0.5f, 2, 0.1f, 200.0f);
  EXPECT_EQ(w->GetModalCurveMinFreq(), 30.0f);
  EXPECT_EQ(w->GetModalCurveMaxFreq(), 90.0f);
  EXPECT_EQ(w->GetModalCurveNumInitialLoops(), 5.0f);
  EXPECT_EQ(w->GetLoudspeakerOrder(), 2);
  EXPECT_EQ(w->GetModalSchroederFreq(), 200.0f);
  EXPECT_EQ(w->GetModesCurveNumber(), 2);
  EXPECT_EQ(w->CurveNumberText->text(), "3");
  w->SetSimSort(false);
  EXPECT_EQ(w->GetSimSort(), "False");
  w->SetGraphicEmulation(4);
  w->SetParametricEmulation(5);
  EXPECT_EQ(w->GetGraphicEQEmulation(), 4);
  EXPECT_EQ(w->GetParametricEQEmulation(), 5);
}

TEST_F(MainWindowTest, MouseOverFilterBoxesSetsTheFitMenuMarks) {
  DataPlotter* w = Start();
  auto move = [](QWidget* target) {
    QMouseEvent e(QEvent::MouseMove, QPointF(2, 2), target->mapToGlobal(QPointF(2, 2)), Qt::NoButton,
                  Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(target, &e);
  };
  w->All->setChecked(false);
  move(w->All);
  EXPECT_FALSE(w->AllCurves->isChecked());
  w->All->setChecked(true);
  move(w->All);
  EXPECT_TRUE(w->AllCurves->isChecked());
  w->QkCheck->setChecked(false);
  move(w->QkCheck);
  EXPECT_FALSE(w->QuickFit->isChecked());
  EXPECT_TRUE(w->AllCurves->isChecked());
}

class RecordingSysInfo final : public SysInfoService {
 public:
  explicit RecordingSysInfo(bool available) : available_(available) { SetSysInfoService(this); }
  ~RecordingSysInfo() override { SetSysInfoService(nullptr); }
  bool StartSystemInformation() override {
    ++requests;
    return available_;
  }
  int requests = 0;

 private:
  bool available_;
};

TEST_F(MainWindowTest, AboutBoxNamesTheProgramAndStartsSystemInformation) {
  DataPlotter* w = Start();
  w->about->trigger();
  ASSERT_TRUE(Forms::IsLoaded<frmAbout>());
  frmAbout* box = Forms::Get<frmAbout>();
  EXPECT_TRUE(box->isVisible());
  EXPECT_FALSE(box->isModal());
  EXPECT_EQ(box->windowTitle(), "About Zentor");
  EXPECT_EQ(box->lblTitle->text(), "Zentor");
  EXPECT_EQ(box->lblVersion->text().toStdString(), "Version " ZENTOR_VERSION);
  EXPECT_EQ(box->cmdSysInfo->text(), "&System Info...");

  {
    RecordingSysInfo none(false);
    dialogs.ExpectMessage(MsgAnswer::OK);
    box->cmdSysInfo->click();
    EXPECT_EQ(none.requests, 1);
    EXPECT_EQ(dialogs.MessageTexts().back(), "System Information Is Unavailable At This Time");
  }
  {
    RecordingSysInfo found(true);
    box->cmdSysInfo->click();
    EXPECT_EQ(found.requests, 1);
    EXPECT_EQ(dialogs.MessageTexts().size(), 1u);
  }
  EXPECT_TRUE(box->isVisible());  // stays open after a failure
  box->cmdOK->click();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_FALSE(Forms::IsLoaded<frmAbout>());
}

TEST(SysInfo, FindsTheFirstKnownProgramOnThePath) {
  QTemporaryDir a, b;
  ASSERT_TRUE(a.isValid() && b.isValid());
  const std::string pathList = a.path().toStdString() + ":" + b.path().toStdString();
  EXPECT_EQ(FindSystemInformationProgram(pathList), "");
  const std::string second = b.path().toStdString() + "/" + SystemInformationPrograms()[1];
  ASSERT_TRUE(WriteWholeFileAtomic(second, std::vector<uint8_t>{'#'}));
  EXPECT_EQ(FindSystemInformationProgram(pathList), "");  // not executable
  QFile::setPermissions(QString::fromStdString(second), QFile::ReadOwner | QFile::ExeOwner);
  EXPECT_EQ(FindSystemInformationProgram(pathList), second);
  EXPECT_EQ(FindSystemInformationProgram(""), "");
}

TEST_F(MainWindowTest, NewResultShowsItsFiguresAndPutsTheLastCalibrationInForce) {
  DataPlotter* w = Start();
  MicCalCount = 2;
  MicCalFreq[1] = 40.0f;
  MicCalLevel[1] = -1.5f;
  MicCalFileName = "/cal/mic.cal";
  MeasurementHeader h;
  h.SampleRate = 48000;
  h.PeriodExponent = 10;
  std::vector<float> samples(1024, 1.0f);
  ASSERT_EQ(AddMeasurementToResults(samples, h, "20", "30", "1.5", "-6", "-3"), "True");
  EXPECT_EQ(w->ResultsTakenButNotSaved, -1);
  EXPECT_EQ(w->CurveNoText->text(), "1");
  ASSERT_EQ(w->ModesList->count(), 3);
  EXPECT_EQ(w->ModesList->item(0)->text(), "R: Level = -6 S/N = 20 dB");
  EXPECT_EQ(w->ModesList->item(1)->text(), "L: Level = -3 S/N = 30 dB");
  EXPECT_EQ(w->ModesList->item(2)->text(), "Mic-Spkr Dist = 1.5 m");
  EXPECT_EQ(ActiveMicCal.Count, 2);
  EXPECT_EQ(ActiveMicCal.Level[1], -1.5f);
  EXPECT_EQ(ActiveMicCal.FileName, "/cal/mic.cal");
  EXPECT_EQ(w->GetMicCalFileNotes(), "mic.cal");
}

}  // namespace
}  // namespace zentor
