#include "FormatFixed.h"

#include <cmath>
#include <cstdint>
#include <cstring>

#include "DecimalText.h"

namespace {

// ---- Exact decimal scaling for the number fields --------------------------------
//
// The fields take the value's 17-decimal string (below 10) or its 18-significant-
// digit string and cut it half up. For magnitudes below 1e17 both strings are the
// integer N = round(|v| * 10^k) (k = 17, or 17 - E for 10^E <= |v| < 10^(E+1)),
// rounded to nearest with ties to even as the C library's conversions do; N is
// formed exactly from the binary value with 128-bit integer arithmetic. Larger
// magnitudes go through the library's digit strings (DecimalText).

constexpr uint64_t kPow10[20] = {1ull,
                                 10ull,
                                 100ull,
                                 1000ull,
                                 10000ull,
                                 100000ull,
                                 1000000ull,
                                 10000000ull,
                                 100000000ull,
                                 1000000000ull,
                                 10000000000ull,
                                 100000000000ull,
                                 1000000000000ull,
                                 10000000000000ull,
                                 100000000000000ull,
                                 1000000000000000ull,
                                 10000000000000000ull,
                                 100000000000000000ull,
                                 1000000000000000000ull,
                                 10000000000000000000ull};
constexpr double kPow10Double[18] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,
                                     1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15, 1e16, 1e17};

struct U128 {
  uint64_t hi = 0, lo = 0;
};

// a * b in full (portable: the 32-bit build has no 128-bit integer type).
U128 Mul64(uint64_t a, uint64_t b) {
  const uint64_t a0 = a & 0xffffffffu, a1 = a >> 32, b0 = b & 0xffffffffu, b1 = b >> 32;
  const uint64_t p00 = a0 * b0, p01 = a0 * b1, p10 = a1 * b0, p11 = a1 * b1;
  const uint64_t mid = (p00 >> 32) + (p01 & 0xffffffffu) + (p10 & 0xffffffffu);
  U128 r;
  r.lo = (mid << 32) | (p00 & 0xffffffffu);
  r.hi = p11 + (p01 >> 32) + (p10 >> 32) + (mid >> 32);
  return r;
}

// round(P * 2^sh) to nearest, ties to even, for P < 2^96; false when the result
// does not fit 64 bits.
bool ShiftRound(U128 P, int sh, uint64_t& out) {
  if (sh >= 0) {
    if (P.hi != 0 || sh >= 64 || (sh > 0 && (P.lo >> (64 - sh)) != 0)) return false;
    out = P.lo << sh;
    return true;
  }
  const int s = -sh;
  if (s >= 128) {
    out = 0;
    return true;
  }
  // q = P >> s; the remainder against half of 2^s decides the rounding.
  uint64_t qhi, qlo, remHi, remLo, halfHi, halfLo;
  if (s >= 64) {
    qhi = 0;
    qlo = s == 64 ? P.hi : P.hi >> (s - 64);
    remHi = s == 64 ? 0 : P.hi & ((uint64_t{1} << (s - 64)) - 1);
    remLo = P.lo;
    halfHi = uint64_t{1} << (s - 65 < 0 ? 0 : s - 65);
    halfLo = 0;
    if (s == 64) {
      halfHi = 0;
      halfLo = uint64_t{1} << 63;
    }
  } else {
    qhi = P.hi >> s;
    qlo = (P.lo >> s) | (P.hi << (64 - s));
    remHi = 0;
    remLo = P.lo & ((uint64_t{1} << s) - 1);
    halfHi = 0;
    halfLo = uint64_t{1} << (s - 1);
  }
  if (qhi != 0) return false;
  const bool above = remHi > halfHi || (remHi == halfHi && remLo > halfLo);
  const bool tie = remHi == halfHi && remLo == halfLo;
  if (above || (tie && (qlo & 1))) {
    if (qlo == UINT64_MAX) return false;
    ++qlo;
  }
  out = qlo;
  return true;
}

// |value| = N * 10^-k with N as the digit strings give it; false for magnitudes
// of 1e17 and more (and infinities, NaN).
bool ScaledDecimal(double magnitude, uint64_t& N, int& k) {
  if (!(magnitude < 1e17)) return false;
  if (magnitude == 0) {
    N = 0;
    k = 17;
    return true;
  }
  k = 17;
  if (magnitude >= 10) {
    int E = 1;
    while (E < 17 && magnitude >= kPow10Double[E + 1]) ++E;
    k = 17 - E;
  }
  uint64_t bits;
  std::memcpy(&bits, &magnitude, sizeof bits);
  const int biased = static_cast<int>(bits >> 52);
  uint64_t m = bits & ((uint64_t{1} << 52) - 1);
  int e;
  if (biased == 0) {
    e = -1074;
  } else {
    m |= uint64_t{1} << 52;
    e = biased - 1075;
  }
  // m * 10^k * 2^e = (m * 5^k) * 2^(e + k); 5^17 < 2^40, so the product < 2^93.
  return ShiftRound(Mul64(m, kPow10[k] >> k), e + k, N);
}

