// Start-up, defaults, layout and shut-down of the main window.
#include <QCloseEvent>
#include <QGroupBox>
#include <QLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <algorithm>
#include <cctype>
#include <filesystem>

#include "core/helpers.h"
#include "core/records.h"
#include "core/results_store.h"
#include "core/work_arrays.h"
#include "display/color_form.h"
#include "display/dispatcher.h"
#include "display/display_options.h"
#include "display/graph_frame.h"
#include "display/plot_colours.h"
#include "display/psyc_form.h"
#include "mainwindow/data_plotter.h"
#include "mainwindow/file_details.h"
#include "mainwindow/main_window_links.h"
#include "mainwindow/frm_about.h"
#include "mainwindow/qel_import.h"
#include "mainwindow/measurement_file.h"
#include "mainwindow/user_settings.h"
#include "display/view_state.h"
#include "platform/forms.h"
#include "platform/dialogs.h"
#include "platform/help.h"
#include "platform/settings.h"
#include "platform/window_placement.h"

namespace zentor {

namespace {

bool EqualsIgnoringCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

// The client height of the screens the panel was drawn for.
constexpr double kRoomyHeightTwips = 9000;

void PlaceTwips(QWidget* w, double left, double top, double width, double height) {
  w->setGeometry(TwipsToPixels(left), TwipsToPixels(top), std::max(0, TwipsToPixels(width)),
                 std::max(0, TwipsToPixels(height)));
}

}  // namespace

void DataPlotter::Form_Load() {
  InitHelp(this);
  WaitCursor hourglass;
  hide();  // the first layout shows the window
  SetDefaultParameters();

  SetMicChannel(kMicOnRightInput);
  AutoMixerOn = false;

  const bool migrated = MigrateLegacyUserFile(kLegacyUserFile);
  // A file left behind by a failed delete goes now; one whose values could not
  // be written stays for the next start.
  if (migrated && FileExists(kLegacyUserFile)) {
    std::error_code ec;
    std::filesystem::remove(kLegacyUserFile, ec);
  }

  AutoMixerDelete->setVisible(EqualsIgnoringCase(GetSetting("Zentor", "Mixer", "SaveSetting"), "True") ||
                              FileExists("ZentorMixer"));

  DisplayCurveNumber = 1;
  CurveNoText->setText("1");
  Busy = 0;
  ModesCurveNumber = 0;
  CurveNumberText->setText("1");
  SimSort = -1;

  zentor::DefaultTwoToneTable();
  SetInitialMenuState();
  SetChangeLevels(kFalse);

  modal_.MinFreq = 25.0;
  modal_.MaxFreq = 80.0;
  modal_.MaxDecay = 1.5;
  modal_.QMinimum = 0.05f;
  modal_.SchroederFreq = 150.0f;
  modal_.SecondaryPolishWidth = 0.5;
  modal_.NumInitialLoops = 8;
  modal_.Damping = 0.8;
  modal_.LoudspeakerOrder = 4;
  DisplayRes = 4;
  GraphicEQEmulation = 1;
  ParametricEQEmulation = 1;

  AllocateWorkArrays(kWorkArrayPoints);
  ClearAllFilterSets();

  ReadUserSettings();

  ArrangeMainWindow();
  ArrangeMainWindow();

  ShowMixerChecks(AutoMixerOn);

  if (!CommandLine.empty()) ShowStartupFile(CommandLine);
}

void DataPlotter::SetDefaultParameters() {
  // The analysis settings are those a Qel-started set gets; the current settings add
  // the excitation lengths and the starting result fields.
  MeasurementHeader& c = EQConfig;
  SetDefaultMeasurementHeader(c);
  c.PeriodExponent = 17;
  c.PreExcitationExponent = 16;
  c.ImpulseShift = 0;
  c.PeakLevel = -50.0f;
  c.SignalEnergy = -50.0f;
  c.AlignmentShift = 0.0f;

  DisplayConfig.Average = kFalse;
  DisplayConfig.FFTSelected = kTrue;
  DisplayConfig.FractOctSelected = kFalse;
  DisplayConfig.PsycSelected = kFalse;
  DisplayConfig.Graphshown = 2;

  SetDefaultImpulseDisplay(ImpulseDisplayConfig);

  CoOrdLockLimits = CoOrdLockLimitsRecord{-5, 25, 16, 20000, 20, -50, 16, 20000, 75, -10};

  ResultFileName = "VavevadoRovoResult";
  EQFileName = "EQSim.Eq";
  SoundCardBusy = false;
  ActiveMicCal.Count = 0;
  DataResampled = false;
  RubberBandState.BoxErased = kTrue;

  SetDefaultGraphFrames();
  SetDefaultPlotColours();

  TimeBut->setChecked(true);
  zentor::UpdateGateControls(*this);
}

void DataPlotter::SetInitialMenuState() {
  NewTest->menuAction()->setVisible(false);
  WaterfallGraphic->menuAction()->setVisible(false);
  LargeRoomGraphic->menuAction()->setVisible(false);
  Operations->menuAction()->setVisible(true);
}

void DataPlotter::SetFrequencyAxisOption(int16_t logAxis) {
  if (logAxis != 0)
    logbut->setChecked(true);
  else
    LinBut->setChecked(true);
}

void DataPlotter::ArrangeMainWindow() {
  if (arranging_) return;
  arranging_ = true;
  if (!laidOut_) {
    hide();
    // Arranged first for the size the screen allows, as showing will fit it.
    FitWindowOnScreen(*this);
  }
  Picture1->hide();
  ModesList->hide();

  if (layout()) layout()->activate();
  const double W = PixelsToTwips(centralWidget()->width());
  const double H = PixelsToTwips(centralWidget()->height());

  const double GH = H - 2300;
  const double LL = W - 2650;
  const double frameTop = GH + 80;

  const double selectHeight = PixelsToTwips(FreqSelect->height());
  double listHeight = PixelsToTwips(ControlFrame->height());
  double listTop;
  if (!FreqSelect->isHidden()) {
    listTop = frameTop + selectHeight;
    listHeight -= 0.6 * selectHeight;
  } else {
    listTop = frameTop + 0.4 * selectHeight;
  }
  // In a window taller than the panel was drawn for (600 pixels), the modes list
  // with its buttons takes the lower half of the right column: after a fit it
  // holds a line per mode, more than the panel's few rows.
  const double columnBottom = listTop + listHeight;
  const double rise =
      H > kRoomyHeightTwips ? std::max(0.0, 0.5 * (columnBottom - 40) - (columnBottom - frameTop)) : 0.0;

  const bool anyFilter = AppliedFilters[0].Count >= 1;
  const double GW = anyFilter || rise > 0 ? W - 2750 : W;
  AppliedFilterListBox->setVisible(anyFilter);

  PlaceTwips(Frame1, 50, frameTop, 0.99 * LL, 1150);
  PlaceTwips(Picture1, 0, 40, GW, GH);
  PlaceTwips(AppliedFilterListBox, LL, 40, 2500, PixelsToTwips(Picture1->height()) - rise);

  const double buttonWidth = PixelsToTwips(AppliedFilterListBox->width()) / 4;
  double left = LL;
  for (QPushButton* b : {FreqSelect, QSelect, ErrSelect, CompModes}) {
    PlaceTwips(b, left, frameTop - rise, buttonWidth, PixelsToTwips(b->height()));
    left += buttonWidth;
  }

  // The list gives up a button's height at its foot to "Apply All".
  const double applyHeight = PixelsToTwips(ApplyAll->height());
  PlaceTwips(ModesList, LL, listTop - rise, 2500, listHeight - applyHeight + rise);
  PlaceTwips(ApplyAll, LL, columnBottom - applyHeight, 2500, applyHeight);
  Picture1->show();
  ModesList->show();

  // The progress bar keeps to the row of the axis buttons.
  ProgressBar1->move(ProgressBar1->x(), logbut->y());

  show();
  laidOut_ = true;
  arranging_ = false;
  DisplayResults(kRedrawFiledCurves);
}

void DataPlotter::Form_Resize() { ArrangeMainWindow(); }

void DataPlotter::resizeEvent(QResizeEvent* e) {
  QMainWindow::resizeEvent(e);
  if (laidOut_ && !arranging_) Form_Resize();
}

void DataPlotter::Form_QueryUnload(int16_t& Cancel) {
  StopModalFlag = kTrue;
  // A run ending while a question below is shown would bring results no question
  // offers to save: the run stops first.
  if (MainWindowHooks.ResetSound) MainWindowHooks.ResetSound();
  if (Forms::Get<ColorForm>()->GetSaveAsDefault()) SaveUserSettingsOrSay();

  // A save that does not happen keeps the window open: closing would lose the data.
  if (ResultsTakenButNotSaved != 0) {
    const MsgAnswer a =
        MsgBox(" Save file with new results ?", MsgButtons::YesNoCancel, MsgIcon::Question, "Mirabelt Zentor");
    if (a == MsgAnswer::Cancel || (a == MsgAnswer::Yes && !SaveMeasurementFile())) {
      Cancel = kTrue;
      return;
    }
  }
  if (EQResultsTakenButNotSaved != 0 && AppliedFilters[0].Count >= 1) {
    const MsgAnswer a = MsgBox(EQFileName + " Save EQ file with new controls ?", MsgButtons::YesNoCancel,
                               MsgIcon::Question, "Mirabelt Zentor");
    if (a == MsgAnswer::Cancel || (a == MsgAnswer::Yes && !SaveEQModel_Click())) Cancel = kTrue;
  }
}

void DataPlotter::Form_Unload() {
  if (unloaded_) return;
  unloaded_ = true;
  // A run still streaming would complete into the work arrays freed below.
  if (MainWindowHooks.ResetSound) MainWindowHooks.ResetSound();
  CloseHelp();
  Forms::Unload<frmAbout>();
  Forms::Unload<ColorForm>();
  Forms::Unload<PsycForm>();
  Forms::Unload<DisplayControlForm>();
  Forms::Unload<Form2>();
  FreeWorkArrays();
}

void DataPlotter::closeEvent(QCloseEvent* e) {
  int16_t cancel = 0;
  Form_QueryUnload(cancel);
  if (cancel != 0) {
    e->ignore();
    return;
  }
  Form_Unload();
  e->accept();
}

}  // namespace zentor
