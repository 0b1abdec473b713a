#include <gtest/gtest.h>

#include <QString>

#include <limits>

#include "base/binary_io.h"
#include "support/fixture.h"

namespace zentor {

class BinaryIo : public test::ZentorTest {};

TEST_F(BinaryIo, RoundTripReadingPastTheEndAndFilesTooLongAreRefused) {
  BinaryWriter w;
  w.Integer(-2);
  w.Long(123456789);
  w.Single(1.25f);
  w.Double(-1e-300);
  w.String("Zürich");
  w.FixedString("ab", 4);
  const int16_t ints[] = {1, -1, 32767};
  const float floats[] = {0.5f, -0.25f};
  const double doubles[] = {std::numeric_limits<double>::max()};
  const int32_t longs[] = {-7, 7};
  w.Integers(ints);
  w.Singles(floats);
  w.Doubles(doubles);
  w.Longs(longs);
  // 2+4+4+8 + (2+6) + 4 + 6 + 8 + 8 + 8
  EXPECT_EQ(w.size(), 60u);
  EXPECT_EQ(w.data()[0], 0xFE);  // little-endian -2
  EXPECT_EQ(w.data()[1], 0xFF);

  BinaryReader r(w.data());
  int16_t i16, ri[3];
  int32_t i32, rl[2];
  float f, rf[2];
  double d, rd[1];
  std::string s, fixed;
  ASSERT_TRUE(r.Integer(i16) && r.Long(i32) && r.Single(f) && r.Double(d) && r.String(s) && r.FixedString(fixed, 4));
  EXPECT_EQ(i16, -2);
  EXPECT_EQ(i32, 123456789);
  EXPECT_EQ(f, 1.25f);
  EXPECT_EQ(d, -1e-300);
  EXPECT_EQ(s, "Zürich");
  EXPECT_EQ(fixed, "ab  ");
  ASSERT_TRUE(r.Integers(ri) && r.Singles(rf) && r.Doubles(rd) && r.Longs(rl));
  EXPECT_EQ(ri[2], 32767);
  EXPECT_EQ(rf[1], -0.25f);
  EXPECT_EQ(rd[0], std::numeric_limits<double>::max());
  EXPECT_EQ(rl[0], -7);
  EXPECT_TRUE(r.AtEnd());
  // Text outside Latin-1 is written as a question mark.
  BinaryWriter euro;
  euro.String("a€b");
  EXPECT_EQ(euro.data(), (std::vector<uint8_t>{3, 0, 'a', '?', 'b'}));

  // Reading past the end fails cleanly and stays failed.
  const std::vector<uint8_t> three = {1, 2, 3};
  BinaryReader past(three);
  int32_t v = 42;
  EXPECT_FALSE(past.Long(v));
  EXPECT_EQ(v, 42);
  int16_t s16 = 0;
  EXPECT_FALSE(past.Integer(s16)) << "a failed stream stays failed";
  EXPECT_FALSE(past.ok());

  // A string whose length runs past the end, and a negative length.
  w = BinaryWriter{};
  w.Integer(100);
  w.Bytes(std::vector<uint8_t>(10, 'x'));
  std::string str = "keep";
  BinaryReader r2(w.data());
  EXPECT_FALSE(r2.String(str));
  EXPECT_EQ(str, "keep");
  w = BinaryWriter{};
  w.Integer(-5);
  EXPECT_FALSE(BinaryReader(w.data()).String(str));

  // An array larger than what remains reads nothing.
  std::vector<float> big(1000, 7.0f);
  std::vector<uint8_t> bytes(16, 0);
  BinaryReader r4(bytes);
  EXPECT_FALSE(r4.Singles(big));
  EXPECT_EQ(big[0], 7.0f);
  EXPECT_EQ(r4.remaining(), 0u);

  std::string p = TempPath("big.bin");
  std::vector<uint8_t> data(1000, 7), back{1, 2, 3};
  ASSERT_TRUE(WriteWholeFileAtomic(p, data));
  EXPECT_FALSE(ReadWholeFile(p, back, 999));
  EXPECT_FALSE(ReadWholeFile(TempPath("missing.bin"), back, 100));
  EXPECT_EQ(back, (std::vector<uint8_t>{1, 2, 3}));
  ASSERT_TRUE(ReadWholeFile(p, back, 1000));
  EXPECT_EQ(back, data);
}

// Text from files of other programs: the UTF-8 check against Qt's own decoder, a
// byte-order mark dropped, UTF-16 decoded, Latin-1 read as Latin-1, controls shown.
TEST(TextBytes, Utf8CheckByteOrderMarksLatin1AndControls) {
  for (const std::string s : {"", "abc", "Z\xC3\xBCrich", "\xE2\x82\xAC", "\xF0\x9F\x8E\xB5", "\xFC", "\xC3",
                              "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xE2\x82"}) {
    const bool strict = QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())).toUtf8().toStdString() == s;
    EXPECT_EQ(IsUtf8(s), strict) << s;
    EXPECT_TRUE(IsUtf8(AsUtf8(s))) << s;
  }
  EXPECT_EQ(AsUtf8("caf\xE9"), "caf\xC3\xA9");
  EXPECT_EQ(PrintableText("a\x1b[2J\tb\xE9"), "a\\x1b[2J\\x09b\xC3\xA9");
  // C1 controls (U+0080 to U+009F) too, the letters beside them kept; a Latin-1 CSI byte as well.
  EXPECT_EQ(PrintableText("a\xC2\x9B" "2J\xC2\x80\xC2\xA0\xC3\x9B"), "a\\u009b2J\\u0080\xC2\xA0\xC3\x9B");
  EXPECT_EQ(PrintableText("\x9B" "1m"), "\\u009b1m");
  const auto text = [](const std::string& b) { return TextFromFileBytes(std::span(reinterpret_cast<const uint8_t*>(b.data()), b.size())); };
  EXPECT_EQ(text("\xEF\xBB\xBF" "20 1"), "20 1");
  EXPECT_EQ(text(std::string("\xFF\xFE" "C\0a\0f\0\xE9\0", 10)), "Caf\xC3\xA9");
  EXPECT_EQ(text(std::string("\xFE\xFF\0C\0\xE9", 6)), "C\xC3\xA9");
  EXPECT_EQ(WithoutByteOrderMark("\xEF\xBB\xBFPreamp"), "Preamp");
}

}  // namespace zentor
