// Start-up and its defaults, the user settings, closing, and the small commands of the main window.
#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <cmath>
#include <functional>
#include <vector>

#include "base/binary_io.h"
#include "base/shared_state.h"
#include "base/text_number.h"
#include "core/helpers.h"
#include "core/records.h"
#include "core/results_store.h"
#include "core/work_arrays.h"
#include "display/color_form.h"
#include "display/graph_frame.h"
#include "display/plot_colours.h"
#include "display/view_state.h"
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

QAction* FindAction(DataPlotter* w, const char* name) {
  for (QAction* a : w->findChildren<QAction*>())
    if (a->objectName() == name) return a;
  return nullptr;
}

TEST_F(MainWindowTest, StartUpShowsTheWindowWithItsMenus) {
  DataPlotter* w = Forms::Get<DataPlotter>();
  EXPECT_TRUE(w->MixerOnMenue->isChecked());  // as created, before the load
  EXPECT_FALSE(w->MixerOffMenue->isChecked());
  w->Form_Load();
  EXPECT_TRUE(w->isVisible());
  EXPECT_TRUE(w->IsLaidOut());
  EXPECT_EQ(w->windowTitle(), "Zentor");

  std::vector<QString> tops;
  for (QAction* a : w->menuBar()->actions()) tops.push_back(a->text());
  EXPECT_EQ(tops, (std::vector<QString>{"&File", "&Audio Test", "&Options", "&View", "&Filters", "&Tools", "&Help"}));

  struct Item {
    const char* name;
    const char* caption;
  };
  const Item items[] = {
      {"NewMeasMenue", "&Normal Room/Speaker Measurement"}, {"CDTestMeasure", "&CD Test Signal Measurement"},
      {"OpenEQFileMenue", "&EQ File"}, {"TextEQ", "&Textual EQ Settings List"},
      {"AddMeasurements", "&Measurements To Existing"}, {"AutoMixerDelete", "Delete &AutoMixer settings"},
      {"PrintingHelp", "&Help "}, {"ExportJPGLargeRoom", "jpg Export"}, {"NewTestWindow", "&New Test Window"},
      {"MixerOffMenue", "Mixer &Off"}, {"MixerOnMenue", "&Mixer On"}, {"SoundCard", "&SoundCard"},
      {"EvenAndOdd", "&Even And Odd"}, {"AllOpt", "&All"}, {"FrequencyOptions", "F&requency Settings"},
      {"SNRatioMenu", "&Signal To Noise"}, {"CoOrdinateLocker", "&Co-ordinate Lock"}, {"FileDetails", "&Details"},
      {"Xover", "&Xover Modeling"}, {"AddFilter", "&Add Filters to Filter Set"}, {"AllCurves", "&All Curves"},
      {"QuickFit", "&Quick Fit"}, {"NumericalOptions", "&NumericalOptions"}, {"TestCDMake", "Make &Test CD"},
      {"ShowDifferences", "&Show Differences"}, {"Compress", "&Compress File"}, {"Resample", "&Resample"},
      {"MainHelp", "&Help"}, {"about", "&About"}, {"FilterFitSettings", "&Filter Fit Settings"},
      {"AverageOpt", "&Averaging"}, {"LargeRoomGraphic", "&Large Room"}};
  for (const Item& it : items) {
    QAction* a = FindAction(w, it.name);
    ASSERT_NE(a, nullptr) << it.name;
    EXPECT_EQ(a->text(), it.caption) << it.name;
  }
  // Marks as start-up leaves them: the mixer marks follow AutoMixerOn (off).
  EXPECT_TRUE(w->AllOpt->isChecked());
  EXPECT_FALSE(w->EvenAndOdd->isChecked());
  EXPECT_TRUE(w->AllCurves->isChecked());
  EXPECT_TRUE(w->QuickFit->isChecked());
  EXPECT_TRUE(w->MixerOffMenue->isChecked());
  EXPECT_FALSE(w->MixerOnMenue->isChecked());
  EXPECT_FALSE(w->NewTest->menuAction()->isVisible());
  EXPECT_FALSE(w->WaterfallGraphic->menuAction()->isVisible());
  EXPECT_FALSE(w->LargeRoomGraphic->menuAction()->isVisible());
  EXPECT_TRUE(w->Operations->menuAction()->isVisible());
  EXPECT_FALSE(w->AutoMixerDelete->isVisible());

  for (const char* name : {"Picture1", "ModesList", "AppliedFilterListBox", "Frame1", "ControlFrame",
                           "ProgressBar1", "TimeBut", "FreqBut", "NoiseBut", "logbut", "LinBut", "FitFiltersBut",
                           "CurveNoText", "CurveNumberText", "CompModes"})
    EXPECT_NE(w->findChild<QWidget*>(name), nullptr) << name;
  EXPECT_TRUE(w->TimeBut->isChecked());
  const HelpLog& help = GetHelpLog();
  EXPECT_TRUE(help.initialised);
}

