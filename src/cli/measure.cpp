// `zentor measure`: the measurement window's run, as its Start button does it.
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <charconv>
#include <cstdlib>
#include <optional>

#include "cli/commands.h"
#include "cli/headless.h"
#include "cli/outputs.h"
#include "core/helpers.h"
#include "core/records.h"
#include "core/results_store.h"
#include "mainwindow/data_plotter.h"
#include "mainwindow/main_window_links.h"
#include "mainwindow/measurement_file.h"
#include "measurement/audio_form.h"
#include "measurement/sound_card_selector.h"
#include "platform/audio/simulated_sound_card.h"
#include "platform/audio/sound_devices.h"
#include "platform/audio/wave_streaming.h"
#include "platform/forms.h"

namespace zentor::cli {

const SubcommandSpec kMeasureSpec{
    "measure",
    "--out OUT.cfa [OPTIONS] | --list-devices [--json]",
    "Measures as the measurement window's Start does and saves the results as a .cfa file.",
    {{"--out", "OUT.cfa", "the measurement file to write"},
     {"--device", "NAME", "the sound card, as the sound-card window names it"},
     {"--excitation", "hybrid|mls|sweep", "the test signal"},
     {"--period", "15..18", "log2 of the test signal's period in samples"},
     {"--rate", "44100|48000|96000", "the sample rate in Hz"},
     {"--room", "WAV", "the simulated card's room (mono, at the run's rate); selects the simulated card"},
     {"--repeat", "N", "measure N times (1 to 32)"},
     {"--append", "", "add the results to the existing OUT.cfa"},
     {"--force", "", "replace an existing OUT.cfa"},
     {"--strict", "", "fail, writing nothing, when a recording had dropouts"},
     {"--list-devices", "", "list the sound cards as the sound-card window does"},
     {"--json", "", "one JSON object on standard output"},
     {"--help", "", "this text"}},
    0,
    0};

namespace {

// The sound-card window, listed as a user opens it.
SoundCardSelectorForm& CardWindow() {
  if (MainWindowHooks.ShowSoundCardSelector) MainWindowHooks.ShowSoundCardSelector();
  SoundCardSelectorForm& cards = *Forms::Get<SoundCardSelectorForm>();
  cards.hide();
  return cards;
}

std::string CardName(const SoundCardSelectorForm& cards, size_t i) { return cards.InputCard[i]->text().toStdString(); }

int ListDevices(const Arguments& args) {
  HeadlessSession session(true);
  SoundCardSelectorForm& cards = CardWindow();
  Json list = Json::MakeArray();
  std::string text;
  for (size_t i = 0; i < cards.InputCard.size() && static_cast<int32_t>(i) < cards.NumRecordDevices; ++i) {
    const auto id = static_cast<int32_t>(i);
    AudioDevice* device = ResolveWaveDevice(id);
    Json d = Json::MakeObject();
    d.Set("name", CardName(cards, i));
    d.Set("simulated", id == SimulatedCardIndex());
    d.Set("inputs", device != nullptr ? device->InputChannels() : 0);
    d.Set("outputs", device != nullptr ? device->OutputChannels() : 0);
    const bool answering = device == nullptr || device->NotAnsweringText().empty();
    d.Set("answering", answering);
    Json rates = Json::MakeArray();
    std::string rateText;
    for (int32_t rate : {44100, 48000, 96000}) {
      if (!answering || !IsFormatSupported(WaveDirection::Input, id, rate)) continue;
      rates.Push(rate);
      rateText += " " + std::to_string(rate);
    }
    d.Set("rates", rates);
    list.Push(d);
    text += CardName(cards, i) + (id == SimulatedCardIndex() ? " (simulated)" : "") +
            (answering ? "" : " (not answering)") + ":" + rateText + " Hz\n";
  }
  if (args.Has("--json")) {
    Json j = Json::MakeObject();
    j.Set("devices", list);
    PrintJson(j);
  } else {
    std::fputs(text.c_str(), stdout);
  }
  return 0;
}

// A run's figures as the window shows them, and as numbers from the stored result.
struct RunFigures {
  std::string rightSN, leftSN, distance, rightLevel, leftLevel;
  int64_t dropouts = 0;
  struct {
    float rightLevelDb, rightSnDb, leftLevelDb, leftSnDb, distanceM;
  } numbers{};
};

}  // namespace

int Measure(const Arguments& args) {
  if (args.Has("--list-devices")) return ListDevices(args);
  if (!args.Has("--out")) throw UsageError("--out OUT.cfa is needed (or --list-devices)");
  const std::string excitation = args.Choice("--excitation", {"hybrid", "mls", "sweep"}, "");
  const int32_t period = args.Whole("--period", 15, 18, 0);
  const std::string rateText = args.Choice("--rate", {"44100", "48000", "96000"}, "");
  const int32_t repeat = args.Whole("--repeat", 1, kMaxResults, 1);
  const bool append = args.Has("--append");
  if (append && args.Has("--force")) throw UsageError("--append and --force cannot be given together");
  const std::string room = args.Text("--room");
  if (args.Has("--room") && room.empty()) throw UsageError("--room needs a WAV file");
  if (args.Has("--room") && args.Has("--device") && args.Text("--device") != kSimulatedCardName)
    throw UsageError(std::string("--room applies to the simulated card (\"") + kSimulatedCardName +
                     "\") only, not to --device \"" + args.Text("--device") + "\"");

  const std::string out = Outputs::Named("--out", args.Text("--out"), "cfa");
  Outputs outputs(args.Has("--force"), {room}, append);
  outputs.Check({out});
  // The card reads its room when the stream opens.
  if (!room.empty()) SetSimulatedRoomFile(room, "--room");

  HeadlessSession session(true);
  session.Dialogs().MayReplace(outputs.Paths());
  DataPlotter& main = session.Main();
  HeadlessDialogs& dialogs = session.Dialogs();
  if (append) {
    dialogs.QueueFile(out);
    main.OpenFile_Click();
    if (ResultsDataSetInfo[0].NumInSet < 1) throw CommandFailed("");
  }

  std::vector<RunFigures> figures;
  const auto shown = ResultsStoreHooks.ShowMeasParms;
  ResultsStoreHooks.ShowMeasParms = [&](const std::string& rSN, const std::string& lSN, const std::string& d,
                                        const std::string& rL, const std::string& lL) {
    figures.push_back({rSN, lSN, d, rL, lL, {}});
    if (shown) shown(rSN, lSN, d, rL, lL);
  };

  // The card, then the rate, in the sound-card window as a user sets them.
  if (args.Has("--device") || !room.empty()) {
    SoundCardSelectorForm& cards = CardWindow();
    const std::string wanted = args.Has("--device") ? args.Text("--device") : kSimulatedCardName;
    std::optional<size_t> found;
    for (size_t i = 0; i < cards.InputCard.size() && static_cast<int32_t>(i) < cards.NumRecordDevices; ++i)
      if (CardName(cards, i) == wanted.substr(0, kDeviceNameLength)) found = i;
    if (!found) throw UsageError("--device \"" + wanted + "\" is not a sound card here (see zentor measure --list-devices)");
    cards.InputCard[*found]->click();
  }
  if (!rateText.empty()) {
    const int32_t rate = std::atoi(rateText.c_str());
    SoundCardSelectorForm& cards = CardWindow();
    if (rate == 48000) cards.FortyEight_Click();
    else if (rate == 44100) cards.FortyFourPointOne_Click();
    else EQConfig.SampleRate = rate;  // the window offers no button for it
  }

  // A room the card refuses is not the room asked for: said once, before any run.
  if (!room.empty()) {
    const SimulatedRoom said = DescribeSimulatedRoom(EQConfig.SampleRate);
    if (!said.problem.empty()) throw CommandFailed(said.problem + "; nothing written");
  }

  main.NewMeasMenue_Click();
  if (!Forms::IsLoaded<AudioForm>()) throw CommandFailed("");
  AudioForm& form = *Forms::Get<AudioForm>();
  if (excitation == "hybrid") form.HybridBut_Click();
  else if (excitation == "mls") form.MLSXOver_Click();
  else if (excitation == "sweep") form.SweepsBut_Click();
  if (period != 0) {
    EQConfig.PeriodExponent = period;
    form.RefreshRunSettings();
  }

  Progress progress;
  for (int32_t run = 1; run <= repeat; ++run) {
    const int32_t before = ResultsDataSetInfo[0].NumInSet;
    form.Test_Click();
    session.RunUntil([] { return !SoundCardBusy; }, [&] {
      progress.Show("run " + std::to_string(run) + " of " + std::to_string(repeat) + ": " +
                    std::to_string(form.ProgressBar1->value() * 100 / std::max(1, form.ProgressBar1->maximum())) +
                    " %");
    });
    if (ResultsDataSetInfo[0].NumInSet != before + 1 || figures.empty()) throw CommandFailed("");
    const MeasurementHeader& stored = ResultsDataSetInfo[static_cast<size_t>(before)];
    figures.back().numbers = {stored.PeakLevel, stored.NoiseEnergy, form.LastReference.levelDb,
                              form.LastReference.snDb, stored.MeasuredDistance};
    figures.back().dropouts = RecordingDropouts();
    if (args.Has("--strict") && figures.back().dropouts > 0) throw CommandFailed("nothing written");
    // The window stores a clipped result and lets the user decide; a script is
    // better stopped.
    for (const std::string& said : dialogs.Messages())
      if (said.rfind("Warning: the ", 0) == 0 && said.find(" clipped: ") != std::string::npos)
        throw CommandFailed("nothing written");
  }
  Forms::Unload<AudioForm>();
  ResultsStoreHooks.ShowMeasParms = shown;

  dialogs.QueueFile(out);
  if (!SaveMeasurementFile()) throw CommandFailed("");

  Json runs = Json::MakeArray();
  std::string text;
  for (size_t i = 0; i < figures.size(); ++i) {
    const RunFigures& f = figures[i];
    Json r = Json::MakeObject();
    r.Set("curve", ResultsDataSetInfo[0].NumInSet - static_cast<int32_t>(figures.size()) + static_cast<int32_t>(i) + 1);
    r.Set("right_level_db", f.numbers.rightLevelDb);
    r.Set("right_sn_db", f.numbers.rightSnDb);
    r.Set("left_level_db", f.numbers.leftLevelDb);
    r.Set("left_sn_db", f.numbers.leftSnDb);
    r.Set("distance_m", f.numbers.distanceM);
    r.Set("dropouts", f.dropouts);
    runs.Push(r);
    text += "R: Level = " + f.rightLevel + " S/N = " + f.rightSN + " dB\nL: Level = " + f.leftLevel +
            " S/N = " + f.leftSN + " dB\nMic-Spkr Dist = " + f.distance + " m\n" +
            (f.dropouts > 0 ? "Dropouts = " + std::to_string(f.dropouts) + "\n" : "");
  }
  if (args.Has("--json")) {
    Json j = Json::MakeObject();
    j.Set("out", out);
    j.Set("results", ResultsDataSetInfo[0].NumInSet);
    j.Set("sample_rate_hz", ResultsDataSetInfo[0].SampleRate);
    j.Set("mic_channel", MicChannel == 33 ? "left" : "right");
    j.Set("runs", runs);
    PrintJson(j);
  } else {
    std::fputs((text + "saved " + out + "\n").c_str(), stdout);
  }
  outputs.Keep();
  return 0;
}

}  // namespace zentor::cli
