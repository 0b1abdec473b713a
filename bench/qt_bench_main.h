// The main of the benchmarks that draw or open windows: they need a QApplication,
// offscreen unless a platform was chosen.
#pragma once

#include <benchmark/benchmark.h>

#include <QApplication>
#include <cstdlib>
#include <functional>

namespace zentor {

// The main window as the program starts it, for benchmarks that draw through it.
template <class Window>
Window* StartedWindow() {
  auto* w = new Window;
  w->Form_Load();
  return w;
}

inline int RunQtBenchmarks(int argc, char** argv, const std::function<void()>& before = {},
                           const std::function<void()>& after = {}) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  if (before) before();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (after) after();
  return 0;
}

}  // namespace zentor
