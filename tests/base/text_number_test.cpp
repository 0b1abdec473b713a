#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <limits>
#include <vector>

#include "base/text_number.h"

namespace zentor {

TEST(TextNumber, FormsValIsNumericAndRoundingInAnyProcessLocale) {
  const std::pair<std::string, std::string> table[] = {
      {Str(99), " 99"}, {Str(-3), "-3"}, {Str(0), " 0"}, {Str(1.5), " 1.5"}, {Str(-0.25f), "-0.25"},
      {FormatSingle(0.1f), "0.1"}, {FormatDouble(static_cast<double>(0.1f)), "0.100000001490116"},
      {FormatDouble(1000.0), "1000"}, {FormatDouble(2.5), "2.5"}, {FormatDouble(1e20), "1E+20"},
      {FormatDouble(1.5e-5), "1.5E-05"}, {FormatSingle(12345678.0f), "1.234568E+07"},
      {FormatDouble(std::nan("")), "NaN"}};
  for (const auto& [made, want] : table) EXPECT_EQ(made, want);
  // The same under a comma-decimal process locale.
  if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) std::setlocale(LC_ALL, "fr_FR.UTF-8");
  EXPECT_EQ(FormatDouble(1.5), "1.5");
  EXPECT_DOUBLE_EQ(Val("1.5"), 1.5);
  EXPECT_EQ(Str(1.5f), " 1.5");
  std::setlocale(LC_ALL, "C");

  for (const auto& [text, v] : {std::pair{"  12.5abc", 12.5}, {"-3E2", -300.0}, {"1.5E", 1.5}, {"abc", 0.0}, {"", 0.0}})
    EXPECT_DOUBLE_EQ(Val(text), v) << text;
  EXPECT_TRUE(std::isinf(Val("1E999")));
  for (const char* yes : {" 50 ", "+1.5", ".5", "1.5E3"}) EXPECT_TRUE(IsNumeric(yes)) << yes;
  for (const char* no : {"1.5.3", "abc", "", "-", "1,5"}) EXPECT_FALSE(IsNumeric(no)) << no;
  for (const auto& [x, n] : {std::pair{2.5, 2}, {3.5, 4}, {-2.5, -2}, {-3.5, -4}}) EXPECT_EQ(CLng(x), n) << x;
  EXPECT_EQ(CInt(0.5), 0);
  EXPECT_EQ(CInt(1.5), 2);
  constexpr int32_t kTop = std::numeric_limits<int32_t>::max();
  const struct {
    double x;
    bool isInt;
    int32_t want;
    bool ok;
  } rounding[] = {{std::nan(""), false, 0, false},
               {1e12, false, kTop, false},
               {-1e9, true, std::numeric_limits<int16_t>::min(), false},
               {32767.4, true, 32767, true},
               {std::numeric_limits<double>::infinity(), false, kTop, false}};
  for (const auto& r : rounding) {
    bool ok = !r.ok;
    EXPECT_EQ(r.isInt ? CInt(r.x, &ok) : CLng(r.x, &ok), r.want) << r.x;
    EXPECT_EQ(ok, r.ok) << r.x;
  }
  EXPECT_DOUBLE_EQ(Fix(-2.7), -2);
  EXPECT_DOUBLE_EQ(Fix(2.7), 2);
}

// Fixed-point text of any magnitude, against the C library's own %f.
TEST(TextNumber, FixedPointTextOfAnyMagnitudeIsPrintfs) {
  for (const double x : {0.0, -0.5, 1.005, 1e60, 1e61, -3.5e200, std::numeric_limits<double>::max()}) {
    for (const int decimals : {0, 2, 6}) {
      std::vector<char> buf(400);
      std::snprintf(buf.data(), buf.size(), "%.*f", decimals, x);
      EXPECT_EQ(FixedPointText(x, decimals), buf.data()) << x;
    }
  }
}

}  // namespace zentor
