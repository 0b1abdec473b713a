// Helpers of the file tests: a little-endian byte builder that follows the
// published offset tables independently of the program's codecs, a fingerprint
// of everything a failed read must leave alone, and a filled results store.
#pragma once

#include <QFile>
#include <gtest/gtest.h>
#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "core/records.h"
#include "display/graph_frame.h"
#include "display/view_state.h"
#include "mainwindow/measurement_file.h"

namespace zentor::test {

// Appends little-endian values; Mark() notes a field boundary.
class LeBytes {
 public:
  template <class T>
  LeBytes& Put(T v) {
    Mark();
    uint8_t b[sizeof(T)];
    std::memcpy(b, &v, sizeof(T));
    data.insert(data.end(), b, b + sizeof(T));
    return *this;
  }
  LeBytes& I16(int16_t v) { return Put(v); }
  LeBytes& I32(int32_t v) { return Put(v); }
  LeBytes& F32(float v) { return Put(v); }
  LeBytes& F64(double v) { return Put(v); }
  LeBytes& Str(const std::string& s) {
    I16(static_cast<int16_t>(s.size()));
    Mark();
    data.insert(data.end(), s.begin(), s.end());
    return *this;
  }
  LeBytes& Raw(const std::vector<uint8_t>& b) {
    Mark();
    data.insert(data.end(), b.begin(), b.end());
    return *this;
  }
  LeBytes& Zeros(size_t n) { return Raw(std::vector<uint8_t>(n, 0)); }
  // A record laid out by its offset table; each field start is a boundary.
  LeBytes& Record(const std::vector<uint8_t>& b, std::initializer_list<size_t> fieldOffsets) {
    const size_t at = data.size();
    Raw(b);
    for (size_t o : fieldOffsets) boundaries.push_back(at + o);
    return *this;
  }
  void Mark() { boundaries.push_back(data.size()); }
  size_t size() const { return data.size(); }

  std::vector<uint8_t> data;
  std::vector<size_t> boundaries;
};

template <class T>
void PutAt(std::vector<uint8_t>& buf, size_t offset, T v) {
  std::memcpy(buf.data() + offset, &v, sizeof(T));
}
template <class T>
T GetAt(const std::vector<uint8_t>& buf, size_t offset) {
  T v;
  std::memcpy(&v, buf.data() + offset, sizeof(T));
  return v;
}

// One header as the 196-byte offset table lays it out; seed makes every field distinct.
inline std::vector<uint8_t> GoldenHeader(int32_t numInSet, int32_t rate, int32_t periodExponent, float multiplier,
                                         int seed) {
  std::vector<uint8_t> h(196, 0);
  const float s = static_cast<float>(seed);
  for (auto [at, v] : {std::pair{0, numInSet}, {36, rate}, {40, periodExponent}, {44, periodExponent - 1}, {48, 43},
                       {56, 4 + seed}, {86, 15}, {90, 14}, {94, 13}, {98, -100 - seed}, {150, 30 + seed},
                       {158, 1000 + seed}, {162, 0x11223344}, {166, 0x55667788}, {192, 0x0A0B0C0D}})
    PutAt<int32_t>(h, static_cast<size_t>(at), v);
  for (auto [at, v] : {std::pair{4, 1.25}, {12, 150.5}, {20, 6.5}, {28, 20.5}, {60, 16.25}})
    PutAt<double>(h, static_cast<size_t>(at), v + s);
  for (auto [at, v] : {std::pair{76, -1}, {78, 0}, {80, 7 + seed}, {82, 8 + seed}, {84, 9 + seed}, {174, -1}})
    PutAt<int16_t>(h, static_cast<size_t>(at), static_cast<int16_t>(v));
  for (auto [at, v] : {std::pair{52, 0.0f}, {68, 10.5f + s}, {72, 20000.5f + s}, {102, -12.5f - s}, {106, 1234.5f + s},
                       {110, 45.5f + s}, {114, 20.25f}, {118, 50.25f}, {122, 10.25f}, {126, 500.25f}, {130, 200.25f},
                       {134, 0.75f}, {138, 5.5f}, {142, 15.5f}, {146, -10.5f}, {154, 0.333f}, {170, 2.125f + s},
                       {176, multiplier}, {180, 3.0f + s}, {184, 1.5f + s}, {188, 1.75f + s}})
    PutAt<float>(h, static_cast<size_t>(at), v);
  return h;
}

inline void AppendGoldenFrame(LeBytes& b, int16_t logX, int32_t xStart, const std::string& xTitle,
                              const std::string& yTitle, const std::string& caption) {
  b.I16(logX);
  for (int t = 0; t < 4; ++t) {
    std::vector<uint8_t> table(404);
    for (int i = 0; i < 101; ++i) PutAt<int32_t>(table, static_cast<size_t>(4 * i), t * 1000 + i);
    b.Raw(table);
  }
  for (int32_t v : {3, 10, 4, 10, xStart, xStart + 100, -30, 30}) b.I32(v);
  b.Str(xTitle).Str(yTitle).Str(caption);
  for (double v : {1.5, -2.5, 3.5, -4.5}) b.F64(v);
  for (int32_t v : {100, 1000, 1100, 100}) b.I32(v);
  std::vector<uint8_t> trailing(20);
  for (int i = 0; i < 20; ++i) trailing[static_cast<size_t>(i)] = static_cast<uint8_t>(i + 1);
  b.Raw(trailing);
}

// A complete .cfa file: n results of S samples, sample j of result i stored as
// (j mod 97 - 48) * 0.5 + i, with the given multipliers.
struct GoldenCfa {
  int32_t S = 1024;
  int32_t periodExponent = 10;
  int32_t rate = 48000;
  int32_t graphshown = 3;
  std::vector<float> multipliers{2.0f, 4.0f};
  int32_t calCount = 3;
  std::string calName = "mic.cal";
  std::string notes = "Living room";
  std::string titles[3] = {"Time [ms]", "Norm. Linear Level ", "T"};

