// Number <-> text and rounding rules shared by every window, file and report.
// All conversions use the C locale ("." decimal mark), whatever the process locale.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zentor {

// Shortest decimal text as the original runtime printed it: a Single with up to
// 7 significant digits, a Double with up to 15; trailing zeros dropped, exponent
// form ("1.5E-05", "1E+20") outside the plain range. No leading blank.
std::string FormatSingle(float x);
std::string FormatDouble(double x);

// Fixed-point text with `decimals` places, as printf's %.Nf writes it in the C locale,
// for a value of any magnitude (DBL_MAX has 309 digits before the point).
std::string FixedPointText(double x, int decimals);

// Str(): the same text with a leading blank when the value is not negative.
std::string Str(double x);
std::string Str(float x);
std::string Str(int32_t x);  // also takes int
std::string Str(int16_t x);

// Val(): value of the leading number in the text (blanks skipped, "." decimal,
// optional exponent); 0 when the text does not start with a number.
double Val(std::string_view text);

// True when the whole text (surrounding blanks allowed) is one number.
bool IsNumeric(std::string_view text);

// Rounding to whole numbers, halves to the even neighbour. NaN gives 0, values
// out of range saturate; *ok (when given) is set false in either case.
double RoundHalfEven(double x);
int32_t CLng(double x, bool* ok = nullptr);
int16_t CInt(double x, bool* ok = nullptr);
// Truncation towards zero.
double Fix(double x);

// Trims blanks (space and tab) at both ends.
std::string Trim(std::string_view s);

}  // namespace zentor
