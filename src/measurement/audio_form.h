// "Audio Data Gathering": the measurement window. It owns the run buffers while it
// is open, shows the run settings, starts the card for every run through one road
// (StartRunStreaming), shows progress, and stops the card however a run ends.
#pragma once

#include <QWidget>
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "display/graph_frame.h"
#include "measurement/wave_clients.h"
#include "platform/forms.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QSlider;
class QTimer;

namespace zentor {

class DataPlotter;

class PictureBox;

// The run buffers (16-bit play and test-signal buffers), sized while the window is
// open: the measurement's to 2^18 + 2^16 + 1 values, the levels check's to its own
// period and pre-excitation.
extern std::vector<int16_t> PlayBufferA, PlayBufferB;
extern std::vector<int16_t> TestSignalA, TestSignalB;
extern std::vector<int16_t> LevelsPlayBufferA, LevelsPlayBufferB;

// The largest run: 2^18 + 2^16 frames.
inline constexpr int32_t kMaxRunFrames = (1 << 18) + (1 << 16);
inline constexpr int32_t kCrossoverWorkSize = 312145;

// The pre-excitation exponent that goes with a period exponent.
int32_t GetPreExcitationExponent(int32_t periodExponent);

// Stand-ins for the window's own processing and the mixer's save on close. Unset:
// the window's own processing runs, nothing is offered.
struct AudioFormLinks {
  // Takes the place of the window's own processing of a completed recording and
  // ends the run (EndRun) itself.
  std::function<void()> AudioRecordProcess;
  // Offers to save the sound card's mixer settings; the answer is not used.
  std::function<void()> SaveAutoMixerSettingsOnExit;
};
extern AudioFormLinks AudioFormHooks;

// A curve of the window's level pictures: the CurveRecord layout with 8001 points.
inline constexpr int kAudioCurvePoints = 8001;
struct AudioCurveRecord {
  int32_t NumCurves = 0;
  int32_t CurveIndex = 0;
  double Parameter = 0;
  std::string Name;
  int32_t NumPoints = 0;
  std::array<float, kAudioCurvePoints> YValues{};
  std::array<float, kAudioCurvePoints> XValues{};
  std::string Label;
};

// The pictures' level of a sample that is exactly zero (dB).
inline constexpr float kPictureFloorDb = -300.0f;

class AudioForm : public QWidget, public AudioFormWaveClient {
  Q_OBJECT
 public:
  explicit AudioForm(QWidget* parent = nullptr);
  ~AudioForm() override;

  void Form_Load();
  void Form_Unload();

  // Handlers.
  void MLSXOver_Click();
  void HybridBut_Click();
  void SweepsBut_Click();
  void AutoRange_Click();
  void ManualSub_Click();
  void Test_Click();
  void PSDRecordBut_Click();
  void Levels_Click();
  void Command1_Click();
  void SndCardSelect_Click();
  void Help_Click();
  void MakeBig_Click();
  void MakeSmall_Click();
  void Slider2_Change();
  void Timer1_Timer();
  void Form_Activate();

  // Public operations.
  // Starts one response measurement: checks that it may start, freezes EQConfig
  // into MeasHeader, builds the excitation and starts the card; returns at once.
  void RunMainTest();
  // Starts the levels check: a short run of the current excitation whose impulse
  // goes to the main window's levels view and is not stored.
  void RunLevelsCheck();
  void ResetSound();
  void SetMicOnOffDisplay();
  void RefreshRunSettings();
  void StartProgressTimer(int32_t p, int32_t q, int32_t rate);
  void StopProgressTimer();
  // Starts the card for a run of n frames: play and record, or record only when
  // the play buffers are empty. On a refusal it reports, stops everything, clears
  // SoundCardBusy and returns false.
  bool StartRunStreaming(std::span<const int16_t> playA, std::span<const int16_t> playB, int32_t n, int32_t p,
                         int32_t q, int32_t rate);
  // The run is over: timer off, pointer back, card free.
  void EndRun();
  // The hourglass of the run in progress: shown once, restored once.
  void ShowRunHourglass();
  void RestoreRunPointer();
  bool RunHourglassShown() const { return hourglass_.has_value(); }

  void AudioRecordProcess() override;

  // The energy over time of the two aligned impulses of a run (microphone and
  // reference by the channel code) in MicPic and RefPic, on a 50 dB scale.
  void DrawImpulseEnergyPictures(std::span<const float> a, std::span<const float> b, int32_t micChannel,
                                 int32_t rate);
  void RedrawImpulseEnergyPictures();

  int16_t SweepWarningShown = 0, MlsWarningShown = 0, WindowIsBig = 0, SoundCardUsed = 0;
  int32_t TestMode = 0;  // -3 measurement, -1 levels check, -2 background noise
  GraphFrame RefFrame, MicFrame;
  std::array<AudioCurveRecord, 2> ImpulseEnergyCurves;  // 0 microphone, 1 reference
  std::vector<float> SweepScratch;
  std::vector<float> CrossoverWorkA, CrossoverWorkB;

  QGroupBox *Frame1, *Frame2, *Frame3;
  QRadioButton *MLSXOver, *HybridBut, *SweepsBut, *AutoRange, *ManualSub;
  QLineEdit *MLSText, *MicSpkrDistanceText, *PeriodLengthText, *PreExciteLengthText;
  QLineEdit *LeftPeakLevel, *LeftSN, *RightPeakLevel, *RightSN, *MicSpkrText;
  QLabel *MLSLabel1, *MLSLabel2, *Label6, *Label7, *MaxTime, *MinTime;
  std::array<QLabel*, 2> MaxValCap, MinVal;  // top and bottom of each picture's scale
  QLabel *PeriodLabel, *PreExciteLabel, *DistanceLabel;
  // The last run's figures the window shows as Left, as numbers; the Right ones are
  // in the stored result.
  struct ReferenceFigures {
    float levelDb = 0, snDb = 0;
  } LastReference;
  QLabel* ClipLabel;     // marks the last run whose recording clipped
  QLabel* SimRoomLabel;  // the room the simulated card measures
  QCheckBox* Check1;
  QPushButton *Test, *PSDRecordBut, *Levels, *Command1, *SndCardSelect, *Help, *MakeBig, *MakeSmall;
  QSlider* Slider2;
  QProgressBar* ProgressBar1;
  QTimer* Timer1;
  PictureBox *MicPic, *RefPic;

 protected:
  bool event(QEvent* e) override;
  void closeEvent(QCloseEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;

 private:
  std::string ProcessMainTest();
  std::string ProcessLevelsCheck();
  void ProcessNoiseRecording();
  // Looks for clipping in both recorded inputs, marks the window, and returns the
  // warning for each input that clipped ("" when none did).
  std::string CheckClipping();
  // Adds the dropouts the card counted during the recording to the mark, and
  // returns the warning ("" when there were none).
  std::string CheckDropouts();
  // Notes the result just stored in the set's notes: its card, rate and dropouts.
  void NoteResult(DataPlotter* main, int32_t rate);
  // On the simulated card: names the room it measures and says once why a room
  // file it was given is not used.
  void ShowSimulatedRoom(int32_t rate);
  void AllocateMeasurementBuffers();
  void ReleaseMeasurementBuffers();
  void ShowSignalOptions();
  void Layout();

  std::optional<WaitCursor> hourglass_;
  bool unloaded_ = false;
  QSize sizeBeforeBig_;
};

// Sets the main window's links to this window.
void InstallAudioFormLinks();

}  // namespace zentor
