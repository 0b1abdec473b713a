#include "base/binary_io.h"

#include <QString>
#include <bit>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

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

namespace {

std::string TooLarge(int64_t maxBytes) {
  const std::string bound = maxBytes % (1 << 20) == 0 ? std::to_string(maxBytes >> 20) + " MiB"
                                                     : std::to_string(maxBytes) + " bytes";
  return "larger than " + bound + ", more than any such file";
}

}  // namespace

std::string SystemReason(int error) {
  switch (error) {
    case ENOENT: return "not found";
    case EACCES:
    case EPERM: return "permission denied";
    case ELOOP: return "a loop of symbolic links";
    case ENOTDIR: return "not found: a folder in its path is a file";
    case ENAMETOOLONG: return "the name is too long";
    case EROFS: return "the disk is read-only";
    case ENOSPC:
    case EDQUOT: return "the disk is full";
    case EISDIR: return "a folder";
    default: return std::strerror(error);
  }
}

std::string FileReadProblem(const std::string& path, int64_t maxBytes) {
  struct stat st {};
  if (path.empty()) return "not found";
  if (::stat(path.c_str(), &st) != 0) return SystemReason(errno);
  if (!S_ISREG(st.st_mode)) return "not a regular file";
  if (st.st_size > maxBytes) return TooLarge(maxBytes);
  // A file the user may not read is refused for that, not as one that cannot be opened.
  if (::access(path.c_str(), R_OK) != 0) return SystemReason(errno);
  return {};
}

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& out, int64_t maxBytes, std::string* why) {
  std::string problem = FileReadProblem(path, maxBytes);
  if (problem.empty()) {
    // The name's bytes as given: a Latin-1 name is no UTF-8 a QString would keep.
    errno = 0;
    std::ifstream f(path, std::ios::binary);
    std::vector<uint8_t> all;
    char chunk[1 << 16];
    // Past the bound by a byte at most: the file may have grown since it was measured.
    while (f && static_cast<int64_t>(all.size()) <= maxBytes) {
      f.read(chunk, sizeof chunk);
      all.insert(all.end(), chunk, chunk + f.gcount());
    }
    if (!f.is_open()) problem = errno != 0 ? SystemReason(errno) : "cannot be opened";
    else if (f.bad()) problem = "cannot be read";
    else if (static_cast<int64_t>(all.size()) > maxBytes) problem = TooLarge(maxBytes);
    else out = std::move(all);
  }
  if (why) *why = problem;
  return problem.empty();
}

std::string TextFromFileBytes(std::span<const uint8_t> b) {
  if (b.size() >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) return std::string(b.begin() + 3, b.end());
  const bool le = b.size() >= 2 && b[0] == 0xFF && b[1] == 0xFE, be = b.size() >= 2 && b[0] == 0xFE && b[1] == 0xFF;
  if (!le && !be) return std::string(b.begin(), b.end());
  std::u16string units;
  for (size_t i = 2; i + 1 < b.size(); i += 2)
    units.push_back(static_cast<char16_t>(le ? b[i] | b[i + 1] << 8 : b[i] << 8 | b[i + 1]));
  return QString::fromUtf16(units.data(), static_cast<qsizetype>(units.size())).toStdString();
}

std::string_view WithoutByteOrderMark(std::string_view text) {
  return text.starts_with("\xEF\xBB\xBF") ? text.substr(3) : text;
}

bool IsUtf8(std::string_view s) {
  size_t i = 0;
  while (i < s.size()) {
    const auto c = static_cast<unsigned char>(s[i]);
    size_t n = 0;
    uint32_t cp = 0;
    if (c < 0x80) n = 0, cp = c;
    else if (c >= 0xC2 && c < 0xE0) n = 1, cp = c & 0x1F;
    else if (c >= 0xE0 && c < 0xF0) n = 2, cp = c & 0x0F;
    else if (c >= 0xF0 && c < 0xF5) n = 3, cp = c & 0x07;
    else return false;
    if (s.size() - i <= n) return false;
    for (size_t k = 1; k <= n; ++k) {
      const auto d = static_cast<unsigned char>(s[i + k]);
      if ((d & 0xC0) != 0x80) return false;
      cp = cp << 6 | (d & 0x3F);
    }
    // Overlong forms, surrogates and code points past U+10FFFF are not UTF-8.
    if ((n == 2 && cp < 0x800) || (n == 3 && (cp < 0x10000 || cp > 0x10FFFF)) || (cp >= 0xD800 && cp < 0xE000))
      return false;
    i += n + 1;
  }
  return true;
}

std::string AsUtf8(std::string_view s) {
  if (IsUtf8(s)) return std::string(s);
  std::string out;
  for (char ch : s) {
    const auto c = static_cast<unsigned char>(ch);
    if (c < 0x80) {
      out += ch;
    } else {
      out += static_cast<char>(0xC0 | c >> 6);
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::string PrintableText(std::string_view s) {
  static const char* hex = "0123456789abcdef";
  const std::string text = AsUtf8(s);
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    const auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
    if (c < 0x20 || c == 0x7F) {
      out += "\\x";
      out += hex[c >> 4];
      out += hex[c & 15];
    } else if (c == 0xC2 && next >= 0x80 && next <= 0x9F) {
      // U+0080 to U+009F: a terminal takes these as controls too (U+009B starts a sequence).
      out += "\\u00";
      out += hex[next >> 4];
      out += hex[next & 15];
      ++i;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

}  // namespace zentor
