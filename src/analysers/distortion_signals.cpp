#include "analysers/distortion_signals.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>

#include "base/text_number.h"

namespace zentor {

const std::array<float, kMultitoneTones> kExcitationFreqTable{
    20.0f,     32.47691f, 51.8496f,  82.26203f, 125.7167f, 193.8219f, 332.5781f, 515.3283f,
    784.5864f, 1258.219f, 1948.659f, 3223.798f, 5035.808f, 7725.117f, 12330.74f, 20674.94f};

namespace {

// Candidates examined before a list counts as unbounded (a huge order typed into a
// field that nothing validated).
constexpr int64_t kMaxCandidates = int64_t{1} << 22;

// Adds a sine of amplitude a and frequency f (Hz) to work. The phase advances by a
// rotating phasor, resynchronised often enough to stay exact in double.
void AddSine(std::span<float> work, double a, double f, int32_t rate) {
  const double step = 2.0 * std::numbers::pi * f / rate;
  const std::complex<double> rot(std::cos(step), std::sin(step));
  constexpr std::size_t kResync = 4096;
  for (std::size_t start = 0; start < work.size(); start += kResync) {
    const double ph = std::fmod(step * static_cast<double>(start), 2.0 * std::numbers::pi);
    std::complex<double> z(std::cos(ph), std::sin(ph));
    const std::size_t end = std::min(work.size(), start + kResync);
    for (std::size_t i = start; i < end; ++i) {
      work[i] += static_cast<float>(a * z.imag());
      z *= rot;
    }
  }
}

// Collects the products that fall in [fmin, fmax).
class Collector {
 public:
  Collector(float fmin, float fmax) : fmin_(fmin), fmax_(fmax) {}
  void Add(double v) {
    ++examined_;
    const float f = static_cast<float>(std::fabs(v));
    if (f >= fmin_ && f < fmax_) {
      if (static_cast<int32_t>(list_.freqs.size()) >= kDistListSize) {
        list_.overflow = true;
        return;
      }
      list_.freqs.push_back(f);
    }
  }
  bool Done() {
    if (examined_ > kMaxCandidates) list_.overflow = true;
    return list_.overflow;
  }
  ProductList Take() {
    std::sort(list_.freqs.begin(), list_.freqs.end());
    return std::move(list_);
  }

