#include "base/binary_io.h"

#include <QFile>
#include <QString>
#include <bit>
#include <cstring>

namespace zentor {

static_assert(std::endian::native == std::endian::little, "file codecs assume a little-endian host");

std::string Utf8ToLatin1(const std::string& s) {
  QString q = QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
  std::string out;
  out.reserve(static_cast<size_t>(q.size()));
  for (QChar c : q) out.push_back(c.unicode() < 256 ? static_cast<char>(c.unicode()) : '?');
  return out;
}

std::string Latin1ToUtf8(const std::string& s) {
  return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size())).toStdString();
}

template <class T>
void BinaryWriter::Put(T v) {
  uint8_t b[sizeof(T)];
  std::memcpy(b, &v, sizeof(T));
  buf_.insert(buf_.end(), b, b + sizeof(T));
}

void BinaryWriter::Integer(int16_t v) { Put(v); }
void BinaryWriter::Long(int32_t v) { Put(v); }
void BinaryWriter::Single(float v) { Put(v); }
void BinaryWriter::Double(double v) { Put(v); }

void BinaryWriter::String(const std::string& utf8) {
  std::string l = Utf8ToLatin1(utf8);
  if (l.size() > 32767) l.resize(32767);
  Integer(static_cast<int16_t>(l.size()));
  buf_.insert(buf_.end(), l.begin(), l.end());
}

void BinaryWriter::FixedString(const std::string& utf8, size_t n) {
  std::string l = Utf8ToLatin1(utf8);
  l.resize(n, ' ');
  buf_.insert(buf_.end(), l.begin(), l.end());
}

void BinaryWriter::Bytes(std::span<const uint8_t> b) { buf_.insert(buf_.end(), b.begin(), b.end()); }
void BinaryWriter::Integers(std::span<const int16_t> v) {
  for (auto x : v) Put(x);
}
void BinaryWriter::Longs(std::span<const int32_t> v) {
  for (auto x : v) Put(x);
}
void BinaryWriter::Singles(std::span<const float> v) {
  for (auto x : v) Put(x);
}
void BinaryWriter::Doubles(std::span<const double> v) {
  for (auto x : v) Put(x);
}

bool BinaryReader::Need(size_t n) {
  if (!ok_ || n > data_.size() - pos_) {
    ok_ = false;
    return false;
  }
  return true;
}

template <class T>
bool BinaryReader::Get(T& v) {
  if (!Need(sizeof(T))) return false;
  std::memcpy(&v, data_.data() + pos_, sizeof(T));
  pos_ += sizeof(T);
  return true;
}

bool BinaryReader::Integer(int16_t& v) { return Get(v); }
bool BinaryReader::Long(int32_t& v) { return Get(v); }
bool BinaryReader::Single(float& v) { return Get(v); }
bool BinaryReader::Double(double& v) { return Get(v); }

bool BinaryReader::String(std::string& utf8) {
  int16_t len = 0;
  if (!Integer(len)) return false;
  if (len < 0) {
    ok_ = false;
    return false;
  }
  return FixedString(utf8, static_cast<size_t>(len));
}

bool BinaryReader::FixedString(std::string& utf8, size_t n) {
  if (!Need(n)) return false;
  std::string l(reinterpret_cast<const char*>(data_.data() + pos_), n);
  pos_ += n;
  utf8 = Latin1ToUtf8(l);
  return true;
}

bool BinaryReader::Bytes(std::span<uint8_t> out) {
  if (!Need(out.size())) return false;
  if (!out.empty()) std::memcpy(out.data(), data_.data() + pos_, out.size());
  pos_ += out.size();
  return true;
}

template <class T>
static bool GetArray(BinaryReader& r, std::span<T> out, bool (BinaryReader::*one)(T&)) {
  if (out.size() > r.remaining() / sizeof(T)) {
    r.Fail();
    return false;
  }
  for (auto& x : out) (r.*one)(x);
  return r.ok();
}

bool BinaryReader::Integers(std::span<int16_t> out) { return GetArray(*this, out, &BinaryReader::Integer); }
bool BinaryReader::Longs(std::span<int32_t> out) { return GetArray(*this, out, &BinaryReader::Long); }
bool BinaryReader::Singles(std::span<float> out) { return GetArray(*this, out, &BinaryReader::Single); }
bool BinaryReader::Doubles(std::span<double> out) { return GetArray(*this, out, &BinaryReader::Double); }

bool BinaryReader::Skip(size_t n) {
  if (!Need(n)) return false;
  pos_ += n;
  return true;
}

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& out, int64_t maxBytes) {
  QFile f(QString::fromStdString(path));
  if (!f.open(QIODevice::ReadOnly)) return false;
  if (f.size() > maxBytes) return false;
  QByteArray all = f.read(maxBytes + 1);
  if (all.size() > maxBytes) return false;
  if (f.error() != QFileDevice::NoError) return false;
  out.assign(all.begin(), all.end());
  return true;
}

}  // namespace zentor