// Start-up colours: 0 and 12 unset (black), 1 and 2 grey, then the curve colours.
const std::array<ColourRef, 12> kDefaultColours = {
    0, RGB(192, 192, 192), RGB(192, 192, 192), RGB(0, 0, 255), RGB(0, 255, 0), RGB(0, 255, 255),
    RGB(255, 0, 0), RGB(255, 0, 255), RGB(255, 255, 0), RGB(0, 0, 0), RGB(128, 128, 128), RGB(255, 0, 0)};

TEST_F(MainWindowTest, EveryDefaultHoldsAfterStartUp) {
  DataPlotter* w = Start();
  const MeasurementHeader& c = EQConfig;
  const ImpulseDisplayConfigRecord& i = ImpulseDisplayConfig;
  const CoOrdLockLimitsRecord& l = CoOrdLockLimits;
  const std::vector<std::pair<const char*, std::pair<double, double>>> table = {
      {"ReservedDouble1", {c.ReservedDouble1, 15.0}}, {"ModalSliceMaxFreq", {c.ModalSliceMaxFreq, 150.0}},
      {"ReservedDouble3", {c.ReservedDouble3, 6.0}}, {"ReservedDouble4", {c.ReservedDouble4, 20.0}},
      {"PeriodExponent", {c.PeriodExponent, 17}}, {"PreExcitationExponent", {c.PreExcitationExponent, 16}},
      {"MeasConfig", {c.MeasConfig, 43}}, {"ReservedLong1", {c.ReservedLong1, 4}},
      {"ReservedDouble5", {c.ReservedDouble5, 16.0}}, {"ReservedSingle1", {c.ReservedSingle1, 10.0}},
      {"ReservedSingle2", {c.ReservedSingle2, 20000.0}}, {"MainRunFlag", {c.MainRunFlag, 0}},
      {"PsdRunFlag", {c.PsdRunFlag, 0}}, {"ReservedInteger3", {c.ReservedInteger3, 0}},
      {"LevelsPeriodExponent", {c.LevelsPeriodExponent, 15}},
      {"LevelsPreExcitationExponent", {c.LevelsPreExcitationExponent, 14}},
      {"PsdPeriodExponent", {c.PsdPeriodExponent, 15}}, {"ImpulseShift", {c.ImpulseShift, 0}},
      {"PeakLevel", {c.PeakLevel, -50.0}}, {"SignalEnergy", {c.SignalEnergy, -50.0}},
      {"ImpulseGateTime", {c.ImpulseGateTime, 20.0}}, {"FractOctGateTime", {c.FractOctGateTime, 50.0}},
      {"FreqRespGateTime", {c.FreqRespGateTime, 10.0}}, {"ModalGateTime", {c.ModalGateTime, 500.0}},
      {"NoiseGateTime", {c.NoiseGateTime, 200.0}}, {"PsycLFResolution", {c.PsycLFResolution, 0.75}},
      {"PsycGateTime", {c.PsycGateTime, 5.0}}, {"PsycShelfTime", {c.PsycShelfTime, 15.0}},
      {"PsycShelfLevel", {c.PsycShelfLevel, -10.0}}, {"PsycDataPoints", {c.PsycDataPoints, 30}},
      {"FractOctRes", {c.FractOctRes, 0.333f}}, {"FractOctPoints", {c.FractOctPoints, 1000}},
      {"MeasuredDistance", {c.MeasuredDistance, 0}}, {"AutoRange", {c.AutoRange, -1}},
      {"AlignmentShift", {c.AlignmentShift, 0}}, {"DisplayConfig.Average", {DisplayConfig.Average, 0}},
      {"DisplayConfig.FFTSelected", {DisplayConfig.FFTSelected, -1}},
      {"DisplayConfig.FractOctSelected", {DisplayConfig.FractOctSelected, 0}},
      {"DisplayConfig.PsycSelected", {DisplayConfig.PsycSelected, 0}},
      {"DisplayConfig.Graphshown", {DisplayConfig.Graphshown, 2}}, {"UpperCutoffFreq", {i.UpperCutoffFreq, 200.0}},
      {"LowerCutoffFreq", {i.LowerCutoffFreq, 16.0}}, {"Order", {i.Order, 4}}, {"FilterOn", {i.FilterOn, 0}},
      {"ETCMinLow", {i.ETCMinLow, 1000.0}}, {"ETCMinHigh", {i.ETCMinHigh, 2000.0}},
      {"ETCMidLow", {i.ETCMidLow, 1500.0}}, {"ETCMidHigh", {i.ETCMidHigh, 2500.0}},
      {"ETCHighLow", {i.ETCHighLow, 2000.0}}, {"ETCHighHigh", {i.ETCHighHigh, 3000.0}},
      {"ApplyLowETC", {i.ApplyLowETC, -1}}, {"ApplyMidETC", {i.ApplyMidETC, -1}},
      {"ApplyHighETC", {i.ApplyHighETC, -1}}, {"ETCDRTime", {i.ETCDRTime, 80.0}},
      {"ETCDRPlusRev", {i.ETCDRPlusRev, 300.0}}, {"TimeStart", {l.TimeStart, -5}}, {"TimeFinish", {l.TimeFinish, 25}},
      {"FreqDomainStartFreq", {l.FreqDomainStartFreq, 16}}, {"FreqDomainFinishFreq", {l.FreqDomainFinishFreq, 20000}},
      {"FreqHighLevel", {l.FreqHighLevel, 20}}, {"FreqLowLevel", {l.FreqLowLevel, -50}},
      {"NoiseFreqStart", {l.NoiseFreqStart, 16}}, {"NoiseFreqFinish", {l.NoiseFreqFinish, 20000}},
      {"NoiseHighLevel", {l.NoiseHighLevel, 75}}, {"NoiseLowLevel", {l.NoiseLowLevel, -10}},
      {"BoxErased", {RubberBandState.BoxErased, -1}}, {"SoundCardBusy", {SoundCardBusy, 0}},
      {"DataResampled", {DataResampled, 0}}, {"AutoMixerOn", {AutoMixerOn, 0}}, {"MicChannel", {MicChannel, 99}},
      {"ActiveMicCal.Count", {ActiveMicCal.Count, 0}}, {"MinFreq", {w->GetModalCurveMinFreq(), 25.0}},
      {"MaxFreq", {w->GetModalCurveMaxFreq(), 80.0}}, {"MaxDecay", {w->GetModalCurveMaxDecay(), 1.5}},
      {"QMinimum", {w->GetModalQMinimum(), 0.05f}}, {"SchroederFreq", {w->GetModalSchroederFreq(), 150.0}},
      {"SecondaryPolishWidth", {w->GetModalCurveSecondaryPolishWidth(), 0.5}},
      {"NumInitialLoops", {w->GetModalCurveNumInitialLoops(), 8}}, {"Damping", {w->GetModalCurveDamping(), 0.8f}},
      {"LoudspeakerOrder", {w->GetLoudspeakerOrder(), 4}}, {"GraphicEQEmulation", {w->GetGraphicEQEmulation(), 1}},
      {"ParametricEQEmulation", {w->GetParametricEQEmulation(), 1}},
      {"DisplayCurveNumber", {w->GetDisplayCurveNumber(), 1}}, {"ModesCurveNumber", {w->GetModesCurveNumber(), 0}},
      {"Busy", {w->GetBusy(), 0}}, {"ResultsTakenButNotSaved", {w->ResultsTakenButNotSaved, 0}},
      {"EQResultsTakenButNotSaved", {w->EQResultsTakenButNotSaved, 0}},
  };
  for (const auto& [name, v] : table) EXPECT_EQ(v.first, v.second) << name;
  EXPECT_EQ(c.SampleRate, 0);  // the sound-card selection sets it
  EXPECT_EQ(w->GetDisplayRes(), "4");
  EXPECT_EQ(w->GetSimSort(), "True");
  EXPECT_EQ(ResultFileName, "VavevadoRovoResult");
  EXPECT_EQ(EQFileName, "EQSim.Eq");
  EXPECT_EQ(w->CurveNoText->text(), "1");
  EXPECT_EQ(w->CurveNumberText->text(), "1");
  EXPECT_EQ(WorkCurve.size(), 262145u);
  for (int k = 0; k < 12; ++k) EXPECT_EQ(PlotColours[k], kDefaultColours[k]) << k;
  EXPECT_EQ(FreqGraphFrame.XStart, 5);
  EXPECT_EQ(FreqGraphFrame.XFinish, 500);
  EXPECT_EQ(TimeGraphFrame.XStart, -10);
  EXPECT_EQ(TimeGraphFrame.YHigh, 30);
}

