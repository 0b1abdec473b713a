// The levels check (a short run whose quick impulse goes to the main window's levels
// view, never to the result set) and the background-noise recording's spectrum.
#include "measurement/levels_check.h"

#include <QLineEdit>
#include <QProgressBar>
#include <QRadioButton>
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "base/text_number.h"
#include "core/records.h"
#include "core/results_store.h"
#include "core/test_signals.h"
#include "core/work_arrays.h"
#include "display/time_views.h"
#include "display/view_state.h"
#include "mainwindow/data_plotter.h"
#include "mainwindow/main_window_links.h"
#include "measurement/audio_form.h"
#include "measurement/deconvolution.h"
#include "measurement/eq_audio_module.h"
#include "measurement/excitation.h"
#include "platform/audio/wave_streaming.h"
#include "platform/dialogs.h"
#include "platform/forms.h"
#include "platform/numeric/numeric.h"
#include "platform/text_boxes.h"

namespace zentor {

namespace {

struct BuildFault {};
// A stage of the processing that cannot go on; reported by the stage's number.
struct StageFault {};

constexpr int32_t kRunTaper = 200;
constexpr double kSpeedOfSound = 343.0;  // m/s
constexpr int32_t kLargestPeriodExponent = 18;
// The high-pass corner of the levels check's MLS may go higher than the main run's.
constexpr double kLowestCrossover = 200, kHighestCrossover = 5000;
constexpr int32_t kPsdSegments = 100;

DataPlotter* Plotter() { return Forms::IsLoaded<DataPlotter>() ? Forms::Get<DataPlotter>() : nullptr; }

void Show(QLineEdit* box, const std::string& text) { box->setText(QString::fromStdString(text)); }
double ShownValue(const QLineEdit* box) { return Val(box->text().toStdString()); }

}  // namespace

void AudioForm::Levels_Click() {
  if (ResultsDataSetInfo[0].NumInSet > 0 && EQConfig.SampleRate != ResultsDataSetInfo[0].SampleRate) {
    MsgBox("User Error: Each curve in a set must have the same sample frequency. Loaded data may have been resampled");
    return;
  }
  if (!AutoRange->isChecked()) {
    double distance = EQConfig.MicSpeakerDistance;
    if (!ValidateNumericTextBox(MicSpkrDistanceText, 0, 50, distance)) return;
    EQConfig.MicSpeakerDistance = static_cast<float>(distance);
  }
  // The run's start reads the crossover field; typing into it meanwhile is shut out.
  MLSText->setReadOnly(true);
  RunLevelsCheck();
  MLSText->setReadOnly(false);
  SoundCardUsed = kTrue;
}

void AudioForm::RunLevelsCheck() {
  if (SoundCardBusy) {
    MsgBox("User Error: Sound card is in use");
    return;
  }
  SoundCardBusy = true;
  ShowRunHourglass();
  if (DataPlotter* main = Plotter()) main->repaint();
  try {
    TestMode = -1;
    if (EQConfig.SampleRate < 12000) MsgBox("Error 4628");
    CopyMeasurementHeader(EQConfig, MeasHeader);
    const int32_t l = MeasHeader.LevelsPeriodExponent, m = MeasHeader.LevelsPreExcitationExponent;
    const int32_t rate = MeasHeader.SampleRate;
    // Settings come from files and the settings store: only what the buffers hold runs.
    if (l < kMinMLSOrder || l > kLargestPeriodExponent || m < 0 || m > l || rate <= 0 ||
        (std::size_t{1} << (l - 1)) > WorkCurveAux.size() || (int64_t{1} << l) + (int64_t{1} << m) > kMaxRunFrames)
      throw BuildFault{};
    const int32_t period = 1 << l, n = period + (1 << m);
    for (auto* b : {&LevelsPlayBufferA, &LevelsPlayBufferB})
      if (b->size() < static_cast<std::size_t>(n) + 1) b->assign(static_cast<std::size_t>(n) + 1, 0);

    const int32_t e = l - 1;
    const std::span<float> shape = ExcitationShape(std::size_t{1} << e);
    BuildPinkWeightingDb(shape, 1 << e);
    shape[0] = shape[1];

    const ExcitationWork work{SweepScratch, WorkCurve, WorkCurve2, CrossoverWorkA, CrossoverWorkB};
    bool built = false;
    switch (MeasHeader.MeasConfig) {
      case 43: built = BuildHybridExcitation(shape, e, LevelsPlayBufferB, l, rate, work); break;
      case 87: built = BuildSweepExcitation(shape, e, LevelsPlayBufferB, l, rate, work); break;
      case 42: {
        if (!BuildMLSSequence(LevelsPlayBufferB, l, kExcitationPeak)) throw BuildFault{};
        double crossover = MeasHeader.CrossoverFrequency >= kLowestCrossover &&
                                   MeasHeader.CrossoverFrequency <= kHighestCrossover
                               ? MeasHeader.CrossoverFrequency
                               : 300.0;
        if (!ValidateNumericTextBox(MLSText, kLowestCrossover, kHighestCrossover, crossover)) {
          EndRun();
          return;
        }
        MeasHeader.CrossoverFrequency = static_cast<float>(crossover);
        built = HighPassCrossoverMLS(LevelsPlayBufferB, l, rate, MeasHeader.CrossoverFrequency, work);
        break;
      }
      default: break;  // no excitation of that code
    }
    if (!built) throw BuildFault{};

    CopySweepPeriodicDataToNewBuffer(LevelsPlayBufferB, l, m);
    std::reverse_copy(LevelsPlayBufferB.begin(), LevelsPlayBufferB.begin() + period, LevelsPlayBufferA.begin());
    CopySweepPeriodicDataToNewBuffer(LevelsPlayBufferA, l, m);
    TaperEndOfIntegerArrayC(LevelsPlayBufferA, kRunTaper, n);
    TaperEndOfIntegerArrayC(LevelsPlayBufferB, kRunTaper, n);
    const std::size_t frames = static_cast<std::size_t>(n);
    StartRunStreaming(std::span<const int16_t>(LevelsPlayBufferA).first(frames),
                      std::span<const int16_t>(LevelsPlayBufferB).first(frames), n, l, m, rate);
  } catch (...) {
    ResetAudio();
    EndRun();
    MsgBox("Error 4629");
  }
}

std::string AudioForm::ProcessLevelsCheck() {
  MeasurementHeader& h = MeasHeader;
  const char* stage = "Error 5726";
  try {
    h.NoiseEnergy = 0;
    h.SignalEnergy = 0;
    h.AlignmentShift = 0;
    const int32_t r = h.SampleRate, l = h.LevelsPeriodExponent;
    int32_t m = h.LevelsPreExcitationExponent;
    if (r <= 0 || l < 1 || l > kLargestPeriodExponent) throw StageFault{};
    const int32_t n = 1 << l, w = CLng(r * 0.05), v = CLng(r * 0.1);
    const bool micRight = MicChannel == kMicOnRightInput;
    if (!micRight && MicChannel != kMicOnLeftInput) {
      MsgBox("Error 5829");
      MsgBox("User Error: No Right Channel Input");
      return "";
    }
    std::vector<float>& refRec = micRight ? RecordBufferA : RecordBufferB;
    std::vector<float>& micRec = micRight ? RecordBufferB : RecordBufferA;
    const std::vector<int16_t>& refPlay = micRight ? LevelsPlayBufferA : LevelsPlayBufferB;
    const std::vector<int16_t>& micPlay = micRight ? LevelsPlayBufferB : LevelsPlayBufferA;
    const std::string p = std::to_string(l);
    int16_t success = kTrue;
    const std::string clipped = CheckClipping();

    stage = micRight ? "Error 5727" : "Error 5732";
    DeconvolveChannel(m, w, refRec, refPlay, p, h.ImpulseShift, h.PeakLevel, h.SignalEnergy, h.NoiseEnergy, kTrue,
                      success);
    const int32_t tRef = h.ImpulseShift;
    stage = micRight ? "Error 5728" : "Error 5732";
    if (h.SignalEnergy <= 0 || h.NoiseEnergy <= 0) {
      MsgBox("User Error: No Left Channel Input");
      return "";
    }
    Show(LeftPeakLevel, PeakText(h.PeakLevel));
    Show(LeftSN, RatioText(h.SignalEnergy, h.NoiseEnergy));

    stage = micRight ? "Error 5729" : "Error 5732";
    h.SignalEnergy = 0;
    h.NoiseEnergy = 0;
    stage = micRight ? "Error 5730" : "Error 5732";
    DeconvolveChannel(m, v, micRec, micPlay, p, h.ImpulseShift, h.PeakLevel, h.SignalEnergy, h.NoiseEnergy, kFalse,
                      success);
    stage = micRight ? "Error 5731" : "Error 5732";
    const int32_t tMic = h.ImpulseShift;

    stage = "Error 5732";
    if (h.SignalEnergy <= 0 || h.NoiseEnergy <= 0) {
      MsgBox("User Error: No Right Channel Input");
      return "";
    }
    Show(RightPeakLevel, PeakText(h.PeakLevel));
    Show(RightSN, RatioText(h.SignalEnergy, h.NoiseEnergy));

    if (WorkCurve.size() < std::size_t(n) || WorkCurve2.size() < std::size_t(n)) throw StageFault{};
    ClearArray(WorkCurve, n);
    ClearArray(WorkCurve2, n);
    DrawImpulseEnergyPictures(RecordBufferA, RecordBufferB, MicChannel, r);
    if (!fft(std::span<float>(RecordBufferA).first(std::size_t(n)), WorkCurve2, l) ||
        !fft(std::span<float>(RecordBufferB).first(std::size_t(n)), WorkCurve, l))
      throw StageFault{};

    h.ImpulseShift = (tMic - tRef) % n;
    // Time of flight between the two arrivals, wrapped to one period, in millimetres.
    const double d = (r * 0.05 + h.ImpulseShift) / r * kSpeedOfSound;
    const double lm = Fix(double(n) / r * kSpeedOfSound * 1000.0) / 1000.0;
    const int32_t wrap = CLng(lm * 1000.0);
    const int32_t mm = wrap > 0 ? CLng(d * 1000.0) % wrap : CLng(d * 1000.0);
    h.MeasuredDistance = static_cast<float>(mm / 1000.0);
    Show(MicSpkrText, DistanceText(mm));
    // What is stored is what is shown.
    h.MeasuredDistance = static_cast<float>(ShownValue(MicSpkrText));
    h.PeakLevel = static_cast<float>(ShownValue(RightPeakLevel));
    h.NoiseEnergy = static_cast<float>(ShownValue(RightSN));

    if (!DivideMicrophoneByReference(RecordBufferA, RecordBufferB, n, MicChannel,
                                     "Error 2391: No input signal on left Input channel: n= "))
      return "";
    if (h.MeasConfig == 42) ScaleBelowCrossover(RecordBufferB, WorkCurve, n, h.CrossoverFrequency, r);
    if (!ifft(std::span<float>(RecordBufferB).first(std::size_t(n)), WorkCurve, l)) throw StageFault{};
    const auto kept = static_cast<std::ptrdiff_t>(std::min<std::size_t>(std::size_t(n), LevelsImpulse.size()));
    std::fill(LevelsImpulse.begin(), LevelsImpulse.end(), 0.0f);
    std::copy(RecordBufferB.begin(), RecordBufferB.begin() + kept, LevelsImpulse.begin());

    DataPlotter* main = Plotter();
    if (main) main->ClearModesList();
    CopyMeasurementHeader(h, LevelsCheckHeader);
    if (main) main->ShowLevelsImpulse(LevelsImpulse, w, 10.0f, r, h.ImpulseShift, h.PeakLevel, h.NoiseEnergy);
    if (!clipped.empty()) MsgBox(clipped);
  } catch (...) {
    MsgBox(stage);
  }
  return "";
}

void AudioForm::ProcessNoiseRecording() {
  ProgressBar1->setValue(0);
  MeasurementHeader& h = MeasHeader;
  h.PsdRecorded() = kTrue;
  const int32_t e = h.PsdExponent();
  const int32_t p = h.PeriodExponent, q = h.PreExcitationExponent;
  // A spectrum longer than WorkCurveAux, or a recording the buffers cannot hold, is not filed.
  if (e < 1 || e > kMaxPsdSpectrumExponent || WorkCurveAux.size() < (std::size_t{1} << e) || p < 0 ||
      p > kLargestPeriodExponent || q < 0 || q > kLargestPeriodExponent)
    return;
  const int32_t bins = 1 << e;
  const int32_t n = (1 << p) + (1 << q);
  std::vector<float> spectrum(static_cast<std::size_t>(bins) + 1, 0.0f);
  if (MicChannel == kMicOnRightInput) PowerSpectralDensity(RecordBufferB, n, spectrum, e, kPsdSegments);
  if (MicChannel == kMicOnLeftInput) PowerSpectralDensity(RecordBufferA, n, spectrum, e, kPsdSegments);
  for (int32_t i = 0; i < bins; ++i) {
    const double s = spectrum[static_cast<std::size_t>(i)];
    // The floor keeps empty bins at -100 dB.
    WorkCurveAux[static_cast<std::size_t>(i)] = static_cast<float>(10.0 * std::log10(s * s + 1e-10));
  }
  DataPlotter* main = Plotter();
  if (!main) return;
  int32_t rate = h.SampleRate, exponent = e;
  if (!main->ADDTOPSDParameters(rate, exponent)) return;
  main->ShowPSDEnergy(0);
}

void InstallLevelsCheckLinks() {
  MainWindowHooks.RunLevelsCheck = [] {
    // The check reports into its window, which is opened for it when closed.
    if (!Forms::IsLoaded<AudioForm>() && MainWindowHooks.ShowAudioForm) MainWindowHooks.ShowAudioForm();
    Forms::Get<AudioForm>()->RunLevelsCheck();
  };
}

}  // namespace zentor
