// Little-endian sequential binary streams for the file formats: records are written
// member by member without gaps; a string is a 16-bit length and single-byte
// (Latin-1) characters. Every read is checked against the bytes that remain and a
// failed read leaves the reader failed for good, so a caller may read a whole
// record and test ok() once.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/atomic_file.h"  // WriteWholeFileAtomic, the one file writer

namespace zentor {

// In-memory text is UTF-8; files hold Latin-1. Characters outside Latin-1 become "?".
std::string Utf8ToLatin1(const std::string& s);
std::string Latin1ToUtf8(const std::string& s);

class BinaryWriter {
 public:
  void Integer(int16_t v);
  void Long(int32_t v);
  void Single(float v);
  void Double(double v);
  // 16-bit length then the characters; longer text is cut at 32767 characters.
  void String(const std::string& utf8);
  // Exactly n single-byte characters, padded with blanks (fixed-length fields).
  void FixedString(const std::string& utf8, size_t n);
  void Bytes(std::span<const uint8_t> b);
  void Integers(std::span<const int16_t> v);
  void Longs(std::span<const int32_t> v);
  void Singles(std::span<const float> v);
  void Doubles(std::span<const double> v);

  const std::vector<uint8_t>& data() const { return buf_; }
  std::vector<uint8_t>& data() { return buf_; }
  size_t size() const { return buf_.size(); }

 private:
  template <class T>
  void Put(T v);
  std::vector<uint8_t> buf_;
};

class BinaryReader {
 public:
  explicit BinaryReader(std::span<const uint8_t> data) : data_(data) {}

  bool Integer(int16_t& v);
  bool Long(int32_t& v);
  bool Single(float& v);
  bool Double(double& v);
  // A negative length or one past the end fails.
  bool String(std::string& utf8);
  bool FixedString(std::string& utf8, size_t n);
  bool Bytes(std::span<uint8_t> out);
  bool Integers(std::span<int16_t> out);
  bool Longs(std::span<int32_t> out);
  bool Singles(std::span<float> out);
  bool Doubles(std::span<double> out);
  bool Skip(size_t n);

  bool ok() const { return ok_; }
  size_t position() const { return pos_; }
  size_t remaining() const { return ok_ ? data_.size() - pos_ : 0; }
  bool AtEnd() const { return ok_ && pos_ == data_.size(); }
  // Marks the stream failed (used by readers whose own checks reject a value).
  void Fail() { ok_ = false; }

 private:
  bool Need(size_t n);
  template <class T>
  bool Get(T& v);
  std::span<const uint8_t> data_;
  size_t pos_ = 0;
  bool ok_ = true;
};

// Whole-file helpers; false when the file cannot be opened or fully read/written.
// A file longer than maxBytes (the largest legal file of the caller's format) is
// refused before anything is read, so a huge file never lands in memory; so is
// anything but a regular file (a FIFO would block, a device never end). `why`
// (when given) receives the reason, as FileReadProblem words it.
bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& out, int64_t maxBytes, std::string* why = nullptr);

// Empty when the file is a regular file of at most maxBytes, else why not:
// "not found", "permission denied", "a loop of symbolic links", "not a regular
// file", "larger than 16 MiB, more than any such file".
// Checked before a reader opens a file itself.
std::string FileReadProblem(const std::string& path, int64_t maxBytes);
// What a failed system call's error means to a user ("not found", "permission denied").
std::string SystemReason(int error);

// The bound on any text file the program reads: far beyond any real one.
constexpr int64_t kLargestTextFileBytes = int64_t{16} << 20;

// The text of a text file as UTF-8: a UTF-8 byte-order mark dropped, UTF-16 with
// its mark decoded; other bytes kept as they are.
std::string TextFromFileBytes(std::span<const uint8_t> bytes);

// The text without a leading UTF-8 byte-order mark.
std::string_view WithoutByteOrderMark(std::string_view text);

// True when the bytes are well-formed UTF-8.
bool IsUtf8(std::string_view s);
// The text itself when it is UTF-8, else its bytes read as Latin-1 (the files
// of older programs), so that it is always valid UTF-8.
std::string AsUtf8(std::string_view s);
// AsUtf8 with control characters written as \xNN (U+0080 to U+009F as \u00NN):
// safe to print on a terminal.
std::string PrintableText(std::string_view s);

}  // namespace zentor