class UserSettingsTest : public MainWindowTest {
 protected:
  static void Put(const std::string& key, const std::string& value) { SaveSetting("Zentor", "User", key, value); }
  static std::string Get(const std::string& key) { return GetSetting("Zentor", "User", key, "<missing>"); }
  void StoreAll(const std::string& on) {
    Put("On", on);
    Put("MicChannel", " 33");
    Put("AutoMixerOn", "T");
    for (int i = 0; i < 12; ++i) Put("Color " + std::to_string(i), Str(static_cast<int32_t>(1000 + i)));
  }
};

TEST_F(UserSettingsTest, StoredValuesAreUsedOnlyWhenOnAndWellFormed) {
  for (const std::string on : {"t", "T"}) {
    SCOPED_TRACE(on);
    StoreAll(on);
    DataPlotter* w = Start();
    const bool used = on == "T";
    EXPECT_EQ(MicChannel, used ? 33 : 99);
    EXPECT_EQ(AutoMixerOn, used);
    for (int i = 0; i < 12; ++i) EXPECT_EQ(PlotColours[i], used ? 1000 + i : kDefaultColours[i]) << i;
    EXPECT_EQ(w->MixerOnMenue->isChecked(), used);
    EXPECT_EQ(w->MixerOffMenue->isChecked(), !used);
    Forms::DeleteAll();
    ResetSharedState();
  }
  DeleteSetting("Zentor", "User");
  for (const auto& [key, value] : {std::pair{"On", "T"}, {"MicChannel", " 42"}, {"AutoMixerOn", "yes"},
                                   {"Color 0", " 255"}, {"Color 1", "blue"}, {"Color 2", " 99999999"}, {"Color 3", ""}})
    Put(key, value);
  Start();
  EXPECT_EQ(MicChannel, 99);
  EXPECT_FALSE(AutoMixerOn);
  EXPECT_EQ(PlotColours[0], 255);
  for (int i = 1; i < 12; ++i) EXPECT_EQ(PlotColours[i], kDefaultColours[i]) << i;
}

