// Running designed filters over signals, evaluating their responses, and the
// backward (Schroeder) integration. Signals are filtered in place through a scratch
// array of at least the same length.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "core/filter_design.h"
#include "core/filter_record.h"

namespace zentor {

// Coefficients of the last run, highest power first (a0 = 1 in the z^-1 form).
extern std::array<double, kMaxFilterRoots + 1> NumeratorPolyRe;
extern std::array<double, kMaxFilterRoots + 1> NumeratorPolyIm;
extern int32_t NumeratorPolyCount;
extern std::array<double, kMaxFilterRoots + 1> DenominatorPolyRe;
extern std::array<double, kMaxFilterRoots + 1> DenominatorPolyIm;
extern int32_t DenominatorPolyCount;

// Work array of ComputeFilterBlockResponseDb: one value per listed frequency.
constexpr int kFilterResponseWorkSize = (1 << 17) + 1;
extern std::array<double, kFilterResponseWorkSize> FilterResponseWork;

// Filters n samples in place with a z-plane block's recursion. An s-plane block
// ("Error 5440") or a denominator not led by 1 ("Error 8725") leaves the signal as it was.
bool RunFilterBlockOnSignal(std::span<float> signal, std::span<float> scratch, int32_t n,
                            const FilterBlock& block);

// Runs an s-plane block as a cascade of second-order sections (the first one third
// order for an odd count), each made digital at the block's samplerate. The block
// itself is not changed. sampleRate is not used.
bool RunFilterBlockInSections(std::span<float> signal, std::span<float> scratch,
                              int32_t sampleRate, int32_t n, const FilterBlock& block);

// The same through the caller's own section block, touching nothing shared: calls
// with blocks of their own may run on several threads at once.
bool RunFilterBlockInSections(std::span<float> signal, std::span<float> scratch, int32_t sampleRate,
                              int32_t n, const FilterBlock& block, FilterBlock& section);

// How RunFilterBlockInSections groups the poles: start and count of each section.
struct FilterSection {
  int32_t start = 0;
  int32_t count = 0;
};
int32_t FilterSectionLayout(int32_t numPoles, std::array<FilterSection, kMaxFilterRoots>& out);

// A second-order section with the feedback coefficients negated: y = b0 x + b1 x1 +
// b2 x2 + na1 y1 + na2 y2.
struct Biquad {
  double b0, b1, b2, na1, na2;
};

// Digital blocks of at most two poles and two zeros, gathered and then run in one
// pass: several sections per pass over the signal are far faster than a pass each.
class DigitalSectionCascade {
 public:
  // False, nothing added, for a block that is not in the z-plane, has more than two
  // roots of a kind, or when the cascade already holds kMaxFilterRoots sections.
  bool Add(const FilterBlock& block);
  void Run(std::span<float> signal, int32_t n) const;
  int32_t Count() const { return count_; }

 private:
  std::array<Biquad, kMaxFilterRoots> sections_{};
  int32_t count_ = 0;
};

// Runs every filter of an applied set (count in filters[0].Count) over 2^order samples,
// one peaking section per record; block is used as work and holds the last section.
bool RunFilterChainOnSignal(std::span<float> signal, std::span<float> scratch, int32_t order,
                            int32_t fs, FilterBlock& block, std::span<const FilterRecord> filters);

// curve[i] (linear factors) times |H| of one peaking section at frequencies[i] (Hz),
// written back in dB. Uses WorkFilterBlock and FilterResponseWork.
bool ComputeFilterBlockResponseDb(std::span<float> curve, std::span<const float> frequencies,
                                  int32_t n, int32_t fs, double w, double Q1, double Q2);

// One applied filter as the recursion it runs as: b and a in powers of z^-1, a[0] = 1.
struct PeakingSection {
  std::array<double, 3> b{};
  std::array<double, 3> a{};
  double gain = 1;
};

// The analogue peaking section (zeros of Q zeroQ, poles of Q poleQ) at freq1 rad/s,
// pre-warped and made digital at fs, with block as work space. False when freq1
// lies outside (0, fs/2) or a Q is not positive; no messages.
bool DigitalPeakingSection(double zeroQ, double poleQ, float freq1, int32_t fs, FilterBlock& block,
                           PeakingSection& out);

// One entry of an applied set as the program runs it at fs: the peak side's Q on
// the poles, both sides' Q adapted to the entry's emulation (code 2's cookbook).
// False, no messages, for an entry without a sign to Q1, a positive Q2, finite
// values, or a centre inside (0, fs/2).
bool AppliedFilterSection(const FilterRecord& r, int32_t fs, FilterBlock& block, PeakingSection& out);

// The sections of every usable entry of an applied set (count in element 0) at fs.
std::vector<PeakingSection> AppliedFilterSections(std::span<const FilterRecord> filters, int32_t fs);

// Level (dB) of the sections in a row at hz, at sample rate fs.
double PeakingSectionsLevelDb(std::span<const PeakingSection> sections, double hz, int32_t fs);

// Fourth-order Bessel low-pass at upperHz then high-pass at lowerHz over 2^order samples.
bool BandPassFilterSignal(std::span<float> signal, std::span<float> scratch, int32_t fs,
                          int32_t order, float lowerHz, float upperHz, FilterBlock& block);
// The same with the section block given (see RunFilterBlockInSections above).
bool BandPassFilterSignal(std::span<float> signal, std::span<float> scratch, int32_t fs, int32_t order,
                          float lowerHz, float upperHz, FilterBlock& block, FilterBlock& section);

// Element i becomes the sum of elements i..n-1.
bool IntegrateBackward(std::span<float> values, int32_t n);

}  // namespace zentor
