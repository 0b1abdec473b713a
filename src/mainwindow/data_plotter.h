// The main window: created first, lives until the program ends, and opens every
// other window from its menus and panel.
#pragma once

#include <QMainWindow>
#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/records.h"
#include "display/graph_host.h"
#include "platform/picture.h"

class QAction;
class QSlider;
class QCheckBox;
class QGroupBox;
class QLineEdit;
class QListWidget;
class QMenu;
class QProgressBar;
class QPushButton;
class QRadioButton;

namespace zentor {

// Fit and modal-analysis settings of the main window.
struct ModalConstants {
  double MinFreq = 0;  // Hz
  double MaxFreq = 0;  // Hz
  double MaxDecay = 0;
  float QMinimum = 0;
  float SchroederFreq = 0;  // Hz
  double SecondaryPolishWidth = 0;
  int32_t NumInitialLoops = 0;
  double Damping = 0;
  int32_t LoudspeakerOrder = 0;
};

// Twips of the window's scale: 15 to a pixel.
constexpr double kTwipsPerPixel = 15.0;
int TwipsToPixels(double twips);
double PixelsToTwips(int pixels);

class DataPlotter : public QMainWindow, public GraphHost {
 public:
  DataPlotter();
  ~DataPlotter() override;

  // Window life.
  void Form_Load();
  void Form_Resize();
  void Form_Paint() {}
  void Form_QueryUnload(int16_t& Cancel);
  void Form_Unload();
  void Form_Event14() {}
  void ArrangeMainWindow();
  bool IsLaidOut() const { return laidOut_; }

  int16_t ResultsTakenButNotSaved = 0;
  int16_t EQResultsTakenButNotSaved = 0;

  std::string GetDisplayRes() const override;
  void SetDisplayRes(int32_t value) override;
  // Puts back the window's own mouse pointer; nothing else.
  void SetMouseZero() override;

  // Public operations other windows call.
  void EnableDataPlotterPlayRec(int16_t enable);
  void SetAutoMixerDeleteVisible();
  void SetMixerOn(int16_t on);
  int32_t GetSampleRate() const;
  void GetSigSampleDelay(std::array<int32_t, 32>& delays) const;
  float GetFrequencyResponseGateTime() const;
  void SetMeasConfig(int32_t value);
  void InitializeProgressBar1(int32_t n);
  std::string IncrementProgressBar1();
  void ClearProgressBar1();

  // Makes the calibration read last the one in force.
  std::string LoadMicCal();
  void SetDisplayCurveNumber(int32_t n);
  int32_t GetDisplayCurveNumber() const { return DisplayCurveNumber; }
  void ShowMeasParms(const std::string& rSN, const std::string& lSN, const std::string& distance,
                     const std::string& rLevel, const std::string& lLevel);

  // Fit and modal constants (the curve argument is not read).
  float GetModalCurveMinFreq(int32_t curve = 0) const;
  float GetModalCurveMaxFreq(int32_t curve = 0) const;
  float GetModalCurveMaxDecay(int32_t curve = 0) const;
  float GetModalQMinimum(int32_t curve = 0) const;
  float GetModalSchroederFreq(int32_t curve = 0) const;
  float GetModalCurveSecondaryPolishWidth(int32_t curve = 0) const;
  float GetModalCurveNumInitialLoops(int32_t curve = 0) const;
  float GetModalCurveDamping(int32_t curve = 0) const;
  int32_t GetLoudspeakerOrder(int32_t curve = 0) const;
  void SetModalNumericalConstants(int32_t curve, float minFreq, float maxFreq, float maxDecay,
                                  float secondaryPolishWidth, int32_t initialLoops, float damping,
                                  int32_t loudspeakerOrder, float qMinimum, float schroederFreq);
  const ModalConstants& GetModalConstants() const { return modal_; }
  int32_t GetModesCurveNumber() const { return ModesCurveNumber; }
  std::string GetSimSort() const;
  void SetSimSort(bool flag);
  int32_t GetGraphicEQEmulation() const { return GraphicEQEmulation; }
  int32_t GetParametricEQEmulation() const { return ParametricEQEmulation; }
  void SetGraphicEmulation(int32_t code) { GraphicEQEmulation = code; }
  void SetParametricEmulation(int32_t code) { ParametricEQEmulation = code; }
  bool GetBusy() const { return Busy != 0; }
  bool GetStopModalFlag() const { return StopModalFlag != 0; }
  void SetStopModalFlag(int16_t v) { StopModalFlag = v; }
  // A click during a long analysis asks it to stop; at rest it does nothing.
  void StopModal_Click() { StopModalFlag = Busy; }
  // Moving the mouse over the stop button gives it the keyboard focus.
  void StopModal_MouseMove();
  void Command7_Click() {}
  // A user's choice of range reinterprets the gate slider; its range follows.
  void SmallGate_Click() { SelectGateRange(false); }
  void Largegate_Click() { SelectGateRange(true); }