std::vector<uint8_t> LegacyFile(int colours, bool mixerFlag, bool mic) {
  BinaryWriter out;
  for (int i = 0; i < colours; ++i) out.Long(RGB(i, 2 * i, 3 * i));
  if (mixerFlag) out.Integer(-1);
  if (mic) out.Long(33);
  return out.data();
}

// The older user file is moved into the settings store and deleted; a cut one gives only its whole colours.
TEST_F(UserSettingsTest, LegacyFilesAreMigratedAndDeleted) {
  std::vector<uint8_t> cut = LegacyFile(12, true, true);
  cut.resize(30);  // seven colours and half of the eighth
  const struct {
    const char* name;
    std::vector<uint8_t> bytes;
    bool mixer;
    int32_t mic;
    int colours;
  } table[] = {{"colours only", LegacyFile(12, false, false), false, 99, 12},
               {"mixer flag", LegacyFile(12, true, false), true, 99, 12},
               {"mixer flag and channel", LegacyFile(12, true, true), true, 33, 12},
               {"cut", cut, false, 99, 7}};
  for (const auto& row : table) {
    SCOPED_TRACE(row.name);
    DeleteSetting("Zentor", "User");
    ASSERT_TRUE(WriteWholeFileAtomic(TempPath("QelUser"), row.bytes));
    DataPlotter* w = Start();
    EXPECT_FALSE(FileExists(TempPath("QelUser")));
    EXPECT_EQ(Get("On"), "T");
    EXPECT_EQ(AutoMixerOn, row.mixer);
    EXPECT_EQ(w->MixerOnMenue->isChecked(), row.mixer);
    EXPECT_EQ(Get("AutoMixerOn"), row.mixer ? "T" : "F");
    EXPECT_EQ(MicChannel, row.mic);
    EXPECT_EQ(Get("MicChannel"), Str(row.mic));
    for (int i = 0; i < 12; ++i) {
      EXPECT_EQ(PlotColours[i], i < row.colours ? RGB(i, 2 * i, 3 * i) : kDefaultColours[i]) << i;
      EXPECT_EQ(Get("Color " + std::to_string(i)), Str(PlotColours[i])) << i;
    }
    Forms::DeleteAll();
    ResetSharedState();
  }
}

