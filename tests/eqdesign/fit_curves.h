// Prepared fit curves of known singularities, and a log of the messages a
// routine reports through its sink, shared by the fit tests.
#pragma once

#include <array>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "eqdesign/fit/fit_quality.h"
#include "eqdesign/fit/singularity_search.h"

namespace zentor::test {

struct MessageLog {
  std::vector<std::string> texts;
  MessageSink sink() {
    return [this](const std::string& t) { texts.push_back(t); };
  }
};

inline const MessageSink& QuietSink() {
  static const MessageSink sink = [](const std::string&) {};
  return sink;
}

template <class T>
bool SameBits(const T& a, const T& b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

// A set of the given entries, each {angular frequency, Q1, Q2, score}; the score may be left out.
inline SingularityListRecord Entries(std::initializer_list<std::array<float, 4>> entries) {
  SingularityListRecord s;
  for (const auto& v : entries) {
    const auto i = static_cast<size_t>(s.Count++);
    s.Freq[i] = v[0], s.Q1[i] = v[1], s.Q2[i] = v[2], s.FitError[i] = v[3];
  }
  return s;
}

// The two grids a fit meets: the Bode view's, and a log grid smoothed to 1/48 octave.
struct FitGrid {
  std::vector<float> grid;
  int32_t view;
  float smoothing;
};
inline std::vector<FitGrid> FitGrids() {
  return {{BodeLikeGrid(2000), 3, 0}, {LogGrid(2000, 20, 20000), 6, 1.0f / 48}};
}

struct KnownCurve {
  std::vector<float> freqs;
  std::vector<float> dB;
  std::unique_ptr<FitCurveRecord> curve = std::make_unique<FitCurveRecord>();
};

// The singularities on the grid, prepared for the fit and normalised over
// low..high Hz (0, 0: left as built, about 1 exactly).
inline KnownCurve MakeKnownCurve(std::vector<float> freqs, std::span<const KnownSingularity> s, float low = 0,
                                 float high = 0, double tilt = 0, double noise = 0, uint32_t seed = 1) {
  KnownCurve k;
  k.freqs = std::move(freqs);
  k.dB = KnownResponseDb(k.freqs, s, tilt, noise, seed);
  PrepareFitCurve(k.freqs, k.dB, static_cast<int32_t>(k.freqs.size()), 6, 4, *k.curve);
  if (low < high) NormaliseFitCurve(*k.curve, low, high);
  return k;
}

}  // namespace zentor::test
