#include "support/test_cd_player.h"

#include <algorithm>
#include <utility>
#include <cmath>
#include <fstream>
#include <iterator>
#include <numbers>

#include "platform/numeric/numeric.h"

namespace zentor::test {

namespace {

uint32_t U32(const std::vector<uint8_t>& b, size_t at) {
  return static_cast<uint32_t>(b[at]) | static_cast<uint32_t>(b[at + 1]) << 8 |
         static_cast<uint32_t>(b[at + 2]) << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}
uint16_t U16(const std::vector<uint8_t>& b, size_t at) {
  return static_cast<uint16_t>(b[at] | b[at + 1] << 8);
}

// The loudspeaker applied to one period of a channel, circularly.
std::vector<double> Through(const std::vector<int16_t>& x, int32_t n, int32_t rate, const Loudspeaker& s) {
  const auto m = static_cast<size_t>(n);
  std::vector<float> re(x.begin(), x.begin() + n), im(m);
  const int32_t order = static_cast<int32_t>(std::lround(std::log2(n)));
  fft(re, im, order);
  for (size_t k = 0; k <= m / 2; ++k) {
    const std::complex<double> y = s.Response(static_cast<double>(k) * rate / n) * std::complex<double>(re[k], im[k]);
    re[k] = re[(m - k) % m] = static_cast<float>(y.real());
    im[k] = static_cast<float>(y.imag());
    if (k > 0) im[m - k] = -im[k];
  }
  im[m / 2] = 0;
  ifft(re, im, order);
  return {re.begin(), re.end()};
}

}  // namespace

std::complex<double> Loudspeaker::Response(double hz) const {
  const std::complex<double> s(0, hz);
  const double q = std::numbers::sqrt2;
  const std::complex<double> hp = (s / highPassHz) * (s / highPassHz) /
                                  ((s / highPassHz) * (s / highPassHz) + q * (s / highPassHz) + 1.0);
  const std::complex<double> lp = 1.0 / ((s / lowPassHz) * (s / lowPassHz) + q * (s / lowPassHz) + 1.0);
  return gain * hp * lp * std::exp(std::complex<double>(0, -2 * std::numbers::pi * hz * delayS));
}

std::vector<double> Loudspeaker::Impulse(int32_t rate, int32_t n, double extraS) const {
  std::vector<int16_t> unit(static_cast<size_t>(n), 0);
  unit[0] = 16384;
  Loudspeaker later = *this;
  later.delayS += extraS;
  std::vector<double> h = Through(unit, n, rate, later);
  for (double& v : h) v /= 16384.0;
  return h;
}

bool ReadStereoWave(const std::string& path, int64_t maxFrames, StereoWave& out) {
  std::ifstream f(path, std::ios::binary);
  const std::vector<uint8_t> b((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  if (b.size() < 12 || std::string(b.begin(), b.begin() + 4) != "RIFF" ||
      std::string(b.begin() + 8, b.begin() + 12) != "WAVE")
    return false;
  bool haveFormat = false;
  for (size_t at = 12; at + 8 <= b.size();) {
    const std::string id(b.begin() + static_cast<std::ptrdiff_t>(at), b.begin() + static_cast<std::ptrdiff_t>(at + 4));
    const size_t size = U32(b, at + 4), body = at + 8;
    if (body + size > b.size()) return false;
    if (id == "fmt " && size >= 16) {
      if (U16(b, body) != 1 || U16(b, body + 2) != 2 || U16(b, body + 14) != 16) return false;
      out.rate = static_cast<int32_t>(U32(b, body + 4));
      haveFormat = true;
    } else if (id == "data" && haveFormat) {
      const int64_t frames = std::min<int64_t>(static_cast<int64_t>(size / 4), maxFrames);
      out.left.resize(static_cast<size_t>(frames));
      out.right.resize(static_cast<size_t>(frames));
      for (int64_t i = 0; i < frames; ++i) {
        out.left[static_cast<size_t>(i)] = static_cast<int16_t>(U16(b, body + 4 * static_cast<size_t>(i)));
        out.right[static_cast<size_t>(i)] = static_cast<int16_t>(U16(b, body + 4 * static_cast<size_t>(i) + 2));
      }
      return true;
    }
    at = body + size + (size & 1);
  }
  return false;
}

std::vector<double> PlayCD(const StereoWave& disc, const PlayedCD& how, int32_t cardRate, int64_t count) {
  const int32_t n = how.periodLength;
  std::vector<double> heard(static_cast<size_t>(n), 0.0);
  for (const auto& [channel, played] : {std::pair{&disc.left, how.channels != CdChannels::Right},
                                        std::pair{&disc.right, how.channels != CdChannels::Left}}) {
    if (!played) continue;
    const std::vector<double> y = Through(*channel, n, disc.rate, how.speaker);
    for (int32_t i = 0; i < n; ++i) heard[static_cast<size_t>(i)] += y[static_cast<size_t>(i)];
  }

  // Windowed-sinc interpolation of the periodic signal, band-limited below the
  // lower of the two Nyquist frequencies; the kernel is tabulated by phase.
  const double step = disc.rate * (1 + how.eps) / cardRate;  // disc frames per card sample
  const double cutoff = 0.95 * std::min(1.0, 1.0 / step);
  constexpr int32_t kHalf = 48, kPhases = 512;
  std::vector<double> table(static_cast<size_t>((kPhases + 1) * 2 * kHalf));
  for (int32_t p = 0; p <= kPhases; ++p)
    for (int32_t t = 0; t < 2 * kHalf; ++t) {
      const double x = (t - kHalf + 1) - static_cast<double>(p) / kPhases;  // tap offset from the point
      const double arg = std::numbers::pi * cutoff * x;
      const double sinc = std::abs(x) < 1e-12 ? 1.0 : std::sin(arg) / arg;
      const double w = 0.42 + 0.5 * std::cos(std::numbers::pi * x / kHalf) + 0.08 * std::cos(2 * std::numbers::pi * x / kHalf);
      table[static_cast<size_t>(p * 2 * kHalf + t)] = cutoff * sinc * (std::abs(x) < kHalf ? w : 0.0);
    }
  std::vector<double> out(static_cast<size_t>(count));
  for (int64_t m = 0; m < count; ++m) {
    const double t = how.startFrame + static_cast<double>(m) * step;
    const double base = std::floor(t);
    const double frac = t - base;
    const double pos = frac * kPhases;
    const auto p0 = static_cast<int32_t>(pos);
    const double a = pos - p0;
    const double* k0 = &table[static_cast<size_t>(p0 * 2 * kHalf)];
    const double* k1 = k0 + 2 * kHalf;
    const auto first = static_cast<int64_t>(base) - kHalf + 1;
    double sum = 0;
    for (int32_t j = 0; j < 2 * kHalf; ++j) {
      int64_t idx = (first + j) % n;
      if (idx < 0) idx += n;
      sum += heard[static_cast<size_t>(idx)] * ((1 - a) * k0[j] + a * k1[j]);
    }
    out[static_cast<size_t>(m)] = sum;
  }
  return out;
}

}  // namespace zentor::test