TEST_F(MainWindowTest, LayoutFollowsTheAppliedFilters) {
  DataPlotter* w = Start();
  QWidget* client = w->centralWidget();
  EXPECT_EQ(w->Picture1->width(), client->width());
  EXPECT_TRUE(w->AppliedFilterListBox->isHidden());

  AppliedFilters[0].Count = 1;
  w->resize(w->width() + 40, w->height() + 20);
  QApplication::processEvents();
  EXPECT_EQ(w->Picture1->width(), TwipsToPixels(PixelsToTwips(client->width()) - 2750));
  EXPECT_EQ(client->width() - w->Picture1->width(), 183);
  EXPECT_TRUE(w->AppliedFilterListBox->isVisible());
  EXPECT_EQ(w->AppliedFilterListBox->height(), w->Picture1->height());
  EXPECT_EQ(w->Picture1->height(), TwipsToPixels(PixelsToTwips(client->height()) - 2300));
  // The sort buttons share the list's width in one row on the frame's top.
  EXPECT_EQ(w->FreqSelect->y(), w->Frame1->y());
  EXPECT_EQ(w->QSelect->x(), w->FreqSelect->x() + w->FreqSelect->width());
  EXPECT_EQ(w->ModesList->x(), w->AppliedFilterListBox->x());

  // A window too small for the panel still lays out.
  w->resize(120, 90);
  QApplication::processEvents();
  w->ArrangeMainWindow();
  EXPECT_TRUE(w->Picture1->isVisible());
  EXPECT_TRUE(w->ModesList->isVisible());
  EXPECT_GE(w->Picture1->width(), 0);
  EXPECT_GE(w->Picture1->height(), 0);
}