// Writes q's decimal digits, at least `minDigits` of them, and returns the count.
int WriteDigits(char* out, uint64_t q, int minDigits) {
  char tmp[24];
  int n = 0;
  do {
    tmp[n++] = static_cast<char>('0' + q % 10);
    q /= 10;
  } while (q != 0);
  while (n < minDigits) tmp[n++] = '0';
  for (int i = 0; i < n; ++i) out[i] = tmp[n - 1 - i];
  return n;
}

void AppendPadded(std::string& out, const char* text, size_t len, int width) {
  if (static_cast<int>(len) < width) out.append(static_cast<size_t>(width) - len, ' ');
  out.append(text, len);
}

// The fixed form through the library's digit strings (magnitudes of 1e17 and more).
std::string FixedByDigitStrings(double value, int decimals) {
  TDecimal d = std::fabs(value) < 10 ? DecimalFixed(value, 17) : DecimalSignificant(value, 18);
  RoundHalfUpDecimals(d, decimals);
  d.negative = value < 0;
  return FixedNotation(d, decimals);
}

std::string Scientific(double value, int width) {
  int digits = width - 8;
  if (digits < 2) digits = 2;
  if (digits > 18) digits = 18;
  TDecimal d = DecimalSignificant(value, 18);
  RoundHalfUpSignificant(d, digits);
  std::string text(1, value < 0 ? '-' : ' ');
  text += d.digits[0];
  text += '.';
  for (int i = 1; i < digits; ++i)
    text += i < static_cast<int>(d.digits.size()) ? d.digits[i] : '0';
  const int exponent = d.exponent - 1;
  const int mag = exponent < 0 ? -exponent : exponent;
  text += 'E';
  text += exponent < 0 ? '-' : '+';
  text += static_cast<char>('0' + mag / 1000 % 10);
  text += static_cast<char>('0' + mag / 100 % 10);
  text += static_cast<char>('0' + mag / 10 % 10);
  text += static_cast<char>('0' + mag % 10);
  return text;
}

}  // namespace

void AppendFormatFixed(std::string& out, double value, int width, int decimals) {
  if (decimals < 0) decimals = 0;
  if (std::isnan(value)) return AppendPadded(out, "Nan", 3, width);
  if (std::isinf(value)) return AppendPadded(out, value > 0 ? "+Inf" : "-Inf", 4, width);
  const double magnitude = std::fabs(value);
  uint64_t N;
  int k;
  if (decimals <= 40 && ScaledDecimal(magnitude, N, k)) {
    // value = N * 10^-k: keep `decimals` of the k decimals, half up on the first
    // dropped digit.
    uint64_t q = N;
    int fracDigits = k;
    if (decimals < k) {
      const uint64_t p = kPow10[k - decimals];
      q = N / p;
      if ((N % p) / (p / 10) >= 5) ++q;
      fracDigits = decimals;
    }
    char buf[96];
    int len = 0;
    if (value < 0) buf[len++] = '-';
    len += WriteDigits(buf + len, q / kPow10[fracDigits], 1);
    if (decimals > 0) {
      buf[len++] = '.';
      if (fracDigits > 0) len += WriteDigits(buf + len, q % kPow10[fracDigits], fracDigits);
      for (int i = fracDigits; i < decimals; ++i) buf[len++] = '0';
    }
    return AppendPadded(out, buf, static_cast<size_t>(len), width);
  }
  const std::string text = magnitude < 1E36 ? FixedByDigitStrings(value, decimals) : Scientific(value, width);
  AppendPadded(out, text.data(), text.size(), width);
}

std::string FormatFixed(double value, int width, int decimals) {
  std::string text;
  AppendFormatFixed(text, value, width, decimals);
  return text;
}

void AppendFormatColumn(std::string& out, double value, int width, int decimals) {
  const size_t start = out.size();
  AppendFormatFixed(out, value, width, decimals);
  if (out.size() > start && out[start] != ' ') out.insert(start, 1, ' ');
}
