#pragma once
// Decimal digit strings of doubles and the "round half up on the first dropped
// digit" rule used wherever the program shows a rounded number (report fields,
// formula, distance, tracker label). The C library's conversions are correctly
// rounded, so the digit strings are the same on every platform.
#include <string>

// value = (negative ? -1 : 1) * 0.d1 d2 d3 ... * 10^exponent, digits without a
// leading zero unless the value is zero (digits "0", exponent 1).
struct TDecimal {
  bool negative = false;
  std::string digits;
  int exponent = 1;
};

// The nearest decimal with `significant` significant digits (1..40).
TDecimal DecimalSignificant(double value, int significant);
// The nearest decimal with `decimals` digits after the point (0..40).
TDecimal DecimalFixed(double value, int decimals);

// Keeps `decimals` digits after the point, adding one unit to the last kept digit
// when the first dropped digit is 5 or more (carrying as needed).
void RoundHalfUpDecimals(TDecimal& d, int decimals);
// Keeps `significant` digits in all, with the same rule.
void RoundHalfUpSignificant(TDecimal& d, int significant);
// Keeps the first `keep` digits of d.digits (keep may be zero or negative: then the
// value becomes zero, or one unit of the first dropped place when that digit is 5
// or more and keep is 0), with the same rule.
void RoundHalfUpDigits(TDecimal& d, int keep);

// True when every digit is zero.
bool IsZero(const TDecimal& d);

// Fixed notation with exactly `decimals` digits after the point ("-" when negative,
// at least one integer digit). The caller rounds first.
std::string FixedNotation(const TDecimal& d, int decimals);

// Fixed notation with `decimals` decimals of the value's 18-significant-digit
// expansion, rounded half up; negative values keep their sign also when every shown
// digit is zero. NaN and infinities give "Nan", "+Inf", "-Inf".
std::string FixedHalfUp(double value, int decimals);

// Delphi-style fixed format of the tracker display and the formula: the value
// rounded half up once, to `precision` significant digits or `decimals` decimals,
// whichever keeps fewer digits, and shown with exactly `decimals` decimals; values of 10^precision or more in magnitude in scientific form
// "d.dddE+dddd" with `precision` digits. A value that rounds to zero shows no sign.
// NaN and infinities give "Nan", "+Inf", "-Inf".
std::string FormatFloatFixed(double value, int precision, int decimals);
