// The main window's commands: the menu entries and panel buttons that check the
// loaded data and open another window or run an operation, the two curve
// selectors, the sorting of the mode lists and the level change of one curve.
// What lives in the layers above is reached through MainWindowHooks.
#include <QAction>
#include <QCheckBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <algorithm>

#include "base/text_number.h"
#include "core/records.h"
#include "core/results_store.h"
#include "display/dispatcher.h"
#include "display/graph_frame.h"
#include "display/view_state.h"
#include "mainwindow/data_plotter.h"
#include "mainwindow/event_hook.h"
#include "mainwindow/main_window_links.h"
#include "platform/dialogs.h"
#include "platform/forms.h"
#include "platform/text_boxes.h"

namespace zentor {

namespace {

constexpr const char* kQuestionTitle = "Mirabelt Zentor";
constexpr const char* kCardInUse = "user Error: Sound card is in use by Zentor";
constexpr const char* kAutoMixerError =
    "Error 5221: AutoMixer Error. Shut off the AutoMixer from Options->Mixer in the main menu. Turn the auto mixer "
    "back on when the mixer is set up. The software will then remember your new mixer settings if you click YES "
    "when prompted to save new settings on shut down. Meanwhile the card's levels can be set in the desktop's "
    "sound settings or in alsamixer.";

int32_t LoadedCount() { return std::clamp(ResultsDataSetInfo[0].NumInSet, 0, kMaxResults); }

bool Ask(const std::string& question) {
  return MsgBox(question, MsgButtons::YesNoCancel, MsgIcon::Question, kQuestionTitle) == MsgAnswer::Yes;
}

// Runs a link that has no checks of its own; unset, nothing happens.
template <class F, class... A>
void Call(const F& link, A&&... args) {
  if (link) link(std::forward<A>(args)...);
}

// The sound-card set-up that precedes every streaming window; false ends the command.
bool SetUpSoundCard() {
  return !MainWindowHooks.SetUpSoundCardSelection || MainWindowHooks.SetUpSoundCardSelection();
}

// Enter in a text box runs its key handler with the key code 13.
void OnEnter(QLineEdit* box, std::function<void()> handler) {
  new EventHook(box, [handler = std::move(handler)](QEvent* e) {
    if (e->type() != QEvent::KeyPress) return false;
    const int key = static_cast<QKeyEvent*>(e)->key();
    if (key != Qt::Key_Return && key != Qt::Key_Enter) return false;
    handler();
    return true;
  });
}

void SetUsable(QObject* control, bool on) {
  if (auto* list = qobject_cast<QListWidget*>(control)) {
    // The list keeps showing its lines; only picking one waits for the link.
    list->setSelectionMode(on ? QAbstractItemView::SingleSelection : QAbstractItemView::NoSelection);
  } else if (auto* action = qobject_cast<QAction*>(control)) {
    action->setEnabled(on);
  } else if (auto* widget = qobject_cast<QWidget*>(control)) {
    widget->setEnabled(on);
  }
}

bool IsUsable(const QObject* control) {
  if (auto* list = qobject_cast<const QListWidget*>(control))
    return list->selectionMode() != QAbstractItemView::NoSelection;
  if (auto* action = qobject_cast<const QAction*>(control)) return action->isEnabled();
  if (auto* widget = qobject_cast<const QWidget*>(control)) return widget->isEnabled();
  return false;
}

}  // namespace

// ---- Controls ------------------------------------------------------------------

void DataPlotter::InitCommandControls() {
  if (RemoveCurve) return;
  RemoveCurve = new QPushButton("Delete Curve", Frame1);
  RemoveCurve->setObjectName("RemoveCurve");
  RemoveCurve->setGeometry(TwipsToPixels(5600), TwipsToPixels(810), TwipsToPixels(1100), TwipsToPixels(300));

  auto onClick = [this](QPushButton* b, void (DataPlotter::*handler)()) {
    connect(b, &QPushButton::clicked, this, [this, handler] { (this->*handler)(); });
  };
  auto onTrigger = [this](QAction* a, void (DataPlotter::*handler)()) {
    connect(a, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
  };
  // Entries whose whole handler lives with the window they belong to.
  auto toLink = [this](QObject* control, std::function<void()> MainWindowLinks::*link) {
    auto run = [link] { Call(MainWindowHooks.*link); };
    if (auto* a = qobject_cast<QAction*>(control))
      connect(a, &QAction::triggered, this, run);
    else if (auto* b = qobject_cast<QPushButton*>(control))
      connect(b, &QPushButton::clicked, this, run);
  };

  onClick(Command1, &DataPlotter::Command1_Click);
  onClick(Command2, &DataPlotter::Command2_Click);
  onClick(Command3, &DataPlotter::Command3_Click);
  onClick(ThreeDBut, &DataPlotter::ThreeDBut_Click);
  onClick(NumOptBut, &DataPlotter::NumOptBut_Click);
  onClick(ErrSelect, &DataPlotter::ErrSelect_Click);
  onClick(Polish, &DataPlotter::Polish_Click);
  onClick(StopModal, &DataPlotter::StopModal_Click);
  onClick(Command7, &DataPlotter::Command7_Click);
  onClick(FreqSelect, &DataPlotter::FreqSelect_Click);
  onClick(QSelect, &DataPlotter::QSelect_Click);
  onClick(RemoveCurve, &DataPlotter::RemoveCurve_Click);
  onClick(DelCurve, &DataPlotter::DelCurve_Click);
  onClick(LeftDisplayArrow, &DataPlotter::LeftDisplayArrow_Click);
  onClick(RightDisplayArrow, &DataPlotter::RightDisplayArrow_Click);
  onClick(LeftArrow, &DataPlotter::LeftArrow_Click);
  onClick(RightArrow, &DataPlotter::RightArrow_Click);
  connect(avg, &QCheckBox::clicked, this, [this] { avg_Click(); });
  connect(Norm, &QCheckBox::clicked, this, [this] { Norm_Click(); });

  onTrigger(Response, &DataPlotter::Response_Click);
  onTrigger(LevelTest, &DataPlotter::LevelTest_Click);
  onTrigger(NewMeasMenue, &DataPlotter::NewMeasMenue_Click);
  onTrigger(NewTestWindow, &DataPlotter::NewTestWindow_Click);
  onTrigger(EQSetUpRTAMenue, &DataPlotter::EQSetUpRTAMenue_Click);
  onTrigger(ImpulseRTA, &DataPlotter::ImpulseRTA_Click);
  onTrigger(SPLMeasurement, &DataPlotter::SPLMeasurement_Click);
  onTrigger(CDTestMeasure, &DataPlotter::CDTestMeasure_Click);
  onTrigger(DistortionMeas, &DataPlotter::DistortionMeas_Click);
  onTrigger(SoundCard, &DataPlotter::SoundCard_Click);
  onTrigger(MicCalibration, &DataPlotter::MicCalibration_Click);
  onTrigger(DataIntegrity, &DataPlotter::DataIntegrity_Click);
  onTrigger(ExportAsPCM, &DataPlotter::ExportAsPCM_Click);
  onTrigger(ImportWave, &DataPlotter::ImportWave_Click);
  onTrigger(AdjustLevels, &DataPlotter::AdjustLevels_Click);
  onTrigger(ShowDifferences, &DataPlotter::ShowDifferences_Click);
  onTrigger(ArrangeCurves, &DataPlotter::ArrangeCurves_Click);
  onTrigger(Compress, &DataPlotter::Compress_Click);
  onTrigger(Resample, &DataPlotter::Resample_Click);
  onTrigger(NewEQFilter, &DataPlotter::NewEQFilter_Click);
  onTrigger(DeleteEQ, &DataPlotter::DeleteEQ_Click);
  onTrigger(DeleteMeasBuffers, &DataPlotter::DeleteMeasBuffers_Click);
  onTrigger(NumericalOptions, &DataPlotter::NumericalOptions_Click);

  toLink(NewFilter, &MainWindowLinks::NewFilter_Click);
  connect(EQEmulation, &QAction::triggered, this, &DataPlotter::EQEmulation_Click);
  toLink(FitFilter, &MainWindowLinks::FitFilter_Click);
  toLink(AddFilter, &MainWindowLinks::AddFilter_Click);
  toLink(PolishFilter, &MainWindowLinks::PolishFilter_Click);
  toLink(AllCurves, &MainWindowLinks::AllCurves_Click);
  toLink(QuickFit, &MainWindowLinks::QuickFit_Click);
  toLink(FitFiltersBut, &MainWindowLinks::FitFiltersBut_Click);
  toLink(TextEQ, &MainWindowLinks::TextEQ_Click);
  toLink(CompModes, &MainWindowLinks::CompModes_Click);
  toLink(ApplyAllModes, &MainWindowLinks::ApplyAllModes_Click);
  toLink(FitLimits, &MainWindowLinks::ShowFitLimits);
  toLink(ApplyAll, &MainWindowLinks::ApplyAllModes_Click);
  toLink(TestCDMake, &MainWindowLinks::TestCDMake_Click);
  toLink(Xover, &MainWindowLinks::Xover_Click);
  connect(AppliedFilterListBox, &QListWidget::itemClicked, this,
          [] { Call(MainWindowHooks.AppliedFilterListBox_Click); });
  connect(ModesList, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
    Call(MainWindowHooks.ModesList_Click, static_cast<int32_t>(ModesList->row(item)));
  });

  OnEnter(CurveNoText, [this] { CurveNoText_KeyPress(13); });
  OnEnter(CurveNumberText, [this] { CurveNumberText_KeyPress(13); });

  RefreshLinkedControls();
}

QObject* DataPlotter::FindControl(std::string_view name) const {
  const QString n = QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
  if (auto* a = findChild<QAction*>(n)) return a;
  return findChild<QWidget*>(n);
}

void DataPlotter::RefreshLinkedControls() {
  for (const LinkedControlRow& row : LinkedControlTable())
    SetUsable(FindControl(row.control), row.isSet(MainWindowHooks) && (!row.playRecord || playRecEnabled_));
}

std::vector<DataPlotter::LinkedControl> DataPlotter::LinkedControls() const {
  std::vector<LinkedControl> out;
  for (const LinkedControlRow& row : LinkedControlTable()) {
    const QObject* c = FindControl(row.control);
    out.push_back({std::string(row.control), std::string(row.link), std::string(row.missing),
                   row.isSet(MainWindowHooks), c != nullptr && IsUsable(c)});
  }
  return out;
}

// ---- Public operations ---------------------------------------------------------

float DataPlotter::GetFreqGridXMin() const {
  const CurveRecord& c = BodeCurves[0];
  const auto start = static_cast<float>(FreqGraphFrame.XStart);
  if (c.NumPoints < 1 || c.NumPoints > kMaxCurvePoints) return start;
  return std::max(c.XValues[0], start);
}

float DataPlotter::GetFreqGridXMax() const {
  const CurveRecord& c = BodeCurves[0];
  const auto finish = static_cast<float>(FreqGraphFrame.XFinish);
  if (c.NumPoints < 1 || c.NumPoints > kMaxCurvePoints) return finish;
  return std::min(c.XValues[static_cast<size_t>(c.NumPoints - 1)], finish);
}

void DataPlotter::ChangeCurveLevel(int32_t curve, float dB) {
  WaitCursor hourglass;
  if (dB == 0) return;
  if (ScaleResultLevel(curve, dB)) DisplayResults(kRecomputeAllCurves);
}

void DataPlotter::OpenResampleWindow() {
  if (ResultsTakenButNotSaved != 0) {
    MsgBox("User Error: Measurements must be saved before they can be resampled. Resampled files cannot be saved.");
    return;
  }
  Call(MainWindowHooks.OpenMathForm, 6);
}

// ---- Measurement and sound-card commands ----------------------------------------

bool DataPlotter::SampleRateRefused() {
  if (ResultsDataSetInfo[0].NumInSet < 1 || EQConfig.SampleRate == ResultsDataSetInfo[0].SampleRate) return false;
  // A run may be streaming: the busy flag stays as it is.
  MsgBox("User Error: Each curve in a set must have the same sample frequency. Loaded data may have been resampled");
  return true;
}

bool DataPlotter::SoundCardRefused() {
  if (!SoundCardBusy) return false;
  MsgBox(kCardInUse);
  return true;
}

void DataPlotter::Command1_Click() {
  if (SampleRateRefused()) return;
  Response_Click();
}

void DataPlotter::Command2_Click() {
  if (SampleRateRefused()) return;
  LevelTest_Click();
}

void DataPlotter::Command3_Click() { Call(MainWindowHooks.ResetSound); }

void DataPlotter::Response_Click() {
  WaitCursor hourglass;
  Call(MainWindowHooks.RunMainTest);
}

void DataPlotter::LevelTest_Click() {
  WaitCursor hourglass;
  Call(MainWindowHooks.RunLevelsCheck);
}

void DataPlotter::OpenAudioWindow() {
  if (DataResampled) {
    MsgBox("User Error: Data has been resampled. New measurements cannot be added");
    return;
  }
  if (!SetUpSoundCard()) {
    MsgBox(kAutoMixerError);
    return;
  }
  if (MainWindowHooks.ShowAudioForm && !MainWindowHooks.ShowAudioForm()) MsgBox("Error 5222");
}

void DataPlotter::EQSetUpRTAMenue_Click() {
  if (SoundCardRefused()) return;
  if (AppliedFilters[0].Count < 1 &&
      !Ask("This RTA was designed for the singular purpose of measuring electronic components or setting an EQ. It "
           "is not suitable for acoustic measurements. Continue ?"))
    return;
  OpenEQRTAWindow();
}

void DataPlotter::OpenEQRTAWindow() {
  // Selecting a button that is not selected yet runs its click handler.
  if (!FreqBut->isChecked()) {
    FreqBut->setChecked(true);
    FreqBut_Click();
  }
  FreqBut->setFocus();
  if (!logbut->isChecked()) {
    logbut->setChecked(true);
    logbut_Click();
  }
  FreqGraphFrame.LogX = kTrue;
  FreqGraphFrame.XStart = 16;
  FreqGraphFrame.XFinish = 20000;
  FreqGraphFrame.YLow = -40;
  FreqGraphFrame.YHigh = 10;
  Call(MainWindowHooks.UnloadAudioForm);
  if (!SetUpSoundCard()) return;
  Call(MainWindowHooks.ShowRTAEQ);
}

void DataPlotter::ImpulseRTA_Click() {
  if (SoundCardRefused()) return;
  if (!TimeBut->isChecked()) {
    TimeBut->setChecked(true);
    TimeBut_Click();
  }
  TimeBut->setFocus();
  TimeGraphFrame.XStart = -10;
  TimeGraphFrame.XFinish = 20;
  TimeGraphFrame.YLow = -30;
  TimeGraphFrame.YHigh = 30;
  Call(MainWindowHooks.UnloadAudioForm);
  if (!SetUpSoundCard()) return;
  Call(MainWindowHooks.ShowRTAImp);
}

void DataPlotter::SPLMeasurement_Click() {
  if (SoundCardRefused()) return;
  Call(MainWindowHooks.UnloadAudioForm);
  if (!SetUpSoundCard()) return;
  Call(MainWindowHooks.ShowSPLLevelForm);
}

void DataPlotter::CDTestMeasure_Click() {
  if (!SetUpSoundCard()) return;
  Call(MainWindowHooks.ShowCDTest);
}

void DataPlotter::DistortionMeas_Click() { Call(MainWindowHooks.ShowDistForm); }
void DataPlotter::SoundCard_Click() { Call(MainWindowHooks.ShowSoundCardSelector); }
void DataPlotter::MicCalibration_Click() { Call(MainWindowHooks.ShowMicCalForm); }

// ---- Analysis views and curve tools ----------------------------------------------

void DataPlotter::ShowWaterfallWindow() {
  if (Busy != 0) return;
  if (DisplayConfig.Graphshown != kBodeView) {
    if (!Ask(" Bode frequency response must be shown to access this display. Switch to Bode response ?")) return;
    SelectViewButton(ViewButton::Freq);
    DisplayConfig.FFTSelected = kTrue;
    DisplayConfig.Graphshown = kBodeView;
    UpdateFFTDisplay();
    return;
  }
  OpenThreeDForm();
}

void DataPlotter::OpenThreeDForm() {
  if (BodeCurves[0].NumPoints < 1) {
    MsgBox("User Error: Bode response (raw fft) data must be evaluated before selecting waterfall plots for data "
           "viewing");
    return;
  }
  WaitCursor hourglass;
  Call(MainWindowHooks.ShowThreeDForm, ResultFileName);
}

void DataPlotter::DataIntegrity_Click() {
  GetMainCurveNumber();
  if (ResultsDataSetInfo[0].NumInSet < 1) {
    MsgBox("User Error: Measured data must be loaded to access this window.");
    return;
  }
  Call(MainWindowHooks.ShowDataIntegrityForm, "Large Room / " + ResultFileName);
}

void DataPlotter::ExportAsPCM_Click() {
  const int32_t curve = GetMainCurveNumber();
  Call(MainWindowHooks.ShowExportPCM, curve);
}

void DataPlotter::ImportWave_Click() { Call(MainWindowHooks.ShowImportWave); }
void DataPlotter::AdjustLevels_Click() { Call(MainWindowHooks.ShowLevels); }
void DataPlotter::ShowDifferences_Click() { Call(MainWindowHooks.OpenMathForm, 4); }
void DataPlotter::ArrangeCurves_Click() { Call(MainWindowHooks.OpenMathForm, 5); }
void DataPlotter::Compress_Click() { Call(MainWindowHooks.OpenMathForm, 7); }

// ---- Filters and the results buffers ------------------------------------------

void DataPlotter::NewEQFilter_Click() {
  if (ResultsDataSetInfo[0].NumInSet < 1) {
    MsgBox("User Error: Measured Results must be loaded before filters can be set");
    return;
  }
  Call(MainWindowHooks.ShowNewEQControl);
}

void DataPlotter::DeleteEQ_Click() {
  if (!Ask(" Clear Existing EQ from Buffers ?")) return;
  ClearAppliedFilters();
  RefreshAppliedFiltersList();
}

void DataPlotter::DeleteMeasBuffers_Click() {
  if (!Ask(" Clear Results from Buffers ?")) return;
  ClearMeasurementBuffers();
}

void DataPlotter::NumericalOptions_Click() { Call(MainWindowHooks.ShowNumericalOptions); }
void DataPlotter::ErrSelect_Click() { Call(MainWindowHooks.ShowEQOpt); }
void DataPlotter::Polish_Click() { Call(MainWindowHooks.PolishFilters); }

void DataPlotter::avg_Click() {
  if (DisplayConfig.Graphshown == kPsdView) {
    const QSignalBlocker quiet(avg);
    avg->setChecked(false);
  }
  DisplayConfig.Average = avg->isChecked() ? kTrue : kFalse;
  DisplayResults(kRedrawFiledCurves);
}

void DataPlotter::Norm_Click() {
  for (CurveArray* set : {&ImpulseCurves, &BodeCurves, &PsycCurves, &FractOctCurves}) (*set)[0].NumCurves = 0;
  DisplayResults(kRecomputeAllCurves);
}

// ---- Mode lists -------------------------------------------------------------------

void DataPlotter::FreqSelect_Click() {
  ModeSortKey = 0;
  ModeSortAscending = ModeSortAscending != 0 ? kFalse : kTrue;
  SortModeLists(0);
}

void DataPlotter::QSelect_Click() {
  ModeSortKey = 1;
  ModeSortAscending = ModeSortAscending != 0 ? kFalse : kTrue;
  SortModeLists(1);
}

void DataPlotter::SortModeLists(int32_t key) {
  if (Busy != 0) return;
  const auto& sort = key == 0   ? MainWindowHooks.SortFilterSetByKey1
                     : key == 1 ? MainWindowHooks.SortFilterSetByKey2
                                : MainWindowHooks.SortFilterSetByKey4;
  // A damaged count would send the sort past its arrays: nothing is sorted then.
  for (int32_t r = 0; r < kMaxResults; ++r) {
    const int32_t count = SingularityList[static_cast<size_t>(r)].Count;
    if (count < 0 || count > kMaxFilters) {
      MsgBox("Error 6329");
      return;
    }
  }
  if (sort)
    for (int32_t r = 0; r < kMaxResults; ++r) sort(SingularityList[static_cast<size_t>(r)], ModeSortAscending != 0);
  Call(MainWindowHooks.CheckForCurveSingularities, ModesCurveNumber);
}

// ---- Curve selectors --------------------------------------------------------------

void DataPlotter::StepDisplayCurve(int32_t step) {
  if (Busy != 0) return;
  const bool psd = DisplayConfig.Graphshown == kPsdView;
  const int32_t count = psd ? std::clamp(PsdCurves[0].NumCurves, 0, kCurveSlots) : LoadedCount();
  if (count < 1) return;
  int32_t n = DisplayCurveNumber + step;
  if (n < 1) n = count;
  if (n > count) n = step > 0 ? 1 : count;
  DisplayCurveNumber = n;
  if (psd) CurveNoText->setText(QString::number(n));
  if (LoadedCount() > 0) Call(MainWindowHooks.ShowCurveView, n);
}

void DataPlotter::LeftDisplayArrow_Click() { StepDisplayCurve(-1); }
void DataPlotter::RightDisplayArrow_Click() { StepDisplayCurve(1); }

void DataPlotter::CurveNoText_KeyPress(int key) {
  if (key != 13) return;
  double v = 0;
  if (!ValidateNumericTextBox(CurveNoText, 1, ResultsDataSetInfo[0].NumInSet, v)) return;
  DisplayCurveNumber = CLng(v);
  Call(MainWindowHooks.ShowCurveView, DisplayCurveNumber);
}

void DataPlotter::LeftArrow_Click() {
  if (LoadedCount() < 1 || Busy != 0) return;
  --ModesCurveNumber;
  SelectCurveForModes();
}

void DataPlotter::RightArrow_Click() {
  if (LoadedCount() < 1 || Busy != 0) return;
  ++ModesCurveNumber;
  SelectCurveForModes();
}

void DataPlotter::CurveNumberText_KeyPress(int key) {
  if (key != 13) return;
  double v = 0;
  if (!ValidateNumericTextBox(CurveNumberText, 1, ResultsDataSetInfo[0].NumInSet, v)) return;
  ModesCurveNumber = CLng(v) - 1;
  SelectCurveForModes();
}

void DataPlotter::SelectCurveForModes() {
  const int32_t n = LoadedCount();
  if (n < 1) return;
  if (SingularityList[0].Average == kTrue) {
    ModesCurveNumber = 0;
    CurveNumberText->setText("1");
  }
  if (ModesCurveNumber > n - 1) ModesCurveNumber = 0;
  if (ModesCurveNumber < 0) ModesCurveNumber = n - 1;
  SingularityListRecord& set = SingularityList[static_cast<size_t>(ModesCurveNumber)];
  // A set fitted without a range takes the graph's: a log axis cannot start at 0.
  if (set.RangeLow == 0 || !(set.RangeHigh > 0)) {
    set.RangeLow = static_cast<float>(FreqGraphFrame.XStart);
    set.RangeHigh = static_cast<float>(FreqGraphFrame.XFinish);
  }
  FitGraphFrame.XStart = CLng(set.RangeLow);
  FitGraphFrame.XFinish = CLng(set.RangeHigh);
  CurveNumberText->setText(QString::number(ModesCurveNumber + 1));
  Call(MainWindowHooks.CheckForCurveSingularities, ModesCurveNumber);
  ShowCorrectedResponseOf(ModesCurveNumber);
}

// The outside equaliser to emulate is chosen in the equaliser design's options.
void DataPlotter::EQEmulation_Click() { Call(MainWindowHooks.EQEmulation_Click); }

}  // namespace zentor