  // Commands.
  void MixerOffMenue_Click();
  void MixerOnMenue_Click();
  void AutoMixerDelete_Click();
  void EvenAndOdd_Click();
  void AllOpt_Click();
  void about_Click();
  void MainHelp_Click();
  void PrintingHelp_Click();

  // "&Graphics Export": the main, waterfall and large-room pictures as JPEG files or prints.
  void ExportJPGMain_Click();
  void MainPrint_Click();
  void ExportJPGWaterfall_Click();
  void PrintWaterfall_Click();
  void ExportJPGLargeRoom_Click();
  void PrintLargeRoom_Click();
  // Beside each "jpg Export": the picture as a PNG image or an SVG drawing; and the
  // main graph's curves as text (CSV or FRD).
  void ExportPNGMain_Click();
  void ExportSVGMain_Click();
  void ExportPNGWaterfall_Click();
  void ExportSVGWaterfall_Click();
  void ExportPNGLargeRoom_Click();
  void ExportSVGLargeRoom_Click();
  void TextExportMain_Click();
  // The waterfall and large-room entries are enabled while their picture is linked.
  void UpdateGraphicsExportEntries();

  // ---- Commands, curve selectors and results management -----------------------
  // Removes result k (1-based) with everything derived from it; the later ones move down.
  void RemoveResult(int32_t k);
  // Empties the derived data of slot i (0-based) without moving anything.
  void RemoveResultQuickly(int32_t i);
  void ClearMeasurementBuffers();
  void ClearMeasurementBuffersQuickly();
  float GetFreqGridXMin() const;
  float GetFreqGridXMax() const;
  // Scales the stored samples of one result (1-based) by dB and redraws.
  void ChangeCurveLevel(int32_t curve, float dB);
  void OpenResampleWindow();

  void Command1_Click();
  void Command2_Click();
  void Command3_Click();
  void Response_Click();
  void LevelTest_Click();
  void NewMeasMenue_Click() { OpenAudioWindow(); }
  void NewTestWindow_Click() { OpenAudioWindow(); }
  void EQSetUpRTAMenue_Click();
  void ImpulseRTA_Click();
  void SPLMeasurement_Click();
  void CDTestMeasure_Click();
  void DistortionMeas_Click();
  void SoundCard_Click();
  void MicCalibration_Click();
  void ThreeDBut_Click() { ShowWaterfallWindow(); }
  void DataIntegrity_Click();
  void ExportAsPCM_Click();
  void ImportWave_Click();
  void AdjustLevels_Click();
  void ShowDifferences_Click();
  void ArrangeCurves_Click();
  void Compress_Click();
  void Resample_Click() { OpenResampleWindow(); }
  void NewEQFilter_Click();
  void DeleteEQ_Click();
  void DeleteMeasBuffers_Click();
  void NumericalOptions_Click();
  void NumOptBut_Click() { NumericalOptions_Click(); }
  void ErrSelect_Click();
  void Polish_Click();
  void avg_Click();
  void Norm_Click();
  void FreqSelect_Click();
  void QSelect_Click();
  void RemoveCurve_Click();
  void DelCurve_Click();
  void LeftDisplayArrow_Click();
  void RightDisplayArrow_Click();
  void CurveNoText_KeyPress(int key);
  void LeftArrow_Click();
  void RightArrow_Click();
  void CurveNumberText_KeyPress(int key);

  // Sort direction of the mode lists (True = -1 ascending), shared by the sort buttons
  // and the list of all modes; the key: 0 frequency, 1 Q.
  int16_t ModeSortAscending = 0;
  int32_t GetModeSortKey() const { return ModeSortKey; }

