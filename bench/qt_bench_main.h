// The main of the benchmarks that draw or open windows: they need a QApplication,
// offscreen unless a platform was chosen.
#pragma once

#include <benchmark/benchmark.h>

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <set>
#include <string>

#include "platform/dialogs.h"

namespace zentor {

// The main window as the program starts it, for benchmarks that draw through it.
template <class Window>
Window* StartedWindow() {
  auto* w = new Window;
  w->Form_Load();
  return w;
}

// No benchmark waits for a user: a message is printed and answered, file and
// colour dialogs are cancelled, so a refusal shows up instead of hanging the run.
class BenchDialogs final : public DialogService {
 public:
  MsgAnswer Message(const std::string& text, MsgButtons, MsgIcon, const std::string&) override {
    if (shown_.insert(text).second) std::fprintf(stderr, "message: %s\n", text.c_str());
    return MsgAnswer::Yes;
  }
  std::optional<std::string> Input(const std::string&, const std::string&, const std::string&) override {
    return std::nullopt;
  }
  std::optional<std::string> OpenFile(const FileDialogRequest&) override { return std::nullopt; }
  std::optional<std::string> SaveFile(const FileDialogRequest&) override { return std::nullopt; }
  std::optional<ColourRef> PickColour(ColourRef) override { return std::nullopt; }
  int ShowModal(QDialog*) override { return 0; }

 private:
  std::set<std::string> shown_;
};

inline int RunQtBenchmarks(int argc, char** argv, const std::function<void()>& before = {},
                           const std::function<void()>& after = {}) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  static BenchDialogs dialogs;
  SetDialogService(&dialogs);
  if (before) before();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (after) after();
  return 0;
}

}  // namespace zentor
