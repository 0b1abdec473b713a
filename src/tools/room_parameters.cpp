#include "tools/room_parameters.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <numbers>

#include "base/atomic_file.h"
#include "base/text_number.h"
#include "core/records.h"

namespace zentor {

namespace {

constexpr double kPi = std::numbers::pi;
// Octave ratio, base 10.
const double kOctave = std::pow(10.0, 0.3);
constexpr double kBandRateLimit = 0.45;
constexpr double kNominalCentres[] = {63, 125, 250, 500, 1000, 2000, 4000, 8000};
constexpr double kLowestCorrelation = 0.98;
// Energies this far down are taken for digital silence.
constexpr double kSilentDb = -290;
// The longest quiet stretch between the direct sound and the reverberation (a seat
// far back in a large hall): a decay that falls to the noise and rises 10 dB above
// where it fell within this time has not ended.
constexpr double kLongestGapS = 0.1;
constexpr double kGapRiseDb = 10;

double Db(double energy) { return 10 * std::log10(std::max(energy, 1e-300)); }

// Least-squares line y = level + slope x and its correlation coefficient.
struct Line {
  double level = 0, slope = 0, r = 0;
  bool ok = false;
  double from = 0;  // where the decay it was fitted over starts: its loudest interval, or the end of a gap
};

struct LineSums {
  double n = 0, sx = 0, sy = 0, sxx = 0, sxy = 0, syy = 0;
  void Add(double x, double y) {
    n += 1;
    sx += x;
    sy += y;
    sxx += x * x;
    sxy += x * y;
    syy += y * y;
  }
  Line Fit() const {
    Line l;
    if (n < 2) return l;
    const double vx = sxx - sx * sx / n, vy = syy - sy * sy / n, cxy = sxy - sx * sy / n;
    if (!(vx > 0)) return l;
    l.slope = cxy / vx;
    l.level = (sy - l.slope * sx) / n;
    l.r = vy > 0 ? cxy / std::sqrt(vx * vy) : 0;
    l.ok = std::isfinite(l.slope) && std::isfinite(l.level);
    return l;
  }
};

double MeanEnergy(std::span<const double> e, size_t from, size_t to) {
  to = std::min(to, e.size());
  if (from >= to) return 0;
  double s = 0;
  for (size_t i = from; i < to; ++i) s += e[i];
  return s / double(to - from);
}

// The decay in intervals of w samples: each interval's centre and level in dB, less
// the mean energy `noise`.
struct Smoothed {
  std::vector<double> centre, level;
  size_t width = 1;
};
Smoothed Smooth(std::span<const double> e, size_t w, double noise = 0) {
  Smoothed s;
  w = std::max<size_t>(w, 1);
  s.width = w;
  for (size_t from = 0; from + w <= e.size(); from += w) {
    s.centre.push_back(double(from) + 0.5 * double(w - 1));
    s.level.push_back(Db(MeanEnergy(e, from, from + w) - noise));
  }
  return s;
}

// The line through the decay's last stretch below `top`, over the intervals that lie
// between `top` and `bottom`. The decay runs from the loudest interval to where the
// level falls below `bottom` for good: a quiet stretch after which it comes back well
// above `bottom` is a gap before the reverberation, and what lies before the gap
// takes no part.
Line FitBetween(const Smoothed& s, double top, double bottom, int32_t rate) {
  if (s.level.empty()) return {};
  const size_t n = s.level.size();
  const size_t peak = static_cast<size_t>(std::max_element(s.level.begin(), s.level.end()) - s.level.begin());
  const auto reach = static_cast<size_t>(std::ceil(kLongestGapS * rate / double(s.width))) + 1;
  size_t end = peak, resume = peak;
  for (size_t j = peak; j < n; ++j) {
    if (s.level[j] >= bottom) {
      end = j;
      continue;
    }
    size_t k = j + 1;
    while (k < n && k <= j + reach && s.level[k] < bottom + kGapRiseDb) ++k;
    if (k >= n || k > j + reach) break;
    resume = k;
    j = k - 1;
  }
  size_t first = end;
  while (first > resume && s.level[first - 1] <= top) --first;
  LineSums sums;
  for (size_t j = first; j <= end; ++j)
    if (s.level[j] >= bottom && s.level[j] <= top) sums.Add(s.centre[j], s.level[j]);
  Line l = sums.Fit();
  l.from = double(resume * s.width);
  return l;
}

std::string Fixed(double v, int decimals) { return FixedPointText(v, decimals); }

// How far below its start the decay must be followed for each value: the foot of
// the line for the decay times.
constexpr double kEdtFoot = -10, kT20Foot = -25, kT30Foot = -35;

// "The response is cut at 300 ms": the start of every reason a cut gives.
std::string CutAt(double ms) { return "The response is cut at " + Fixed(ms, 0) + " ms"; }

// A response cut on its decay has no noise: all of it is kept, its start is its
// loudest interval and the level it reaches is that of its last tenth, and the
// energy past the cut is the late decay's, from a line through its last 20 dB. The
// intervals are short enough for a fiftieth of the response, so that a short dead
// decay still has its last 20 dB in several.
NoiseTruncation DecayToTheCut(std::span<const double> e, int32_t rate) {
  NoiseTruncation c;
  const size_t n = e.size();
  const Smoothed s = Smooth(e, std::clamp<size_t>(n / 50, 1, static_cast<size_t>(std::max(1, rate / 100))));
  if (n < 20 || s.level.size() < 3) return c;
  c.noiseDb = Db(MeanEnergy(e, n - n / 10, n));
  // Over the last 20 dB, from where the decay first falls below them: a band's last
  // milliseconds are as uneven as noise, and one interval above the stretch must not
  // end it.
  const double top = c.noiseDb + 20, bottom = c.noiseDb - 30;
  const Line found = FitBetween(s, top, bottom, rate);
  if (!found.ok) return c;
  size_t first = static_cast<size_t>(found.from) / s.width;
  while (first < s.level.size() && s.level[first] > top) ++first;
  LineSums sums;
  for (size_t j = first; j < s.level.size(); ++j)
    if (s.level[j] >= bottom && s.level[j] <= top) sums.Add(s.centre[j], s.level[j]);
  const Line late = sums.n >= 3 ? sums.Fit() : found;
  if (!late.ok || !(late.slope < 0)) return c;
  c.ok = true;
  c.cross = static_cast<int32_t>(n);
  c.startDb = *std::max_element(s.level.begin(), s.level.end());
  c.levelDb = late.level;
  c.slopeDb = late.slope;
  c.tailEnergy = std::pow(10.0, (late.level + late.slope * double(n)) / 10) / (-late.slope * std::numbers::ln10 / 10);
  return c;
}

// The values one reading of the decay gives: e is the squared impulse from the
// onset; `delay` shifts the time origin of the energy windows and the centre time
// by the band filter's delay (samples); t says where the decay ends. With
// `noiseKnown` what follows the end is noise, taken off every sample, and the ratio
// to it limits the values. Without, the response was cut on its decay (`cut` names
// where) and the late decay's line carries it on past the end.
RoomParameterValues Evaluate(std::span<const double> e, int32_t rate, double delay, double centreHz,
                             const NoiseTruncation& t, bool noiseKnown, const std::string& cut) {
  RoomParameterValues v;
  v.centreHz = centreHz;
  const auto mark = [&v](const char* name, std::string reason) { v.marked.push_back({name, std::move(reason)}); };
  const auto markAll = [&](const std::string& reason) {
    for (const char* k : RoomParameterKeys())
      if (std::string(k) != "inr_db") mark(k, reason);
  };
  const double n = double(e.size());
  // An impulse that ends in digital silence has no noise to compare with: its ratio is
  // unbounded, and no value is marked for it. One cut on its decay is at least as far
  // above its noise as it fell.
  double inr = HUGE_VAL;
  if (!noiseKnown) {
    v.inr_db = t.startDb - t.noiseDb;
    mark("inr_db", cut + ", before the decay meets the noise: the ratio is at least this");
  } else if (t.noiseDb < kSilentDb) {
    mark("inr_db", "The impulse ends in silence: there is no noise to compare with");
  } else {
    v.inr_db = t.startDb - t.noiseDb;
    inr = *v.inr_db;
  }

  // The Schroeder integral up to the truncation, the lost tail added at its end. The
  // noise's mean energy comes off every sample kept: summed over the decay's last
  // stretch it would lift the curve's foot and lengthen T30.
  const auto cross = static_cast<size_t>(t.cross);
  const double noise = noiseKnown ? std::pow(10.0, t.noiseDb / 10) : 0;
  std::vector<double> s(cross + 1);
  s[cross] = t.tailEnergy;
  for (size_t k = cross; k-- > 0;) s[k] = s[k + 1] + e[k] - noise;
  const double total = s[0];
  if (!(total > 0)) {
    markAll("The impulse is silent in this band");
    return v;
  }
  const double kappa = -t.slopeDb * std::numbers::ln10 / 10;  // per sample
  const auto remaining = [&](double k) {
    if (k <= 0) return total;
    if (k < double(cross)) return s[static_cast<size_t>(k)];
    return t.tailEnergy * std::exp(-kappa * (k - double(cross)));
  };

  // How far the integral has fallen where a response cut on its decay ends.
  const double cutFallDb = Db(total) - Db(t.tailEnergy);
  // Decay times: lines over the stretch of the integral between two levels.
  const auto decay = [&](double top, double bottom, std::optional<double>& time, std::optional<double>& r,
                         const char* name, const char* rName, double needInr) {
    LineSums sums;
    bool reached = false;
    for (size_t k = 0; k < cross; ++k) {
      const double level = Db(s[k] / total);
      if (level < bottom) {
        reached = true;
        break;
      }
      if (level <= top) sums.Add(double(k) / rate, level);
    }
    const Line l = sums.Fit();
    if (!reached || !l.ok || sums.n < 3 || !(l.slope < 0)) {
      const std::string why = noiseKnown ? "The decay does not fall to " + Fixed(bottom, 0) + " dB before the noise"
                                         : cut + ", before the decay reaches \u2212" + Fixed(-bottom, 0) + " dB";
      mark(name, why);
      mark(rName, why);
      return;
    }
    // Within 10 dB of the cut the curve is as much the guessed tail as the response,
    // as within 10 dB of the noise it is the noise.
    if (!noiseKnown && cutFallDb < 10 - bottom) {
      const std::string why = cut + ", before the decay falls 10 dB past \u2212" + Fixed(-bottom, 0) + " dB";
      mark(name, why);
      mark(rName, why);
      return;
    }
    time = -60.0 / l.slope;
    r = l.r;
    if (inr < needInr)
      mark(name, "The impulse-to-noise ratio is below " + Fixed(needInr, 0) + " dB");
    else if (std::fabs(l.r) < kLowestCorrelation)
      mark(name, "The decay is not straight: |r| = " + Fixed(std::fabs(l.r), 3) + ", below 0.98");
  };
  decay(0, kEdtFoot, v.edt_s, v.r_edt, "edt_s", "r_edt", 20);
  decay(-5, kT20Foot, v.t20_s, v.r_t20, "t20_s", "r_t20", 35);
  decay(-5, kT30Foot, v.t30_s, v.r_t30, "t30_s", "r_t30", 45);

  // A response that ends before a window's boundary cannot split its energy there.
  const double n50 = delay + std::round(0.05 * rate), n80 = delay + std::round(0.08 * rate);
  const double late50 = remaining(n50), late80 = remaining(n80);
  // A ratio beyond the impulse-to-noise ratio has one side below the noise.
  const auto clarity = [&](double late) -> std::optional<double> {
    if (!(late > 0 && total - late > 0)) return std::nullopt;
    const double c = Db(total - late) - Db(late);
    if (std::fabs(c) > inr) return std::nullopt;
    return c;
  };
  if (n50 < n) {
    v.d50_pct = 100 * (total - late50) / total;
    v.c50_db = clarity(late50);
  }
  if (n80 < n) v.c80_db = clarity(late80);
  double moment = 0;
  for (size_t k = 0; k < cross; ++k) moment += (double(k) - delay) * (e[k] - noise);
  moment += t.tailEnergy * (double(cross) - delay + (kappa > 0 ? 1 / kappa : 0));
  v.ts_ms = 1000.0 * moment / total / rate;
  for (const auto& [k, boundary] : {std::pair{"c50_db", n50}, {"c80_db", n80}, {"d50_pct", n50}, {"ts_ms", 0.0}}) {
    if (!RoomParameterValue(v, k))
      mark(k, boundary < n || cut.empty() ? "The early and late energy cannot be told apart"
                                          : cut + ", inside the first " + Fixed(boundary == n50 ? 50 : 80, 0) + " ms");
    else if (inr < 20) mark(k, "The impulse-to-noise ratio is below 20 dB");
  }
  return v;
}

// The values a reading of a cut response gives where they do not depend on what
// another reading makes of it: how far each may move (half its tolerance) and the
// reason it is cut short for.
struct Dependence {
  const char* key;
  const char* r;  // its correlation coefficient, which goes with it
  double moves;
  bool relative;
  double foot;  // dB, for the decay times
};
constexpr Dependence kDependences[] = {
    {"edt_s", "r_edt", 0.025, true, kEdtFoot}, {"t20_s", "r_t20", 0.025, true, kT20Foot},
    {"t30_s", "r_t30", 0.025, true, kT30Foot}, {"c50_db", nullptr, 0.5, false, 0},
    {"c80_db", nullptr, 0.5, false, 0},        {"d50_pct", nullptr, 2.5, false, 0},
    {"ts_ms", nullptr, 5, false, 0}};

void Clear(RoomParameterValues& v, const std::string& key, const std::string& reason) {
  const auto member = [&v](const std::string& k) -> std::optional<double>* {
    if (k == "edt_s") return &v.edt_s;
    if (k == "t20_s") return &v.t20_s;
    if (k == "t30_s") return &v.t30_s;
    if (k == "r_edt") return &v.r_edt;
    if (k == "r_t20") return &v.r_t20;
    if (k == "r_t30") return &v.r_t30;
    if (k == "c50_db") return &v.c50_db;
    if (k == "c80_db") return &v.c80_db;
    if (k == "d50_pct") return &v.d50_pct;
    if (k == "ts_ms") return &v.ts_ms;
    return nullptr;
  };
  if (std::optional<double>* m = member(key)) m->reset();
  std::erase_if(v.marked, [&](const MarkedValue& m) { return m.name == key; });
  v.marked.push_back({key, reason});
}

// Empties every value of v that `other` does not give within half its tolerance;
// `reason` names why, given the value's foot (0 for the energy values) and key.
template <typename Reason>
void KeepWhatAgrees(RoomParameterValues& v, const RoomParameterValues& other, Reason reason) {
  for (const Dependence& d : kDependences) {
    const std::optional<double> a = RoomParameterValue(v, d.key), b = RoomParameterValue(other, d.key);
    if (!a) continue;
    const bool agrees = b && (d.relative ? std::fabs(*b / *a - 1) : std::fabs(*b - *a)) <= d.moves;
    if (agrees) continue;
    const std::string why = reason(d);
    Clear(v, d.key, why);
    if (d.r) Clear(v, d.r, why);
  }
}

// The band's noise as the stretch before the onset holds it: its mean level and how
// long it was averaged over; none where there is no such stretch.
struct NoiseBefore {
  double db = NAN;
  double seconds = 0;
};

// The spread of a mean of band-limited noise over `seconds` (2 B t degrees of freedom).
double NoiseSpreadDb(double bandwidth, double seconds) {
  return 10 / std::numbers::ln10 * std::sqrt(2.0 / std::max(1.0, bandwidth * seconds));
}

// What the decay of one band (or broadband) gives: e is the squared impulse from the
// onset; cutMs, where the response was cut (from its first sample), is negative for
// one that was not; `before` is the band's noise before the onset.
RoomParameterValues Analyse(std::span<const double> e, int32_t rate, double delay, int32_t ringSamples, double centreHz,
                            double cutMs, const NoiseBefore& before) {
  const NoiseTruncation t = LundebyTruncation(e, rate);
  const bool silent = e.empty() || !(MeanEnergy(e, 0, e.size()) > 0);
  const auto only = [centreHz](const std::string& why) {
    RoomParameterValues v;
    v.centreHz = centreHz;
    for (const char* k : RoomParameterKeys()) v.marked.push_back({k, why});
    return v;
  };
  if (silent) return only("The impulse is silent in this band");
  if (cutMs < 0) {
    if (!t.ok) return only("The decay does not rise 10 dB above the noise");
    return Evaluate(e, rate, delay, centreHz, t, true, "");
  }

  // A cut response either met its noise before the cut, and reads as one that was not
  // cut, or was cut on its decay. Over the last two tenths a decay falls as its late
  // line does, noise keeps its level: the fall between them tells which, unless the
  // two lie closer than twice the spread noise of the band's width gives their
  // difference (2 B t degrees of freedom: 4.34 sqrt(2 / (2 B t)) dB each).
  const std::string cut = CutAt(cutMs);
  const NoiseTruncation d = DecayToTheCut(e, rate);
  if (!t.ok && !d.ok) return only(cut + ", before a decay can be followed");
  bool onDecay = !t.ok, unsure = false;
  if (d.ok) {
    const size_t n = e.size(), tenth = n / 10;
    const double fall = Db(MeanEnergy(e, n - 2 * tenth, n - tenth)) - Db(MeanEnergy(e, n - tenth, n));
    const double decays = -(t.ok ? t.slopeDb : d.slopeDb) * double(tenth);
    const double bandwidth = centreHz > 0 ? centreHz * (std::sqrt(kOctave) - 1 / std::sqrt(kOctave)) : rate / 2.0;
    const double spread = NoiseSpreadDb(bandwidth, double(tenth) / rate);
    onDecay = fall > decays / 2;
    // Noise that is not followed for 10 dB of the decay past where the decay meets
    // it may be the decay still, at the shallower of the two readings' slopes: the
    // steeper may hold the early decay.
    const double shallowest = t.ok ? std::max(t.slopeDb, d.slopeDb) : d.slopeDb;
    unsure = std::fabs(fall - decays / 2) < 2 * spread ||
             (t.ok && double(t.cross) - 10 / shallowest > 0.9 * double(n));
    // A short response's last tenths are too few to tell; the noise before the onset
    // tells plainly where the end lies 10 dB above it and both spreads beside. The
    // decay must have fallen 30 dB by then, for its late line to carry it on.
    const double endDb = Db(MeanEnergy(e, n - tenth, n));
    if (std::isfinite(before.db) && d.startDb - endDb >= 30 &&
        endDb - before.db > 10 + 2 * std::hypot(spread, NoiseSpreadDb(bandwidth, before.seconds)))
      onDecay = true, unsure = false;
  }
  // Cut less than the longest gap after its decay met the noise, the response may
  // have had its reverberation still to come: nothing is known. Without a decay
  // above the noise, only one the cut plainly ends on counts.
  const std::string gap = cut + ", less than " + Fixed(1000 * kLongestGapS, 0) +
                          " ms after its decay meets the noise: a reverberation after a gap would be cut off";
  if (!t.ok && (!onDecay || unsure))
    return only(double(e.size()) < kLongestGapS * rate ? gap : "The decay does not rise 10 dB above the noise");
  // Before a gap lies the direct sound: it falls into the noise as fast as the band
  // rings (a click broadband). A decay that meets the noise at least three times
  // slower than that is reverberation, which does not stop to resume.
  const double ringS = std::max(double(ringSamples) / rate, 0.01);
  const bool reverberant = ringSamples > 0 && t.ok && -t.slopeDb * rate * 3 * ringS < 60;
  if (!onDecay && double(e.size() - static_cast<size_t>(t.cross)) < kLongestGapS * rate && !reverberant)
    return only(gap);
  RoomParameterValues v = Evaluate(e, rate, delay, centreHz, onDecay ? d : t, !onDecay, cut);
  if (onDecay) {
    // What past the cut the line only guesses at moves by half as much again either
    // way; a value that moves with it further than half its tolerance is the cut's.
    for (const double scale : {1 / 1.5, 1.5}) {
      NoiseTruncation guess = d;
      guess.tailEnergy *= scale;
      KeepWhatAgrees(v, Evaluate(e, rate, delay, centreHz, guess, false, cut), [&](const Dependence& dep) {
        if (dep.foot < 0) return cut + ", before the decay reaches \u2212" + Fixed(-dep.foot, 0) + " dB";
        if (std::string(dep.key) == "ts_ms") return cut + ", before the energy that sets the centre time is all in";
        return cut + ", before the late energy after " + (std::string(dep.key) == "c80_db" ? "80" : "50") +
               " ms is all in";
      });
    }
  }
  if (unsure && t.ok && d.ok)
    KeepWhatAgrees(v, Evaluate(e, rate, delay, centreHz, onDecay ? t : d, onDecay, cut), [&](const Dependence&) {
      return cut + ", too soon after the decay meets the noise to tell the two apart";
    });
  return v;
}

OctaveFilter MakeOctaveFilter(double nominal, double exact, int32_t rate) {
  OctaveFilter f;
  f.nominalHz = nominal;
  f.exactHz = exact;
  f.lowerHz = exact / std::sqrt(kOctave);
  f.upperHz = exact * std::sqrt(kOctave);
  const double fs2 = 2.0 * rate;
  // The design edges lie 0.005 octave inside the band's: 3.1 dB down at the
  // band edges, and the top band's far lower skirt keeps its margin at 44.1 kHz.
  const double inside = std::pow(kOctave, 0.005);
  const double w1 = fs2 * std::tan(kPi * f.lowerHz * inside / rate),
               w2 = fs2 * std::tan(kPi * f.upperHz / inside / rate);
  const double w0sq = w1 * w2, bw = w2 - w1;
  // Each pole p of the third-order low-pass prototype gives one band-pass pole in
  // the upper half plane: a root of s^2 - p B s + w0^2.
  for (int k = 0; k < 3; ++k) {
    const std::complex<double> p = std::polar(1.0, kPi * (2.0 * (k + 1) + 2.0) / 6.0);
    const std::complex<double> root = std::sqrt(p * p * bw * bw - 4.0 * w0sq);
    std::complex<double> s = (p * bw + root) / 2.0;
    if (s.imag() < 0) s = (p * bw - root) / 2.0;
    const std::complex<double> z = (fs2 + s) / (fs2 - s);
    // Zeros at z = 1 and z = -1: one of the band-pass zeros at 0 and at infinity each.
    f.sections[static_cast<size_t>(k)] = {1, 0, -1, -2 * z.real(), std::norm(z)};
  }
  const double g = std::pow(std::abs(f.Response(exact, rate)), -1.0 / 3.0);
  for (OctaveFilter::Section& sec : f.sections) {
    sec.b0 *= g;
    sec.b2 *= g;
  }
  return f;
}

// A fourth-order Butterworth high-pass at `hz` (bilinear, prewarped), as two of the
// filter's sections and a third that passes.
OctaveFilter InfrasoundHighPass(double hz, int32_t rate) {
  OctaveFilter f;
  const double k = std::tan(kPi * hz / rate);
  for (size_t i = 0; i < 2; ++i) {
    const double q = 1 / (2 * std::cos(kPi * (2.0 * double(i) + 1) / 8));
    const double norm = 1 / (1 + k / q + k * k);
    f.sections[i] = {norm, -2 * norm, norm, 2 * (k * k - 1) * norm, (1 - k / q + k * k) * norm};
  }
  f.sections[2] = {1, 0, 0, 0, 0};
  return f;
}

}  // namespace

std::complex<double> OctaveFilter::Response(double hz, int32_t rate) const {
  const std::complex<double> z1 = std::polar(1.0, -2 * kPi * hz / rate), z2 = z1 * z1;
  std::complex<double> h = 1;
  for (const Section& s : sections) h *= (s.b0 + s.b1 * z1 + s.b2 * z2) / (1.0 + s.a1 * z1 + s.a2 * z2);
  return h;
}

namespace {

// The filter's impulse response: a second of its ringing holds all but a trace of
// the lowest band's.
std::vector<double> ImpulseResponse(const OctaveFilter& f, int32_t rate) {
  std::vector<double> h(static_cast<size_t>(std::max(rate, 1)), 0.0);
  h[0] = 1;
  f.Run(h);
  return h;
}

}  // namespace

double OctaveFilter::EnergyDelay(int32_t rate) const {
  const std::vector<double> h = ImpulseResponse(*this, rate);
  double energy = 0, moment = 0;
  for (size_t k = 0; k < h.size(); ++k) {
    energy += h[k] * h[k];
    moment += double(k) * h[k] * h[k];
  }
  return energy > 0 ? moment / energy : 0;
}

int32_t OctaveFilter::RingSamples(int32_t rate) const {
  const std::vector<double> h = ImpulseResponse(*this, rate);
  double energy = 0;
  for (double x : h) energy += x * x;
  double after = energy;
  size_t k = 0;
  while (k < h.size() && after > 1e-6 * energy) after -= h[k] * h[k], ++k;
  return static_cast<int32_t>(k);
}

void OctaveFilter::Run(std::span<double> signal) const {
  for (const Section& s : sections) {
    double z1 = 0, z2 = 0;
    for (double& x : signal) {
      const double y = s.b0 * x + z1;
      z1 = s.b1 * x - s.a1 * y + z2;
      z2 = s.b2 * x - s.a2 * y;
      x = y;
    }
  }
}

std::vector<OctaveFilter> OctaveFilters(int32_t rate) {
  std::vector<OctaveFilter> filters;
  if (rate <= 0) return filters;
  for (size_t k = 0; k < std::size(kNominalCentres); ++k) {
    const double exact = 1000.0 * std::pow(kOctave, double(k) - 4.0);
    if (exact * std::sqrt(kOctave) > kBandRateLimit * rate) break;
    filters.push_back(MakeOctaveFilter(kNominalCentres[k], exact, rate));
  }
  return filters;
}

int32_t ImpulseOnset(std::span<const float> impulse, int32_t rate, bool* quietBefore) {
  if (quietBefore) *quietBefore = false;
  double peak = 0;
  size_t at = 0;
  for (size_t i = 0; i < impulse.size(); ++i)
    if (double(impulse[i]) * impulse[i] > peak) {
      peak = double(impulse[i]) * impulse[i];
      at = i;
    }
  if (!(peak > 0) || !std::isfinite(peak)) return -1;
  // The energy of the last millisecond at each sample: a lone noise sample before the
  // impulse does not bring it within 20 dB of its loudest millisecond.
  const auto w = static_cast<size_t>(std::max(1, rate / 1000));
  std::vector<double> window(impulse.size());
  double sum = 0, loudest = 0;
  for (size_t i = 0; i < impulse.size(); ++i) {
    sum += double(impulse[i]) * impulse[i];
    if (i >= w) sum -= double(impulse[i - w]) * impulse[i - w];
    window[i] = sum;
    loudest = std::max(loudest, sum);
  }
  size_t rise = 0;
  while (rise < at && window[rise] < loudest / 100) ++rise;
  size_t onset = rise >= w ? rise + 1 - w : 0;
  while (onset < at && double(impulse[onset]) * impulse[onset] < peak / 100) ++onset;
  if (quietBefore) *quietBefore = rise >= w || onset < w;
  return static_cast<int32_t>(onset);
}

NoiseTruncation LundebyTruncation(std::span<const double> e, int32_t rate) {
  NoiseTruncation t;
  const size_t n = e.size();
  if (rate <= 0 || n < 20) return t;
  // Noise first from the last tenth, the decay from 10 ms averages.
  t.noiseDb = Db(MeanEnergy(e, n - n / 10, n));
  Smoothed s = Smooth(e, static_cast<size_t>(std::max(1, rate / 100)));
  Line line = FitBetween(s, 1e300, t.noiseDb + 10, rate);
  if (!line.ok || !(line.slope < 0)) return t;
  double cross = std::clamp((t.noiseDb - line.level) / line.slope, 1.0, double(n));
  for (int pass = 0; pass < 5; ++pass) {
    // Five averages per 10 dB of decay.
    const double perTenDb = -10 / line.slope;
    const auto w = static_cast<size_t>(std::clamp(perTenDb / 5, 1.0, double(n) / 10));
    // Noise from 10 dB of decay past the crossing, but at least the last tenth.
    const double from = std::min(cross + perTenDb, 0.9 * double(n));
    const double noise = MeanEnergy(e, static_cast<size_t>(std::max(0.0, from)), n);
    t.noiseDb = Db(noise);
    // Without the noise's own energy the late decay keeps its slope down to the noise.
    s = Smooth(e, w, noise);
    // The late decay over 20 dB, ending 5 dB above the noise.
    Line late = FitBetween(s, t.noiseDb + 25, t.noiseDb + 5, rate);
    if (!late.ok || !(late.slope < 0)) late = FitBetween(s, 1e300, t.noiseDb + 5, rate);
    if (!late.ok || !(late.slope < 0)) break;
    line = late;
    const double next = std::clamp((t.noiseDb - line.level) / line.slope, 1.0, double(n));
    const bool settled = std::fabs(next - cross) < double(w);
    cross = next;
    if (settled) break;
  }
  t.ok = true;
  // The decay's start from the line through all of it down to 10 dB above the noise:
  // the late line alone, taken back to the start, strays by dBs in narrow bands.
  // It starts at its loudest interval (after a gap, the first past it), which may lie
  // well behind the direct sound.
  const Line whole = FitBetween(Smooth(e, s.width, std::pow(10.0, t.noiseDb / 10)), 1e300, t.noiseDb + 10, rate);
  t.startDb = whole.ok ? whole.level + whole.slope * whole.from : line.level;
  t.cross = static_cast<int32_t>(std::clamp(std::round(cross), 1.0, double(n)));
  t.levelDb = line.level;
  t.slopeDb = line.slope;
  const double kappa = -line.slope * std::numbers::ln10 / 10;
  t.tailEnergy = std::pow(10.0, (line.level + line.slope * t.cross) / 10) / kappa;
  return t;
}

bool RoomParameterValues::IsMarked(const std::string& name) const {
  return std::any_of(marked.begin(), marked.end(), [&](const MarkedValue& m) { return m.name == name; });
}

std::string RoomParameterValues::Reason(const std::string& name) const {
  for (const MarkedValue& m : marked)
    if (m.name == name) return m.reason;
  return {};
}

const std::array<const char*, 11>& RoomParameterKeys() {
  static const std::array<const char*, 11> keys = {"edt_s",  "t20_s",  "t30_s",   "r_edt", "r_t20", "r_t30",
                                                   "c50_db", "c80_db", "d50_pct", "ts_ms", "inr_db"};
  return keys;
}

std::optional<double> RoomParameterValue(const RoomParameterValues& v, const std::string& key) {
  const std::optional<double> RoomParameterValues::*members[] = {
      &RoomParameterValues::edt_s,  &RoomParameterValues::t20_s,  &RoomParameterValues::t30_s,
      &RoomParameterValues::r_edt,  &RoomParameterValues::r_t20,  &RoomParameterValues::r_t30,
      &RoomParameterValues::c50_db, &RoomParameterValues::c80_db, &RoomParameterValues::d50_pct,
      &RoomParameterValues::ts_ms,  &RoomParameterValues::inr_db};
  const auto& keys = RoomParameterKeys();
  for (size_t i = 0; i < keys.size(); ++i)
    if (key == keys[i]) return v.*members[i];
  return std::nullopt;
}

PreparedImpulse PrepareImpulse(std::span<const float> impulse, int32_t rate) {
  PreparedImpulse p;
  // A response ends cut where it ends in more exact zeros than its own noise could
  // give: more than twice the longest run of them before, and at least a
  // millisecond, since a measurement leaves a sample or so of zeros at its end. The
  // zeros were not measured, and the bands' filters would ring on into them.
  size_t kept = impulse.size();
  while (kept > 0 && impulse[kept - 1] == 0) --kept;
  size_t longest = 0;
  for (size_t i = 0, run = 0; i < kept; ++i) longest = std::max(longest, run = impulse[i] == 0 ? run + 1 : 0);
  const size_t zeros = impulse.size() - kept;
  if (kept > 0 && zeros > std::max<size_t>(2 * longest, static_cast<size_t>(std::max(1, rate / 1000))))
    p.cutMs = 1000.0 * double(kept) / std::max(rate, 1);
  // A DC offset, the mean of the last tenth, would stand broadband as a noise floor
  // that never falls. One that carries less of the last tenth's energy than the
  // noise does is no floor, and may be sound that is not there elsewhere.
  p.samples.assign(impulse.begin(), impulse.begin() + static_cast<std::ptrdiff_t>(kept));
  std::vector<float>& x = p.samples;
  double sum = 0, squares = 0;
  for (size_t i = kept - kept / 10; i < kept; ++i) sum += x[i], squares += double(x[i]) * x[i];
  const double dc = kept / 10 > 0 ? sum / double(kept / 10) : 0;
  if (kept / 10 > 0 && dc * dc >= squares / double(kept / 10) - dc * dc) {
    float peak = 0;
    for (float& v : x) peak = std::max(peak, std::fabs(v = static_cast<float>(v - dc)));
    // What the subtraction leaves of a response that was only its offset is rounding.
    if (peak <= 1e-6 * std::fabs(dc)) std::fill(x.begin(), x.end(), 0.0f);
  }
  return p;
}

namespace {

// The noise of the stretch before the onset, through band filter f (none: broadband,
// already filtered), less the filter's settling and the millisecond before the
// onset. Nothing where the stretch is short, not quiet, or mostly exact zeros: a
// padded front holds no noise.
template <typename Sample>
NoiseBefore BandNoiseBefore(const std::vector<Sample>& x, int32_t onset, bool quiet, int32_t rate,
                            const OctaveFilter* f) {
  NoiseBefore b;
  if (!quiet || rate <= 0 || onset <= 0 || static_cast<size_t>(onset) > x.size()) return b;
  const auto end = static_cast<size_t>(std::max(0, onset - rate / 1000));
  const auto settle = static_cast<size_t>(std::max(f ? f->RingSamples(rate) : 0, rate / 100));
  if (end < settle + static_cast<size_t>(rate / 200)) return b;
  const auto head = x.begin() + static_cast<std::ptrdiff_t>(end);
  if (2 * static_cast<size_t>(std::count(x.begin(), head, Sample(0))) > end) return b;
  std::vector<double> v(x.begin(), head);
  if (f) f->Run(v);
  double sum = 0;
  for (size_t i = settle; i < end; ++i) sum += v[i] * v[i];
  b.db = Db(sum / double(end - settle));
  b.seconds = double(end - settle) / rate;
  return b;
}

}  // namespace

RoomParameters ComputeRoomParameters(std::span<const float> impulse, int32_t rate) {
  RoomParameters p;
  p.rate = rate;
  const std::vector<OctaveFilter> filters = OctaveFilters(rate);
  // A sample that is not a number would turn every sum into one.
  if (!std::all_of(impulse.begin(), impulse.end(), [](float x) { return std::isfinite(x); })) {
    for (const char* k : RoomParameterKeys())
      p.broadband.marked.push_back({k, "The impulse holds samples that are not numbers"});
    for (const OctaveFilter& f : filters) {
      p.bands.push_back(p.broadband);
      p.bands.back().centreHz = f.nominalHz;
    }
    return p;
  }
  const PreparedImpulse prepared = PrepareImpulse(impulse, rate);
  const std::vector<float>& x = prepared.samples;
  // The sound is what the bands hold: below half the lowest band's lower edge a
  // deconvolution leaves what the test signal hardly excites, noise that is no sound,
  // neither broadband nor for the onset. Filtered from the first sample, so that it
  // has settled by the onset.
  std::vector<double> broad(x.begin(), x.end());
  if (!filters.empty()) InfrasoundHighPass(filters.front().lowerHz / 2, rate).Run(broad);
  const std::vector<float> sound(broad.begin(), broad.end());
  bool quiet = false;
  const int32_t onset = rate > 0 ? ImpulseOnset(sound, rate, &quiet) : -1;
  const std::span<const float> from =
      onset < 0 ? std::span<const float>{} : std::span<const float>(x).subspan(static_cast<size_t>(onset));
  std::vector<double> band(from.size()), energy(from.size());
  for (const OctaveFilter& f : filters) {
    // The band is filtered from the broadband onset; its time origin moves on by the
    // centre time of the filter's own ringing, so that the early and late windows
    // and the centre time meet its energy where the unfiltered sound had it.
    std::copy(from.begin(), from.end(), band.begin());
    f.Run(band);
    for (size_t i = 0; i < band.size(); ++i) energy[i] = band[i] * band[i];
    p.bands.push_back(Analyse(energy, rate, std::round(f.EnergyDelay(rate)), f.RingSamples(rate), f.nominalHz,
                              prepared.cutMs, BandNoiseBefore(x, onset, quiet, rate, &f)));
  }
  for (size_t i = 0; i < from.size(); ++i) {
    const double v = broad[static_cast<size_t>(onset) + i];
    energy[i] = v * v;
  }
  p.broadband =
      Analyse(energy, std::max(rate, 1), 0, 0, 0, prepared.cutMs, BandNoiseBefore(broad, onset, quiet, rate, nullptr));
  if (onset >= 0 && !quiet) {
    // Without a quiet stretch before it the start is uncertain, and with it every
    // value timed from the start.
    const auto unsure = [](RoomParameterValues& v) {
      for (const char* k : {"edt_s", "c50_db", "c80_db", "d50_pct", "ts_ms"})
        if (!v.IsMarked(k)) v.marked.push_back({k, "The noise before the impulse is within 20 dB of its peak"});
    };
    for (RoomParameterValues& b : p.bands) unsure(b);
    unsure(p.broadband);
  }
  return p;
}

namespace {

// What the run's test signal leaves out of the result. The MLS run's crossover cuts
// all below half its frequency 40 dB: the bands reaching down there and broadband
// are not the room's. A noise-like signal (MLS, hybrid) whose pre-excitation is
// shorter than the decay measures the decay's run-in with it, spread as noise as far
// down as the decay falls within the pre-excitation: values that need the decay
// further above their noise are marked. A sweep sets that error apart in time.
void MarkWhatTheTestSignalLeaves(RoomParameters& p, const MeasurementHeader& h) {
  const auto mark = [](RoomParameterValues& v, const std::string& key, const std::string& why) {
    if (!v.IsMarked(key)) v.marked.push_back({key, why});
  };
  std::vector<RoomParameterValues*> rows;
  for (RoomParameterValues& b : p.bands) rows.push_back(&b);
  rows.push_back(&p.broadband);
  const std::vector<OctaveFilter> filters = OctaveFilters(p.rate);
  if (h.MeasConfig == 42 && h.CrossoverFrequency > 0 && std::isfinite(h.CrossoverFrequency)) {
    const double below = h.CrossoverFrequency / 2.0;
    const std::string why = "The test signal's crossover at " + Fixed(h.CrossoverFrequency, 0) +
                            " Hz takes out what lies below " + Fixed(below, 0) + " Hz";
    for (size_t i = 0; i < rows.size(); ++i)
      if (i >= filters.size() || filters[i].lowerHz < below)
        for (const char* k : RoomParameterKeys()) mark(*rows[i], k, why);
  }
  if ((h.MeasConfig == 42 || h.MeasConfig == 43) && p.rate > 0 && h.PreExcitationExponent > 0 &&
      h.PreExcitationExponent < 31) {
    const double pre = double(int64_t{1} << h.PreExcitationExponent) / p.rate;
    for (RoomParameterValues* v : rows) {
      const double t = std::max({v->edt_s.value_or(0), v->t20_s.value_or(0), v->t30_s.value_or(0)});
      if (!(t > 0)) continue;
      const double falls = 60 * pre / t;
      const std::string why = "The test signal's pre-excitation of " + Fixed(pre, 2) +
                              " s is too short for this decay: it falls " + Fixed(falls, 0) + " dB in it";
      // What each value needs, as of the noise.
      const std::pair<const char*, double> needs[] = {{"t30_s", 45},  {"r_t30", 45},  {"t20_s", 35},   {"r_t20", 35},
                                                      {"edt_s", 20},  {"r_edt", 20},  {"c50_db", 20},  {"c80_db", 20},
                                                      {"d50_pct", 20}, {"ts_ms", 20}};
      for (const auto& [k, need] : needs)
        if (falls < need) mark(*v, k, why);
    }
  }
}

}  // namespace

bool RoomParametersOfResult(int32_t curve, RoomParameters& out, std::string& error) {
  const int32_t curves = std::clamp<int32_t>(ResultsDataSetInfo[0].NumInSet, 0, kMaxResults);
  if (curves == 0) {
    error = "No measurement is loaded";
    return false;
  }
  if (curve < 1 || curve > curves) {
    error = "There is no curve " + std::to_string(curve) + ": the set holds " + std::to_string(curves) +
            (curves == 1 ? " curve" : " curves");
    return false;
  }
  const int32_t rate = ResultsDataSetInfo[0].SampleRate;
  const int32_t order = ResultsDataSetInfo[0].PeriodExponent;
  if (rate <= 0 || order < 1) {
    error = "The loaded set has no sample rate or length";
    return false;
  }
  const auto n = size_t{1} << std::min<int32_t>(order, kMaxSamplesExponent);
  const std::span<const float> impulse = std::span<const float>(ImpulseSet[static_cast<size_t>(curve - 1)]).first(n);
  const std::string name = "Curve " + std::to_string(curve);
  if (!std::all_of(impulse.begin(), impulse.end(), [](float x) { return std::isfinite(x); })) {
    error = name + " holds samples that are not numbers";
    return false;
  }
  const PreparedImpulse prepared = PrepareImpulse(impulse, rate);
  if (std::all_of(prepared.samples.begin(), prepared.samples.end(), [](float x) { return x == 0; })) {
    error = name + " is silent";
    return false;
  }
  const std::vector<OctaveFilter> filters = OctaveFilters(rate);
  if (!filters.empty() && n < static_cast<size_t>(filters.front().RingSamples(rate))) {
    error = name + " is too short for the " + Fixed(filters.front().nominalHz, 0) + " Hz band's filter: " +
            std::to_string(n) + " samples, at least " + std::to_string(filters.front().RingSamples(rate)) + " needed";
    return false;
  }
  out = ComputeRoomParameters(impulse, rate);
  MarkWhatTheTestSignalLeaves(out, ResultsDataSetInfo[static_cast<size_t>(curve - 1)]);
  out.curve = curve;
  return true;
}

namespace {

// Decimals each value is written with.
int Decimals(const std::string& key) {
  if (key == "r_edt" || key == "r_t20" || key == "r_t30") return 4;
  if (key == "edt_s" || key == "t20_s" || key == "t30_s") return 3;
  return 2;
}

std::string Marked(const RoomParameterValues& v) {
  std::string s;
  for (const MarkedValue& m : v.marked) s += (s.empty() ? "" : " ") + m.name;
  return s;
}

std::string JsonText(const std::string& text) {
  std::string s = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') s += '\\';
    s += c;
  }
  return s + "\"";
}

}  // namespace

