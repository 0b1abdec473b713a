// The filter chain of one crossover set over one impulse: high-pass and low-pass
// sections, shelves, gain and polarity, delay, then the set's .EQ filters.
#pragma once

#include <cstdint>
#include <span>

#include "core/filter_design.h"
#include "crossover/xover_record.h"

namespace zentor {

// What a chain works with. Each concurrent chain needs its own scratch and blocks.
struct XoverChainContext {
  std::span<float> XoverScratch;      // the section runners' work space, at least n samples
  FilterBlock* block = nullptr;       // every design lands here
  FilterBlock* section = nullptr;     // one section at a time while running
  int32_t rate = 0;                   // Hz, of the impulse's own header
};

// Corners are turned into rad/s with this factor and not prewarped.
constexpr double kXoverRadPerHz = 6.283;

// The whole chain of set (0..2) in place over n samples; false when a section could
// not be designed (its message shown), leaving the later steps unapplied.
bool ApplyXoverSet(const XoverSetRecord& set, int32_t setIndex, std::span<float> samples, int32_t n,
                   XoverChainContext& ctx);

// One section. Type 0 has no filter ("Error 8728" for set setIndex) and fails;
// Constant Sum, unknown codes and order 0 are skipped.
bool ApplyXoverHighPass(std::span<float> samples, int32_t order, int32_t type, float cornerHz, int32_t n,
                        int32_t setIndex, XoverChainContext& ctx);
bool ApplyXoverLowPass(std::span<float> samples, int32_t order, int32_t type, float cornerHz, int32_t n,
                       int32_t setIndex, XoverChainContext& ctx);
bool ApplyXoverShelf(std::span<float> samples, float freqHz, float levelDb, int32_t n, XoverChainContext& ctx);

// Samples of delay for a time in ms at rate: nearest whole sample, halves to even.
int32_t XoverDelaySamples(float delayMs, int32_t rate);

// The set's .EQ filters; faults are messages only.
void ApplyXoverEQFile(std::span<float> samples, int32_t n, const XoverSetRecord& set, XoverChainContext& ctx);

}  // namespace zentor
