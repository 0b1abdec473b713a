// The fit on rooms of modes and nulls measured on the simulated card: the start-up
// limits refused with their reason, then fitted over 20 to 200 Hz with a 500 ms
// gate, all modes applied, and the room's own impulse run through the applied set.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>
#include <string>
#include <tuple>
#include <vector>

#include "core/filter_run.h"
#include "display/view_state.h"
#include "eqdesign/fit/fit_limits.h"
#include "eqdesign/fit/fit_quality.h"
#include "eqdesign/fit_limits_store.h"
#include "measurement_fixture.h"
#include "platform/numeric/numeric.h"

namespace zentor::test {
namespace {

constexpr int32_t kRate = 48000, kOrder = 17;
constexpr double kPi = std::numbers::pi;

// A rectangular room: size (m), loudspeaker and microphone positions, the
// reverberation time of its oblique modes, and each wall's share of the
// absorption relative to the average (x = 0, x = L, y = 0, …; 0 for none given:
// all alike).
struct Room {
  double L[3], source[3], mic[3], t60;
  double walls[6] = {};
  double highPassHz = 0;  // a second-order loudspeaker roll-off (Q 0.707), 0 for none
};

// The room's modes below 300 Hz, each the decaying sine of 1/(ωₙ² - ω² + 2jδω)
// weighted by the mode shape at both positions (the pressure a loudspeaker of
// constant volume acceleration gives), so neighbouring modes of opposite sign
// cancel into nulls.
std::vector<double> ModalImpulse(const Room& r) {
  const double c = 343;
  // Each wall pair damps a mode twice as much when the mode moves towards it
  // (n ≠ 0): axial modes ring longest. Scaled so oblique modes decay in t60.
  double share[3], total = 0;
  for (int a = 0; a < 3; ++a) {
    const double area = r.L[(a + 1) % 3] * r.L[(a + 2) % 3];
    const double w = r.walls[2 * a] + r.walls[2 * a + 1];
    share[a] = area * (w > 0 ? w : 2);
    total += 2 * share[a];
  }
  const auto length = static_cast<size_t>(std::min(1.7 * 1.5 * r.t60 * kRate, double{1 << kOrder} - 1));
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
        double damping = 0;
        for (int a = 0; a < 3; ++a) damping += (n[a] == 0 ? 1 : 2) * share[a];
        const double delta = 6.91 / r.t60 * damping / total;
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

// Net gain (dB) of the applied filters at f Hz, as the fit's entries divide out of a curve.
double NetGainDb(double f) {
  std::vector<float> hz{static_cast<float>(f)}, zero{0.0f};
  SingularityListRecord set;
  for (int32_t i = 0; i < AppliedFilters[0].Count; ++i) {
    const auto e = static_cast<size_t>(i);
    set.Freq[e] = AppliedFilters[e].Freq1, set.Q1[e] = AppliedFilters[e].Q1, set.Q2[e] = AppliedFilters[e].Q2;
  }
  set.Count = AppliedFilters[0].Count;
  return CorrectedResponseDb(hz, zero, set)[0];
}

// The largest level change (dB, either way) of the applied set as it runs, from
// a unit impulse through its sections: below `below` Hz and above `above` Hz up
// to half the rate, and where.
std::pair<double, double> LargestChangeOutside(double below, double above) {
  std::vector<float> x(size_t{1} << kOrder, 0.0f), scratch(x.size()), im(x.size(), 0.0f);
  x[0] = 1;
  FilterBlock block;
  EXPECT_TRUE(RunFilterChainOnSignal(x, scratch, kOrder, kRate, block, AppliedFilters));
  EXPECT_TRUE(fft(x, im, kOrder));
  const double bin = static_cast<double>(kRate) / static_cast<double>(x.size());
  std::pair<double, double> out{0, 0};
  for (size_t k = 1; k < x.size() / 2; ++k) {
    const double f = static_cast<double>(k) * bin;
    if (f >= below && f <= above) continue;
    const double db = 10 * std::log10(static_cast<double>(x[k]) * x[k] + static_cast<double>(im[k]) * im[k]);
    if (std::fabs(db) > std::fabs(out.first)) out = {db, f};
  }
  return out;
}

struct Outcome {
  int32_t filters = 0, pairs = 0, outsideCentres = 0;
  double netDb = 0, netHz = 0, ratio = 1, outsideDb = 0, outsideHz = 0, seconds = 0;
};

// The start-up limits on every room (true), or the other limits on every third
// (false): the halves run as tests of their own, side by side.
class FitLimitsRoomTest : public MeasurementWindowTest, public testing::WithParamInterface<bool> {
 protected:
  // The room measured on the simulated card and shown as the Bode view with a 500 ms gate.
  void Measure(const std::vector<double>& room) {
    SimulatedCardSettings s = Quiet();
    s.room = room;
    UseCard(s);
    MeasureFromMainWindow();
    Forms::Unload<AudioForm>();
    main->FreqBut->click();
    ASSERT_EQ(DisplayConfig.Graphshown, 3);
  }
  // Fitted over 20 to 200 Hz within the limits, every mode applied, the room's
  // impulse run through the set.
  Outcome FitAndApply(const std::vector<float>& h, double maxBoostDb, int32_t maxFilters) {
    FitLimits limits = DefaultFitLimits();
    limits.MaxBoostDb = maxBoostDb;
    limits.MaxFilters = maxFilters;
    EXPECT_TRUE(SaveFitLimits(limits));
    AppliedFilters[0].Count = 0;
    main->SetFitRange(20, 200);
    const auto start = std::chrono::steady_clock::now();
    main->FitFiltersBut->click();
    Outcome out;
    out.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (ModesListContents[0].Count > 0) main->ApplyAll->click();
    out.filters = AppliedFilters[0].Count;
    EXPECT_LE(out.filters, maxFilters);
    for (int32_t i = 0; i < out.filters; ++i) {
      const double hz = AppliedFilters[static_cast<size_t>(i)].Freq1 / (2 * kPi);
      out.outsideCentres += hz < 20 * (1 - 1e-4) || hz > 200 * (1 + 1e-4);
    }
    std::tie(out.outsideDb, out.outsideHz) = LargestChangeOutside(10, 400);
    // The net gain at 1/96 octave and at each boost's centre, over the fit range.
    std::vector<double> at;
    for (double f = 20; f <= 200; f *= std::pow(2.0, 1.0 / 96)) at.push_back(f);
    for (int32_t i = 0; i < out.filters; ++i) at.push_back(AppliedFilters[static_cast<size_t>(i)].Freq1 / (2 * kPi));
    for (const double f : at)
      if (f >= 20 && f <= 200 && NetGainDb(f) > out.netDb) out.netDb = NetGainDb(f), out.netHz = f;
    // The room's own impulse through the applied set.
    std::vector<float> x(size_t{1} << kOrder, 0.0f), scratch(x.size());
    std::copy(h.begin(), h.end(), x.begin());
    FilterBlock block;
    EXPECT_TRUE(RunFilterChainOnSignal(x, scratch, kOrder, kRate, block, AppliedFilters));
    out.ratio = Spread(SmoothedLevels(x)) / Spread(SmoothedLevels(h));
    // Sections of one sign within a twelfth of an octave: the fit merges such
    // pairs unless the pair lowers its judged deviation by a tenth.
    for (int32_t i = 0; i < out.filters; ++i)
      for (int32_t j = i + 1; j < out.filters; ++j) {
        const FilterRecord &a = AppliedFilters[static_cast<size_t>(i)], &b = AppliedFilters[static_cast<size_t>(j)];
        out.pairs += (a.Q1 < 0) == (b.Q1 < 0) && std::fabs(std::log2(a.Freq1 / b.Freq1)) <= 1.0 / 12;
      }
    return out;
  }
};

// Small to large, bare to damped, loudspeakers in corners and by walls,
// listeners near the middle and near a wall; the last rooms with one wall or
// pair of walls far more absorbent than the rest.
const std::vector<Room> kRooms = {
    Room{{5.0, 4.0, 2.5}, {0.3, 0.3, 0.3}, {3.2, 2.0, 1.2}, 0.4},
    Room{{6.5, 4.8, 2.7}, {0.5, 2.4, 0.4}, {4.0, 1.5, 1.1}, 0.6},
    Room{{4.2, 3.4, 2.4}, {0.4, 0.5, 0.9}, {2.9, 1.3, 1.0}, 0.3},
    Room{{7.5, 5.5, 3.0}, {0.6, 0.4, 0.5}, {5.0, 3.1, 1.1}, 0.8},
    Room{{3.6, 3.0, 2.4}, {0.3, 2.6, 0.3}, {2.4, 1.2, 1.0}, 0.25},
    Room{{9.0, 6.0, 3.2}, {0.5, 0.5, 1.0}, {6.1, 2.8, 1.2}, 1.0},
    Room{{5.5, 3.8, 2.6}, {2.75, 0.4, 0.6}, {2.0, 3.0, 1.3}, 0.5},
    Room{{6.0, 6.0, 2.8}, {0.4, 0.4, 0.4}, {3.0, 4.5, 1.1}, 0.45},
    // A carpeted floor and a bare ceiling; a curtained back wall; a bare front wall.
    Room{{5.8, 4.3, 2.6}, {0.4, 0.6, 0.4}, {3.6, 2.1, 1.1}, 0.5, {1, 1, 1, 1, 3, 0.3}},
    Room{{7.0, 4.5, 2.9}, {0.5, 0.5, 0.5}, {4.6, 2.6, 1.2}, 0.6, {0.4, 3, 1, 1, 1, 1}},
    Room{{4.8, 3.6, 2.5}, {0.3, 1.8, 0.3}, {3.3, 1.4, 1.2}, 0.35, {0.3, 1.5, 0.5, 0.5, 2, 1}},
    Room{{8.2, 5.0, 3.4}, {0.7, 0.4, 0.6}, {3.9, 3.8, 1.0}, 0.7, {1, 1, 2.5, 0.3, 1, 1}},
    // A club: 0.38 absorption on every wall (Sabine 0.46 s), a loudspeaker rolling off at 25 Hz.
    Room{{11, 9, 3.8}, {1.5, 2.5, 1.4}, {7.0, 5.2, 1.2}, 0.161 * 11 * 9 * 3.8 / (2 * (99 + 41.8 + 34.2) * 0.38),
         {}, 25},
};
constexpr size_t kClub = 12;

TEST_P(FitLimitsRoomTest, TheSetBoostsNoMoreThanTheLimitInAllAndFlattensEveryRoom) {
  struct Config {
    double maxBoostDb;
    int32_t maxFilters;
  };
  const std::vector<Config> configs{{6, 75}, {3, 75}, {0, 75}, {6, 10}, {20, 75}};
  std::vector<std::vector<Outcome>> outcomes(configs.size());
  bool first = true;
  // The sanitizer build fits slowly. ZENTOR_ALL_ROOM_FITS=1 fits every room at every limit.
  const bool startUp = GetParam(), all = std::getenv("ZENTOR_ALL_ROOM_FITS") != nullptr;
  for (size_t r = 0; r < kRooms.size(); ++r) {
    if (!startUp && r % 3 != 0 && !all) continue;
    SCOPED_TRACE("room " + std::to_string(r + 1));
    const std::vector<double> room = ModalImpulse(kRooms[r]);
    const std::vector<float> h(room.begin(), room.end());
    // The room has a null: its 1/24-octave level above 30 Hz dips 10 dB below the median.
    std::vector<double> fine = SmoothedLevels(h, 24);
    const double lowest = *std::min_element(fine.begin() + 35, fine.end());  // 20·2^(35/48) > 30 Hz
    std::nth_element(fine.begin(), fine.begin() + static_cast<std::ptrdiff_t>(fine.size() / 2), fine.end());
    if (r != kClub) {
      ASSERT_LT(lowest, fine[fine.size() / 2] - 10) << "the modelled room has no null";
    }
    if (r > 0) {  // each room on a fresh program, as the fixture starts one
      TearDown();
      SetUp();
    }
    Measure(room);
    if (first) {
      // The start-up limits' range lies below the curve shown, and the fit says why.
      dialogs.ExpectMessage();
      main->FitFiltersBut->click();
      EXPECT_EQ(dialogs.MessageTexts(),
                std::vector<std::string>{"Error 5861: The fit range 25 to 80 Hz lies below the curve shown, which "
                                         "starts at 100 Hz with a 10 ms gate. Lengthen the gate to at least 40 ms "
                                         "(Large Gate Times) or raise the fit range."});
      EXPECT_EQ(SingularityList[0].Count, 0);
      first = false;
    }
    ShowBodeWithGate(*main, "500");
    for (size_t c = 0; c < configs.size(); ++c) {
      if ((c == 0) != startUp) continue;
      const Outcome o = FitAndApply(h, configs[c].maxBoostDb, configs[c].maxFilters);
      EXPECT_LE(o.netDb, configs[c].maxBoostDb + 0.05) << "at " << o.netHz << " Hz, limit " << configs[c].maxBoostDb;
      EXPECT_EQ(o.outsideCentres, 0);
      EXPECT_LE(std::fabs(o.outsideDb), 1.0) << "at " << o.outsideHz << " Hz";
      outcomes[c].push_back(o);
    }
  }
  for (size_t c = 0; c < configs.size(); ++c) {
    std::vector<double> ratios;
    for (size_t r = 0; r < outcomes[c].size(); ++r) {
      const Outcome& o = outcomes[c][r];
      std::printf("Max boost %g dB, Max filters %d, fit %zu: %d filters (%d close pairs of one sign), net boost "
                  "%+.2f dB at %.1f Hz, spread %.2f, outside %+.2f dB at %.0f Hz, %.2f s\n",
                  configs[c].maxBoostDb, configs[c].maxFilters, r + 1, o.filters, o.pairs, o.netDb, o.netHz, o.ratio,
                  o.outsideDb, o.outsideHz, o.seconds);
      ratios.push_back(o.ratio);
    }
    // The budget's figures are stated; the goal is the start-up limits'.
    if (configs[c].maxBoostDb != 6 || configs[c].maxFilters != 75 || ratios.empty()) continue;
    // The set takes at least 35 % off every room's spread, 60 % off the median
    // room's and half off the club's: a limit on boost costs no cuts.
    for (size_t r = 0; r < ratios.size(); ++r) EXPECT_LE(ratios[r], 0.65) << "room " << r + 1;
    if (ratios.size() > kClub) {
      EXPECT_LE(ratios[kClub], 0.5) << "the club";
    }
    std::nth_element(ratios.begin(), ratios.begin() + static_cast<std::ptrdiff_t>(ratios.size() / 2), ratios.end());
    EXPECT_LE(ratios[ratios.size() / 2], 0.4);
  }
}

INSTANTIATE_TEST_SUITE_P(Limits, FitLimitsRoomTest, testing::Bool());

}  // namespace
}  // namespace zentor::test