  // The controls whose action needs a link of MainWindowHooks, with their state.
  struct LinkedControl {
    std::string control, link, missing;
    bool linked = false;
    bool enabled = false;
  };
  std::vector<LinkedControl> LinkedControls() const;
  // Enables each linked control whose link is set (and, for the play/record
  // buttons, while EnableDataPlotterPlayRec allows); call after setting links.
  void RefreshLinkedControls();

  QPushButton* RemoveCurve = nullptr;  // "Delete Curve" beside CurveNoText

  // Menus: a QMenu for a menu that opens further entries, a QAction for an entry.
  QMenu *Function, *NewMeas, *Open, *SaveFile, *AddTo, *ClearEQ, *GraphicBut, *MainGraphic, *WaterfallGraphic,
      *LargeRoomGraphic;
  QAction *NewMeasMenue, *DistortionMeas, *EQSetUpRTAMenue, *ImpulseRTA, *SPLMeasurement, *CDTestMeasure;
  QAction *OpenFile, *OpenEQFileMenue, *MenueOpenQelFile, *OpenOtherFilters;
  QAction *SaveMeasurement, *SaveEQModel, *TextEQ, *SaveOtherFilters;
  QAction *NewEQFilter, *AddMeasurements, *AddQelFile;
  QAction *DeleteMeasBuffers, *DeleteEQ, *AutoMixerDelete;
  QAction *PrintingHelp, *MainPrint, *ExportJPGMain, *PrintWaterfall, *ExportJPGWaterfall, *PrintLargeRoom,
      *ExportJPGLargeRoom, *ExportPNGMain, *ExportSVGMain, *TextExportMain, *ExportPNGWaterfall, *ExportSVGWaterfall,
      *ExportPNGLargeRoom, *ExportSVGLargeRoom;
  QMenu* NewTest;
  QAction *LevelTest, *Response, *NewTestWindow;
  QMenu *OptionsMenue, *MixerOpt, *Processing, *AverageOpt;
  QAction *MixerOffMenue, *MixerOnMenue, *SoundCard, *EvenAndOdd, *AllOpt;
  QMenu *ViewResult, *FreqResp, *TimeResponse, *Options;
  QAction *FractOct, *BodeFFT, *Psyc, *FrequencyOptions, *SNRatioMenu, *Impulse, *TimeSettings, *Waterfall,
      *LogFrequency, *LinearFreq, *DisplayColors, *CoOrdinateLocker, *FileDetails;
  QMenu *Filters, *CurveFit, *FilterFitSettings;
  QAction *NewFilter, *EQEmulation, *Xover, *FitFilter, *AddFilter, *PolishFilter, *AllCurves, *QuickFit,
      *NumericalOptions, *ApplyAllModes, *FitLimits;
  QMenu *Operations, *Utilities;
  QAction *DataIntegrity, *TestCDMake, *MicCalibration, *AdjustLevels, *ExportAsPCM, *ImportWave, *ArrangeCurves,
      *ShowDifferences, *Compress, *Resample;
  QMenu* Help;
  QAction *MainHelp, *about;

  // Panel.
  PictureBox* Picture1;
  QListWidget *ModesList, *AppliedFilterListBox;
  QGroupBox *Frame1, *ControlFrame;
  QProgressBar* ProgressBar1;
  QPushButton *Command1, *Command2, *Command3, *ThreeDBut;
  QCheckBox *Norm, *avg;
  QLineEdit* CurveNoText;
  QPushButton *LeftDisplayArrow, *RightDisplayArrow;
  QCheckBox *All, *AccCheck, *QkCheck;
  QPushButton *FitFiltersBut, *Polish, *NumOptBut, *DelCurve, *StopModal, *Command7;
  QLineEdit* CurveNumberText;
  QPushButton *LeftArrow, *RightArrow;
  QPushButton *FreqSelect, *QSelect, *ErrSelect, *CompModes, *ApplyAll;
  QPushButton *Colorselect, *Display;
  QRadioButton *TimeBut, *FreqBut, *NoiseBut, *logbut, *LinBut;

