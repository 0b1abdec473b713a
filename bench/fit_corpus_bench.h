// What the fit-corpus benchmarks share: the Bode-like grid, the seeded corpus
// (ZENTOR_CORPUS_SEED=n draws another, to check the fit on curves it was not
// tuned on) and the quantiles they report.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "../tests/eqdesign/fit_corpus.h"

namespace zentor::test {

inline const std::vector<float>& CorpusGrid() {
  static const std::vector<float> f = BodeLikeGrid(2000);
  return f;
}

// The corpus of 64 curves and 6 flat ones, drawn once per program.
inline const std::vector<CorpusCurve>& SeededCorpus(uint32_t defaultSeed) {
  static const std::vector<CorpusCurve> c = [defaultSeed] {
    const char* seed = std::getenv("ZENTOR_CORPUS_SEED");
    return MakeFitCorpus(CorpusGrid(), seed != nullptr ? static_cast<uint32_t>(std::strtoul(seed, nullptr, 10))
                                                       : defaultSeed,
                         64, 6);
  }();
  return c;
}

inline double Quantile(std::vector<double> v, double q) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  const double last = static_cast<double>(v.size() - 1);
  return v[static_cast<size_t>(std::min(last, q * last + 0.5))];
}

}  // namespace zentor::test
