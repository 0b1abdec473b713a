// The fit on rooms of modes and nulls measured on the simulated card: the start-up
// limits refused with their reason, then fitted over 20 to 200 Hz with a 500 ms
// gate, all modes applied, and the room's own impulse run through the applied set.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <string>
#include <tuple>
#include <vector>

#include "core/filter_run.h"
#include "display/view_state.h"
#include "eqdesign/fit/fit_limits.h"
#include "eqdesign/fit/fit_quality.h"
#include "measurement_fixture.h"
#include "platform/numeric/numeric.h"

namespace zentor::test {
namespace {

constexpr int32_t kRate = 48000, kOrder = 17;
constexpr double kPi = std::numbers::pi;

// A rectangular room: size (m), loudspeaker and microphone positions, reverberation time.
struct Room {
  double L[3], source[3], mic[3], t60;
};

// The room's modes below 300 Hz, each the decaying sine of 1/(ωₙ² - ω² + 2jδω)
// weighted by the mode shape at both positions (the pressure a loudspeaker of
// constant volume acceleration gives), so neighbouring modes of opposite sign
// cancel into nulls.
std::vector<double> ModalImpulse(const Room& r) {
  const double c = 343, delta = 6.91 / r.t60;
  const auto length = static_cast<size_t>(std::min(1.7 * r.t60 * kRate, double{1 << kOrder} - 1));
  std::vector<double> h(length, 0.0);
  for (int nx = 0; nx < 40; ++nx)
    for (int ny = 0; ny < 40; ++ny)
      for (int nz = 0; nz < 40; ++nz) {
        const int n[3] = {nx, ny, nz};
        double k2 = 0, weight = 1;
        for (int a = 0; a < 3; ++a) {
          k2 += std::pow(n[a] / r.L[a], 2);
          weight *= (n[a] == 0 ? 1 : 2) * std::cos(n[a] * kPi * r.source[a] / r.L[a]) *
                    std::cos(n[a] * kPi * r.mic[a] / r.L[a]);
        }
        const double f = 0.5 * c * std::sqrt(k2);
        if (f == 0 || f > 300) continue;
        // y[n] = 2ρcosθ y[n-1] - ρ² y[n-2]: ρⁿ sin(nθ) without a sine a sample.
        const double rho = std::exp(-delta / kRate), theta = 2 * kPi * f / kRate;
        const double a1 = 2 * rho * std::cos(theta), a2 = rho * rho;
        for (double i = 1, y0 = 0, y1 = rho * std::sin(theta); i < static_cast<double>(length); ++i)
          h[static_cast<size_t>(i)] += weight / f * y1, std::tie(y0, y1) = std::pair(y1, a1 * y1 - a2 * y0);
      }
  // Scaled so that the strongest mode passes a sine at half its level: the modes
  // ring far above the impulse's own peak, and a louder room clips the input.
  double strongest = 0;
  for (double f = 15; f < 300; f *= std::pow(2.0, 1.0 / 96)) {
    double re = 0, im = 0;
    for (size_t i = 0; i < length; ++i) {
      re += h[i] * std::cos(2 * kPi * f * static_cast<double>(i) / kRate);
      im -= h[i] * std::sin(2 * kPi * f * static_cast<double>(i) / kRate);
    }
    strongest = std::max(strongest, std::hypot(re, im));
  }
  for (double& v : h) v *= 0.5 / strongest;
  // The direct sound arrives first and is the response's peak, where the gates of
  // the views start; without it the gate would cut the modes' rise away. A sealed
  // box passes no DC: the pulse's area returns over 2 ms, so below 100 Hz it adds
  // next to nothing to the modes.
  double peak = 0;
  for (double v : h) peak = std::max(peak, std::fabs(v));
  const size_t tail = kRate / 500;
  h[0] += 20 * peak;
  for (size_t i = 1; i <= tail; ++i) h[i] -= 20 * peak / static_cast<double>(tail);
  return h;
}

// The 1/`fraction`-octave power-smoothed level (dB) of an impulse at 48 points an octave from 20 to 200 Hz.
std::vector<double> SmoothedLevels(const std::vector<float>& x, double fraction = 6) {
  const size_t N = size_t{1} << kOrder;
  std::vector<float> re(N, 0.0f), im(N, 0.0f);
  std::copy(x.begin(), x.begin() + static_cast<std::ptrdiff_t>(std::min(x.size(), N)), re.begin());
  EXPECT_TRUE(fft(re, im, kOrder));
  const double bin = static_cast<double>(kRate) / static_cast<double>(N);
  std::vector<double> out;
  for (int i = 0; 20 * std::pow(2.0, i / 48.0) <= 200 * (1 + 1e-12); ++i) {
    const double f = 20 * std::pow(2.0, i / 48.0), half = std::pow(2.0, 0.5 / fraction);
    double sum = 0;
    int count = 0;
    for (auto k = static_cast<size_t>(std::ceil(f / half / bin)); static_cast<double>(k) * bin <= f * half;
         ++k, ++count)
      sum += static_cast<double>(re[k]) * re[k] + static_cast<double>(im[k]) * im[k];
    out.push_back(10 * std::log10(sum / std::max(count, 1)));
  }
  return out;
}

// RMS of L - c, c the mean of L: a flat target at the level's own mean.
double Spread(const std::vector<double>& L) {
  double mean = 0, sq = 0;
  for (double v : L) mean += v, sq += v * v;
  mean /= static_cast<double>(L.size());
  return std::sqrt(std::max(0.0, sq / static_cast<double>(L.size()) - mean * mean));
}

class FitLimitsRoomTest : public MeasurementWindowTest, public testing::WithParamInterface<Room> {};

TEST_P(FitLimitsRoomTest, AllModesAppliedFlattenTheRoomWithinTheBoostLimitAndAtTheTargetLevel) {
  const std::vector<double> room = ModalImpulse(GetParam());
  const std::vector<float> h(room.begin(), room.end());
  const std::vector<double> before = SmoothedLevels(h);
  // The room has a null: its 1/24-octave level above 30 Hz dips 10 dB below the median.
  std::vector<double> fine = SmoothedLevels(h, 24);
  const double lowest = *std::min_element(fine.begin() + 35, fine.end());  // 20·2^(35/48) > 30 Hz
  std::nth_element(fine.begin(), fine.begin() + static_cast<std::ptrdiff_t>(fine.size() / 2), fine.end());
  ASSERT_LT(lowest, fine[fine.size() / 2] - 10) << "the modelled room has no null";
  SimulatedCardSettings s = Quiet();
  s.room = room;
  UseCard(s);
  MeasureFromMainWindow();
  Forms::Unload<AudioForm>();
  main->FreqBut->click();
  ASSERT_EQ(DisplayConfig.Graphshown, 3);
  // The start-up limits' range lies below the curve shown, and the fit says why.
  dialogs.ExpectMessage();
  main->FitFiltersBut->click();
  EXPECT_EQ(dialogs.MessageTexts(),
            std::vector<std::string>{"Error 5861: The fit range 25 to 80 Hz lies below the curve shown, which starts "
                                     "at 100 Hz with a 10 ms gate. Lengthen the gate to at least 40 ms (Large Gate "
                                     "Times) or raise the fit range."});
  EXPECT_EQ(SingularityList[0].Count, 0);
  ShowBodeWithGate(*main, "500");
  main->SetFitRange(20, 200);
  main->FitFiltersBut->click();
  ASSERT_GT(ModesListContents[0].Count, 0);
  main->ApplyAll->click();
  const int32_t applied = AppliedFilters[0].Count;
  ASSERT_GT(applied, 0);

  // The measured curve corrected by the set keeps the target's level.
  const CurveRecord& shown = BodeCurves[0];
  const auto n = static_cast<size_t>(shown.NumPoints);
  const std::span<const float> f(shown.XValues.data(), n), dB(shown.YValues.data(), n);
  SingularityListRecord set;
  for (int32_t i = 0; i < applied; ++i) {
    const auto e = static_cast<size_t>(i);
    EXPECT_LE(FilterBoostDb(AppliedFilters[e].Q1, AppliedFilters[e].Q2), 6.0001);
    set.Freq[e] = AppliedFilters[e].Freq1, set.Q1[e] = AppliedFilters[e].Q1, set.Q2[e] = AppliedFilters[e].Q2;
  }
  set.Count = applied;
  const double level = TargetLevelDb(DefaultFitLimits(), f, dB, 20, 200);
  const std::vector<float> corrected = CorrectedResponseDb(f, dB, set);
  // The mean on the log-frequency axis the fit weighs by; the set's typical change.
  double mean = 0, weight = 0;
  std::vector<double> change;
  for (size_t i = 1; i + 1 < n; ++i)
    if (f[i] >= 20 && f[i] <= 200) {
      const double w = std::log(f[i + 1] / f[i - 1]);
      mean += w * corrected[i], weight += w;
      change.push_back(corrected[i] - dB[i]);
    }
  mean /= weight;
  std::nth_element(change.begin(), change.begin() + static_cast<std::ptrdiff_t>(change.size() / 2), change.end());
  EXPECT_GT(change[change.size() / 2], -3.0) << "the set does not lower the whole range";

  // The room's impulse through the applied set, at the room's rate.
  std::vector<float> x(size_t{1} << kOrder, 0.0f), scratch(x.size());
  std::copy(h.begin(), h.end(), x.begin());
  FilterBlock block;
  ASSERT_TRUE(RunFilterChainOnSignal(x, scratch, kOrder, kRate, block, AppliedFilters));
  const double was = Spread(before), is = Spread(SmoothedLevels(x));
  EXPECT_NEAR(mean, level, 1.0) << "the corrected response stays at the target's level";
  EXPECT_LE(is, was * 0.6) << "the set takes at least two fifths off the room's spread";
  std::printf("room %s: %d filters, spread %.2f dB -> %.2f dB (%.2f), corrected mean %+.2f dB from the target\n",
              testing::UnitTest::GetInstance()->current_test_info()->name(), applied, was, is, is / was,
              mean - level);
}

// Small to large, bare to damped, loudspeakers in corners and by walls, listeners
// near the middle and near a wall.
INSTANTIATE_TEST_SUITE_P(
    Rooms, FitLimitsRoomTest,
    testing::Values(Room{{5.0, 4.0, 2.5}, {0.3, 0.3, 0.3}, {3.2, 2.0, 1.2}, 0.4},
                    Room{{6.5, 4.8, 2.7}, {0.5, 2.4, 0.4}, {4.0, 1.5, 1.1}, 0.6},
                    Room{{4.2, 3.4, 2.4}, {0.4, 0.5, 0.9}, {2.9, 1.3, 1.0}, 0.3},
                    Room{{7.5, 5.5, 3.0}, {0.6, 0.4, 0.5}, {5.0, 3.1, 1.1}, 0.8},
                    Room{{3.6, 3.0, 2.4}, {0.3, 2.6, 0.3}, {2.4, 1.2, 1.0}, 0.25},
                    Room{{9.0, 6.0, 3.2}, {0.5, 0.5, 1.0}, {6.1, 2.8, 1.2}, 1.0},
                    Room{{5.5, 3.8, 2.6}, {2.75, 0.4, 0.6}, {2.0, 3.0, 1.3}, 0.5},
                    Room{{6.0, 6.0, 2.8}, {0.4, 0.4, 0.4}, {3.0, 4.5, 1.1}, 0.45}));

}  // namespace
}  // namespace zentor::test
