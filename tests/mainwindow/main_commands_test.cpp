// The main window's commands: their refusals and questions, what they hand to
// the windows behind MainWindowHooks, the curve selectors, the mode-list sorts,
// the level change of one curve and the link table's control states.
#include <algorithm>
#include <set>

#include "core/emulation.h"
#include "display/time_views.h"
#include "window_fixtures.h"

namespace zentor {
namespace {
using Calls = std::vector<std::string>;

class CommandsTest : public test::RecordedWindowTest {
 public:
  // What a refusal must leave as it was.
  std::string Fingerprint() const {
    std::ostringstream s;
    const MeasurementHeader& h = ResultsDataSetInfo[0];
    s << h.NumInSet << ' ' << h.SampleRate << ' ' << EQConfig.SampleRate << ' ' << SoundCardBusy << ' '
      << DataResampled << ' ' << AppliedFilters[0].Count << ' ' << DisplayConfig.Graphshown << ' '
      << DisplayConfig.Average << ' ' << DisplayConfig.FFTSelected << ' ' << w->ResultsTakenButNotSaved << ' '
      << w->CurveNoText->text().toStdString() << ' ' << w->CurveNumberText->text().toStdString() << ' '
      << w->GetDisplayCurveNumber() << ' ' << w->GetModesCurveNumber() << ' ' << ImpulseSet[0][5] << ' '
      << static_cast<int>(w->SelectedViewButton()) << ' ' << rb.calls.size();
    for (const GraphFrame* f : {&FreqGraphFrame, &TimeGraphFrame, &FitGraphFrame})
      s << ' ' << f->LogX << ' ' << f->XStart << ' ' << f->XFinish << ' ' << f->YLow << ' ' << f->YHigh;
    return s.str();
  }
};

// A refusal or question: the control used (a menu entry or a button, by name),
// what comes before, and what is asked.
struct Refusal {
  const char* control;
  std::function<void(CommandsTest&, DataPlotter&)> setUp;
  std::string text;
  MsgButtons buttons = MsgButtons::OK;
  Calls reached = {};  // links a refusal still reaches before it stops
};

constexpr const char* kRateRefusal =
    "User Error: Each curve in a set must have the same sample frequency. Loaded data may have been resampled";
constexpr const char* kCardInUse = "user Error: Sound card is in use by Zentor";
constexpr const char* kResampled = "User Error: Data has been resampled. New measurements cannot be added";

TEST_F(CommandsTest, EveryRefusalAndQuestionLeavesTheStateAsItWas) {
  auto loaded = [](CommandsTest& t, DataPlotter&) { t.Load(3); };
  auto rateMismatch = [](CommandsTest& t, DataPlotter&) {
    t.Load(3);  // at 48000 Hz
    EQConfig.SampleRate = 44100;
    SoundCardBusy = true;
  };
  auto resampled = [](CommandsTest&, DataPlotter&) { DataResampled = true; };
  auto busy = [](CommandsTest&, DataPlotter&) { SoundCardBusy = true; };
  auto nothing = [](CommandsTest&, DataPlotter&) {};
  const MsgButtons ask = MsgButtons::YesNoCancel;
  const std::vector<Refusal> table = {
      {"Command1", rateMismatch, kRateRefusal},
      {"Command2", rateMismatch, kRateRefusal},
      {"NewMeasMenue", resampled, kResampled},
      {"NewTestWindow", resampled, kResampled},
      {"NewMeasMenue", [](CommandsTest& t, DataPlotter&) { t.links.cardSetUpWorks = false; },
       "Error 5221: AutoMixer Error. Shut off the AutoMixer from Options->Mixer in the main menu. Turn the auto "
       "mixer back on when the mixer is set up. The software will then remember your new mixer settings if you "
       "click YES when prompted to save new settings on shut down. Meanwhile the card's levels can be set in "
       "the desktop's sound settings or in alsamixer.",
       MsgButtons::OK, {"SetUpSoundCardSelection"}},
      {"NewTestWindow", [](CommandsTest& t, DataPlotter&) { t.links.audioFormShows = false; }, "Error 5222",
       MsgButtons::OK, {"SetUpSoundCardSelection", "ShowAudioForm"}},
      {"EQSetUpRTAMenue", busy, kCardInUse},
      {"ImpulseRTA", busy, kCardInUse},
      {"SPLMeasurement", busy, kCardInUse},
      {"EQSetUpRTAMenue", nothing,
       "This RTA was designed for the singular purpose of measuring electronic components or setting an EQ. It is "
       "not suitable for acoustic measurements. Continue ?", ask},
      {"ThreeDBut", loaded, " Bode frequency response must be shown to access this display. Switch to Bode response ?",
       ask},
      {"Waterfall", [](CommandsTest& t, DataPlotter&) { t.Load(3), DisplayConfig.Graphshown = kBodeView; },
       "User Error: Bode response (raw fft) data must be evaluated before selecting waterfall plots for data "
       "viewing"},
      {"DataIntegrity", nothing, "User Error: Measured data must be loaded to access this window."},
      {"Resample", [](CommandsTest&, DataPlotter& w) { w.ResultsTakenButNotSaved = kTrue; },
       "User Error: Measurements must be saved before they can be resampled. Resampled files cannot be saved."},
      {"NewEQFilter", nothing, "User Error: Measured Results must be loaded before filters can be set"},
      {"FileDetails", nothing, "User Error: No data "},
      {"AddMeasurements", nothing,
       "Error: A measurement file (cfa) must be opened before adding additional files with this function"},
      {"DeleteEQ", [](CommandsTest&, DataPlotter&) { AppliedFilters[0].Count = 2; },
       " Clear Existing EQ from Buffers ?", ask},
      {"DeleteMeasBuffers", loaded, " Clear Results from Buffers ?", ask},
      {"RemoveCurve", [](CommandsTest& t, DataPlotter&) { t.Load(3), DisplayConfig.Average = kTrue; },
       "User Error: Curves cannot be deleted while an average is shown"},
      {"RemoveCurve", [](CommandsTest& t, DataPlotter& w) { t.Load(3), w.CurveNoText->setText("abc"); },
       "User Error: Non Numeric Input"},
      {"DelCurve", [](CommandsTest& t, DataPlotter& w) { t.Load(4), w.ResultsTakenButNotSaved = kTrue; },
       "User Error: Results should be saved before deleting curves"},
  };

  for (const Refusal& r : table) {
    const std::vector<MsgAnswer> answers = r.buttons == MsgButtons::YesNoCancel
                                               ? std::vector<MsgAnswer>{MsgAnswer::No, MsgAnswer::Cancel}
                                               : std::vector<MsgAnswer>{MsgAnswer::OK};
    for (MsgAnswer answer : answers) {
      SCOPED_TRACE(std::string(r.control) + ": " + r.text + (answer == MsgAnswer::Cancel ? " (Cancel)" : ""));
      ResultsDataSetInfo[0].NumInSet = 0;
      EQConfig.SampleRate = 48000;
      SoundCardBusy = DataResampled = false;
      AppliedFilters[0].Count = 0;
      DisplayConfig.Graphshown = kImpulseView;
      DisplayConfig.Average = kFalse;
      w->ResultsTakenButNotSaved = kFalse;
      w->CurveNoText->setText("1");
      links.cardSetUpWorks = links.audioFormShows = true;
      r.setUp(*this, *w);
      rb.calls.clear();
      links.calls.clear();
      dialogs.Clear();
      const std::string before = Fingerprint();

      dialogs.ExpectMessage(answer);
      if (auto* a = w->findChild<QAction*>(r.control)) a->trigger();
      else w->findChild<QAbstractButton*>(r.control)->click();
      ASSERT_EQ(dialogs.calls().size(), 1u);
      const test::DialogCall& c = dialogs.calls()[0];
      EXPECT_EQ(c.text, r.text);
      EXPECT_EQ(c.buttons, r.buttons);
      const bool question = r.buttons == MsgButtons::YesNoCancel;
      EXPECT_EQ(c.icon, question ? MsgIcon::Question : MsgIcon::None);
      EXPECT_EQ(c.title, question ? "Mirabelt Zentor" : kDefaultTitle);
      EXPECT_EQ(Fingerprint(), before);
      EXPECT_EQ(links.Take(), r.reached);
    }
  }
}

TEST_F(CommandsTest, CommandsHandTheirWindowsWhatTheyNeedWaterfallCurveLevelGridLimitsAverageAndNorm) {
  EQConfig.SampleRate = 96000;
  w->Command1->click();  // nothing loaded: the rates are not compared
  w->Command2->click();
  Load(2);
  ResultsDataSetInfo[0].SampleRate = 44100;
  EQConfig.SampleRate = 44100;
  w->Command1->click();
  EXPECT_EQ(links.Take(), (Calls{"RunMainTest", "RunLevelsCheck", "RunMainTest"}));

  AppliedFilters[0].Count = 1;  // with a filter applied the analyser opens unasked
  FreqGraphFrame.LogX = kFalse;
  w->EQSetUpRTAMenue->trigger();
  EXPECT_TRUE(w->FreqBut->isChecked());
  EXPECT_EQ(FreqGraphFrame.LogX, kTrue);
  EXPECT_EQ((std::vector<int32_t>{FreqGraphFrame.XStart, FreqGraphFrame.XFinish, FreqGraphFrame.YLow,
                                  FreqGraphFrame.YHigh}),
            (std::vector<int32_t>{16, 20000, -40, 10}));
  w->ImpulseRTA->trigger();
  EXPECT_TRUE(w->TimeBut->isChecked());
  EXPECT_EQ((std::vector<int32_t>{TimeGraphFrame.XStart, TimeGraphFrame.XFinish, TimeGraphFrame.YLow,
                                  TimeGraphFrame.YHigh}),
            (std::vector<int32_t>{-10, 20, -30, 30}));
  EXPECT_EQ(links.Take(), (Calls{"UnloadAudioForm", "SetUpSoundCardSelection", "ShowRTAEQ", "UnloadAudioForm",
                                 "SetUpSoundCardSelection", "ShowRTAImp"}));

  ResultFileName = "/data/room.cfa";
  w->CurveNoText->setText("2");
  w->DataIntegrity->trigger();
  w->ExportAsPCM->trigger();
  w->ShowDifferences->trigger();
  w->ArrangeCurves->trigger();
  w->Compress->trigger();
  EmulationHooks.OpenResampleWindow();  // the emulation check's offer
  EXPECT_EQ(links.Take(), (Calls{"ShowDataIntegrityForm Large Room / /data/room.cfa", "ShowExportPCM 2",
                                 "OpenMathForm 4", "OpenMathForm 5", "OpenMathForm 7", "OpenMathForm 6"}));

  // Waterfall switches to the Bode view or opens on the Bode curves.
  Load(2);
  DisplayConfig.Graphshown = kImpulseView;
  DisplayConfig.FFTSelected = kFalse;
  dialogs.ExpectMessage(MsgAnswer::Yes);
  w->ThreeDBut->click();
  EXPECT_EQ(DisplayConfig.Graphshown, kBodeView);
  EXPECT_EQ(DisplayConfig.FFTSelected, kTrue);
  EXPECT_TRUE(w->FreqBut->isChecked());
  EXPECT_EQ(rb.Take(), (std::vector<test::BuilderCall>{{"ShowFFTResponseSet", 2}}));
  EXPECT_TRUE(links.calls.empty());

  BodeCurves[0].NumPoints = 100;
  ResultFileName = "room.cfa";
  w->Waterfall->trigger();
  EXPECT_EQ(links.Take(), Calls{"ShowThreeDForm room.cfa"});

  w->SetBusy(kTrue);
  w->ThreeDBut->click();
  EXPECT_TRUE(links.calls.empty());
  w->SetBusy(kFalse);

  // The level of one curve changes; grid limits, the average box and norm.
  DisplayConfig.Graphshown = kImpulseView;
  Load(3);
  ResultsDataSetInfo[0].PeriodExponent = 18;  // longer than a column holds: 2^17
  for (auto& column : ImpulseSet) column.fill(0.5f);
  w->ResultsTakenButNotSaved = kFalse;
  SetChangeLevels(kFalse);

  w->ChangeCurveLevel(2, 0.0f);
  w->ChangeCurveLevel(0, 6.0f);
  w->ChangeCurveLevel(33, 6.0f);
  EXPECT_TRUE(rb.calls.empty());
  EXPECT_EQ(w->ResultsTakenButNotSaved, kFalse);
  EXPECT_EQ(ImpulseSet[1][0], 0.5f);

  w->ChangeCurveLevel(2, 6.0f);
  const float g = static_cast<float>(std::pow(10.0, 6.0 / 20.0));
  EXPECT_NEAR(g, 1.99526f, 1e-5f);
  EXPECT_EQ(ImpulseSet[1][0], 0.5f * g);
  EXPECT_EQ(ImpulseSet[1][kMaxSamples - 1], 0.5f * g);
  EXPECT_EQ(ImpulseSet[0][0], 0.5f);
  EXPECT_EQ(ImpulseSet[2][100], 0.5f);
  EXPECT_EQ(rb.Take(), (std::vector<test::BuilderCall>{{"ShowMainImpulseSet", 0}}));
  EXPECT_EQ(w->ResultsTakenButNotSaved, kTrue);
  EXPECT_EQ((std::vector<int32_t>{BodeLevelsChanged, FractOctLevelsChanged, PsycLevelsChanged, NoiseCurves[0].NumCurves,
                                  ModalCurves[0].NumCurves}),
            (std::vector<int32_t>{kTrue, kTrue, kTrue, 0, 0}));

  // The display options' boost does the same.
  w->ResultsTakenButNotSaved = kFalse;
  w->BoostCut(1, -20.0f);
  EXPECT_NEAR(ImpulseSet[0][7], 0.05f, 1e-7f);
  EXPECT_EQ(w->ResultsTakenButNotSaved, kTrue);

  // The grid limits keep to the first Bode curve within the frame; the average box and norm.
  FreqGraphFrame.XStart = 16;
  FreqGraphFrame.XFinish = 20000;
  BodeCurves[0].XValues[1] = 1000;
  const struct { int32_t points; float first, last, min, max; } table[] = {
      {0, 20, 19000, 16, 20000}, {3, 20, 19000, 20, 19000}, {3, 10, 24000, 16, 20000}};
  for (const auto& r : table) {
    BodeCurves[0].NumPoints = r.points;
    BodeCurves[0].XValues[0] = r.first;
    BodeCurves[0].XValues[2] = r.last;
    EXPECT_EQ(w->GetFreqGridXMin(), r.min) << r.points << " " << r.first;
    EXPECT_EQ(w->GetFreqGridXMax(), r.max) << r.points << " " << r.last;
  }

  Load(2);
  w->avg->click();
  EXPECT_EQ(DisplayConfig.Average, kTrue);
  EXPECT_EQ(rb.Take(), (std::vector<test::BuilderCall>{{"ShowMainImpulseSet", kRedrawFiledCurves}}));
  DisplayConfig.Graphshown = kPsdView;
  w->avg->click();  // unticks it
  w->avg->click();  // ticks it, and it is unticked again
  EXPECT_FALSE(w->avg->isChecked());
  EXPECT_EQ(DisplayConfig.Average, kFalse);
  EXPECT_EQ(rb.Take().size(), 2u);

  DisplayConfig.Graphshown = kBodeView;
  w->Norm->click();
  for (const CurveArray* a : {&ImpulseCurves, &BodeCurves, &PsycCurves, &FractOctCurves}) EXPECT_EQ((*a)[0].NumCurves, 0);
  EXPECT_EQ(NoiseCurves[0].NumCurves, 2);
  EXPECT_EQ(rb.Take(), (std::vector<test::BuilderCall>{{"ShowFFTResponseSet", 0}}));
}

TEST_F(CommandsTest, CurveSelectorsSortButtonsAndEachLinkedControlEnabledExactlyWhileItsLinkIsSet) {
  Load(3);
  w->RightDisplayArrow->click();
  w->RightDisplayArrow->click();
  w->RightDisplayArrow->click();  // past 3: back to 1
  w->LeftDisplayArrow->click();   // below 1: to 3
  EXPECT_EQ(links.Take(), (Calls{"ShowCurveView 2", "ShowCurveView 3", "ShowCurveView 1", "ShowCurveView 3"}));

  w->SetBusy(kTrue);
  w->LeftDisplayArrow->click();
  EXPECT_EQ(w->GetDisplayCurveNumber(), 3);
  w->SetBusy(kFalse);

  // A number typed is rounded down or refused.
  w->CurveNoText->setText("2.5");
  QTest::keyClick(w->CurveNoText, Qt::Key_Return);
  EXPECT_EQ(w->GetDisplayCurveNumber(), 2);
  EXPECT_EQ(links.Take(), Calls{"ShowCurveView 2"});

  w->CurveNoText->setText("4");
  dialogs.ExpectMessage();
  QTest::keyClick(w->CurveNoText, Qt::Key_Return);
  EXPECT_EQ(dialogs.MessageTexts().back().rfind("User Error: Input must be between", 0), 0u);
  EXPECT_EQ(w->GetDisplayCurveNumber(), 2);
  EXPECT_TRUE(links.calls.empty());

  // Set from code, a number outside the set is refused too.
  dialogs.Clear();
  dialogs.ExpectMessage();
  dialogs.ExpectMessage();
  w->SetDisplayCurveNumber(4);
  w->SetDisplayCurveNumber(0);
  w->SetDisplayCurveNumber(3);
  EXPECT_EQ(dialogs.MessageTexts(), (std::vector<std::string>{"Error 7428", "Error 7428"}));
  EXPECT_EQ(w->CurveNoText->text(), "3");
  links.calls.clear();

  ResultsDataSetInfo[0].NumInSet = 0;  // two spectra, no result
  DisplayConfig.Graphshown = kPsdView;
  PsdCurves[0].NumCurves = 2;
  w->RightDisplayArrow->click();
  EXPECT_EQ(w->GetDisplayCurveNumber(), 1);
  EXPECT_EQ(w->CurveNoText->text(), "1");
  w->LeftDisplayArrow->click();
  EXPECT_EQ(w->CurveNoText->text(), "2");
  EXPECT_TRUE(links.calls.empty());  // no result to show alone

  // The modes curve wraps and takes the graph range when its set has none.
  links.calls.clear();
  w->RightArrow->click();  // no result: nothing
  EXPECT_TRUE(links.calls.empty());

  Load(3);
  FreqGraphFrame.LogX = kTrue;
  FreqGraphFrame.XStart = 16;
  FreqGraphFrame.XFinish = 20000;
  SingularityList[2].RangeLow = 30.4f;
  SingularityList[2].RangeHigh = 199.6f;
  w->LeftArrow->click();  // from curve 1 to curve 3
  EXPECT_EQ(w->GetModesCurveNumber(), 2);
  EXPECT_EQ(w->CurveNumberText->text(), "3");
  EXPECT_EQ((std::pair{FitGraphFrame.XStart, FitGraphFrame.XFinish}), (std::pair{30, 200}));
  EXPECT_EQ(links.Take(), (Calls{"CheckForCurveSingularities 2", "ShowCorrectedResponse 2"}));

  w->RightArrow->click();  // past the last: curve 1, whose set has no range
  EXPECT_EQ((std::pair{FitGraphFrame.XStart, FitGraphFrame.XFinish}), (std::pair{16, 20000}));
  EXPECT_EQ(SingularityList[0].RangeHigh, 20000.0f);

  w->CurveNumberText->setText("2");
  QTest::keyClick(w->CurveNumberText, Qt::Key_Return);
  EXPECT_EQ(w->GetModesCurveNumber(), 1);

  SingularityList[0].Average = kTrue;  // a fit of the average lists curve 1 only
  w->RightArrow->click();
  EXPECT_EQ(w->GetModesCurveNumber(), 0);
  EXPECT_EQ(w->CurveNumberText->text(), "1");

  // The sort buttons turn one shared direction and sort every record.
  SingularityList[0].Average = kFalse;
  links.calls.clear();
  std::vector<std::string> log;
  auto record = [&log](const char* key) {
    return [&log, key](SingularityListRecord& s, bool up) {
      std::sort(s.Freq.begin(), s.Freq.begin() + s.Count, [up](float a, float b) { return up ? a < b : a > b; });
      log.push_back(std::string(key) + (up ? "+" : "-"));
    };
  };
  MainWindowHooks.SortFilterSetByKey1 = record("F");
  MainWindowHooks.SortFilterSetByKey2 = record("Q");
  for (SingularityListRecord& s : SingularityList) {
    s.Count = 3;
    s.Freq = {200, 100, 300};
  }
  SingularityList[32].Freq = {9, 8, 7};  // the 33rd record is not a curve's

  w->FreqSelect->click();
  EXPECT_EQ(SingularityList[31].Freq[0], 100.0f);
  w->FreqSelect->click();
  EXPECT_EQ(SingularityList[0].Freq[0], 300.0f);
  w->QSelect->click();
  ASSERT_EQ(log.size(), 96u);
  EXPECT_EQ((std::set<std::string>(log.begin(), log.begin() + 32)), std::set<std::string>{"F+"});
  EXPECT_EQ((std::set<std::string>(log.begin() + 32, log.begin() + 64)), std::set<std::string>{"F-"});
  EXPECT_EQ((std::set<std::string>(log.begin() + 64, log.end())), std::set<std::string>{"Q+"});
  EXPECT_EQ(w->GetModeSortKey(), 1);
  EXPECT_EQ(SingularityList[32].Freq[0], 9.0f);
  EXPECT_EQ(links.Take(), Calls(3, "CheckForCurveSingularities 0"));

  w->SetBusy(kTrue);
  w->QSelect->click();
  EXPECT_EQ(w->ModeSortAscending, kFalse);
  EXPECT_EQ(log.size(), 96u);
  w->SetBusy(kFalse);

  SingularityList[7].Count = 76;  // damaged: nothing is sorted
  dialogs.ExpectMessage();
  w->FreqSelect->click();
  EXPECT_EQ(dialogs.MessageTexts().back(), "Error 6329");
  EXPECT_EQ(log.size(), 96u);

  // Each linked control is enabled exactly while its link is set.
  // The entries that wait for later windows, as the menu and panel name them.
  const std::set<std::string> waiting = {
      "Command1", "Command2", "Command3", "Response", "LevelTest", "NewMeasMenue", "NewTestWindow",
      "EQSetUpRTAMenue", "ImpulseRTA", "SPLMeasurement", "DistortionMeas", "CDTestMeasure", "SoundCard",
      "MicCalibration", "ExportAsPCM", "ImportWave", "AdjustLevels", "ShowDifferences", "ArrangeCurves", "Compress",
      "Resample", "NewEQFilter", "NumericalOptions", "NumOptBut", "ErrSelect", "Polish", "NewFilter", "EQEmulation",
      "FitFilter", "AddFilter", "PolishFilter", "FitFiltersBut", "TextEQ", "CompModes", "ModesList", "TestCDMake",
      "Xover", "ThreeDBut", "Waterfall", "DataIntegrity", "LeftDisplayArrow", "RightDisplayArrow"};
  std::set<std::string> listed;
  for (const auto& c : w->LinkedControls()) {
    listed.insert(c.control);
    EXPECT_TRUE(c.linked && c.enabled) << c.control;
    EXPECT_FALSE(c.missing.empty()) << c.control;
    EXPECT_NE(w->findChild<QObject*>(QString::fromStdString(c.control)), nullptr) << c.control;
  }
  for (const std::string& name : waiting) EXPECT_EQ(listed.count(name), 1u) << name;

  w->EnableDataPlotterPlayRec(kFalse);
  for (const auto& c : w->LinkedControls())
    EXPECT_EQ(c.enabled, c.control.rfind("Command", 0) != 0) << c.control;
  EXPECT_FALSE(w->NewTest->menuAction()->isVisible());
  w->EnableDataPlotterPlayRec(kTrue);
  EXPECT_TRUE(w->NewTest->menuAction()->isVisible());

  MainWindowHooks = MainWindowLinks{};
  MainWindowHooks.ShowThreeDForm = [](const std::string&) {};
  w->RefreshLinkedControls();
  for (const auto& c : w->LinkedControls())
    EXPECT_EQ(c.enabled, c.link == "ShowThreeDForm") << c.control;
  EXPECT_FALSE(w->NewMeasMenue->isEnabled());
  EXPECT_FALSE(w->LeftDisplayArrow->isEnabled());
  EXPECT_EQ(w->ModesList->selectionMode(), QAbstractItemView::NoSelection);
  EXPECT_TRUE(w->ThreeDBut->isEnabled());
  EXPECT_TRUE(w->Waterfall->isEnabled());
  EXPECT_TRUE(w->DeleteMeasBuffers->isEnabled());  // built whole here
  EXPECT_TRUE(w->RemoveCurve->isEnabled());
}

// Removing results: one with everything derived from it, the whole set with and
// without progress, the two Delete Curve buttons and a stored noise spectrum.
using Builders = std::vector<test::BuilderCall>;

std::array<CurveArray*, 8> Caches() {
  return {&NoiseCurves, &ImpulseCurves, &BodeCurves, &ModalCurves,
          &PsycCurves,  &FractOctCurves, &FitStoredCurves, &FitInputCurves};
}

class RemovalTest : public CommandsTest {
 protected:
  // n results each marked k (1-based) in its samples, header, cache curves and filter set.
  void FillSet(int32_t n) {
    for (int32_t i = 0; i < n; ++i) {
      const auto k = static_cast<size_t>(i);
      MeasurementHeader& h = ResultsDataSetInfo[k];
      h = EQConfig;
      h.NumInSet = n;
      h.SampleRate = 48000;
      h.PeriodExponent = 17;
      h.ImpulseShift = 100 * (i + 1);
      ImpulseSet[k].fill(0.0f);
      ImpulseSet[k][0] = ImpulseSet[k][kMaxSamples - 1] = static_cast<float>(i + 1);
      for (CurveArray* cache : Caches()) test::FlatCurve(*cache, i, 5, static_cast<float>(i + 1));
      SingularityList[k].Count = 2;
      SingularityList[k].Curve = i;
      SingularityList[k].Freq[0] = static_cast<float>(i + 1);
    }
    rb.calls.clear();
  }
  // The marks of the results held, in order.
  static std::vector<int32_t> Marks() {
    std::vector<int32_t> m;
    for (int32_t i = 0; i < std::clamp(ResultsDataSetInfo[0].NumInSet, 0, kMaxResults); ++i)
      m.push_back(static_cast<int32_t>(ImpulseSet[static_cast<size_t>(i)][0]));
    return m;
  }
  void ClickRemoveCurve(const char* text) {
    w->CurveNoText->setText(text);
    w->RemoveCurve->click();
  }
};

TEST_F(RemovalTest, RemoveCurveClearingQuickClearingAndDelCurve) {
  FillSet(5);
  std::vector<int> values;
  QObject::connect(w->ProgressBar1, &QProgressBar::valueChanged, [&values](int v) { values.push_back(v); });
  dialogs.ExpectMessage(MsgAnswer::Yes);
  w->DeleteMeasBuffers->trigger();
  EXPECT_EQ(values, (std::vector<int>{1, 2, 3, 4, 5, 0}));
  EXPECT_EQ(w->ProgressBar1->maximum(), 5);
  EXPECT_EQ(ResultsDataSetInfo[0].NumInSet, 0);
  EXPECT_EQ(ImpulseSet[4][0], 0.0f);
  EXPECT_EQ(BodeCurves[0].NumCurves, 0);
  EXPECT_EQ(rb.Take(), (Builders{{"ShowMainImpulseSet", kRecomputeAllCurves}}));

  w->ClearMeasurementBuffers();  // nothing loaded: nothing happens
  EXPECT_TRUE(rb.calls.empty());

  FillSet(3);
  w->RemoveResultQuickly(-1);
  w->RemoveResultQuickly(kMaxResults);
  EXPECT_EQ(BodeCurves[2].NumPoints, 5);

  w->ClearMeasurementBuffersQuickly();
  for (int32_t i = 0; i < 3; ++i) {
    const auto k = static_cast<size_t>(i);
    EXPECT_EQ(ResultsDataSetInfo[k].NumInSet, 0);
    EXPECT_EQ(ImpulseSet[k][0], static_cast<float>(i + 1));
    EXPECT_EQ(SingularityList[k].Count, 0);
    EXPECT_EQ(ImpulseCurves[k].CurveIndex, 0);
    for (CurveArray* cache : Caches()) {
      EXPECT_EQ((*cache)[k].NumPoints, 0);
      EXPECT_EQ((*cache)[k].NumCurves, 0);
    }
  }
  EXPECT_EQ(rb.Take(), (Builders{{"ShowMainImpulseSet", kRecomputeAllCurves}}));

  // Delete Curve removes the modes curve or stops quietly.
  MainWindowHooks.FitFiltersBut_Click = [] {};  // curves reach the fit only through it
  w->RefreshLinkedControls();
  FillSet(3);
  w->ResultsTakenButNotSaved = kTrue;  // unsaved, but at most 3 results: no message
  FitInputCurves[0].NumPoints = 10;
  w->DelCurve->click();
  EXPECT_EQ(Marks(), (std::vector<int32_t>{1, 2, 3}));
  w->ResultsTakenButNotSaved = kFalse;

  w->SetBusy(kTrue);
  w->DelCurve->click();
  w->SetBusy(kFalse);
  SingularityList[0].Average = kTrue;  // a fit of the average: back to curve 1
  w->CurveNumberText->setText("3");
  w->DelCurve->click();
  EXPECT_EQ(w->CurveNumberText->text(), "1");
  EXPECT_EQ(Marks(), (std::vector<int32_t>{1, 2, 3}));
  SingularityList[0].Average = kFalse;
  EXPECT_TRUE(links.Take().empty());

  w->CurveNumberText->setText("2");
  QTest::keyClick(w->CurveNumberText, Qt::Key_Return);
  links.calls.clear();
  FitInputCurves[1].NumPoints = 10;
  w->DelCurve->click();
  EXPECT_EQ(Marks(), (std::vector<int32_t>{1, 3}));
  EXPECT_EQ(w->GetModesCurveNumber(), 0);
  EXPECT_EQ(w->CurveNumberText->text(), "1");
  EXPECT_EQ(FitInputCurves[0].NumCurves, 2);
  EXPECT_EQ(links.Take(), std::vector<std::string>{"ShowCorrectedResponse 0"});

  FitInputCurves[0].NumPoints = 10;  // curve 1: the index falls below 0 and is raised again
  w->DelCurve->click();
  EXPECT_EQ(Marks(), (std::vector<int32_t>{3}));
  EXPECT_EQ(w->GetModesCurveNumber(), 0);
  EXPECT_EQ(links.Take(), std::vector<std::string>{"ShowCorrectedResponse 0"});

  FitInputCurves[0].NumPoints = 0;  // no fit input for the curve: nothing
  w->DelCurve->click();
  EXPECT_EQ(Marks(), (std::vector<int32_t>{3}));

  // Remove Curve takes the typed result or spectrum, clamped and truncated.
  const std::vector<std::pair<const char*, std::vector<int32_t>>> cases = {
      {"7", {1, 2}}, {"0", {2, 3}}, {"2.7", {1, 3}}, {"-4", {2, 3}}};
  for (const auto& [text, left] : cases) {
    SCOPED_TRACE(text);
    FillSet(3);
    ClickRemoveCurve(text);
    EXPECT_EQ(Marks(), left);
    EXPECT_EQ(ResultsDataSetInfo[0].NumInSet, 2);
    EXPECT_EQ(rb.Take(), (Builders{{"ShowMainImpulseSet", kRedrawFiledCurves}}));
  }
  EXPECT_EQ(w->CurveNoText->text(), "1");
  FillSet(3);
  ClickRemoveCurve("7");
  EXPECT_EQ(w->CurveNoText->text(), "3");

  ResultsDataSetInfo[0].NumInSet = 0;  // nothing to remove: only the redraw
  rb.calls.clear();
  ClickRemoveCurve("1");
  EXPECT_EQ(rb.Take().size(), 1u);

  // A spectrum removed moves the later ones whole, with their own sizes.
  const int32_t exponents[] = {15, 13, 14};
  const int32_t rates[] = {48000, 44100, 96000};
  for (int32_t c = 0; c < 3; ++c) {
    const auto i = static_cast<size_t>(c);
    PsdParameters[i].Exponent = exponents[c];
    PsdParameters[i].SampleRate = rates[c];
    PsdSet[i].fill(0.0f);
    std::fill_n(PsdSet[i].begin(), 1 << exponents[c], static_cast<float>(c + 1));
    test::FlatCurve(PsdCurves, c, 5, static_cast<float>(c + 1));
  }
  PsdParameters[0].Count = 3;
  ResultsDataSetInfo[0].NumInSet = 0;
  DisplayConfig.Graphshown = kPsdView;

  ClickRemoveCurve("1");
  EXPECT_EQ(PsdParameters[0].Count, 2);
  EXPECT_EQ(PsdCurves[0].NumCurves, 2);
  EXPECT_EQ(PsdCurves[1].YValues[0], 3.0f);
  EXPECT_EQ((std::vector<int32_t>{PsdParameters[0].Exponent, PsdParameters[0].SampleRate, PsdParameters[1].Exponent,
                                  PsdParameters[1].SampleRate, PsdParameters[2].Exponent}),
            (std::vector<int32_t>{13, 44100, 14, 96000, 0}));
  EXPECT_EQ(std::count(PsdSet[0].begin(), PsdSet[0].end(), 2.0f), 1 << 13);
  EXPECT_EQ(std::count(PsdSet[1].begin(), PsdSet[1].end(), 3.0f), 1 << 14);
  EXPECT_EQ(std::count(PsdSet[2].begin(), PsdSet[2].end(), 0.0f), kPsdSpectrumRows);
  EXPECT_EQ(rb.Take(), (Builders{{"ShowPSDEnergy", kRedrawFiledCurves}}));

  ClickRemoveCurve("9");  // clamped to the last
  EXPECT_EQ(PsdParameters[0].Count, 1);
  EXPECT_EQ(PsdParameters[0].Exponent, 13);
  EXPECT_EQ(w->CurveNoText->text(), "2");

  // Removing moves the later results down; bad numbers change nothing.
  FillSet(2);
  w->ModesList->addItem("mode");
  w->RemoveResult(1);

  EXPECT_EQ(ResultsDataSetInfo[0].NumInSet, 1);
  EXPECT_EQ(ResultsDataSetInfo[0].ImpulseShift, 200);
  EXPECT_EQ(ImpulseSet[0][kMaxSamples - 1], 2.0f);
  EXPECT_EQ(ImpulseSet[1][0], 0.0f);
  for (CurveArray* cache : Caches()) {
    EXPECT_EQ((*cache)[0].NumCurves, 1);
    EXPECT_EQ((*cache)[0].YValues[4], 2.0f);
    EXPECT_EQ((*cache)[0].Label, "1 ");
    EXPECT_EQ((*cache)[1].NumPoints, 0);
  }
  EXPECT_EQ(SingularityList[0].Freq[0], 2.0f);
  EXPECT_EQ(SingularityList[1].Count, 0);  // what record 2 held: nothing
  EXPECT_EQ(SingularityList[31].Count, 0);
  for (int32_t r = 0; r < kMaxResults; ++r) EXPECT_EQ(SingularityList[static_cast<size_t>(r)].Curve, r);
  EXPECT_EQ(w->ModesList->count(), 0);

  // A full set empties from either end.
  FillSet(kMaxResults);
  for (SingularityListRecord& s : SingularityList) s.Curve = 77;
  for (int32_t k : {0, -1, kMaxResults + 1, 1000}) w->RemoveResult(k);
  EXPECT_EQ(ResultsDataSetInfo[0].NumInSet, kMaxResults);
  EXPECT_EQ(SingularityList[5].Curve, 77);

  w->RemoveResult(kMaxResults);
  EXPECT_EQ(Marks().back(), kMaxResults - 1);
  EXPECT_EQ(SingularityList[30].Freq[0], 31.0f);
  EXPECT_EQ(SingularityList[31].Count, 0);
  w->RemoveResult(1);
  EXPECT_EQ(Marks().front(), 2);
  EXPECT_EQ(SingularityList[0].Freq[0], 2.0f);
  while (ResultsDataSetInfo[0].NumInSet > 0) w->RemoveResult(1);
  for (CurveArray* cache : Caches()) EXPECT_EQ((*cache)[0].NumCurves, 0);
  EXPECT_EQ(ImpulseSet[0][0], 0.0f);
}

}  // namespace
}  // namespace zentor