  static float Stored(int i, int j) { return static_cast<float>(j % 97 - 48) * 0.5f + static_cast<float>(i); }

  LeBytes Build() const {
    const int32_t n = static_cast<int32_t>(multipliers.size());
    LeBytes b;
    b.I32(S).I16(-1).I16(0).I16(0).I16(0);
    AppendGoldenFrame(b, 0, -10, titles[0], titles[1], titles[2]);
    AppendGoldenFrame(b, -1, 5, "Frequency (Hz) ", "Level (dB)", "");
    std::vector<uint8_t> dc(36, 0);
    for (int i = 0; i < 10; ++i) dc[static_cast<size_t>(i)] = static_cast<uint8_t>(0xA0 + i);
    for (auto [at, v] : {std::pair{10, -1}, {12, 0x1234}, {14, -1}, {16, 0}, {18, 0}})
      PutAt<int16_t>(dc, static_cast<size_t>(at), static_cast<int16_t>(v));
    for (auto [at, v] : {std::pair{20, graphshown}, {24, 1}, {28, 0}, {32, 1}})
      PutAt<int32_t>(dc, static_cast<size_t>(at), v);
    b.Record(dc, {10, 12, 14, 16, 18, 20, 24, 28, 32});
    std::vector<uint8_t> idc(78, 0);
    for (auto [at, v] : {std::pair{0, 200.5f}, {4, 16.5f}, {70, 80.5f}, {74, 300.5f}})
      PutAt<float>(idc, static_cast<size_t>(at), v);
    PutAt<int32_t>(idc, 8, 4);
    for (auto [at, v] : {std::pair{12, -1}, {14, 0}, {64, -1}, {66, 0}, {68, -1}})
      PutAt<int16_t>(idc, static_cast<size_t>(at), static_cast<int16_t>(v));
    for (auto [at, v] : {std::pair{16, 1000.5}, {24, 2000.5}, {32, 1500.5}, {40, 2500.5}, {48, 2000.25}, {56, 3000.25}})
      PutAt<double>(idc, static_cast<size_t>(at), v);
    b.Record(idc, {4, 8, 12, 14, 16, 24, 32, 40, 48, 56, 64, 66, 68, 70, 74});
    for (int32_t i = 0; i < std::max(n, 1); ++i)
      b.Record(GoldenHeader(n, rate, periodExponent, n == 0 ? 0.0f : multipliers[static_cast<size_t>(i)], i),
               {4,   12,  20,  28,  36,  40,  44,  48,  52,  56,  60,  68,  72,  76,  78,  80,
                82,  84,  86,  90,  94,  98,  102, 106, 110, 114, 118, 122, 126, 130, 134, 138,
                142, 146, 150, 154, 158, 162, 166, 170, 174, 176, 180, 184, 188, 192});
    for (int32_t i = 0; i < n; ++i) {
      std::vector<uint8_t> col(static_cast<size_t>(S) * 4);
      for (int32_t j = 0; j < S; ++j) PutAt<float>(col, static_cast<size_t>(j) * 4, Stored(i, j));
      b.Raw(col);
    }
    b.I32(calCount);
    std::vector<uint8_t> freqs(4004), levels(4004);
    for (int k = 0; k < 1001; ++k) {
      PutAt<float>(freqs, static_cast<size_t>(4 * k), k < calCount ? 20.0f * static_cast<float>(k + 1) : 0.0f);
      PutAt<float>(levels, static_cast<size_t>(4 * k), k < calCount ? 0.5f * static_cast<float>(k) : 0.0f);
    }
    b.Raw(freqs).Raw(levels).Str(calName);
    b.I32(static_cast<int32_t>(notes.size()));
    std::vector<uint8_t> codes(30002, 0);
    for (size_t k = 0; k < notes.size(); ++k)
      PutAt<int16_t>(codes, 2 * (k + 1), static_cast<int16_t>(static_cast<unsigned char>(notes[k])));
    b.Raw(codes);
    std::vector<uint8_t> calCodes(802, 0);
    for (size_t k = 0; k < calName.size(); ++k)
      PutAt<int16_t>(calCodes, 2 * (k + 1), static_cast<int16_t>(calName[k]));
    b.Raw(calCodes);
    b.I32(static_cast<int32_t>(calName.size()));
    b.Mark();
    return b;
  }
};

// One filter as the 100-byte table lays it out; every field distinct.
inline std::vector<uint8_t> GoldenFilter(int32_t count, int seed, int32_t code) {
  std::vector<uint8_t> r(100, 0);
  for (int field = 0; field < 25; ++field) PutAt<int32_t>(r, static_cast<size_t>(4 * field), 1000 * seed + field);
  const float s = static_cast<float>(seed);
  for (int field : {3, 4, 5, 6, 7, 9, 12, 16, 17, 21}) PutAt<float>(r, static_cast<size_t>(4 * field), field + 0.5f + s);
  PutAt<int32_t>(r, 0, count);
  PutAt<float>(r, 72, 628.25f + s);  // Freq1
  PutAt<float>(r, 76, -2.5f - s);    // Q1
  PutAt<float>(r, 80, 1.25f);        // Q2
  PutAt<int32_t>(r, 96, code);
  return r;
}

inline std::vector<uint8_t> GoldenEQ(int32_t n, int32_t parametric, int32_t graphic) {
  std::vector<uint8_t> f(12, 0);
  PutAt<int32_t>(f, 0, n);
  PutAt<int32_t>(f, 4, parametric);
  PutAt<int32_t>(f, 8, graphic);
  for (int k = 0; k < n; ++k) {
    const std::vector<uint8_t> r = GoldenFilter(k == 0 ? n : 0, k, 1 + k % 5);
    f.insert(f.end(), r.begin(), r.end());
  }
  return f;
}

inline void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  QFile f(QString::fromStdString(path));
  ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
  f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
}

inline std::vector<uint8_t> ReadFileBytes(const std::string& path) {
  QFile f(QString::fromStdString(path));
  if (!f.open(QIODevice::ReadOnly)) return {};
  QByteArray all = f.readAll();
  return std::vector<uint8_t>(all.begin(), all.end());
}

// A hash of the store, filters, calibration, display state, notes and file names.
uint64_t StateFingerprint();

// n results of 2^exponent samples at the rate, sample j of result i = sin-like
// distinct values, LevelMultiplier 1.
void FillStore(int32_t n, int32_t exponent, int32_t rate, float multiplier = 1.0f);

}  // namespace zentor::test
