// Start-up and its defaults, the user settings, closing, and the small commands of the main window.
#include <QMouseEvent>

#include "base/text_number.h"
#include "core/work_arrays.h"
#include "display/color_form.h"
#include "mainwindow/frm_about.h"
#include "mainwindow/user_settings.h"
#include "platform/settings.h"
#include "platform/sysinfo.h"
#include "support/file_faults.h"
#include "window_fixtures.h"

namespace zentor {
namespace {
using test::MainWindowTest;

// Start-up colours: 0 and 12 unset (black), 1 and 2 grey, then the curve colours.
const std::array<ColourRef, 12> kDefaultColours = {
    0, RGB(192, 192, 192), RGB(192, 192, 192), RGB(0, 0, 255), RGB(0, 255, 0), RGB(0, 255, 255),
    RGB(255, 0, 0), RGB(255, 0, 255), RGB(255, 255, 0), RGB(0, 0, 0), RGB(128, 128, 128), RGB(255, 0, 0)};

#define ROW(field, value) \
  { #field, static_cast<double>(field), static_cast<double>(value) }

TEST_F(MainWindowTest, StartUpShowsTheWindowItsMenusItsPictureEveryDefaultAndItsLayout) {
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
  const std::pair<const char*, const char*> items[] = {
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
  for (const auto& [name, caption] : items) {
    QAction* a = w->findChild<QAction*>(name);
    ASSERT_NE(a, nullptr) << name;
    EXPECT_EQ(a->text(), caption) << name;
  }
  EXPECT_TRUE(GetHelpLog().initialised);

  // With the real builders the empty impulse frame is on the picture.
  const QImage& img = w->Picture1->Image();
  ASSERT_FALSE(img.isNull());
  int differing = 0;
  for (int y = 0; y < img.height(); y += 3)
    for (int x = 0; x < img.width(); x += 3) differing += img.pixel(x, y) != img.pixel(2, 2);
  EXPECT_GT(differing, 100);  // grid lines and labels
  EXPECT_GT(TimeGraphFrame.PlotRight, TimeGraphFrame.PlotLeft);  // the frame was laid out by a draw

  // Marks as start-up leaves them: the mixer marks follow AutoMixerOn (off).
  const MeasurementHeader& c = EQConfig;
  const ImpulseDisplayConfigRecord& i = ImpulseDisplayConfig;
  const CoOrdLockLimitsRecord& l = CoOrdLockLimits;
  const DisplayConfigRecord& d = DisplayConfig;
  const std::tuple<const char*, double, double> table[] = {
      ROW(w->AllOpt->isChecked(), true), ROW(w->EvenAndOdd->isChecked(), false), ROW(w->AllCurves->isChecked(), true),
      ROW(w->QuickFit->isChecked(), true), ROW(w->MixerOffMenue->isChecked(), true),
      ROW(w->MixerOnMenue->isChecked(), false), ROW(w->NewTest->menuAction()->isVisible(), false),
      ROW(w->WaterfallGraphic->menuAction()->isVisible(), false), ROW(w->TimeBut->isChecked(), true),
      ROW(w->LargeRoomGraphic->menuAction()->isVisible(), false), ROW(w->Operations->menuAction()->isVisible(), true),
      ROW(w->AutoMixerDelete->isVisible(), false), ROW(c.ReservedDouble1, 15), ROW(c.ModalSliceMaxFreq, 150),
      ROW(c.ReservedDouble3, 6), ROW(c.ReservedDouble4, 20), ROW(c.PeriodExponent, 17),
      ROW(c.PreExcitationExponent, 16), ROW(c.MeasConfig, 43), ROW(c.ReservedLong1, 4), ROW(c.ReservedDouble5, 16),
      ROW(c.ReservedSingle1, 10), ROW(c.ReservedSingle2, 20000), ROW(c.MainRunFlag, 0), ROW(c.PsdRunFlag, 0),
      ROW(c.ReservedInteger3, 0), ROW(c.LevelsPeriodExponent, 15), ROW(c.LevelsPreExcitationExponent, 14),
      ROW(c.PsdPeriodExponent, 15), ROW(c.ImpulseShift, 0), ROW(c.PeakLevel, -50), ROW(c.SignalEnergy, -50),
      ROW(c.ImpulseGateTime, 20), ROW(c.FractOctGateTime, 50), ROW(c.FreqRespGateTime, 10),
      ROW(c.ModalGateTime, 500), ROW(c.NoiseGateTime, 200), ROW(c.PsycLFResolution, 0.75), ROW(c.PsycGateTime, 5),
      ROW(c.PsycShelfTime, 15), ROW(c.PsycShelfLevel, -10), ROW(c.PsycDataPoints, 30), ROW(c.FractOctRes, 0.333f),
      ROW(c.FractOctPoints, 1000), ROW(c.MeasuredDistance, 0), ROW(c.AutoRange, -1), ROW(c.AlignmentShift, 0),
      ROW(c.SampleRate, 0) /* the sound-card selection sets it */, ROW(d.Average, 0), ROW(d.FFTSelected, -1),
      ROW(d.FractOctSelected, 0), ROW(d.PsycSelected, 0), ROW(d.Graphshown, 2), ROW(i.UpperCutoffFreq, 200),
      ROW(i.LowerCutoffFreq, 16), ROW(i.Order, 4), ROW(i.FilterOn, 0), ROW(i.ETCMinLow, 1000),
      ROW(i.ETCMinHigh, 2000), ROW(i.ETCMidLow, 1500), ROW(i.ETCMidHigh, 2500), ROW(i.ETCHighLow, 2000),
      ROW(i.ETCHighHigh, 3000), ROW(i.ApplyLowETC, -1), ROW(i.ApplyMidETC, -1), ROW(i.ApplyHighETC, -1),
      ROW(i.ETCDRTime, 80), ROW(i.ETCDRPlusRev, 300), ROW(l.TimeStart, -5), ROW(l.TimeFinish, 25),
      ROW(l.FreqDomainStartFreq, 16), ROW(l.FreqDomainFinishFreq, 20000), ROW(l.FreqHighLevel, 20),
      ROW(l.FreqLowLevel, -50), ROW(l.NoiseFreqStart, 16), ROW(l.NoiseFreqFinish, 20000), ROW(l.NoiseHighLevel, 75),
      ROW(l.NoiseLowLevel, -10), ROW(RubberBandState.BoxErased, -1), ROW(SoundCardBusy, 0), ROW(DataResampled, 0),
      ROW(AutoMixerOn, 0), ROW(MicChannel, 99), ROW(ActiveMicCal.Count, 0), ROW(w->GetModalCurveMinFreq(), 25),
      ROW(w->GetModalCurveMaxFreq(), 80), ROW(w->GetModalCurveMaxDecay(), 1.5), ROW(w->GetModalQMinimum(), 0.05f),
      ROW(w->GetModalSchroederFreq(), 150), ROW(w->GetModalCurveSecondaryPolishWidth(), 0.5),
      ROW(w->GetModalCurveNumInitialLoops(), 8), ROW(w->GetModalCurveDamping(), 0.8f), ROW(w->GetLoudspeakerOrder(), 4),
      ROW(w->GetGraphicEQEmulation(), 1), ROW(w->GetParametricEQEmulation(), 1), ROW(w->GetDisplayCurveNumber(), 1),
      ROW(w->GetModesCurveNumber(), 0), ROW(w->GetBusy(), 0), ROW(w->ResultsTakenButNotSaved, 0),
      ROW(w->EQResultsTakenButNotSaved, 0), ROW(WorkCurve.size(), 262145), ROW(FreqGraphFrame.XStart, 5),
      ROW(FreqGraphFrame.XFinish, 500), ROW(TimeGraphFrame.XStart, -10), ROW(TimeGraphFrame.YHigh, 30),
      ROW(TimeGraphFrame.LogX, kFalse)};
  for (const auto& [name, value, want] : table) EXPECT_EQ(value, want) << name;
  for (const auto& [name, value, want] : std::initializer_list<std::tuple<const char*, std::string, std::string>>{
           {"DisplayRes", w->GetDisplayRes(), "4"}, {"SimSort", w->GetSimSort(), "True"},
           {"ResultFileName", ResultFileName, "VavevadoRovoResult"}, {"EQFileName", EQFileName, "EQSim.Eq"},
           {"CurveNoText", w->CurveNoText->text().toStdString(), "1"},
           {"CurveNumberText", w->CurveNumberText->text().toStdString(), "1"}})
    EXPECT_EQ(value, want) << name;
  for (int k = 0; k < 12; ++k) EXPECT_EQ(PlotColours[k], kDefaultColours[k]) << k;

  // The layout follows the applied filters; in a window no taller than the panel
  // was drawn for, the modes list keeps to the panel.
  QWidget* client = w->centralWidget();
  w->resize(1280, 540);
  QApplication::processEvents();
  EXPECT_EQ(w->Picture1->width(), client->width());
  EXPECT_TRUE(w->AppliedFilterListBox->isHidden());

  AppliedFilters[0].Count = 1;  // the list takes 2750 twips beside the picture
  w->resize(w->width() + 40, w->height() + 20);
  QApplication::processEvents();
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
  EXPECT_TRUE(w->Picture1->isVisible() && w->ModesList->isVisible());
  EXPECT_GE(std::min(w->Picture1->width(), w->Picture1->height()), 0);
}

// A fit's fourteen modes: a window taller than 600 pixels gives them the lower
// half of the right column; the column's pieces never overlap the graph or each other.
TEST_F(MainWindowTest, TheModesListGrowsWithTheWindow) {
  DataPlotter* w = Start();
  std::vector<std::string> lines;
  for (int i = 0; i < 14; ++i) lines.push_back("P " + std::to_string(30 + 10 * i) + " Hz, Q:9/0.4 L:-6 E:3");
  w->ShowModesLines(lines);
  const auto rows = [w] { return w->ModesList->viewport()->height() / w->ModesList->sizeHintForRow(0); };
  int before = 0;
  for (const bool applied : {false, true}) {
    AppliedFilters[0].Count = applied ? 1 : 0;
    for (const int height : {500, 640, 820, 1000, 1400}) {
      SCOPED_TRACE(std::to_string(height) + (applied ? " with a filter" : ""));
      w->resize(1280, height);
      QApplication::processEvents();
      const QRect list = w->ModesList->geometry(), graph = w->Picture1->geometry();
      const int column = w->ApplyAll->geometry().bottom() - graph.top();
      EXPECT_FALSE(list.intersects(graph));
      EXPECT_FALSE(w->FreqSelect->geometry().intersects(graph));
      EXPECT_LE(w->FreqSelect->geometry().bottom(), list.top());
      EXPECT_LE(list.bottom(), w->ApplyAll->geometry().top());
      if (applied) {
        EXPECT_LT(w->AppliedFilterListBox->geometry().bottom(), w->FreqSelect->geometry().top());
      }
      if (height > 600) {
        EXPECT_NEAR(w->ApplyAll->geometry().bottom() - w->FreqSelect->geometry().top(), column / 2, 4);
      }
      const int now = rows();
      if (height <= 600) {
        EXPECT_EQ(graph.width() == w->centralWidget()->width(), !applied);
      }
      if (height > 600) {
        EXPECT_GE(now, std::min(14, height / 60));
      }
      EXPECT_GE(now, height == 500 ? 1 : before);
      before = now;
    }
  }
}

class UserSettingsTest : public MainWindowTest {
 protected:
  static void Put(const std::string& key, const std::string& value) { SaveSetting("Zentor", "User", key, value); }
  static std::string Get(const std::string& key) { return GetSetting("Zentor", "User", key, "<missing>"); }
};

std::vector<uint8_t> LegacyFile(int colours, bool mixerFlag, bool mic) {
  BinaryWriter out;
  for (int i = 0; i < colours; ++i) out.Long(RGB(i, 2 * i, 3 * i));
  if (mixerFlag) out.Integer(-1);
  if (mic) out.Long(33);
  return out.data();
}

// Stored values count only when "On" is "T" and they are well formed; the older user
// file is moved into the settings store and deleted, a cut one giving only its whole colours.
TEST_F(UserSettingsTest, StoredOrOlderValuesAreUsedOnlyWhenOnAndWellFormedAndSavedOnlyWhenTicked) {
  const auto colours = [](int n, std::function<ColourRef(int)> f) {
    std::array<ColourRef, 12> c = kDefaultColours;
    for (int i = 0; i < n; ++i) c[static_cast<size_t>(i)] = f(i);
    return c;
  };
  const auto older = [&](int n) { return colours(n, [](int i) { return RGB(i, 2 * i, 3 * i); }); };
  std::vector<std::pair<std::string, std::string>> stored = {{"MicChannel", " 33"}, {"AutoMixerOn", "T"}};
  for (int i = 0; i < 12; ++i) stored.emplace_back("Color " + std::to_string(i), Str(static_cast<int32_t>(1000 + i)));
  auto on = stored, off = stored;
  on.emplace_back("On", "T");
  off.emplace_back("On", "t");
  std::vector<uint8_t> cut = LegacyFile(12, true, true);
  cut.resize(30);  // seven colours and half of the eighth
  const struct {
    const char* name;
    std::vector<std::pair<std::string, std::string>> settings;
    std::vector<uint8_t> file;
    bool mixer;
    int32_t mic;
    std::array<ColourRef, 12> colours;
  } table[] = {
      {"off", off, {}, false, 99, kDefaultColours},
      {"on", on, {}, true, 33, colours(12, [](int i) { return 1000 + i; })},
      {"malformed",
       {{"On", "T"}, {"MicChannel", " 42"}, {"AutoMixerOn", "yes"}, {"Color 0", " 255"}, {"Color 1", "blue"},
        {"Color 2", " 99999999"}, {"Color 3", ""}},
       {}, false, 99, colours(1, [](int) { return 255; })},
      {"colours only", {}, LegacyFile(12, false, false), false, 99, older(12)},
      {"mixer flag", {}, LegacyFile(12, true, false), true, 99, older(12)},
      {"mixer flag and channel", {}, LegacyFile(12, true, true), true, 33, older(12)},
      {"cut", {}, cut, false, 99, older(7)}};
  for (const auto& row : table) {
    SCOPED_TRACE(row.name);
    DeleteSetting("Zentor", "User");
    for (const auto& [key, value] : row.settings) Put(key, value);
    if (!row.file.empty()) {
      ASSERT_TRUE(WriteWholeFileAtomic(TempPath("QelUser"), row.file));
    }
    DataPlotter* w = Start();
    EXPECT_EQ(MicChannel, row.mic);
    EXPECT_EQ(AutoMixerOn, row.mixer);
    EXPECT_EQ(w->MixerOnMenue->isChecked(), row.mixer);
    EXPECT_EQ(w->MixerOffMenue->isChecked(), !row.mixer);
    for (int i = 0; i < 12; ++i) EXPECT_EQ(PlotColours[i], row.colours[static_cast<size_t>(i)]) << i;
    if (!row.file.empty()) {
      EXPECT_FALSE(FileExists(TempPath("QelUser")));
      EXPECT_EQ(Get("On"), "T");
      EXPECT_EQ(Get("AutoMixerOn"), row.mixer ? "T" : "F");
      EXPECT_EQ(Get("MicChannel"), Str(row.mic));
      for (int i = 0; i < 12; ++i) EXPECT_EQ(Get("Color " + std::to_string(i)), Str(PlotColours[i])) << i;
    }
    Forms::DeleteAll();
    ResetSharedState();
  }

  // Closing frees the work arrays and closes help and the about box; the user section is
  // written only when the colour box is ticked, from the colour window or the main one.
  DeleteSetting("Zentor", "User");
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

class RecordingSysInfo final : public SysInfoService {
 public:
  explicit RecordingSysInfo(bool available) : available(available) { SetSysInfoService(this); }
  ~RecordingSysInfo() override { SetSysInfoService(nullptr); }
  bool StartSystemInformation() override { return ++requests, available; }
  bool available;
  int requests = 0;
};

// The entry shows while mixer settings were saved or an older mixer file is there;
// it deletes the older files, and a store that cannot take "False" keeps them too.
TEST_F(MainWindowTest, AutoMixerDeleteSmallCommandsMarksAccessorsAndTheAboutBox) {
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
    for (const std::string& f : row.files) ASSERT_TRUE(WriteWholeFileAtomic(TempPath(f), std::vector<uint8_t>{0}));
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

  // The progress bar wraps to one; of each pair of entries the one chosen is marked and its
  // partner not, choosing it again keeps it; the mouse over the fit boxes sets the fit menu's
  // marks; the help topics, the accessors, and a new result putting the last calibration in force.
  dialogs.Clear();
  DataPlotter* w = Start();
  w->InitializeProgressBar1(3);
  w->IncrementProgressBar1();
  w->IncrementProgressBar1();
  EXPECT_EQ(w->IncrementProgressBar1(), "");  // at Max - 1
  EXPECT_EQ(w->ProgressBar1->value(), 1);

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
  EXPECT_EQ(w->GetModalSchroederFreq(), 200.0f);
  EXPECT_EQ(w->CurveNumberText->text(), "3");  // the modes curve, counted from 1
  w->SetSimSort(false);
  EXPECT_EQ(w->GetSimSort(), "False");

  auto move = [](QWidget* target) {
    QMouseEvent e(QEvent::MouseMove, QPointF(2, 2), target->mapToGlobal(QPointF(2, 2)), Qt::NoButton,
                  Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(target, &e);
  };
  for (const auto& [box, on, all, quick] :
       {std::tuple{w->All, false, false, true}, {w->All, true, true, true}, {w->QkCheck, false, true, false}}) {
    box->setChecked(on);
    move(box);
    EXPECT_EQ(w->AllCurves->isChecked(), all) << box->objectName().toStdString() << on;
    EXPECT_EQ(w->QuickFit->isChecked(), quick) << box->objectName().toStdString() << on;
  }

  test::FillStore(0, 10, 0);
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
  QStringList lines;
  for (int i = 0; i < w->ModesList->count(); ++i) lines << w->ModesList->item(i)->text();
  EXPECT_EQ(lines, QStringList({"R: Level = -6 S/N = 20 dB", "L: Level = -3 S/N = 30 dB", "Mic-Spkr Dist = 1.5 m"}));
  EXPECT_EQ(ActiveMicCal.Count, 2);
  EXPECT_EQ(ActiveMicCal.Level[1], -1.5f);
  EXPECT_EQ(ActiveMicCal.FileName, "/cal/mic.cal");
  EXPECT_EQ(w->GetMicCalFileNotes(), "mic.cal");

  // The about box names the program and starts the system information.
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

}  // namespace
}  // namespace zentor
