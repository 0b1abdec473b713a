// Saving and loading a full measurement set (32 results of 131072 samples) with
// the file in the page cache.
#include <benchmark/benchmark.h>

#include "qt_bench_main.h"

#include <QTemporaryDir>
#include <cmath>
#include <cstdlib>

#include "core/records.h"
#include "mainwindow/data_plotter.h"
#include "mainwindow/measurement_file.h"
#include "platform/forms.h"

namespace {

using namespace zentor;

void FillFullSet() {
  for (int i = 0; i < kMaxResults; ++i) {
    MeasurementHeader& h = ResultsDataSetInfo[i];
    h = MeasurementHeader{};
    h.NumInSet = kMaxResults;
    h.SampleRate = 48000;
    h.PeriodExponent = 17;
    h.PreExcitationExponent = 16;
    h.LevelMultiplier = 1.5f;
    for (int j = 0; j < kMaxSamples; ++j) ImpulseSet[i][j] = static_cast<float>(std::sin(0.01 * j + i));
  }
}

QTemporaryDir& Folder() {
  static QTemporaryDir dir;
  return dir;
}

std::string FilePath() { return Folder().path().toStdString() + "/full.cfa"; }

void BM_SaveFullSet(benchmark::State& state) {
  FillFullSet();
  const std::string path = FilePath();
  for (auto _ : state) benchmark::DoNotOptimize(WriteMeasurementFile(path));
}
BENCHMARK(BM_SaveFullSet)->Unit(benchmark::kMillisecond);

void BM_LoadFullSet(benchmark::State& state) {
  FillFullSet();
  const std::string path = FilePath();
  WriteMeasurementFile(path);
  for (auto _ : state) benchmark::DoNotOptimize(LoadMeasurementFile(path));
}
BENCHMARK(BM_LoadFullSet)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  return zentor::RunQtBenchmarks(
      argc, argv, [] { zentor::Forms::Get<zentor::DataPlotter>(); }, [] { zentor::Forms::DeleteAll(); });
}