// Closing frees the work arrays and closes help and the about box; the user section
// is written only when the colour box is ticked, from the colour window or the main one.
TEST_F(UserSettingsTest, ClosingFreesTheWindowsAndSavesTheUserSectionOnlyWhenTicked) {
  DataPlotter* w = Start();
  w->about_Click();
  ASSERT_TRUE(Forms::IsLoaded<frmAbout>());
  ASSERT_EQ(WorkCurve.size(), 262145u);
  w->close();
  EXPECT_TRUE(GetHelpLog().closed);
  EXPECT_FALSE(Forms::IsLoaded<frmAbout>());
  EXPECT_EQ(WorkCurve.size(), 2u);
  EXPECT_EQ(PcmSamples.size(), 2u);
  EXPECT_TRUE(w->GetStopModalFlag());
  EXPECT_EQ(Get("On"), "<missing>");

  Forms::DeleteAll();
  ResetSharedState();
  w = Start();
  MicChannel = 33;
  AutoMixerOn = true;
  ColorForm* form = Forms::Get<ColorForm>();
  form->show();
  form->SaveAsDefault->setChecked(true);
  form->close();
  EXPECT_EQ(Get("On"), "T");
  EXPECT_EQ(Get("MicChannel"), " 33");
  EXPECT_EQ(Get("AutoMixerOn"), "T");
  EXPECT_EQ(Get("Color 3"), " 16711680");
  EXPECT_EQ(Get("Color 11"), " 255");
  form->SaveAsDefault->setChecked(true);
  PlotColours[5] = RGB(1, 2, 3);
  w->close();
  EXPECT_EQ(Get("Color 5"), Str(RGB(1, 2, 3)));
}

// A settings store that cannot be written: each writer of the "User" section
// says so, and nothing that waits on the write is given up.
TEST_F(UserSettingsTest, AStoreThatCannotBeWrittenIsReportedAndTheOlderFileStays) {
  ASSERT_TRUE(WriteWholeFileAtomic(TempPath("QelUser"), LegacyFile(12, false, false)));
  ASSERT_TRUE(WriteWholeFileAtomic(TempPath("blocker"), std::vector<uint8_t>{1}));
  SetSettingsFolder(TempPath("blocker") + "/config");  // a folder below a plain file
  EXPECT_FALSE(SaveUserSettings());
  test::BlockSettingsStore(TempPath("blocked"));
  EXPECT_FALSE(SaveUserSettings());
  dialogs.ExpectMessage();
  DataPlotter* w = Start();
  EXPECT_EQ(dialogs.MessageTexts(), std::vector<std::string>{kUserSettingsNotSaved});
  EXPECT_TRUE(FileExists(TempPath("QelUser")));  // moved at a later start

  // The colour window closed ticked.
  dialogs.Clear();
  ColorForm* form = Forms::Get<ColorForm>();
  form->show();
  form->SaveAsDefault->setChecked(true);
  dialogs.ExpectMessage();
  form->close();
  EXPECT_EQ(dialogs.MessageTexts(), std::vector<std::string>{kUserSettingsNotSaved});

  // The main window closing with the box ticked: told, and the close goes on.
  dialogs.Clear();
  form->SaveAsDefault->setChecked(true);
  dialogs.ExpectMessage();
  int16_t cancel = 0;
  w->Form_QueryUnload(cancel);
  EXPECT_EQ(cancel, 0);
  EXPECT_EQ(dialogs.MessageTexts(), std::vector<std::string>{kUserSettingsNotSaved});

  // A store that works again takes the values and the file goes.
  SetSettingsFolder(tempDir.path().toStdString() + "/config");
  EXPECT_TRUE(MigrateLegacyUserFile(TempPath("QelUser")));
  EXPECT_FALSE(FileExists(TempPath("QelUser")));
  EXPECT_EQ(Get("On"), "T");
}

// With the real builders, start-up leaves the empty impulse frame on the picture.
TEST_F(MainWindowTest, StartUpPictureShowsTheImpulseFrame) {
  DataPlotter* w = Start();
  const QImage& img = w->Picture1->Image();
  ASSERT_FALSE(img.isNull());
  const QRgb back = img.pixel(2, 2);
  int differing = 0;
  for (int y = 0; y < img.height(); y += 3)
    for (int x = 0; x < img.width(); x += 3) differing += img.pixel(x, y) != back;
  EXPECT_GT(differing, 100);  // grid lines and labels
  EXPECT_EQ(TimeGraphFrame.LogX, kFalse);
  EXPECT_GT(TimeGraphFrame.PlotRight, TimeGraphFrame.PlotLeft);  // the frame was laid out by a draw
}


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
