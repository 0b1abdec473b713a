#include "tools/wav_file.h"

#include <QFile>
#include <QString>
#include <algorithm>
#include <array>
#include <cstring>

namespace zentor {

namespace {

constexpr uint16_t kPcmCode = 1;
constexpr uint16_t kExtensibleCode = 0xFFFE;
constexpr int64_t kChunkHeaderBytes = 8;
constexpr int64_t kExtensibleFormatBytes = 40;
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
  bool pcmSubFormat = false;
};

bool IsPcm16(const Format& f) {
  const bool pcm = f.code == kPcmCode || (f.code == kExtensibleCode && f.pcmSubFormat);
  return pcm && f.bits == 16 && f.channels >= 1 && f.blockAlign == 2 * f.channels;
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
      return "Error 5444: Only 16 bit PCM WAV files can be imported";
    case WavReadStatus::RateOutOfRange:
      return "Error 5445: WAV sample rate out of range";
    case WavReadStatus::Unreadable:
      return "Error 5446: WAV file could not be read";
  }
  return "";
}

WavReadStatus ReadWavFile(const std::string& path, int64_t maxFrames, WavFileContents& out) {
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
      fmt.pcmSubFormat = n == kExtensibleFormatBytes && U16(b + 24) == kPcmCode &&
                         std::equal(kPcmGuidTail.begin(), kPcmGuidTail.end(), b + 26);
      haveFormat = true;
    } else if (std::memcmp(ch, "data", 4) == 0 && !haveData) {
      dataAt = body;
      dataBytes = bytes;
      haveData = true;
    }
    at = body + bytes + (bytes & 1);
  }
  if (!haveFormat || !haveData) return WavReadStatus::NoFormatOrData;
  if (!IsPcm16(fmt)) return WavReadStatus::NotPcm16;
  if (fmt.rate < static_cast<uint32_t>(kLowestWavRate) || fmt.rate > static_cast<uint32_t>(kHighestWavRate))
    return WavReadStatus::RateOutOfRange;

  const int64_t frames = dataBytes / fmt.blockAlign;
  const int64_t kept = std::clamp<int64_t>(maxFrames, 0, frames);
  const int64_t values = kept * fmt.channels;
  std::vector<int16_t> samples(static_cast<size_t>(values));
  if (values > 0 && !ReadExactly(f, dataAt, reinterpret_cast<uint8_t*>(samples.data()), values * 2))
    return WavReadStatus::Unreadable;

  WavHeader h = MakeWavHeader(static_cast<int16_t>(fmt.channels), static_cast<int32_t>(fmt.rate), 0);
  h.DataSize = static_cast<int32_t>(std::min<int64_t>(dataBytes, INT32_MAX));
  h.RiffChunkSize = static_cast<int32_t>(std::min<int64_t>(dataBytes + 36, INT32_MAX));
  out.Header = h;
  out.Frames = frames;
  out.Samples = std::move(samples);
  return WavReadStatus::Ok;
}

}  // namespace zentor
