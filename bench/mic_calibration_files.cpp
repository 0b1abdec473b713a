// Reading the longest calibration files the readers take whole (a .mic file of
// 32768 pairs, a .cal file of 999 points) and writing a .cal file, in the page cache.
#include <benchmark/benchmark.h>

#include "qt_bench_main.h"

#include <QTemporaryDir>
#include <cmath>
#include <fstream>
#include <string>
#include <vector>

#include "measurement/mic_calibration_files.h"

namespace {

using namespace zentor;

QTemporaryDir& Folder() {
  static QTemporaryDir dir;
  return dir;
}

std::string LongMicFile() {
  const std::string path = Folder().path().toStdString() + "/long.mic";
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f << "TacT\r\n0\r\n-1.5\r\n";
  for (int i = 1; i <= 32768; ++i) f << 0.7 * i << "\r\n" << std::sin(0.001 * i) << "\r\n";
  return path;
}

void Table(std::vector<float>& freq, std::vector<float>& level, std::vector<float>& phase) {
  for (int i = 0; i < kMaxCalFilePoints; ++i) {
    freq.push_back(20.0f * std::pow(1000.0f, i / 998.0f));
    level.push_back(2.0f * std::sin(0.01f * i));
    phase.push_back(0.1f * i);
  }
}

void BM_ReadLongestMicFile(benchmark::State& state) {
  const std::string path = LongMicFile();
  CalibrationReading r;
  for (auto _ : state) benchmark::DoNotOptimize(ReadTactMicFile(path, r));
}
BENCHMARK(BM_ReadLongestMicFile)->Unit(benchmark::kMillisecond);

void BM_WriteFullCalFile(benchmark::State& state) {
  std::vector<float> f, l, p;
  Table(f, l, p);
  const std::string path = Folder().path().toStdString() + "/full.cal";
  for (auto _ : state) benchmark::DoNotOptimize(WriteMicCalFile(path, "user", "mic", f, l, p, kMaxCalFilePoints));
}
BENCHMARK(BM_WriteFullCalFile)->Unit(benchmark::kMillisecond);

void BM_ReadFullCalFile(benchmark::State& state) {
  std::vector<float> f, l, p;
  Table(f, l, p);
  const std::string path = Folder().path().toStdString() + "/full.cal";
  WriteMicCalFile(path, "user", "mic", f, l, p, kMaxCalFilePoints);
  CalibrationReading r;
  for (auto _ : state) benchmark::DoNotOptimize(ReadMicCalFile(path, r));
}
BENCHMARK(BM_ReadFullCalFile)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) { return zentor::RunQtBenchmarks(argc, argv); }