std::string RoomParametersCsv(const RoomParameters& p) {
  std::string out = "band";
  for (const char* k : RoomParameterKeys()) out += std::string(",") + k;
  out += ",marked\n";
  const auto row = [&out](const RoomParameterValues& v, const std::string& label) {
    out += label;
    for (const char* k : RoomParameterKeys()) {
      const std::optional<double> x = RoomParameterValue(v, k);
      out += ",";
      if (x) out += Fixed(*x, Decimals(k));
    }
    out += "," + Marked(v) + "\n";
  };
  for (const RoomParameterValues& b : p.bands) row(b, Fixed(b.centreHz, 0));
  row(p.broadband, "broadband");
  return out;
}

std::string RoomParametersJson(const RoomParameters& p) {
  const auto object = [](const RoomParameterValues& v, bool band) {
    std::string s = "{\"centre_hz\": " + (band ? Fixed(v.centreHz, 0) : std::string("null")) + ", ";
    for (const char* k : RoomParameterKeys()) {
      const std::optional<double> x = RoomParameterValue(v, k);
      s += "\"" + std::string(k) + "\": " + (x ? Fixed(*x, Decimals(k) + 2) : "null") + ", ";
    }
    // Each marked value with its reason.
    std::string marked;
    for (const MarkedValue& m : v.marked) marked += (marked.empty() ? "" : ", ") + JsonText(m.name) + ": " + JsonText(m.reason);
    return s + "\"marked\": {" + marked + "}}";
  };
  std::string out = "{\"curve\": " + std::to_string(p.curve) + ", \"bands\": [";
  for (size_t i = 0; i < p.bands.size(); ++i) out += (i ? ", " : "") + object(p.bands[i], true);
  return out + "], \"broadband\": " + object(p.broadband, false) + "}\n";
}

bool SaveRoomParametersCsv(const std::string& path, const RoomParameters& p) {
  return WriteWholeFileAtomic(path, RoomParametersCsv(p));
}

}  // namespace zentor
