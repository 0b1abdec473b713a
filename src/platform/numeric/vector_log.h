// The natural logarithm of four doubles at once, for loops that take the log of
// every point. Every lane sees the same operations in the same order whatever
// the vector width, so a build for wide vectors and a plain one agree bit for bit.
#pragma once

#include <cfloat>
#include <cmath>

namespace zentor::vec {

using Quad = double __attribute__((vector_size(32)));
using QuadBits = long long __attribute__((vector_size(32)));

// ln v for v in the normal range, within one unit in the last place; anything
// else gives NaN. The mantissa is brought to [√½, √2) and ln(1 + f) =
// 2 atanh(f / (2 + f)) summed as a minimax series.
[[gnu::always_inline]] inline void Log(const Quad& v, Quad& out) {
  constexpr double Lg1 = 6.666666666666735130e-01, Lg2 = 3.999999999940941908e-01, Lg3 = 2.857142874366239149e-01,
                   Lg4 = 2.222219843214978396e-01, Lg5 = 1.818357216161805012e-01, Lg6 = 1.531383769920937332e-01,
                   Lg7 = 1.479819860511658591e-01, ln2Hi = 6.93147180369123816490e-01,
                   ln2Lo = 1.90821492927058770002e-10;
  const auto bits = __builtin_bit_cast(QuadBits, v);
  const QuadBits mantissa = (bits & 0x000FFFFFFFFFFFFFLL) | 0x3FF0000000000000LL;
  const QuadBits exponent = (bits >> 52) | 0x4330000000000000LL;  // 2⁵² + the biased exponent
  Quad m = __builtin_bit_cast(Quad, mantissa);
  Quad e = __builtin_bit_cast(Quad, exponent) - (4503599627370496.0 + 1023.0);
  const QuadBits high = m > 1.4142135623730951;
  m = high ? m * 0.5 : m;
  e = high ? e + 1.0 : e;
  const Quad f = m - 1.0, s = f / (2.0 + f), z = s * s, w = z * z;
  const Quad R = z * (Lg1 + w * (Lg3 + w * (Lg5 + w * Lg7))) + w * (Lg2 + w * (Lg4 + w * Lg6));
  const Quad halfSquare = 0.5 * f * f;
  const Quad log = e * ln2Hi - ((halfSquare - (s * (halfSquare + R) + e * ln2Lo)) - f);
  const Quad nan = {NAN, NAN, NAN, NAN};
  out = (v >= DBL_MIN) & (v <= DBL_MAX) ? log : nan;
}

}  // namespace zentor::vec
