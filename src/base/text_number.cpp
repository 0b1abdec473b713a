#include "base/text_number.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <limits>

namespace zentor {

namespace {

// General (%g-like) form with the given significant digits, locale-free.
template <class T>
std::string FormatGeneral(T x, int digits) {
  if (std::isnan(x)) return "NaN";
  if (std::isinf(x)) return x < 0 ? "-Infinity" : "Infinity";
  if (x == 0) return "0";
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::general, digits);
  std::string s(buf, res.ptr);
  auto e = s.find('e');
  if (e != std::string::npos) s[e] = 'E';
  return s;
}

}  // namespace

std::string FixedPointText(double x, int decimals) {
  if (std::isnan(x)) return "nan";
  if (std::isinf(x)) return x < 0 ? "-inf" : "inf";
  decimals = decimals < 0 ? 0 : decimals > 40 ? 40 : decimals;
  char buf[400];
  const auto res = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::fixed, decimals);
  return std::string(buf, res.ec == std::errc() ? res.ptr : buf);
}

std::string FormatSingle(float x) { return FormatGeneral(x, 7); }
std::string FormatDouble(double x) { return FormatGeneral(x, 15); }

std::string Str(double x) {
  std::string s = FormatDouble(x);
  return (std::signbit(x) && x != 0) ? s : " " + s;
}
std::string Str(float x) {
  std::string s = FormatSingle(x);
  return (std::signbit(x) && x != 0) ? s : " " + s;
}
std::string Str(int32_t x) {
  std::string s(x < 0 ? 0 : 1, ' ');
  return s.append(std::to_string(x));
}
std::string Str(int16_t x) { return Str(static_cast<int32_t>(x)); }

std::string Trim(std::string_view s) {
  size_t a = 0, b = s.size();
  while (a < b && (s[a] == ' ' || s[a] == '\t')) ++a;
  while (b > a && (s[b - 1] == ' ' || s[b - 1] == '\t')) --b;
  return std::string(s.substr(a, b - a));
}

namespace {

// Length of the number at the start of s (sign, digits, ".", exponent), 0 if none.
size_t NumberPrefix(std::string_view s) {
  size_t i = 0;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
  size_t digits = 0;
  while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i, ++digits;
  if (i < s.size() && s[i] == '.') {
    ++i;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i, ++digits;
  }
  if (digits == 0) return 0;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E' || s[i] == 'd' || s[i] == 'D')) {
    size_t j = i + 1;
    if (j < s.size() && (s[j] == '+' || s[j] == '-')) ++j;
    size_t k = j;
    while (k < s.size() && std::isdigit(static_cast<unsigned char>(s[k]))) ++k;
    if (k > j) i = k;
  }
  return i;
}

double ParsePrefix(std::string_view s, size_t len) {
  std::string t(s.substr(0, len));
  for (char& c : t)
    if (c == 'd' || c == 'D') c = 'E';
  const char* b = t.c_str();
  if (*b == '+') ++b;
  double v = 0;
  auto r = std::from_chars(b, t.c_str() + t.size(), v);
  if (r.ec == std::errc::result_out_of_range) {
    // from_chars leaves v untouched on overflow/underflow; decide by the exponent sign.
    bool tiny = t.find("E-") != std::string::npos;
    v = tiny ? 0.0 : std::numeric_limits<double>::infinity();
    if (t[0] == '-') v = -v;
  }
  return v;
}

}  // namespace

double Val(std::string_view text) {
  size_t a = 0;
  while (a < text.size() && (text[a] == ' ' || text[a] == '\t')) ++a;
  std::string_view s = text.substr(a);
  size_t n = NumberPrefix(s);
  return n == 0 ? 0.0 : ParsePrefix(s, n);
}

bool IsNumeric(std::string_view text) {
  std::string t = Trim(text);
  if (t.empty()) return false;
  size_t n = NumberPrefix(t);
  return n != 0 && n == t.size();
}

double RoundHalfEven(double x) { return std::nearbyint(x); }  // default mode: to nearest even

namespace {
template <class I>
I RoundTo(double x, bool* ok) {
  if (ok) *ok = true;
  if (std::isnan(x)) {
    if (ok) *ok = false;
    return 0;
  }
  double r = std::nearbyint(x);
  if (r > static_cast<double>(std::numeric_limits<I>::max())) {
    if (ok) *ok = false;
    return std::numeric_limits<I>::max();
  }
  if (r < static_cast<double>(std::numeric_limits<I>::min())) {
    if (ok) *ok = false;
    return std::numeric_limits<I>::min();
  }
  return static_cast<I>(r);
}
}  // namespace

int32_t CLng(double x, bool* ok) { return RoundTo<int32_t>(x, ok); }
int16_t CInt(double x, bool* ok) { return RoundTo<int16_t>(x, ok); }
double Fix(double x) { return std::trunc(x); }

}  // namespace zentor
