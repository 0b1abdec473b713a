// A started main window with the curve tools plugged in, synthetic result sets,
// WAV files built byte by byte (independently of the program's writer) and a
// fingerprint of everything a refused operation must leave alone.
#pragma once

#include <QByteArray>
#include <QCryptographicHash>
#include <QFile>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "core/records.h"
#include "core/work_arrays.h"
#include "mainwindow/measurement_file.h"
#include "mainwindow/window_fixtures.h"
#include "tools/curve_tools_links.h"

namespace zentor::test {

class ToolsTest : public MainViewsTest {
 protected:
  void SetUp() override {
    MainViewsTest::SetUp();
    InstallCurveToolsLinks();
    w->RefreshLinkedControls();
  }

  // n results of 2^exponent samples at fs; sample i of result k is f(k, i).
  void LoadSet(int32_t n, int32_t fs, int32_t exponent, const std::function<float(int32_t, int32_t)>& f) {
    LoadSilentSet(n, fs, exponent, 20.0f);
    const int32_t len = 1 << std::min(exponent, kMaxSamplesExponent);
    for (int32_t k = 0; k < n; ++k)
      for (int32_t i = 0; i < len; ++i) ImpulseSet[static_cast<size_t>(k)][static_cast<size_t>(i)] = f(k, i);
  }

  // The headers (field by field), the held samples and the shared 16-bit buffer.
  static QByteArray StoreFingerprint() {
    BinaryWriter wr;
    for (const MeasurementHeader& h : ResultsDataSetInfo) WriteMeasurementHeader(wr, h);
    QCryptographicHash hash(QCryptographicHash::Sha1);
    hash.addData(QByteArrayView(reinterpret_cast<const char*>(wr.data().data()), qsizetype(wr.size())));
    hash.addData(QByteArrayView(reinterpret_cast<const char*>(ImpulseSet.data()), qsizetype(sizeof ImpulseSet)));
    hash.addData(QByteArrayView(reinterpret_cast<const char*>(PcmSamples.data()),
                                qsizetype(PcmSamples.size() * sizeof(int16_t))));
    return hash.result();
  }

  static std::vector<uint8_t> ReadFile(const std::string& path) {
    QFile f(QString::fromStdString(path));
    if (!f.open(QIODevice::ReadOnly)) return {};
    const QByteArray all = f.readAll();
    return {all.begin(), all.end()};
  }
  static void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    QFile f(QString::fromStdString(path));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
  }
};

// The text of the message `action` shows, answered with OK.
inline std::string MessageFrom(ScriptedDialogs& dialogs, const std::function<void()>& action) {
  dialogs.ExpectMessage();
  action();
  const std::vector<std::string> texts = dialogs.MessageTexts();
  return texts.empty() ? std::string() : texts.back();
}

// A little-endian field read at a byte offset.
template <class T>
T At(const std::vector<uint8_t>& b, size_t at) {
  T v{};
  std::memcpy(&v, b.data() + at, sizeof v);
  return v;
}

// A WAV file put together by hand: "RIFF", "WAVE", a format chunk of fmtBytes
// (16, or 40 for the extensible form) and a data chunk of the given samples.
struct WavLayout {
  uint16_t code = 1;
  uint16_t channels = 1;
  uint32_t rate = 48000;
  uint16_t bits = 16;
  uint32_t fmtBytes = 16;
  bool pcmSubFormat = true;  // the extensible form's sub-format
  bool withData = true;
};

inline void Put16(std::vector<uint8_t>& b, uint16_t v) {
  b.push_back(uint8_t(v & 0xFF));
  b.push_back(uint8_t(v >> 8));
}
inline void Put32(std::vector<uint8_t>& b, uint32_t v) {
  for (int s = 0; s < 32; s += 8) b.push_back(uint8_t((v >> s) & 0xFF));
}
inline void PutTag(std::vector<uint8_t>& b, const char* t) { b.insert(b.end(), t, t + 4); }

inline std::vector<uint8_t> BuildWav(const WavLayout& s, const std::vector<int16_t>& samples) {
  std::vector<uint8_t> b;
  const uint32_t data = uint32_t(samples.size() * 2);
  PutTag(b, "RIFF");
  Put32(b, 4 + 8 + s.fmtBytes + (s.withData ? 8 + data : 0));
  PutTag(b, "WAVE");
  PutTag(b, "fmt ");
  Put32(b, s.fmtBytes);
  const size_t fmtStart = b.size();
  Put16(b, s.code);
  Put16(b, s.channels);
  Put32(b, s.rate);
  const uint16_t align = uint16_t(s.channels * s.bits / 8);
  Put32(b, s.rate * align);
  Put16(b, align);
  Put16(b, s.bits);
  if (s.fmtBytes >= 40) {
    Put16(b, 22);
    Put16(b, s.bits);
    Put32(b, 4);
    Put16(b, s.pcmSubFormat ? 1 : 3);
    for (uint8_t v : {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71})
      b.push_back(v);
  }
  b.resize(fmtStart + s.fmtBytes, 0);
  if (s.withData) {
    PutTag(b, "data");
    Put32(b, data);
    for (int16_t v : samples) Put16(b, uint16_t(v));
  }
  return b;
}

}  // namespace zentor::test
