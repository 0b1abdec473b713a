// The records the filter fit works on: the curve it is handed and the state of
// one one-singularity fit. Qt-free.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

namespace zentor {

// Where the equaliser routines report a message. They may run off the user
// interface thread, so the caller chooses; the default shows a message box.
using MessageSink = std::function<void(const std::string&)>;
const MessageSink& MessageBoxSink();

constexpr int kMaxFitPoints = 2001;  // a whole curve: a 2001-point curve is not cut
constexpr int kFitWindowSize = 201;   // window points 0..200
constexpr int kMaxTrialFreqs = 40;    // trial frequencies 0..39
constexpr int kQGridSize = 11;        // grid values 0..10

// The response handed to the fit: rising frequencies in Hz and linear levels
// normalised about 1.
struct FitCurveRecord {
  int32_t Count = 0;
  std::array<float, kMaxFitPoints> Freq{};
  std::array<double, kMaxFitPoints> Level{};
  // The damping the set's entries were last taken out with (0: the set's own).
  // Putting an entry back must undo exactly what was taken out, or a damping
  // that changes between passes drifts every Q by the ratio of the dampings.
  float TakenOutDamping = 0;
  // The point noise of the curve as the fit got it (dB; 0: not estimated).
  double NoiseDb = 0;
  // Levels taken relative to a target at a fixed level: no normalising.
  bool Anchored = false;
};

// The state of one one-singularity fit, fields in their documented order.
struct SingularityFitWork {
  int32_t NumQ = 0;  // values in the grid of the Q being searched
  double QLow = 0;
  double QHigh = 0;
  int32_t NumQFixed = 0;
  int32_t NumFreq = 0;    // trial frequencies
  int32_t NumPoints = 0;  // curve points in the fitted window
  std::array<float, kFitWindowSize> Weights{};
  std::array<double, kFitWindowSize> Level{};
  std::array<double, kMaxTrialFreqs> MatrixBlock{};
  std::array<double, kFitWindowSize> ResultA{};
  std::array<double, kFitWindowSize> ResultB{};
  std::array<double, kMaxTrialFreqs> TrialFreq{};  // rad/s
  std::array<double, kQGridSize> QGrid{};
  double QFixed = 0;
};

}  // namespace zentor
