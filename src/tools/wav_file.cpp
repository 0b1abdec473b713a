#include "tools/wav_file.h"

#include <QFile>
#include <QString>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#include "base/binary_io.h"

namespace zentor {

namespace {

constexpr uint16_t kPcmCode = 1;
constexpr uint16_t kFloatCode = 3;
constexpr uint16_t kExtensibleCode = 0xFFFE;
constexpr int64_t kChunkHeaderBytes = 8;
constexpr int64_t kExtensibleFormatBytes = 40;
// A float sample 60 dB above full scale is no recording; squared and summed it
// would overflow the energy of the import.
constexpr float kLargestScaledSample = 32768.0f * 1000.0f;
// The PCM sub-format of an extensible header, after its first two bytes.
constexpr std::array<uint8_t, 14> kPcmGuidTail = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                                  0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t U32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

bool ReadExactly(QFile& f, int64_t at, uint8_t* out, int64_t n) {
  return f.seek(at) && f.read(reinterpret_cast<char*>(out), n) == n;
}

struct Format {
  uint16_t code = 0;
  uint16_t channels = 0;
  uint32_t rate = 0;
  uint32_t byteRate = 0;
  uint16_t blockAlign = 0;
  uint16_t bits = 0;
  uint16_t subFormat = 0;  // of an extensible header with the standard GUID tail, else 0
};

// How the samples are stored: bytes per sample, and float or integer.
struct SampleKind {
  int bytes = 0;  // 0: not a format the reader takes
  bool isFloat = false;
};

SampleKind KindOf(const Format& f) {
  const uint16_t code = f.code == kExtensibleCode ? f.subFormat : f.code;
  SampleKind k;
  if (code == kPcmCode && (f.bits == 16 || f.bits == 24 || f.bits == 32)) k.bytes = f.bits / 8;
  if (code == kFloatCode && f.bits == 32) k = {4, true};
  if (f.channels < 1 || f.blockAlign != k.bytes * f.channels) k.bytes = 0;
  return k;
}

// One stored sample as a 16-bit file of the same peak would hold it.
float ScaledSample(const uint8_t* p, SampleKind k) {
  if (k.isFloat) {
    float v = 0;
    const uint32_t bits = U32(p);
    std::memcpy(&v, &bits, sizeof v);
    return v * 32768.0f;
  }
  if (k.bytes == 3) {
    const auto v = static_cast<int32_t>((static_cast<uint32_t>(p[0]) << 8) | (static_cast<uint32_t>(p[1]) << 16) |
                                        (static_cast<uint32_t>(p[2]) << 24));
    return static_cast<float>(static_cast<double>(v) / 65536.0);
  }
  return static_cast<float>(static_cast<double>(static_cast<int32_t>(U32(p))) / 65536.0);
}

}  // namespace

WavHeader MakeWavHeader(int16_t channels, int32_t sampleRate, int32_t values) {
  WavHeader h;
  h.Channels = channels;
  h.SampleRate = sampleRate;
  h.BlockAlign = static_cast<int16_t>(2 * channels);
  h.ByteRate = sampleRate * h.BlockAlign;
  h.DataSize = 2 * values;
  h.RiffChunkSize = h.DataSize + 36;
  return h;
}

void WriteWavHeader(BinaryWriter& w, const WavHeader& h) {
  w.FixedString(h.RiffTag, 4);
  w.Long(h.RiffChunkSize);
  w.FixedString(h.FormTag, 4);
  w.FixedString(h.FormatTag, 4);
  w.Long(h.FormatChunkSize);
  w.Integer(h.FormatCode);
  w.Integer(h.Channels);
  w.Long(h.SampleRate);
  w.Long(h.ByteRate);
  w.Integer(h.BlockAlign);
  w.Integer(h.BitsPerSample);
  w.FixedString(h.DataTag, 4);
  w.Long(h.DataSize);
}

bool ReadWavHeader(BinaryReader& r, WavHeader& h) {
  r.FixedString(h.RiffTag, 4);
  r.Long(h.RiffChunkSize);
  r.FixedString(h.FormTag, 4);
  r.FixedString(h.FormatTag, 4);
  r.Long(h.FormatChunkSize);
  r.Integer(h.FormatCode);
  r.Integer(h.Channels);
  r.Long(h.SampleRate);
  r.Long(h.ByteRate);
  r.Integer(h.BlockAlign);
  r.Integer(h.BitsPerSample);
  r.FixedString(h.DataTag, 4);
  r.Long(h.DataSize);
  return r.ok();
}

std::string WavReadMessage(WavReadStatus s) {
  switch (s) {
    case WavReadStatus::Ok:
      return "";
    case WavReadStatus::NotRiffWave:
      return "Error 5441: Not a RIFF WAVE file";
    case WavReadStatus::NoFormatOrData:
      return "Error 5442: WAV file has no format or data chunk";
    case WavReadStatus::Damaged:
      return "Error 5443: WAV file is truncated or damaged";
    case WavReadStatus::NotPcm16:
      return "Error 5444: Only 16, 24 and 32 bit PCM and 32 bit float WAV files can be imported";
    case WavReadStatus::RateOutOfRange:
      return "Error 5445: WAV sample rate out of range";
    case WavReadStatus::Unreadable:
      return "Error 5446: WAV file could not be read";
  }
  return "";
}

std::string WavFileRefusal(WavReadStatus s, const std::string& path) {
  // Any size a RIFF file can state.
  const std::string why = s == WavReadStatus::Unreadable ? FileReadProblem(path, kLargestWavFileBytes) : "";
  return WavReadMessage(s) + ": " + path + (why.empty() ? "" : ": " + why);
}

WavReadStatus ReadWavFile(const std::string& path, int64_t maxFrames, WavFileContents& out) {
  if (!FileReadProblem(path, kLargestWavFileBytes).empty()) return WavReadStatus::Unreadable;
  QFile f(QString::fromStdString(path));
  if (!f.open(QIODevice::ReadOnly)) return WavReadStatus::Unreadable;
  const int64_t size = f.size();
  uint8_t head[12];
  if (size < 12) return WavReadStatus::NotRiffWave;
  if (!ReadExactly(f, 0, head, 12)) return WavReadStatus::Unreadable;
  if (std::memcmp(head, "RIFF", 4) != 0 || std::memcmp(head + 8, "WAVE", 4) != 0) return WavReadStatus::NotRiffWave;

  Format fmt;
  bool haveFormat = false, haveData = false;
  int64_t dataAt = 0, dataBytes = 0;
  // Walk the chunks to the end of the file, whatever the RIFF size claims.
  for (int64_t at = 12; at < size && !(haveFormat && haveData);) {
    if (size - at < kChunkHeaderBytes) return WavReadStatus::Damaged;
    uint8_t ch[kChunkHeaderBytes];
    if (!ReadExactly(f, at, ch, kChunkHeaderBytes)) return WavReadStatus::Unreadable;
    const int64_t bytes = U32(ch + 4);
    const int64_t body = at + kChunkHeaderBytes;
    if (bytes > size - body) return WavReadStatus::Damaged;
    if (std::memcmp(ch, "fmt ", 4) == 0 && !haveFormat) {
      if (bytes < 16) return WavReadStatus::Damaged;
      uint8_t b[kExtensibleFormatBytes] = {};
      const int64_t n = std::min(bytes, kExtensibleFormatBytes);
      if (!ReadExactly(f, body, b, n)) return WavReadStatus::Unreadable;
      fmt.code = U16(b);
      fmt.channels = U16(b + 2);
      fmt.rate = U32(b + 4);
      fmt.byteRate = U32(b + 8);
      fmt.blockAlign = U16(b + 12);
      fmt.bits = U16(b + 14);
      if (n == kExtensibleFormatBytes && std::equal(kPcmGuidTail.begin(), kPcmGuidTail.end(), b + 26))
        fmt.subFormat = U16(b + 24);
      haveFormat = true;
    } else if (std::memcmp(ch, "data", 4) == 0 && !haveData) {
      dataAt = body;
      dataBytes = bytes;
      haveData = true;
    }
    at = body + bytes + (bytes & 1);
  }
  if (!haveFormat || !haveData) return WavReadStatus::NoFormatOrData;
  const SampleKind kind = KindOf(fmt);
  if (kind.bytes == 0) return WavReadStatus::NotPcm16;
  if (fmt.rate < static_cast<uint32_t>(kLowestWavRate) || fmt.rate > static_cast<uint32_t>(kHighestWavRate))
    return WavReadStatus::RateOutOfRange;

  const int64_t frames = dataBytes / fmt.blockAlign;
  const int64_t kept = std::clamp<int64_t>(maxFrames, 0, frames);
  // Bounded by the data chunk, which lies within the file.
  const int64_t values = kept * fmt.channels;
  std::vector<int16_t> samples;
  std::vector<float> scaled;
  if (kind.bytes == 2) {
    samples.resize(static_cast<size_t>(values));
    if (values > 0 && !ReadExactly(f, dataAt, reinterpret_cast<uint8_t*>(samples.data()), values * 2))
      return WavReadStatus::Unreadable;
  } else {
    std::vector<uint8_t> raw(static_cast<size_t>(values * kind.bytes));
    if (values > 0 && !ReadExactly(f, dataAt, raw.data(), values * kind.bytes)) return WavReadStatus::Unreadable;
    scaled.resize(static_cast<size_t>(values));
    for (size_t i = 0; i < scaled.size(); ++i) {
      scaled[i] = ScaledSample(raw.data() + i * static_cast<size_t>(kind.bytes), kind);
      if (!(std::fabs(scaled[i]) <= kLargestScaledSample)) return WavReadStatus::Damaged;
    }
  }

  WavHeader h = MakeWavHeader(static_cast<int16_t>(fmt.channels), static_cast<int32_t>(fmt.rate), 0);
  h.DataSize = static_cast<int32_t>(std::min<int64_t>(dataBytes, INT32_MAX));
  h.RiffChunkSize = static_cast<int32_t>(std::min<int64_t>(dataBytes + 36, INT32_MAX));
  out.Header = h;
  out.Frames = frames;
  out.Samples = std::move(samples);
  out.Scaled = std::move(scaled);
  out.SourceBits = static_cast<int16_t>(fmt.bits);
  out.FloatSamples = kind.isFloat;
  return WavReadStatus::Ok;
}

std::vector<float> OneChannel(const std::vector<float>& interleaved, int32_t channels, int32_t channel) {
  std::vector<float> out;
  if (channels < 1 || channel < 0 || channel >= channels) return out;
  const auto step = static_cast<size_t>(channels);
  out.reserve(interleaved.size() / step);
  for (size_t i = static_cast<size_t>(channel); i < interleaved.size(); i += step) out.push_back(interleaved[i]);
  return out;
}

}  // namespace zentor
