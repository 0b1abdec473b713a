#include "mainwindow/data_plotter.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGroupBox>
#include <QLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPalette>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <algorithm>
#include <filesystem>

#include "core/helpers.h"
#include "core/records.h"
#include "core/results_store.h"
#include "core/emulation.h"
#include "display/color_form.h"
#include "display/coord_lock.h"
#include "display/dispatcher.h"
#include "display/display_options.h"
#include "mainwindow/user_settings.h"
#include "display/view_state.h"
#include "base/atomic_file.h"
#include "base/text_number.h"
#include "mainwindow/frm_about.h"
#include "platform/picture.h"
#include "platform/dialogs.h"
#include "platform/forms.h"
#include "platform/help.h"
#include "platform/settings.h"

namespace zentor {

int TwipsToPixels(double twips) { return CLng(twips / kTwipsPerPixel); }
double PixelsToTwips(int pixels) { return pixels * kTwipsPerPixel; }

namespace {

QAction* Entry(QMenu* menu, const char* name, const char* caption, bool checked = false) {
  QAction* a = menu->addAction(QString::fromUtf8(caption));
  a->setObjectName(name);
  if (checked) {
    a->setCheckable(true);
    a->setChecked(true);
  }
  return a;
}

QMenu* SubMenu(QMenu* parent, const char* name, const char* caption) {
  QMenu* m = parent->addMenu(QString::fromUtf8(caption));
  m->setObjectName(name);
  m->menuAction()->setObjectName(name);
  return m;
}

QMenu* TopMenu(QMenuBar* bar, const char* name, const char* caption) {
  QMenu* m = bar->addMenu(QString::fromUtf8(caption));
  m->setObjectName(name);
  m->menuAction()->setObjectName(name);
  return m;
}

// Places a control by its twips rectangle within its parent.
void Place(QWidget* w, double left, double top, double width, double height) {
  w->setGeometry(TwipsToPixels(left), TwipsToPixels(top), std::max(0, TwipsToPixels(width)),
                 std::max(0, TwipsToPixels(height)));
}

template <class T>
T* Control(QWidget* parent, const char* name, const char* caption) {
  T* w = new T(QString::fromUtf8(caption), parent);
  w->setObjectName(name);
  return w;
}

// The panel's twips sizes were made for a small narrow font; a condensed face
// keeps every caption whole at 96 dpi whatever the desktop's own font is.
QFont PanelFont(double points) {
  QFont f(QStringLiteral("DejaVu Sans"));
  f.setStretch(QFont::Condensed);
  f.setPointSizeF(points);
  return f;
}

// A push button whose caption breaks onto a second line, as the narrow sort
// buttons above the modes list need.
class WrappingButton : public QPushButton {
 public:
  WrappingButton(const QString& caption, QWidget* parent) : QPushButton(caption, parent) {
    setProperty("wrapCaption", true);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QStylePainter p(this);
    QStyleOptionButton opt;
    initStyleOption(&opt);
    const QString caption = opt.text;
    opt.text.clear();
    p.drawControl(QStyle::CE_PushButton, opt);
    opt.text = caption;
    const QRect space = style()->subElementRect(QStyle::SE_PushButtonContents, &opt, this);
    style()->drawItemText(&p, space, Qt::AlignCenter | Qt::TextWordWrap | Qt::TextShowMnemonic, palette(),
                          isEnabled(), caption, QPalette::ButtonText);
  }
};

QLineEdit* TextBox(QWidget* parent, const char* name, const char* text) {
  auto* e = new QLineEdit(QString::fromUtf8(text), parent);
  e->setObjectName(name);
  return e;
}

// Makes an entry carry a check mark that the program sets (not toggled by a click).
void Checkable(QAction* a, bool checked) {
  a->setCheckable(true);
  a->setChecked(checked);
}

}  // namespace

DataPlotter::DataPlotter() {
  setObjectName("DataPlotter");
  setWindowTitle("Zentor");
  setCentralWidget(new QWidget(this));
  centralWidget()->setObjectName("DataPlotterClient");
  BuildMenus();
  BuildPanel();
  InitViewControls();
  ConnectFileCommands();
  InitDisplayControls();
  InitMouseZoom();
  ConnectGraphicsExport();
  InitCommandControls();
  ConnectHooks();
  SetMinimumFromLayout();
  resize(1280, 820);
}

// The panel's controls sit at fixed twips positions: below the width that holds
// Frame1's right-most control beside the list column, or the height of the panel
// under a graph at least as tall as the panel, controls would be cut or overlap.
void DataPlotter::SetMinimumFromLayout() {
  int right = 0;
  for (QObject* o : Frame1->children()) {
    if (auto* w = qobject_cast<QWidget*>(o)) right = std::max(right, w->geometry().right());
  }
  constexpr double kPanelTwips = 2300;  // ArrangeMainWindow's height below the graph
  const double frameTwips = PixelsToTwips(right + 8);
  const int width = TwipsToPixels((frameTwips - 50) / 0.99 + 2650) + 2;
  const int height = TwipsToPixels(2 * kPanelTwips) + 2;
  centralWidget()->setMinimumSize(width, height);
  setMinimumSize(layout()->minimumSize());
}

DataPlotter::~DataPlotter() { DisconnectHooks(); }

// The layers below the main window reach it only through these.
void DataPlotter::ConnectHooks() {
  ResultsStoreHooks.LoadMicCal = [this] { LoadMicCal(); };
  ResultsStoreHooks.SetDisplayCurveNumber = [this](int32_t n) { SetDisplayCurveNumber(n); };
  ResultsStoreHooks.ShowMeasParms = [this](const std::string& rSN, const std::string& lSN, const std::string& distance,
                                           const std::string& rLevel, const std::string& lLevel) {
    ShowMeasParms(rSN, lSN, distance, rLevel, lLevel);
  };
  ResultsStoreHooks.MarkResultsUnsaved = [this] { ResultsTakenButNotSaved = kTrue; };
  ColorFormHooks.DisplayResults = [this] { DisplayResults(kRedrawFiledCurves); };
  ColorFormHooks.SaveUserSettings = [] { SaveUserSettingsOrSay(); };
  ViewWindowHooks.ShowCoOrdLock = [] { ShowCoOrdLockWindow(); };
  ViewWindowHooks.ShowDisplayOptions = [this](int32_t mode) { ShowDisplayOptionsWindow(*this, mode); };
  ViewWindowHooks.ShowWaterfallWindow = [this] { ShowWaterfallWindow(); };
  EmulationHooks.OpenResampleWindow = [this] { OpenResampleWindow(); };
  AtomicFileHooks.NotDurable = [](const std::string& path) { MsgBox(NotDurableText(path)); };
}

void DataPlotter::DisconnectHooks() {
  ResultsStoreHooks = ResultsStoreLinks{};
  ColorFormHooks = ColorFormLinks{};
  ViewWindowHooks.ShowCoOrdLock = nullptr;
  ViewWindowHooks.ShowDisplayOptions = nullptr;
  ViewWindowHooks.ShowWaterfallWindow = nullptr;
  EmulationHooks.OpenResampleWindow = nullptr;
  AtomicFileHooks.NotDurable = nullptr;
}

void DataPlotter::BuildMenus() {
  QMenuBar* bar = menuBar();

  Function = TopMenu(bar, "Function", "&File");
  NewMeas = SubMenu(Function, "NewMeas", "&New");
  NewMeasMenue = Entry(NewMeas, "NewMeasMenue", "&Normal Room/Speaker Measurement");
  DistortionMeas = Entry(NewMeas, "DistortionMeas", "&Distortion Measurement");
  EQSetUpRTAMenue = Entry(NewMeas, "EQSetUpRTAMenue", "&EQ RTA Tuning");
  ImpulseRTA = Entry(NewMeas, "ImpulseRTA", "&ImpulseRTA");
  SPLMeasurement = Entry(NewMeas, "SPLMeasurement", "&SPL Measurement");
  CDTestMeasure = Entry(NewMeas, "CDTestMeasure", "&CD Test Signal Measurement");
  Open = SubMenu(Function, "Open", "&Open");
  OpenFile = Entry(Open, "OpenFile", "&Measurement File");
  OpenEQFileMenue = Entry(Open, "OpenEQFileMenue", "&EQ File");
  MenueOpenQelFile = Entry(Open, "MenueOpenQelFile", "&Qel File");
  OpenOtherFilters = Entry(Open, "OpenOtherFilters", "&Filters From Other Equalisers…");
  SaveFile = SubMenu(Function, "SaveFile", "&Save");
  SaveMeasurement = Entry(SaveFile, "SaveMeasurement", "&Measurement");
  SaveEQModel = Entry(SaveFile, "SaveEQModel", "E&Q File");
  TextEQ = Entry(SaveFile, "TextEQ", "&Textual EQ Settings List");
  SaveOtherFilters = Entry(SaveFile, "SaveOtherFilters", "&Filters For Other Equalisers…");
  AddTo = SubMenu(Function, "AddTo", "&Add");
  NewEQFilter = Entry(AddTo, "NewEQFilter", "&New EQ Control");
  AddMeasurements = Entry(AddTo, "AddMeasurements", "&Measurements To Existing");
  AddQelFile = Entry(AddTo, "AddQelFile", "&Qel File");
  ClearEQ = SubMenu(Function, "ClearEQ", "&Clear");
  DeleteMeasBuffers = Entry(ClearEQ, "DeleteMeasBuffers", "Delete &Measurement Results");
  DeleteEQ = Entry(ClearEQ, "DeleteEQ", "Delete &Eq");
  AutoMixerDelete = Entry(ClearEQ, "AutoMixerDelete", "Delete &AutoMixer settings");
  GraphicBut = SubMenu(Function, "GraphicBut", "&Graphics Export");
  PrintingHelp = Entry(GraphicBut, "PrintingHelp", "&Help ");
  MainGraphic = SubMenu(GraphicBut, "MainGraphic", "&Main");
  MainPrint = Entry(MainGraphic, "MainPrint", "Print");
  ExportJPGMain = Entry(MainGraphic, "ExportJPGMain", "jpg Export");
  ExportPNGMain = Entry(MainGraphic, "ExportPNGMain", "png Export");
  ExportSVGMain = Entry(MainGraphic, "ExportSVGMain", "svg Export");
  TextExportMain = Entry(MainGraphic, "TextExportMain", "Text Export");
  WaterfallGraphic = SubMenu(GraphicBut, "WaterfallGraphic", "&Waterfall");
  PrintWaterfall = Entry(WaterfallGraphic, "PrintWaterfall", "Print");
  ExportJPGWaterfall = Entry(WaterfallGraphic, "ExportJPGWaterfall", "jpg Export");
  ExportPNGWaterfall = Entry(WaterfallGraphic, "ExportPNGWaterfall", "png Export");
  ExportSVGWaterfall = Entry(WaterfallGraphic, "ExportSVGWaterfall", "svg Export");
  LargeRoomGraphic = SubMenu(GraphicBut, "LargeRoomGraphic", "&Large Room");
  PrintLargeRoom = Entry(LargeRoomGraphic, "PrintLargeRoom", "Print");
  ExportJPGLargeRoom = Entry(LargeRoomGraphic, "ExportJPGLargeRoom", "jpg Export");
  ExportPNGLargeRoom = Entry(LargeRoomGraphic, "ExportPNGLargeRoom", "png Export");
  ExportSVGLargeRoom = Entry(LargeRoomGraphic, "ExportSVGLargeRoom", "svg Export");

  NewTest = TopMenu(bar, "NewTest", "&Audio Test");
  LevelTest = Entry(NewTest, "LevelTest", "&Levels");
  Response = Entry(NewTest, "Response", "&Response");
  NewTestWindow = Entry(NewTest, "NewTestWindow", "&New Test Window");

  OptionsMenue = TopMenu(bar, "OptionsMenue", "&Options");
  MixerOpt = SubMenu(OptionsMenue, "MixerOpt", "&Mixer");
  MixerOffMenue = Entry(MixerOpt, "MixerOffMenue", "Mixer &Off");
  MixerOnMenue = Entry(MixerOpt, "MixerOnMenue", "&Mixer On", true);
  SoundCard = Entry(OptionsMenue, "SoundCard", "&SoundCard");
  Processing = SubMenu(OptionsMenue, "Processing", "&Processing");
  AverageOpt = SubMenu(Processing, "AverageOpt", "&Averaging");
  EvenAndOdd = Entry(AverageOpt, "EvenAndOdd", "&Even And Odd");
  AllOpt = Entry(AverageOpt, "AllOpt", "&All", true);
  Checkable(MixerOffMenue, false);
  Checkable(EvenAndOdd, false);

  ViewResult = TopMenu(bar, "ViewResult", "&View");
  FreqResp = SubMenu(ViewResult, "FreqResp", "&FrequencyResponse");
  FractOct = Entry(FreqResp, "FractOct", "&FractOct");
  BodeFFT = Entry(FreqResp, "BodeFFT", "&Bode/FFT");
  Psyc = Entry(FreqResp, "Psyc", "&Psychological");
  FrequencyOptions = Entry(FreqResp, "FrequencyOptions", "F&requency Settings");
  SNRatioMenu = Entry(ViewResult, "SNRatioMenu", "&Signal To Noise");
  TimeResponse = SubMenu(ViewResult, "TimeResponse", "&Time Response");
  Impulse = Entry(TimeResponse, "Impulse", "&Impulse");
  TimeSettings = Entry(TimeResponse, "TimeSettings", "&Time Settings");
  Waterfall = Entry(ViewResult, "Waterfall", "&Waterfall");
  Options = SubMenu(ViewResult, "Options", "&Options");
  LogFrequency = Entry(Options, "LogFrequency", "Log &Frequency");
  LinearFreq = Entry(Options, "LinearFreq", "&Linear Frequency");
  DisplayColors = Entry(Options, "DisplayColors", "&Display Colors");
  CoOrdinateLocker = Entry(ViewResult, "CoOrdinateLocker", "&Co-ordinate Lock");
  FileDetails = Entry(ViewResult, "FileDetails", "&Details");

  Filters = TopMenu(bar, "Filters", "&Filters");
  NewFilter = Entry(Filters, "NewFilter", "&New Filter");
  EQEmulation = Entry(Filters, "EQEmulation", "&EQ Emulation");
  Xover = Entry(Filters, "Xover", "&Xover Modeling");
  CurveFit = SubMenu(Filters, "CurveFit", "&Curve Fit");
  FitFilter = Entry(CurveFit, "FitFilter", "&Generate Filter Set");
  AddFilter = Entry(CurveFit, "AddFilter", "&Add Filters to Filter Set");
  PolishFilter = Entry(CurveFit, "PolishFilter", "&Polish");
  ApplyAllModes = Entry(CurveFit, "ApplyAllModes", "Apply All &Modes");
  FilterFitSettings = SubMenu(CurveFit, "FilterFitSettings", "&Filter Fit Settings");
  AllCurves = Entry(FilterFitSettings, "AllCurves", "&All Curves", true);
  QuickFit = Entry(FilterFitSettings, "QuickFit", "&Quick Fit", true);
  NumericalOptions = Entry(CurveFit, "NumericalOptions", "&NumericalOptions");
  FitLimits = Entry(CurveFit, "FitLimits", "Fit &Limits\u2026");

  Operations = TopMenu(bar, "Operations", "&Tools");
  DataIntegrity = Entry(Operations, "DataIntegrity", "&Large Room");
  TestCDMake = Entry(Operations, "TestCDMake", "Make &Test CD");
  MicCalibration = Entry(Operations, "MicCalibration", "&Microphone Calibration");
  Utilities = SubMenu(Operations, "Utilities", "&Utilities");
  AdjustLevels = Entry(Utilities, "AdjustLevels", "&Level Adjust");
  ExportAsPCM = Entry(Utilities, "ExportAsPCM", "&Export *.wav");
  ImportWave = Entry(Utilities, "ImportWave", "&Import *.wav");
  ArrangeCurves = Entry(Utilities, "ArrangeCurves", "&Arrange Curves");
  ShowDifferences = Entry(Utilities, "ShowDifferences", "&Show Differences");
  Compress = Entry(Operations, "Compress", "&Compress File");
  Resample = Entry(Operations, "Resample", "&Resample");

  Help = TopMenu(bar, "Help", "&Help");
  MainHelp = Entry(Help, "MainHelp", "&Help");
  about = Entry(Help, "about", "&About");

  // The program sets these marks; a click runs the command, which sets them.
  for (QAction* a : {MixerOffMenue, MixerOnMenue, EvenAndOdd, AllOpt, LogFrequency, LinearFreq})
    connect(a, &QAction::triggered, this, [a](bool) { a->setChecked(!a->isChecked()); });
  connect(MixerOffMenue, &QAction::triggered, this, [this] { MixerOffMenue_Click(); });
  connect(MixerOnMenue, &QAction::triggered, this, [this] { MixerOnMenue_Click(); });
  connect(AutoMixerDelete, &QAction::triggered, this, [this] { AutoMixerDelete_Click(); });
  connect(EvenAndOdd, &QAction::triggered, this, [this] { EvenAndOdd_Click(); });
  connect(AllOpt, &QAction::triggered, this, [this] { AllOpt_Click(); });
  connect(about, &QAction::triggered, this, [this] { about_Click(); });
  connect(MainHelp, &QAction::triggered, this, [this] { MainHelp_Click(); });
  connect(PrintingHelp, &QAction::triggered, this, [this] { PrintingHelp_Click(); });
}

void DataPlotter::BuildPanel() {
  QWidget* client = centralWidget();

  Picture1 = new PictureBox(client);
  Picture1->setObjectName("Picture1");

  client->setFont(PanelFont(8));

  AppliedFilterListBox = new QListWidget(client);
  AppliedFilterListBox->setObjectName("AppliedFilterListBox");
  ModesList = new QListWidget(client);
  ModesList->setObjectName("ModesList");
  ModesList->setWordWrap(true);

  FreqSelect = Control<WrappingButton>(client, "FreqSelect", "List By Freq");
  QSelect = Control<WrappingButton>(client, "QSelect", "List By Q");
  ErrSelect = Control<WrappingButton>(client, "ErrSelect", "Emulator Options");
  CompModes = Control<WrappingButton>(client, "CompModes", "List All Modes");
  ApplyAll = Control<WrappingButton>(client, "ApplyAll", "Apply All");
  for (QPushButton* b : {FreqSelect, QSelect, ErrSelect, CompModes, ApplyAll}) {
    b->setFont(PanelFont(5.5));
    b->resize(b->width(), TwipsToPixels(300));
  }

  Frame1 = new QGroupBox(client);
  Frame1->setObjectName("Frame1");

  // Left block of Frame1: measurement buttons, view and axis options.
  Command1 = Control<QPushButton>(Frame1, "Command1", "Measure");
  Command2 = Control<QPushButton>(Frame1, "Command2", "Levels");
  Command3 = Control<QPushButton>(Frame1, "Command3", "Stop");
  ThreeDBut = Control<QPushButton>(Frame1, "ThreeDBut", "Waterfall plot");
  Place(Command1, 60, 150, 900, 300);
  Place(Command2, 980, 150, 900, 300);
  Place(Command3, 1900, 150, 700, 300);
  Place(ThreeDBut, 2620, 150, 1400, 300);

  TimeBut = Control<QRadioButton>(Frame1, "TimeBut", "Impulse Response");
  FreqBut = Control<QRadioButton>(Frame1, "FreqBut", "Frequency Response");
  NoiseBut = Control<QRadioButton>(Frame1, "NoiseBut", "Signal to Noise Estimate");
  Place(TimeBut, 60, 480, 1900, 300);
  Place(FreqBut, 1980, 480, 2100, 300);
  Place(NoiseBut, 4100, 480, 2500, 300);
  auto* views = new QButtonGroup(Frame1);
  for (QRadioButton* b : {TimeBut, FreqBut, NoiseBut}) views->addButton(b);

  logbut = Control<QRadioButton>(Frame1, "logbut", "Logarithmic Graph");
  LinBut = Control<QRadioButton>(Frame1, "LinBut", "Linear Graph");
  Place(logbut, 60, 810, 1900, 300);
  Place(LinBut, 1980, 810, 1500, 300);
  auto* axes = new QButtonGroup(Frame1);
  axes->addButton(logbut);
  axes->addButton(LinBut);
  logbut->setChecked(true);

  ProgressBar1 = new QProgressBar(Frame1);
  ProgressBar1->setObjectName("ProgressBar1");
  ProgressBar1->setRange(0, 100);
  ProgressBar1->setValue(0);
  ProgressBar1->setTextVisible(false);
  Place(ProgressBar1, 3600, 810, 1950, 300);  // RemoveCurve follows it on this row

  Norm = Control<QCheckBox>(Frame1, "Norm", "Show Gain / Normalized results");
  avg = Control<QCheckBox>(Frame1, "avg", "Average Curve On/Off");
  Place(Norm, 6750, 150, 3100, 300);
  Place(avg, 6750, 480, 2600, 300);
  LeftDisplayArrow = Control<QPushButton>(Frame1, "LeftDisplayArrow", "<");
  CurveNoText = TextBox(Frame1, "CurveNoText", "1");
  RightDisplayArrow = Control<QPushButton>(Frame1, "RightDisplayArrow", ">");
  Colorselect = Control<QPushButton>(Frame1, "Colorselect", "Colors");
  Display = Control<QPushButton>(Frame1, "Display", "Options");
  Place(LeftDisplayArrow, 6750, 810, 330, 300);
  Place(CurveNoText, 7100, 810, 550, 300);
  Place(RightDisplayArrow, 7670, 810, 330, 300);
  Place(Colorselect, 8100, 810, 850, 300);
  Place(Display, 8970, 810, 850, 300);

  // Right block of Frame1: the filter controls.
  ControlFrame = new QGroupBox("Filters", Frame1);
  ControlFrame->setObjectName("ControlFrame");
  Place(ControlFrame, 9950, 0, 6300, 1100);
  All = Control<QCheckBox>(ControlFrame, "All", "Run All/Selected Curve");
  AccCheck = Control<QCheckBox>(ControlFrame, "AccCheck", "Accumulate Filters On/Off");
  QkCheck = Control<QCheckBox>(ControlFrame, "QkCheck", "Quick Calc On / Off");
  Place(All, 100, 200, 2400, 270);
  Place(AccCheck, 2550, 200, 2600, 270);
  Place(QkCheck, 100, 760, 2400, 270);
  All->setChecked(true);
  QkCheck->setChecked(true);
  FitFiltersBut = Control<QPushButton>(ControlFrame, "FitFiltersBut", "Fit Filters To Curve Shown");
  Polish = Control<QPushButton>(ControlFrame, "Polish", "Polish Results");
  NumOptBut = Control<QPushButton>(ControlFrame, "NumOptBut", "Options");
  DelCurve = Control<QPushButton>(ControlFrame, "DelCurve", "Delete Curve");
  Place(FitFiltersBut, 100, 480, 2200, 270);
  Place(Polish, 2350, 480, 1250, 270);
  Place(NumOptBut, 3650, 480, 900, 270);
  Place(DelCurve, 5150, 200, 1100, 270);
  StopModal = Control<QPushButton>(ControlFrame, "StopModal", "Stop Analysis");
  Place(StopModal, 4600, 480, 1300, 270);
  Command7 = Control<QPushButton>(ControlFrame, "Command7", "");
  Command7->setVisible(false);
  LeftArrow = Control<QPushButton>(ControlFrame, "LeftArrow", "<");
  CurveNumberText = TextBox(ControlFrame, "CurveNumberText", "1");
  RightArrow = Control<QPushButton>(ControlFrame, "RightArrow", ">");
  Place(LeftArrow, 2550, 760, 330, 270);
  Place(CurveNumberText, 2900, 760, 550, 270);
  Place(RightArrow, 3470, 760, 330, 270);

  // Moving the mouse over these gives them the keyboard focus.
  for (QWidget* w : std::initializer_list<QWidget*>{
           Colorselect, CompModes, DelCurve, Display, ErrSelect, FitFiltersBut, FreqSelect, LeftArrow,
           LeftDisplayArrow, NumOptBut, Polish, QSelect, RightArrow, RightDisplayArrow, StopModal, AccCheck, All, avg,
           Norm, QkCheck, ControlFrame}) {
    w->setMouseTracking(true);
    w->installEventFilter(this);
  }
}

void DataPlotter::StopModal_MouseMove() { StopModal->setFocus(); }

bool DataPlotter::eventFilter(QObject* watched, QEvent* e) {
  if (e->type() == QEvent::MouseMove) {
    if (watched == ControlFrame) {
      FitFiltersBut->setFocus();
    } else if (watched == StopModal) {
      StopModal_MouseMove();
    } else if (auto* w = qobject_cast<QWidget*>(watched)) {
      w->setFocus();
      if (w == All) AllCurves->setChecked(All->isChecked());
      if (w == QkCheck) QuickFit->setChecked(QkCheck->isChecked());
    }
  }
  return QMainWindow::eventFilter(watched, e);
}

// ---- Public operations -------------------------------------------------------

std::string DataPlotter::GetDisplayRes() const { return std::to_string(DisplayRes); }

void DataPlotter::SetDisplayRes(int32_t value) {
  // The noise view's point count follows the resolution too.
  for (CurveArray* a : {&BodeCurves, &PsycCurves, &FractOctCurves, &NoiseCurves})
    for (CurveRecord& r : *a) {
      r.NumCurves = 0;
      r.NumPoints = 0;
    }
  DisplayRes = value;
}

void DataPlotter::EnableDataPlotterPlayRec(int16_t enable) {
  playRecEnabled_ = enable != 0;
  RefreshLinkedControls();
  NewTest->menuAction()->setVisible(playRecEnabled_);
}

void DataPlotter::SetAutoMixerDeleteVisible() { AutoMixerDelete->setVisible(true); }

void DataPlotter::ShowMixerChecks(bool on) {
  MixerOnMenue->setChecked(on);
  MixerOffMenue->setChecked(!on);
}

void DataPlotter::SetMixerOn(int16_t on) { ShowMixerChecks(on != 0); }

int32_t DataPlotter::GetSampleRate() const {
  return ResultsDataSetInfo[0].NumInSet > 0 ? ResultsDataSetInfo[0].SampleRate : 0;
}

void DataPlotter::GetSigSampleDelay(std::array<int32_t, 32>& delays) const {
  for (int i = 0; i < kMaxResults; ++i) delays[i] = ResultsDataSetInfo[i].ImpulseShift;
}

float DataPlotter::GetFrequencyResponseGateTime() const { return ResultsDataSetInfo[0].FreqRespGateTime; }

void DataPlotter::SetMeasConfig(int32_t value) { EQConfig.MeasConfig = value; }

void DataPlotter::InitializeProgressBar1(int32_t n) {
  ProgressBar1->setRange(0, std::max<int32_t>(n, 0));
  ProgressBar1->setValue(0);
}

std::string DataPlotter::IncrementProgressBar1() {
  const int value = ProgressBar1->value();
  if (ProgressBar1->maximum() <= value + 1) {
    // Past the end the bar starts again rather than stalling.
    ProgressBar1->setValue(std::min(1, ProgressBar1->maximum()));
  } else {
    ProgressBar1->setValue(value + 1);
  }
  return "";
}

void DataPlotter::ClearProgressBar1() { ProgressBar1->setValue(0); }

std::string DataPlotter::LoadMicCal() {
  if (MicCalCount < 0 || MicCalCount > kMaxMicCalPoints) return "";
  // The slots past the count are cleared: what the calibration in force holds,
  // and a .cfa save writes, does not depend on longer calibrations loaded before.
  const auto n = static_cast<size_t>(MicCalCount);
  std::fill(std::copy_n(MicCalFreq.begin(), n, ActiveMicCal.Freq.begin()), ActiveMicCal.Freq.end(), 0.0f);
  std::fill(std::copy_n(MicCalLevel.begin(), n, ActiveMicCal.Level.begin()), ActiveMicCal.Level.end(), 0.0f);
  ActiveMicCal.Count = MicCalCount;
  CopyString(ActiveMicCal.FileName, MicCalFileName);
  SetMicCalFileName(MicCalFileName);
  return "";
}

void DataPlotter::SetDisplayCurveNumber(int32_t n) {
  if (n < 1 || n > ResultsDataSetInfo[0].NumInSet) {
    MsgBox("Error 7428");
    return;
  }
  CurveNoText->setText(QString::number(n));
  DisplayCurveNumber = n;
}

void DataPlotter::ShowMeasParms(const std::string& rSN, const std::string& lSN, const std::string& distance,
                                const std::string& rLevel, const std::string& lLevel) {
  ModesListContents[0].Count = 0;
  ModesList->clear();
  ModesList->addItem(QString::fromStdString("R: Level = " + rLevel + " S/N = " + rSN + " dB"));
  ModesList->addItem(QString::fromStdString("L: Level = " + lLevel + " S/N = " + lSN + " dB"));
  ModesList->addItem(QString::fromStdString("Mic-Spkr Dist = " + distance + " m"));
}

float DataPlotter::GetModalCurveMinFreq(int32_t) const { return static_cast<float>(modal_.MinFreq); }
float DataPlotter::GetModalCurveMaxFreq(int32_t) const { return static_cast<float>(modal_.MaxFreq); }
float DataPlotter::GetModalCurveMaxDecay(int32_t) const { return static_cast<float>(modal_.MaxDecay); }
float DataPlotter::GetModalQMinimum(int32_t) const { return modal_.QMinimum; }
float DataPlotter::GetModalSchroederFreq(int32_t) const { return modal_.SchroederFreq; }
float DataPlotter::GetModalCurveSecondaryPolishWidth(int32_t) const {
  return static_cast<float>(modal_.SecondaryPolishWidth);
}
float DataPlotter::GetModalCurveNumInitialLoops(int32_t) const {
  return static_cast<float>(modal_.NumInitialLoops);
}
float DataPlotter::GetModalCurveDamping(int32_t) const { return static_cast<float>(modal_.Damping); }
int32_t DataPlotter::GetLoudspeakerOrder(int32_t) const { return modal_.LoudspeakerOrder; }

void DataPlotter::SetModalNumericalConstants(int32_t curve, float minFreq, float maxFreq, float maxDecay,
                                             float secondaryPolishWidth, int32_t initialLoops, float damping,
                                             int32_t loudspeakerOrder, float qMinimum, float schroederFreq) {
  modal_.MinFreq = minFreq;
  modal_.MaxFreq = maxFreq;
  modal_.MaxDecay = maxDecay;
  modal_.SecondaryPolishWidth = secondaryPolishWidth;
  modal_.NumInitialLoops = initialLoops;
  modal_.Damping = damping;
  modal_.LoudspeakerOrder = loudspeakerOrder;
  modal_.QMinimum = qMinimum;
  modal_.SchroederFreq = schroederFreq;
  ModesCurveNumber = curve;
  CurveNumberText->setText(QString::number(static_cast<qint64>(curve) + 1));
}

std::string DataPlotter::GetSimSort() const { return SimSort ? "True" : "False"; }
void DataPlotter::SetSimSort(bool flag) { SimSort = flag ? -1 : 0; }

// ---- Commands ----------------------------------------------------------------

void DataPlotter::MixerOffMenue_Click() {
  ShowMixerChecks(false);
  AutoMixerOn = false;
}

void DataPlotter::MixerOnMenue_Click() {
  ShowMixerChecks(true);
  AutoMixerOn = true;
}

void DataPlotter::AutoMixerDelete_Click() {
  // A store that cannot be written keeps the saved settings, and so the older files.
  if (!SaveSetting("Zentor", "Mixer", "SaveSetting", "False")) {
    MsgBox(kMixerSettingsNotDeleted);
    return;
  }
  for (const char* name : {"ZentorMixer.cfg", "c:\\ZentorMixer.cfg", "ZentorMixer", "c:\\ZentorMixer"}) {
    if (FileExists(name)) {
      std::error_code ec;
      std::filesystem::remove(name, ec);
      AutoMixerDelete->setVisible(false);
    }
  }
}

void DataPlotter::EvenAndOdd_Click() {
  EvenAndOdd->setChecked(true);
  AllOpt->setChecked(false);
}

void DataPlotter::AllOpt_Click() {
  AllOpt->setChecked(true);
  EvenAndOdd->setChecked(false);
}

void DataPlotter::about_Click() {
  frmAbout* box = Forms::Get<frmAbout>();
  box->show();
  box->raise();
}

void DataPlotter::MainHelp_Click() { ShowHelpTopic(HelpTopic::DataPlotterMain); }

void DataPlotter::PrintingHelp_Click() { ShowHelpTopic(HelpTopic::Printing); }

}  // namespace zentor
