#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>

#include "base/text_number.h"

namespace zentor {

TEST(TextNumber, StrHasLeadingBlankUnlessNegative) {
  EXPECT_EQ(Str(99), " 99");
  EXPECT_EQ(Str(-3), "-3");
  EXPECT_EQ(Str(0), " 0");
  EXPECT_EQ(Str(1.5), " 1.5");
  EXPECT_EQ(Str(-0.25f), "-0.25");
}

TEST(TextNumber, ShortestSingleAndDoubleForms) {
  EXPECT_EQ(FormatSingle(0.1f), "0.1");
  EXPECT_EQ(FormatDouble(static_cast<double>(0.1f)), "0.100000001490116");
  EXPECT_EQ(FormatDouble(1000.0), "1000");
  EXPECT_EQ(FormatDouble(2.5), "2.5");
  EXPECT_EQ(FormatDouble(1e20), "1E+20");
  EXPECT_EQ(FormatDouble(1.5e-5), "1.5E-05");
  EXPECT_EQ(FormatSingle(12345678.0f), "1.234568E+07");
  EXPECT_EQ(FormatDouble(std::nan("")), "NaN");
}

TEST(TextNumber, ValAndIsNumeric) {
  EXPECT_DOUBLE_EQ(Val("  12.5abc"), 12.5);
  EXPECT_DOUBLE_EQ(Val("-3E2"), -300);
  EXPECT_DOUBLE_EQ(Val("1.5E"), 1.5);
  EXPECT_DOUBLE_EQ(Val("abc"), 0);
  EXPECT_DOUBLE_EQ(Val(""), 0);
  EXPECT_TRUE(std::isinf(Val("1E999")));
  EXPECT_TRUE(IsNumeric(" 50 "));
  EXPECT_TRUE(IsNumeric("+1.5"));
  EXPECT_TRUE(IsNumeric(".5"));
  EXPECT_TRUE(IsNumeric("1.5E3"));
  EXPECT_FALSE(IsNumeric("1.5.3"));
  EXPECT_FALSE(IsNumeric("abc"));
  EXPECT_FALSE(IsNumeric(""));
  EXPECT_FALSE(IsNumeric("-"));
  EXPECT_FALSE(IsNumeric("1,5"));
}

TEST(TextNumber, RoundingHalfToEvenAndSaturation) {
  EXPECT_EQ(CLng(2.5), 2);
  EXPECT_EQ(CLng(3.5), 4);
  EXPECT_EQ(CLng(-2.5), -2);
  EXPECT_EQ(CLng(-3.5), -4);
  EXPECT_EQ(CInt(0.5), 0);
  EXPECT_EQ(CInt(1.5), 2);
  bool ok = true;
  EXPECT_EQ(CLng(std::nan(""), &ok), 0);
  EXPECT_FALSE(ok);
  ok = true;
  EXPECT_EQ(CLng(1e12, &ok), std::numeric_limits<int32_t>::max());
  EXPECT_FALSE(ok);
  ok = true;
  EXPECT_EQ(CInt(-1e9, &ok), std::numeric_limits<int16_t>::min());
  EXPECT_FALSE(ok);
  ok = false;
  EXPECT_EQ(CInt(32767.4, &ok), 32767);
  EXPECT_TRUE(ok);
  EXPECT_EQ(CLng(std::numeric_limits<double>::infinity(), &ok), std::numeric_limits<int32_t>::max());
  EXPECT_DOUBLE_EQ(Fix(-2.7), -2);
  EXPECT_DOUBLE_EQ(Fix(2.7), 2);
}

TEST(TextNumber, IndependentOfProcessLocale) {
  const char* set = std::setlocale(LC_ALL, "de_DE.UTF-8");
  if (!set) set = std::setlocale(LC_ALL, "fr_FR.UTF-8");
  EXPECT_EQ(FormatDouble(1.5), "1.5");
  EXPECT_DOUBLE_EQ(Val("1.5"), 1.5);
  EXPECT_EQ(Str(1.5f), " 1.5");
  std::setlocale(LC_ALL, "C");
}

}  // namespace zentor
