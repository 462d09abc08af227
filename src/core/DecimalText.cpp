#include "DecimalText.h"

#include <cmath>
#include <cstdio>
#include <algorithm>
#include <cstdlib>

namespace {

// Parses "d.ddddde[+-]xx" (as printed by %.*e) into a TDecimal.
TDecimal FromScientific(const char* text, bool negative) {
  TDecimal d;
  d.negative = negative;
  const char* p = text;
  for (; *p && *p != 'e'; ++p)
    if (*p >= '0' && *p <= '9') d.digits += *p;
  int e = (*p == 'e') ? std::atoi(p + 1) : 0;
  d.exponent = e + 1;
  if (d.digits.find_first_not_of('0') == std::string::npos) {
    d.digits.assign(1, '0');
    d.exponent = 1;
  }
  return d;
}

void Normalise(TDecimal& d) {
  size_t first = d.digits.find_first_not_of('0');
  if (first == std::string::npos) {
    d.digits.assign(1, '0');
    d.exponent = 1;
    return;
  }
  d.digits.erase(0, first);
  d.exponent -= static_cast<int>(first);
}

}  // namespace

void RoundHalfUpDigits(TDecimal& d, int keep) {
  if (IsZero(d)) return;
  int n = static_cast<int>(d.digits.size());
  if (keep >= n) return;
  bool up = d.digits[keep > 0 ? keep : 0] >= '5';
  if (keep <= 0) {
    // Everything is dropped; a first dropped digit of 5 or more at position 0
    // becomes one unit of the first kept place.
    if (keep == 0 && d.digits[0] >= '5') {
      d.digits.assign(1, '1');
      d.exponent += 1;
    } else {
      d.digits.assign(1, '0');
      d.exponent = 1;
    }
    return;
  }
  d.digits.resize(keep);
  if (up) {
    int i = keep - 1;
    while (i >= 0 && d.digits[i] == '9') {
      d.digits[i] = '0';
      --i;
    }
    if (i >= 0) {
      ++d.digits[i];
    } else {
      d.digits.insert(d.digits.begin(), '1');
      d.digits.pop_back();
      d.exponent += 1;
    }
  }
  Normalise(d);
}

TDecimal DecimalSignificant(double value, int significant) {
  char buf[128];
  std::snprintf(buf, sizeof buf, "%.*e", significant - 1, std::fabs(value));
  return FromScientific(buf, std::signbit(value));
}

TDecimal DecimalFixed(double value, int decimals) {
  // %f of large values is long; the digit string is exact up to the requested place.
  std::string buf(400 + decimals, '\0');
  int len = std::snprintf(buf.data(), buf.size(), "%.*f", decimals, std::fabs(value));
  buf.resize(len);
  TDecimal d;
  d.negative = std::signbit(value);
  size_t point = buf.find('.');
  std::string intPart = point == std::string::npos ? buf : buf.substr(0, point);
  std::string frac = point == std::string::npos ? "" : buf.substr(point + 1);
  d.digits = intPart + frac;
  d.exponent = static_cast<int>(intPart.size());
  Normalise(d);
  return d;
}

void RoundHalfUpDecimals(TDecimal& d, int decimals) { RoundHalfUpDigits(d, d.exponent + decimals); }

void RoundHalfUpSignificant(TDecimal& d, int significant) { RoundHalfUpDigits(d, significant); }

bool IsZero(const TDecimal& d) {
  return d.digits.find_first_not_of('0') == std::string::npos;
}

std::string FixedNotation(const TDecimal& d, int decimals) {
  std::string out;
  if (d.negative) out += '-';
  auto digitAt = [&](int pos) -> char {  // pos 0 is the first digit of d.digits
    if (pos < 0 || pos >= static_cast<int>(d.digits.size())) return '0';
    return d.digits[pos];
  };
  bool zero = IsZero(d);
  int intDigits = zero ? 1 : d.exponent;
  if (intDigits <= 0) {
    out += '0';
  } else {
    for (int i = 0; i < intDigits; ++i) out += zero ? '0' : digitAt(i);
  }
  if (decimals > 0) {
    out += '.';
    for (int i = 0; i < decimals; ++i) out += zero ? '0' : digitAt(d.exponent + i);
  }
  return out;
}

std::string FixedHalfUp(double value, int decimals) {
  if (std::isnan(value)) return "Nan";
  if (std::isinf(value)) return value > 0 ? "+Inf" : "-Inf";
  TDecimal d = DecimalSignificant(value, 18);
  RoundHalfUpDecimals(d, decimals);
  return FixedNotation(d, decimals);
}

std::string FormatFloatFixed(double value, int precision, int decimals) {
  if (std::isnan(value)) return "Nan";
  if (std::isinf(value)) return value > 0 ? "+Inf" : "-Inf";
  TDecimal d = DecimalSignificant(value, 18);
  TDecimal sig = d;
  RoundHalfUpSignificant(sig, precision);
  if (!IsZero(sig) && sig.exponent > precision) {
    d = sig;
    // Scientific: d.ddd with `precision` digits, exponent with sign and 4 digits.
    std::string out = d.negative ? "-" : "";
    out += d.digits[0];
    out += '.';
    for (int i = 1; i < precision; ++i)
      out += i < static_cast<int>(d.digits.size()) ? d.digits[i] : '0';
    char exp[16];
    std::snprintf(exp, sizeof exp, "E%c%04d", d.exponent - 1 < 0 ? '-' : '+',
                  std::abs(d.exponent - 1));
    return out + exp;
  }
  RoundHalfUpDigits(d, std::min(precision, d.exponent + decimals));
  if (IsZero(d)) d.negative = false;
  return FixedNotation(d, decimals);
}
