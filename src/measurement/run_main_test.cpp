#include "measurement/run_main_test.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QRadioButton>
#include <algorithm>
#include <string_view>

#include "core/records.h"
#include "core/results_store.h"
#include "core/test_signals.h"
#include "core/work_arrays.h"
#include "display/time_views.h"
#include "display/view_state.h"
#include "mainwindow/data_plotter.h"
#include "mainwindow/main_window_links.h"
#include "measurement/audio_form.h"
#include "measurement/excitation.h"
#include "platform/audio/wave_streaming.h"
#include "platform/dialogs.h"
#include "platform/forms.h"
#include "platform/numeric/numeric.h"
#include "platform/text_boxes.h"

namespace zentor {

namespace {

// A stage that cannot go on; reported by the stage's number.
struct RunFault {};

// Samples of each play buffer's end that fade to zero.
constexpr int32_t kRunTaper = 200;

// The spectral shape of the sweep: the power sum of the filed noise spectra of this
// run's rate and size when asked for and any exist, else the pink slope. Sets the
// header's flags to match.
void BuildExcitationShape(bool noiseShaped, int32_t e) {
  const int32_t bins = 1 << e;
  const std::span<float> shape = ExcitationShape(static_cast<std::size_t>(bins));
  bool summed = false;
  if (noiseShaped) {
    if (WorkDoubleCurve.size() < shape.size() || WorkDoubleCurve2.size() < shape.size()) throw RunFault{};
    std::span<double> term = WorkDoubleCurve, sum = WorkDoubleCurve2;
    ClearArray(shape, bins);
    ClearDoubleArray(sum, bins);
    const int32_t filed = std::clamp<int32_t>(PsdParameters[0].Count, 0, kMaxPsdSpectra);
    for (int32_t b = 0; b < filed; ++b) {
      const PsdParameterEntry& entry = PsdParameters[static_cast<std::size_t>(b)];
      if (entry.SampleRate != MeasHeader.SampleRate || entry.Exponent != e) continue;
      CopySingleToDouble(PsdSet[static_cast<std::size_t>(b)], term, bins);
      TenPowerValueOverTen(term, bins);
      AddDoubleArray(sum, term, sum, bins);
      summed = true;
    }
    if (summed) {
      TenLogTenDoubleArray(sum, bins);
      CopyDoubleToSingle(sum, shape, bins);
    }
  }
  if (summed) {
    MeasHeader.MainRunFlag = kTrue;
  } else {
    BuildPinkWeightingDb(shape, bins);
    MeasHeader.MainRunFlag = kFalse;
    MeasHeader.PsdRecorded() = kFalse;
  }
  shape[0] = shape[1];
}

}  // namespace

void AudioForm::RunMainTest() {
  const char* stage = "Error 5489";
  try {
    const int32_t loaded = std::clamp<int32_t>(ResultsDataSetInfo[0].NumInSet, 0, kMaxResults);
    const MeasurementHeader& first = ResultsDataSetInfo[0];
    if (loaded > 0 && first.PeriodExponent < 16) {
      MsgBox("Error: Measurements cannot be added to a file compressed to less than 1000 ms (1 sec)");
      return;
    }
    // A resampled set, or one of another rate, cannot take a new result.
    if (DataResampled) {
      MsgBox("User Error: Data has been resampled. New measurements cannot be added");
      return;
    }
    if (loaded > 0 && EQConfig.SampleRate != first.SampleRate) {
      MsgBox(
          "User Error: Each curve in a set must have the same sample frequency. Loaded data may have been resampled");
      return;
    }
    if (!AutoRange->isChecked()) {
      double distance = EQConfig.MicSpeakerDistance;
      if (!ValidateNumericTextBox(MicSpkrDistanceText, 0, 50, distance)) return;
      stage = "Error 5490";
      EQConfig.MicSpeakerDistance = static_cast<float>(distance);
      stage = "Error 5491";
    }
    if (SoundCardBusy) {
      MsgBox("User Error: Sound card is in use");
      return;
    }
    SoundCardBusy = true;
    ShowRunHourglass();
    if (Forms::IsLoaded<DataPlotter>()) Forms::Get<DataPlotter>()->repaint();

    stage = "Error 3844";
    if (loaded >= kMaxResults) {
      MsgBox("User Error: Too many curves. Delete one or more curves");
      EndRun();
      return;
    }
    if (loaded > 0 && EQConfig.PeriodExponent != first.PeriodExponent) {
      MsgBox("User Error: The excitatation of all tests must be the same: Resetting excitation time");
      EQConfig.PeriodExponent = first.PeriodExponent;
      EQConfig.PreExcitationExponent = first.PreExcitationExponent;
      RefreshRunSettings();
      EndRun();
      return;
    }

    TestMode = -3;
    CopyMeasurementHeader(EQConfig, MeasHeader);
    const int32_t p = MeasHeader.PeriodExponent;
    MeasHeader.PreExcitationExponent = GetPreExcitationExponent(p);
    const int32_t q = MeasHeader.PreExcitationExponent;
    const int32_t e = MeasHeader.PsdExponent();
    const int32_t rate = MeasHeader.SampleRate;
    // Settings come from files and the settings store: only what the buffers hold runs.
    if (p < kMinMLSOrder || p > 18 || q > p || rate <= 0 || e < 1 || e > kMaxPsdSpectrumExponent ||
        WorkCurveAux.size() < (std::size_t{1} << e))
      throw RunFault{};
    const int32_t n = (1 << p) + (1 << q);
    if (PlayBufferA.size() < static_cast<std::size_t>(n) || PlayBufferB.size() < static_cast<std::size_t>(n))
      throw RunFault{};

    BuildExcitationShape(Check1->isChecked(), e);

    const ExcitationWork work{SweepScratch, WorkCurve, WorkCurve2, CrossoverWorkA, CrossoverWorkB};
    const std::span<const float> shape = ExcitationShape(std::size_t{1} << e);
    bool built = false;
    switch (MeasHeader.MeasConfig) {
      case 43: built = BuildHybridExcitation(shape, e, PlayBufferB, p, rate, work); break;
      case 87: built = BuildSweepExcitation(shape, e, PlayBufferB, p, rate, work); break;
      case 42: {
        if (!BuildMLSSequence(PlayBufferB, p, kExcitationPeak)) throw RunFault{};
        double crossover = MeasHeader.CrossoverFrequency >= 200 && MeasHeader.CrossoverFrequency <= 2000
                               ? MeasHeader.CrossoverFrequency
                               : 300.0;
        if (!ValidateNumericTextBox(MLSText, 200, 2000, crossover)) {
          EndRun();
          return;
        }
        MeasHeader.CrossoverFrequency = static_cast<float>(crossover);
        built = HighPassCrossoverMLS(PlayBufferB, p, rate, MeasHeader.CrossoverFrequency, work);
        break;
      }
      default: break;  // no excitation of that code
    }
    if (!built) throw RunFault{};

    const int32_t period = 1 << p;
    CopySweepPeriodicDataToNewBuffer(PlayBufferB, p, q);
    std::reverse_copy(PlayBufferB.begin(), PlayBufferB.begin() + period, PlayBufferA.begin());
    CopySweepPeriodicDataToNewBuffer(PlayBufferA, p, q);
    TaperEndOfIntegerArrayC(PlayBufferA, kRunTaper, n);
    TaperEndOfIntegerArrayC(PlayBufferB, kRunTaper, n);

    const std::size_t frames = static_cast<std::size_t>(n);
    StartRunStreaming(std::span<const int16_t>(PlayBufferA).first(frames),
                      std::span<const int16_t>(PlayBufferB).first(frames), n, p, q, rate);
  } catch (...) {
    // Past the busy step the run is taken down before the report.
    if (SoundCardBusy && std::string_view(stage) == "Error 3844") {
      ResetAudio();
      EndRun();
    }
    MsgBox(stage);
  }
}

void InstallMainTestLinks() {
  MainWindowHooks.RunMainTest = [] {
    // The run reports into its window, which is opened for it when closed.
    if (!Forms::IsLoaded<AudioForm>() && MainWindowHooks.ShowAudioForm) MainWindowHooks.ShowAudioForm();
    Forms::Get<AudioForm>()->RunMainTest();
  };
}

}  // namespace zentor
