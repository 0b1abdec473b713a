#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <vector>

#include "core/filter_run.h"
#include "core/set_peak.h"
#include "support/filter_record.h"

namespace zentor {
namespace {

using test::MakeFilter;

double OracleDb(const std::vector<FilterRecord>& set, double hz, double fs) { return test::BilinearSetDb(set, hz, fs); }

PeakLevel OraclePeak(const std::vector<FilterRecord>& set, double fs) {
  const test::BilinearPeak p = test::BilinearSetPeak(set, fs);
  return {p.db, p.hz};
}

std::vector<FilterRecord> Counted(std::vector<FilterRecord> set) {
  if (!set.empty()) set[0].Count = static_cast<int32_t>(set.size());
  return set;
}

TEST(SetPeak, FindsTheTruePeakOfTheSectionsAsTheyRunAtAnyLevelUpToHalfTheRate) {
  const struct {
    const char* what;
    std::vector<FilterRecord> set;
    double fs;
  } rows[] = {
      {"past the exports' 20 dB", {MakeFilter(2, 100, 25, 2, 1)}, 48000},
      {"a cut of 25 dB under two boosts", {MakeFilter(2, 100, -25, 2, 1), MakeFilter(2, 40, 6, 2, 1), MakeFilter(2, 250, 6, 2, 1)}, 48000},
      {"boosts above 20 kHz", {MakeFilter(2, 22000, 6, 4, 1), MakeFilter(2, 22600, 6, 4, 1)}, 48000},
      {"boosts above 20 kHz at 44.1 kHz", {MakeFilter(2, 21000, 6, 4, 1)}, 44100},
      {"a narrow boost beside a wide cut", {MakeFilter(2, 1000, 10, 40, 1), MakeFilter(2, 1100, -8, 0.7f, 1)}, 96000},
      {"a narrow cut in a wide boost: two shoulders", {MakeFilter(2, 5000, 6, 0.5f, 1), MakeFilter(2, 5000, -15, 30, 1)}, 48000},
      {"loudspeaker band", {MakeFilter(2, 4200, 4, 3, 1), MakeFilter(2, 6100, -9, 6, 1), MakeFilter(2, 9000, 7, 1.5f, 1),
                            MakeFilter(2, 15800, 3, 8, 1)}, 44100},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    const SetLevel level = AppliedSetLevel(Counted(row.set), static_cast<int32_t>(row.fs));
    ASSERT_EQ(level.Count(), row.set.size());
    const PeakLevel mine = level.Peak(), truth = OraclePeak(row.set, row.fs);
    ASSERT_GT(truth.db, 0);
    EXPECT_NEAR(mine.db, truth.db, 0.002);
    EXPECT_NEAR(mine.hz / truth.hz, 1, 0.002);
    EXPECT_NEAR(level.LevelDb(mine.hz), OracleDb(row.set, mine.hz, row.fs), 1e-6);
  }
  // Two +6 dB filters at 22.0 and 22.6 kHz: the top lies above 22 kHz, not at 20 kHz.
  const PeakLevel high = AppliedSetLevel(Counted(rows[2].set), 48000).Peak();
  EXPECT_GT(high.hz, 22000);
  EXPECT_GT(high.db, 6.3);

  // Cuts alone never rise above 0 dB; an entry at half the rate or beyond runs no section.
  EXPECT_EQ(AppliedSetLevel(Counted({MakeFilter(2, 100, -6, 2, 1), MakeFilter(2, 300, -20, 9, 1)}), 48000).Peak().hz, 0);
  SetLevel past(48000);
  EXPECT_FALSE(past.Add(MakeFilter(2, 24000, 6, 2, 1)));
  EXPECT_FALSE(past.Add(MakeFilter(2, 1000, 0, 2, 1)));
  EXPECT_EQ(past.Peak().hz, 0);
}

TEST(SetPeak, IsTheLevelOfTheSectionsTheProgramRuns) {
  // Bristow-Johnson's Q is adapted to the rate, the others are not; either way
  // the level is that of the program's own recursion.
  for (const int32_t code : {1, 2, 5})
    for (const int32_t fs : {44100, 48000, 96000}) {
      const std::vector<FilterRecord> set = Counted({MakeFilter(2, 63, -12, 5, code), MakeFilter(2, 2500, 6, 1.2f, code),
                                                     MakeFilter(2, 17000, 9, 3, code)});
      const SetLevel level = AppliedSetLevel(set, fs);
      const std::vector<PeakingSection> run = AppliedFilterSections(set, fs);
      for (const double hz : {20.0, 63.0, 1000.0, 2500.0, 12000.0, 17000.0, 0.49 * fs})
        EXPECT_NEAR(level.LevelDb(hz), PeakingSectionsLevelDb(run, hz, fs), 1e-6) << code << " " << fs << " " << hz;
    }
}

}  // namespace
}  // namespace zentor