  // ---- The main graph's views (display/), reached through GraphHost ---------------
  // Public operations other windows call; each hands this window to display/.
  // FirstCurve: kRedrawFiledCurves, kRecomputeAllCurves, or k > 0 to keep slots 0..k-1.
  void DisplayResults(int32_t FirstCurve);
  void ShowResult();
  void ShowNewGraphic();
  void SetPlotterToUpdate();
  void SetChangeLevels(int16_t v);
  // Scales the first 2^PeriodExponent samples of result `curve` (1-based) by dB.
  void BoostCut(int32_t curve, float dB);
  void SetBusy(int16_t v) { Busy = v; }
  int32_t GetPeriodLength() const;
  int32_t GetNumberOfCurves() const;
  std::string GetSampleRateOfDisplayData() const;
  void IncludeExistingFiltersinFit(int32_t v);
  int16_t GetIncludeFilters() const;
  float GetFractOctRes() const;
  float GetFractOctGateTime() const;
  float GetBodeGateTime() const;
  void RefreshPsycParms();
  void RefreshOctParms();
  void RefreshBodeParms();
  void LoadStaticConfig();
  void GetGraphShown(int32_t n);
  // Appends (sample rate a, exponent b); false after refusing a 33rd spectrum.
  bool ADDTOPSDParameters(int32_t& a, int32_t& b);
  void UpdateFFTDisplay();
  void UpdateFractOctDisplay();
  void UpdatePsycDisplay();
  void UpdateModalDisplay();
  void UpdateNoiseDisplay();
  void RunFilter();
  void TimeBut_Click();
  void Command4_Click();
  void EQEmulation_Click();
  void FreqBut_Click();
  void NoiseBut_Click();
  bool ShowPSDEnergy(int32_t FirstCurve);
  void ShowLevelsImpulse(std::span<float> impulse, int32_t startIndex, float msBefore, int32_t sampleRate,
                         int32_t impulseShift, float level, float signalToNoise);
  void ClearDisplays();
  int32_t GetFFTSizeFromGateTime(float gateMs, int32_t periodExponent, int32_t sampleRate);
  int32_t GetMainCurveNumber();
  void ShowDifferenceCurves(int32_t mode);
  void FitGraphToData();
  std::string GetCurrentNumericalSettingsDisplayRes() const;

  // GraphHost: the picture and the panel controls the views read and set.
  DrawingSurface& MainGraph() override;
  void RepaintWindow() override;
  bool IsBusy() const override { return Busy != 0; }
  void SetBusyFlag(bool busy) override { Busy = busy ? kTrue : kFalse; }
  void SelectViewButton(ViewButton b) override;
  ViewButton SelectedViewButton() const override;
  void SelectAxisButton(bool log) override;
  void SelectGateRange(bool large) override;
  bool LargeGateSelected() const override;
  void SetGateSlider(int32_t v) override;
  int32_t GateSliderPosition() const override;
  void SetGateText(const std::string& text) override;
  bool ReadGateText(double min, double max, double& value) override;
  bool NormTicked() const override;
  bool ReadCurveNoText(double min, double max, double& value) override;
  void SetCurveNoText(const std::string& text) override;
  int32_t DisplayResolution() const override { return DisplayRes; }
  // Lines that name no mode: a click on one opens nothing.
  void ShowListLines(std::span<const std::string> lines) override;
  // Lines n of which is entry n of ModesListContents.
  void ShowModesLines(std::span<const std::string> lines);
  void ShowRubberBand(const DrawPoint& a, const DrawPoint& b, const Pen& pen) override;
  void HideRubberBand() override;
  void SetFitRange(double minFreq, double maxFreq) override;
  bool AccumulateTicked() const override;
  int32_t FitFilterSet() const override { return ModesCurveNumber; }
  void InitializeProgress(int32_t n) override;
  void IncrementProgress() override;
  void ClearProgress() override;
  bool MostSimilarFirst() const override { return SimSort != 0; }

  // Where the main graph is drawn: Picture1 unless a test put a recorder in its place.
  DrawingSurface* MainGraphOverride = nullptr;

  QRadioButton *ModalBut = nullptr, *SmallGate = nullptr, *Largegate = nullptr;
  QSlider* Slider1 = nullptr;
  QLineEdit* GateText = nullptr;
  QPushButton* Command4 = nullptr;
  QWidget* GateStrip = nullptr;  // holds the gate controls under Frame1

