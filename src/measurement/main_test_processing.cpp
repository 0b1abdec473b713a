// The end of every run: the completed recording goes to the processing of its kind,
// and the main test's recording becomes a stored, shown result.
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QTimer>
#include <cmath>
#include <string>

#include "base/text_number.h"
#include "core/records.h"
#include "core/results_store.h"
#include "display/view_state.h"
#include "mainwindow/data_plotter.h"
#include "measurement/audio_form.h"
#include "measurement/deconvolution.h"
#include "measurement/eq_audio_module.h"
#include "platform/audio/simulated_sound_card.h"
#include "platform/audio/sound_devices.h"
#include "platform/audio/wave_streaming.h"
#include "platform/dialogs.h"
#include "platform/forms.h"

namespace zentor {

namespace {

constexpr double kSpeedOfSound = 343.0;  // m/s

DataPlotter* Plotter() { return Forms::IsLoaded<DataPlotter>() ? Forms::Get<DataPlotter>() : nullptr; }


void Show(QLineEdit* box, const std::string& text) { box->setText(QString::fromStdString(text)); }
std::string Shown(const QLineEdit* box) { return box->text().toStdString(); }

}  // namespace

std::string AudioForm::CheckClipping() {
  const bool micLeft = MicChannel == kMicOnLeftInput;
  std::string said, marked;
  for (const bool leftInput : {false, true}) {
    const Clipping c = FindClipping(leftInput ? RecordBufferA : RecordBufferB);
    if (c.samples == 0) continue;
    const std::string input = std::string(leftInput ? "left" : "right") + " input (" +
                              (leftInput == micLeft ? "microphone" : "reference") + ")";
    said += (said.empty() ? "" : "\n") + ClippingText(input, c);
    marked += std::string(marked.empty() ? "Clipped: " : ", ") + (leftInput ? "left" : "right") + " input";
  }
  ClipLabel->setText(QString::fromStdString(marked));
  return said;
}

std::string AudioForm::CheckDropouts() {
  const int64_t n = RecordingDropouts();
  if (n <= 0) return "";
  const std::string count = std::to_string(n) + (n == 1 ? " dropout" : " dropouts");
  const QString marked = ClipLabel->text();
  ClipLabel->setText((marked.isEmpty() ? QString() : marked + "; ") + QString::fromStdString(count));
  return count + " during the recording: the result may be spoiled; measure again";
}

// The set's notes keep which card and rate measured the result just stored, and
// what may have spoiled it; the window names a simulated room beside the result.
void AudioForm::NoteResult(DataPlotter* main, int32_t rate) {
  const AudioDevice* card = ResolveWaveDevice(WaveDeviceId);
  const bool simulated = card == &SimulatedSoundCard::Instance();
  std::string line = "Result " + std::to_string(ResultsDataSetInfo[0].NumInSet) + ": " +
                     (simulated ? "simulated on " : "measured on ") + (card ? card->Name() : "?") + " at " +
                     std::to_string(rate) + " Hz";
  if (simulated && !SimRoomLabel->text().isEmpty()) line += " (" + SimRoomLabel->text().toStdString() + ")";
  if (const int64_t n = RecordingDropouts(); n > 0)
    line += "; " + std::to_string(n) + (n == 1 ? " dropout" : " dropouts") + " counted by Zentor";
  if (!main) return;
  const std::string notes = main->GetUserNotes();
  main->SetUserNotes(notes + (notes.empty() || notes.back() == '\n' ? "" : "\n") + line + "\n");
}

void AudioForm::AudioRecordProcess() {
  if (AudioFormHooks.AudioRecordProcess) {
    if (SoundCardBusy) AudioFormHooks.AudioRecordProcess();
    return;
  }
  // Each branch ends the run, so a late completion after Stop finds the card free.
  if (TestMode == -1 && SoundCardBusy) {
    DisplayConfig.Graphshown = 4;
    ProcessLevelsCheck();
    EndRun();
    if (DataPlotter* main = Plotter()) main->EnableDataPlotterPlayRec(kTrue);
  }
  if (TestMode == -2 && SoundCardBusy) {
    ProcessNoiseRecording();
    DisplayConfig.Graphshown = 5;
    EndRun();
  }
  if (TestMode == -3 && SoundCardBusy) {
    Timer1->stop();  // the bar now counts the processing steps
    ProcessMainTest();
    EndRun();  // a step that fails leaves the bar part-way
    if (DataPlotter* main = Plotter()) main->EnableDataPlotterPlayRec(kTrue);
  }
}

std::string AudioForm::ProcessMainTest() {
  MeasurementHeader& h = MeasHeader;
  if (h.RunStatus == -1) {
    MsgBox("Error 5291");
    return "";
  }
  DataPlotter* main = Plotter();
  // A window that will not close keeps its data; the recording is processed anyway.
  if (main) main->ClearExtDisplay();
  ProgressBar1->setValue(0);
  ProgressBar1->setMaximum(10);
  h.SignalEnergy = 0;
  h.NoiseEnergy = 0;
  h.AlignmentShift = 0;

  const int32_t r = h.SampleRate;
  const int32_t order = h.PeriodExponent;
  if (r <= 0 || order < 1 || order > 18) {
    MsgBox("Error 5289");
    return "";
  }
  const int32_t n = 1 << order;
  const int32_t w = CLng(r * 0.05), v = CLng(r * 0.1);
  const std::string p = std::to_string(order);
  // Judged on the recording as it came in; a clipped result is still stored.
  const std::string clipped = CheckClipping();
  const std::string dropped = CheckDropouts();
  const bool micLeft = MicChannel == kMicOnLeftInput;
  std::vector<float>& refRec = micLeft ? RecordBufferB : RecordBufferA;
  std::vector<float>& micRec = micLeft ? RecordBufferA : RecordBufferB;
  const std::vector<int16_t>& refPlay = micLeft ? PlayBufferB : PlayBufferA;
  const std::vector<int16_t>& micPlay = micLeft ? PlayBufferA : PlayBufferB;
  int16_t success = kTrue;

  DeconvolveChannel(h.PreExcitationExponent, w, refRec, refPlay, p, h.ImpulseShift, h.PeakLevel, h.SignalEnergy,
                    h.NoiseEnergy, kTrue, success);
  const float tRef = static_cast<float>(h.ImpulseShift);
  ProgressBar1->setValue(ProgressBar1->value() + 1);
  if (h.SignalEnergy <= 0 || h.NoiseEnergy <= 0) {
    MsgBox("User Error: No Left Channel Input");
    return "";
  }
  Show(LeftPeakLevel, PeakText(h.PeakLevel));
  Show(LeftSN, RatioText(h.SignalEnergy, h.NoiseEnergy));
  LastReference = {PeakDb(h.PeakLevel), RatioDb(h.SignalEnergy, h.NoiseEnergy)};

  h.SignalEnergy = 0;
  h.NoiseEnergy = 0;
  DeconvolveChannel(h.PreExcitationExponent, v, micRec, micPlay, p, h.ImpulseShift, h.PeakLevel, h.SignalEnergy,
                    h.NoiseEnergy, kFalse, success);
  const int32_t tMic = h.ImpulseShift;
  h.ImpulseShift = (tMic - CLng(tRef)) % n;
  ProgressBar1->setValue(ProgressBar1->value() + 1);
  if (h.SignalEnergy <= 0 || h.NoiseEnergy <= 0) {
    MsgBox("User Error: No Right channel input");
    return "";
  }
  Show(RightPeakLevel, PeakText(h.PeakLevel));
  Show(RightSN, RatioText(h.SignalEnergy, h.NoiseEnergy));

  // Time of flight between the two arrivals, wrapped to one period, in millimetres.
  const double d = (r * 0.05 + h.ImpulseShift) / r * kSpeedOfSound;
  const double lc = Fix(double(n) / r * kSpeedOfSound * 100.0) / 100.0;
  const int32_t period = CLng(lc * 1000.0);
  const int32_t mm = period > 0 ? CLng(d * 1000.0) % period : CLng(d * 1000.0);
  h.MeasuredDistance = static_cast<float>(mm / 1000.0);
  Show(MicSpkrText, DistanceText(mm));

  h.PeakLevel = static_cast<float>(Val(Shown(RightPeakLevel)));
  h.NoiseEnergy = static_cast<float>(Val(Shown(RightSN)));
  ProgressBar1->setValue(ProgressBar1->value() + 1);

  if (!ComputeTransferFunction(RecordBufferA, RecordBufferB, h, MicChannel)) return "";
  ProgressBar1->setValue(ProgressBar1->value() + 3);

  AddMeasurementToResults(RecordBufferB, h, Shown(RightSN), Shown(LeftSN), Shown(MicSpkrText), Shown(RightPeakLevel),
                          Shown(LeftPeakLevel));
  ProgressBar1->setValue(ProgressBar1->value() + 1);
  NoteResult(main, r);
  if (main) main->ShowResult();
  ProgressBar1->setValue(0);
  if (!clipped.empty()) MsgBox(clipped);
  if (!dropped.empty()) MsgBox(dropped);
  return "";
}

}  // namespace zentor
