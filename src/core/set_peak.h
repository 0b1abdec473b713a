// The level of a filter set as the program runs it: every entry a peaking
// section made digital at the sample rate by the pre-warped bilinear transform,
// and the highest level their product reaches from the lowest frequency the
// graphs show up to just below half the rate. Every figure of a set's net boost
// comes from here, so the fit, the windows and the exports agree. Qt-free, no
// messages.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "core/filter_record.h"

namespace zentor {

// The frequency axis starts no lower.
inline constexpr double kLowestShownHz = 1;
// The rate a set is judged at when no measurement gives one.
inline constexpr int32_t kJudgedRateDefault = 48000;

// A level (dB) and where it lies (Hz).
struct PeakLevel {
  double db = 0;
  double hz = 0;
};

class SetLevel {
 public:
  // fs not positive: kJudgedRateDefault.
  explicit SetLevel(int32_t fs);

  // The section of an entry at w rad/s (Q1's sign and Q2 as the applied list
  // holds them: Q1 < 0 boosts), its Q adapted to emulation `code` as the
  // program runs it. False, nothing added, for an entry without a level or a
  // centre outside (0, fs/2): the program runs no section for it either.
  bool Add(double w, float Q1, float Q2, int32_t code);
  bool Add(const FilterRecord& r) { return Add(r.Freq1, r.Q1, r.Q2, r.EQEmulationCode); }

  size_t Count() const { return sections_.size(); }
  int32_t RateHz() const { return fs_; }
  // The level of the whole set, and of section i alone, at hz (below fs/2).
  double LevelDb(double hz) const;
  double SectionDb(size_t i, double hz) const;
  // The highest level of the set and where; {0, 0} when it nowhere rises
  // above 0 dB.
  PeakLevel Peak() const;

 private:
  // The analogue prototype at the pre-warped centre: the bilinear section's
  // level at f is the prototype's at Ω = 2 fs tan(π f / fs).
  struct Section {
    double w2 = 0;   // centre², (rad/s)²
    double z2 = 0;   // (centre / zero Q)²
    double p2 = 0;   // (centre / pole Q)²
    double lnW = 0;  // ln centre
    double width = 0;  // ln-frequency width of its narrower side, 1 / larger Q
  };
  double Omega(double hz) const;
  double Hz(double lnOmega) const;
  double PowerAt(double omega2) const;
  static double SectionPower(const Section& s, double omega2);

  int32_t fs_;
  std::vector<Section> sections_;
  bool boosts_ = false;
};

// The applied set (count in element 0) at fs, every usable entry as it runs.
SetLevel AppliedSetLevel(std::span<const FilterRecord> applied, int32_t fs);

}  // namespace zentor