  // The display buttons beside the graph.
  void SetFrequencyAxisMode();
  void ShowColourDialog();
  void ShowDisplayOptions();
  void Colorselect_Click() { ShowColourDialog(); }
  void Display_Click() { ShowDisplayOptions(); }
  void LinBut_Click() { SetFrequencyAxisMode(); }
  void logbut_Click() { SetFrequencyAxisMode(); }
  void Picture1_Resize();
  // Overwrites results 1..31 with synthetic first-order impulses (a developer aid; not shown).
  void Command5_Click();
  QPushButton* Command5 = nullptr;

  // ---- Mouse zoom on the graph (positions in drawing units) ----
  void Picture1_MouseDown(int button, int shift, float x, float y);
  void Picture1_MouseMove(int button, int shift, float x, float y);
  void Picture1_MouseUp(int button, int shift, float x, float y);

 private:
  void InitViewControls();     // from the constructor
  void InitDisplayControls();  // from the constructor
  void InitMouseZoom();        // from the constructor
  // ---- end of the main graph's views ---------------------------------------------

 protected:
  void resizeEvent(QResizeEvent* e) override;
  void closeEvent(QCloseEvent* e) override;
  bool eventFilter(QObject* watched, QEvent* e) override;

 private:
  void ConnectHooks();
  void DisconnectHooks();
  void ConnectGraphicsExport();
  void BuildMenus();
  void BuildPanel();
  void SetMinimumFromLayout();
  void SetDefaultParameters();
  void SetInitialMenuState();
  void SetFrequencyAxisOption(int16_t logAxis);
  void ShowMixerChecks(bool on);
  void InitCommandControls();  // from the constructor
  void OpenAudioWindow();
  void OpenEQRTAWindow();
  void ShowWaterfallWindow();
  void OpenThreeDForm();
  void SelectCurveForModes();
  void SortModeLists(int32_t key);
  void StepDisplayCurve(int32_t step);
  void ShowCorrectedResponseOf(int32_t index);
  // The refusal of Command1 and Command2; true when refused.
  bool SampleRateRefused();
  // The refusal of the streaming windows while a run holds the card; true when refused.
  bool SoundCardRefused();
  QObject* FindControl(std::string_view name) const;


  int32_t DisplayCurveNumber = 1;
  int32_t ModesCurveNumber = 0;
  int16_t Busy = 0;
  int16_t StopModalFlag = 0;
  int16_t SimSort = -1;
  ModalConstants modal_;
  int32_t DisplayRes = 4;
  int32_t GraphicEQEmulation = 1;
  int32_t ParametricEQEmulation = 1;
  int32_t ModeSortKey = 0;
  bool playRecEnabled_ = true;
  bool laidOut_ = false;
  bool arranging_ = false;
  bool unloaded_ = false;

  // ---- Result files: measurement sets, filter sets, Qel import, file details ----
 public:
  // The command line the program was started with (set before Form_Load): one
  // path, optionally in double quotes.
  std::string CommandLine;

  void OpenFile_Click();
  void SaveMeasurement_Click();
  void AddMeasurements_Click();
  void OpenEQFileMenue_Click();
  // True when the filter set was written (the close question relies on it).
  bool SaveEQModel_Click();
  void MenueOpenQelFile_Click();
  void AddQelFile_Click();
  void FileDetails_Click();

  // Closes the crossover, large-room and waterfall windows; false when one of
  // them refused, and the calling command is then abandoned.
  bool ClearExtDisplay();
  void ClearModesList();

  std::string GetUserNotes() const;
  void SetUserNotes(const std::string& text);
  std::string GetMicCalFileNotes();
  void SetMicCalFileName(const std::string& path);

  // Values of the view buttons TimeBut, FreqBut, ModalBut, NoiseBut (-1 / 0).
  std::array<int16_t, 4> GetViewButtonValues() const;
  // Ticks or clears the avg box without running its click handler.
  void SetAverageBox(bool ticked) override;
  // The applied-filter list box after AppliedFilters changed.
  void RefreshAppliedFiltersList();
  // After a new set was opened: curve selectors back to 1, no average.
  void ResetCurveSelectionForNewSet();
  // Shows a newly opened set in the view it was saved with, recomputing every curve.
  void ShowOpenedSet();
  // Redraws after results were appended, keeping the curves already built.
  void ShowAddedResults();

 private:
  void ConnectFileCommands();
  void ShowStartupFile(const std::string& commandLine);
  // ---- end of result files ----
};

}  // namespace zentor
