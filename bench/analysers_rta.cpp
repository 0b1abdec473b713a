// The real-time analysers' frames with their drawing into a 1200 x 900 picture,
// the equaliser analyser's start with a full filter set, and a minute of
// streaming through the equaliser analyser on the simulated card.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QPushButton>
#include <QLineEdit>
#include <cmath>
#include <numbers>
#include <vector>

#include "analysers/rta_display.h"
#include "analysers/rta_eq.h"
#include "analysers/rta_links.h"
#include "core/records.h"
#include "core/test_signals.h"
#include "core/work_arrays.h"
#include "display/graph_frame.h"
#include "mainwindow/data_plotter.h"
#include "measurement/eq_audio_module.h"
#include "platform/audio/simulated_sound_card.h"
#include "platform/audio/sound_devices.h"
#include "platform/audio/wave_streaming.h"
#include "platform/forms.h"
#include "platform/picture.h"
#include "qt_bench_main.h"

namespace zentor {
namespace {

PictureBox* g_picture = nullptr;

void UseBenchPicture() {
  if (!g_picture) {
    g_picture = new PictureBox;
    g_picture->resize(1200, 900);
  }
  Forms::Get<DataPlotter>()->MainGraphOverride = g_picture;
  FreqGraphFrame.XStart = 16;
  FreqGraphFrame.XFinish = 20000;
  FreqGraphFrame.YLow = -40;
  FreqGraphFrame.YHigh = 10;
}

// Left: the sequence; right: the sequence 96 samples later at half level.
void FillBlocks(int32_t order) {
  const auto n = size_t{1} << order;
  std::vector<float> s(n);
  BuildMLSSequenceSingle(s, order, 10000);
  RecordBufferA = s;
  RecordBufferB.assign(n, 0.0f);
  for (size_t i = 0; i < n; ++i) RecordBufferB[(i + 96) % n] = 0.5f * s[i];
}

void ApplyPeaks(int32_t count) {
  for (int32_t k = 0; k < count; ++k) {
    FilterRecord& r = AppliedFilters[size_t(k)];
    r = {};
    r.Kind = 2;
    r.EQEmulationCode = 1;
    r.Freq1 = float(2 * std::numbers::pi * 30 * std::pow(2.0, k * 9.0 / count));
    r.Q1 = k % 2 ? -4.0f : 4.0f;
    r.Q2 = 2.0f;
  }
  AppliedFilters[0].Count = count;
}

void BM_UpdateEQRTA(benchmark::State& state) {
  UseBenchPicture();
  ApplyPeaks(3);
  const auto order = int32_t(state.range(0));
  FillBlocks(order);
  InitializeEQRTA(order, 48000, 96000, 1);
  for (auto _ : state) UpdateEQRTA();
  CloseRTA();
}
BENCHMARK(BM_UpdateEQRTA)->Arg(12)->Arg(14)->Arg(15)->Unit(benchmark::kMillisecond);

// view 2 with the band filter; view 8 at 400-4000 Hz and at 1000-1010 Hz.
void BM_UpdateImpRTA(benchmark::State& state) {
  UseBenchPicture();
  FillBlocks(16);
  const bool etc = state.range(0) != 0;
  const float lower = state.range(0) == 2 ? 1000.0f : 400.0f, upper = state.range(0) == 2 ? 1010.0f : 4000.0f;
  InitializeImpRTA(16, 48000, etc ? 8 : 2, etc ? 0 : 1, lower, upper, -5, 25);
  for (auto _ : state) UpdateImpRTA();
  CloseRTA();
}
BENCHMARK(BM_UpdateImpRTA)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

void BM_InitializeEQRTA75FiltersDsp96k(benchmark::State& state) {
  UseBenchPicture();
  ApplyPeaks(kMaxFilters);
  for (auto _ : state) InitializeEQRTA(12, 48000, 96000, 1);
  CloseRTA();
  AppliedFilters[0].Count = 0;
}
BENCHMARK(BM_InitializeEQRTA75FiltersDsp96k)->Unit(benchmark::kMillisecond);

// 60 s of 48000 Hz streaming through the equaliser analyser, card cycles of 4096.
void BM_Stream60s(benchmark::State& state) {
  UseBenchPicture();
  ApplyPeaks(1);
  SimulatedCardSettings s;
  s.clock = SimulatedCardSettings::Clock::Manual;
  s.blockSize = 4096;
  s.room = {1.0};
  SimulatedSoundCard::Instance().SetSettings(s);
  WaveDeviceId = SimulatedCardIndex();
  AutoMixerOn = false;
  int64_t analysed = 0, delivered = 0;
  for (auto _ : state) {
    Forms::Unload<RTAEQ>();
    RTAEQ* eq = Forms::Get<RTAEQ>();
    while (eq->MLSOrder < state.range(0)) eq->PeriodUp->click();
    eq->SampleRateText->setText("48000");
    eq->Play->click();
    for (int64_t done = 0; done < 60 * 48000; done += s.blockSize) {
      SimulatedSoundCard::Instance().Advance(s.blockSize);
      DrainWaveCompletions();
      QCoreApplication::sendPostedEvents();
    }
    eq->stop->click();
    ResetAudio();
    QCoreApplication::sendPostedEvents();
    analysed = eq->AnalysedBlocks;
    delivered = eq->AnalysedBlocks + eq->DroppedBlocks;
    Forms::Unload<RTAEQ>();
  }
  state.counters["frames"] = double(analysed);
  state.counters["blocks"] = double(delivered);
}
BENCHMARK(BM_Stream60s)->Arg(12)->Arg(14)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
}  // namespace zentor

int main(int argc, char** argv) {
  return zentor::RunQtBenchmarks(argc, argv, [] {
    zentor::AllocateWorkArrays(zentor::kWorkArrayPoints);
    zentor::Forms::Get<zentor::DataPlotter>()->Form_Load();
    zentor::InstallRtaLinks();
    zentor::EQConfig.SampleRate = 48000;
  });
}