 private:
  float fmin_, fmax_;
  int64_t examined_ = 0;
  ProductList list_;
};

std::vector<double> Tones(std::span<const float> tones) {
  std::vector<double> e;
  for (float f : tones) {
    if (f == 0.0f) break;
    e.push_back(f);
  }
  return e;
}

// Every product of order N is at least N x (smallest tone) - (largest tone): past the
// band's top no later order adds anything.
bool BeyondBand(const std::vector<double>& e, int64_t n, float fmax) {
  if (e.empty()) return true;
  double lo = std::fabs(e[0]), hi = lo;
  for (double v : e) {
    lo = std::min(lo, std::fabs(v));
    hi = std::max(hi, std::fabs(v));
  }
  return lo > 0 && static_cast<double>(n) * lo - hi >= fmax;
}

void AddIntermod(Collector& c, const std::vector<double>& e, int32_t order, float fmax) {
  const std::size_t n = e.size();
  for (std::size_t i = 0; i < n; ++i)
    for (std::size_t j = i + 1; j < n; ++j) {
      c.Add(e[j] + e[i]);
      c.Add(e[j] - e[i]);
    }
  for (int64_t N = 2; N <= order && !c.Done() && !BeyondBand(e, N, fmax); ++N) {
    const double k = static_cast<double>(N);
    for (std::size_t i = 0; i < n; ++i)
      for (std::size_t j = 0; j < n; ++j)
        if (j != i) c.Add(k * e[i] + e[j]);
    for (std::size_t i = 0; i < n; ++i)
      for (std::size_t j = 0; j < n; ++j)
        if (j != i) c.Add(e[j] - k * e[i]);
  }
}

void AddHarmonics(Collector& c, const std::vector<double>& e, int32_t harmonicOrder, float fmax) {
  for (std::size_t i = 0; i < e.size(); ++i)
    for (int64_t N = 2; N <= harmonicOrder && !c.Done(); ++N) {
      if (std::fabs(e[i]) > 0 && static_cast<double>(N) * std::fabs(e[i]) >= fmax) break;
      c.Add(static_cast<double>(N) * e[i]);
    }
}

}  // namespace

float MultitoneWeight(float f) {
  const float f2 = f * f;
  const float num = f2 * f;
  const float den = (f2 + 20.6f * 20.6f) * std::sqrt(f2 + 158.5f * 158.5f) * (f2 + 12200.0f * 12200.0f);
  const float b = 20.0f * std::log10(num / den) + 163.624f;
  return std::exp(b / 10.0f);
}

void FadeEnds(std::span<float> work, int32_t n) {
  const std::size_t len = work.size();
  const std::size_t m = std::min<std::size_t>(static_cast<std::size_t>(std::max(n, 0)), len / 2);
  for (std::size_t i = 0; i < m; ++i) {
    const float g = static_cast<float>(0.5 * (1.0 - std::cos(std::numbers::pi * static_cast<double>(i) / m)));
    work[i] *= g;
    work[len - 1 - i] *= g;
  }
}

void ScaleToPlay(std::span<const float> work, std::span<int16_t> play) {
  float peak = 0;
  for (float v : work) peak = std::max(peak, std::fabs(v));
  if (peak < 1.0f) peak = 1.0f;
  const float scale = kDistPlayPeak / peak;
  // Levels typed beyond any sense overflow the sum: nothing is played then.
  const std::size_t n = std::isfinite(peak) ? std::min(work.size(), play.size()) : 0;
  for (std::size_t i = 0; i < n; ++i) play[i] = static_cast<int16_t>(RoundHalfEven(work[i] * scale));
  for (std::size_t i = n; i < play.size(); ++i) play[i] = 0;
}

void BuildMultitoneSignal(std::span<float> work, std::span<int16_t> play, std::span<const float> freqs, int32_t rate) {
  std::fill(work.begin(), work.end(), 0.0f);
  for (float f : freqs) {
    if (f == 0.0f) break;
    const float af = std::fabs(f);
    AddSine(work, MultitoneWeight(af), af, rate);
  }
  FadeEnds(work, kMultitoneFade);
  ScaleToPlay(work, play);
  std::fill(work.begin(), work.end(), 0.0f);
}

void BuildTwoToneWave(std::span<float> work, std::span<int16_t> play, float f1, float f2, float level1, float level2,
                      int32_t rate) {
  std::fill(work.begin(), work.end(), 0.0f);
  AddSine(work, std::pow(10.0, level1 / 20.0), f1, rate);
  AddSine(work, std::pow(10.0, level2 / 20.0), f2, rate);
  FadeEnds(work, kTwoToneFade);
  ScaleToPlay(work, play);
  std::fill(work.begin(), work.end(), 0.0f);
}

ProductList ListIntermodProducts(std::span<const float> tones, int32_t order, float fmin, float fmax) {
  Collector c(fmin, fmax);
  AddIntermod(c, Tones(tones), order, fmax);
  return c.Take();
}

ProductList ListHarmonicProducts(std::span<const float> tones, int32_t harmonicOrder, float fmin, float fmax) {
  Collector c(fmin, fmax);
  AddHarmonics(c, Tones(tones), harmonicOrder, fmax);
  return c.Take();
}

ProductList ListTwoToneProducts(float f1, float f2, int32_t harmonicOrder, int32_t order, float fmin, float fmax) {
  Collector c(fmin, fmax);
  const std::vector<double> e{f1, f2};
  AddIntermod(c, e, order, fmax);
  AddHarmonics(c, e, harmonicOrder, fmax);
  return c.Take();
}

float SmallestSpacing(const std::vector<float>& sorted) {
  float spacing = 10000.0f;
  for (std::size_t k = 0; k + 1 < sorted.size(); ++k) spacing = std::min(spacing, std::fabs(sorted[k + 1] - sorted[k]));
  return spacing;
}

void StoreList(const std::vector<float>& from, std::span<float> list) {
  std::fill(list.begin(), list.end(), 0.0f);
  std::copy_n(from.begin(), std::min(from.size(), list.size()), list.begin());
}

AnalysisBand BandFor(int32_t rate) {
  AnalysisBand b;
  b.binsPerHz = static_cast<float>(kDistTestLength) / static_cast<float>(rate);
  b.half = static_cast<int32_t>(RoundHalfEven(b.binsPerHz * kBandFactor / 2.0f));
  return b;
}

std::optional<float> BandPower(std::span<const float> S, std::span<const float> N, float f, const AnalysisBand& band) {
  const double c = RoundHalfEven(static_cast<double>(band.binsPerHz) * f);
  if (!(c - band.half >= 1 && c + band.half <= kDistTestLength / 2 - 1)) return std::nullopt;
  const int64_t centre = static_cast<int64_t>(c);
  float p = 0;
  for (int64_t i = centre - band.half; i <= centre + band.half; ++i) {
    if (i >= static_cast<int64_t>(S.size())) return std::nullopt;
    float v = S[static_cast<std::size_t>(i)];
    if (!N.empty()) {
      const auto k = static_cast<std::size_t>(RoundHalfEven(static_cast<double>(i) / 8.0));
      if (k < N.size()) v -= 8.0f * N[k];
    }
    p += v;
  }
  return std::max(p, 0.0f);
}

std::optional<DistortionDisplay> FormatDistortionResults(float excitationPower, float intermodPower,
                                                         float harmonicPower, bool percent) {
  if (excitationPower == 0.0f) return std::nullopt;
  DistortionDisplay d;
  const float powers[3] = {intermodPower, harmonicPower, intermodPower + harmonicPower};
  std::string* fields[3] = {&d.imd, &d.hd, &d.total};
  std::string lineValues[3];
  float values[3] = {};
  for (int k = 0; k < 3; ++k) {
    const float ratio = powers[k] / excitationPower;
    if (percent) {
      float value = 100.0f * std::sqrt(ratio);
      if (value > 0.1f) {
        value = static_cast<float>(Fix(value * 100.0f) / 100.0);
        *fields[k] = FormatSingle(value);
      } else {
        *fields[k] = "<0.1 ";
      }
      values[k] = value;
      lineValues[k] = FormatSingle(value);
    } else if (ratio > 1e-6f) {
      values[k] = static_cast<float>(Fix(10.0f * std::log10(ratio) * 10.0f) / 10.0);
      *fields[k] = lineValues[k] = FormatSingle(values[k]);
    } else {
      values[k] = ratio;
      *fields[k] = lineValues[k] = "<-60";
    }
  }
  d.hdUnits = percent ? "% HD" : "dB HD";
  d.imdUnits = percent ? "% IMD" : "dB IMD";
  d.totUnits = percent ? "% Tot" : "dB Total";
  d.imdResult = values[0];
  d.hdResult = values[1];
  d.imdLine = "IMD = " + lineValues[0] + " " + d.imdUnits;
  d.hdLine = "HD = " + lineValues[1] + " " + d.hdUnits;
  d.totalLine = "Total Distortion = " + lineValues[2] + " " + d.totUnits;
  return d;
}

std::optional<float> RelativeLevel(float power, float excitationPower, bool percent) {
  if (percent) return 100.0f * std::sqrt(power / excitationPower);
  const float p = std::fabs(power);
  if (!(p > 0.0f)) return std::nullopt;
  return 10.0f * std::log10(p / excitationPower);
}

std::string DistortionOutputText(const DistortionFileContent& c) {
  std::string out;
  auto record = [&out](const std::string& s) { out += "\"" + s + "\"\r\n"; };
  auto rows = [&](const std::vector<DistortionFileContent::Row>& list) {
    for (const auto& r : list) record(FormatSingle(r.freq) + ",  " + (r.level ? FormatSingle(*r.level) : "<-60"));
  };
  record("Mirabelt Zentor Distortion Output File");
  record("SPL Level =  " + c.splText + "dB");
  record(c.totalLine);
  record(c.imdLine);
  record(c.hdLine);
  record(c.dB ? "Excitation Frequency [Hz], Level [dB] " : "Excitation Frequency , Level (%) ");
  rows(c.excitation);
  record(c.dB ? "Intermodulation Frequency [Hz], Level [dB] " : "Intermodulation Frequency [Hz], Level (%) ");
  rows(c.intermod);
  record(c.dB ? "Harmonic Frequency [Hz], Level [dB] " : "Harmonic Frequency [Hz], Level (%) ");
  rows(c.harmonic);
  return out;
}

}  // namespace zentor
