#pragma once
// Small numerical helpers, the gamma function and its logarithm, a guarded power
// function and the floating-point constants of the registration mathematics.
//
// The gamma routines are rational and asymptotic approximations whose branch
// points (13, MaxGammaArg) and coefficient tables the regression statistics rely
// on; they are meant for positive arguments (the report needs 0.5 to 62).

// 2^-52 as a double, written as its 16-digit decimal.
constexpr double MachineEpsilon = 2.220446049250313E-16;
// The same decimal held in extended precision: the nearest 80-bit value, which is
// slightly below 2^-52 (used where a product with it is formed in extended).
constexpr long double MachineEpsilonExtended = 2.220446049250313E-16L;
// Above this argument the gamma function overflows a double.
constexpr double MaxGammaArg = 171.624376956302;
// The largest exponent handed to exp, and the one below which exp gives 0.
constexpr double MaxExpArg = 709.782712893384;
constexpr double MinExpArg = -708.3964185322641;
// The result on overflow or at a pole.
constexpr double MaxFloat = 1.797693134862315E308;
// Rescaling bound of the continued fractions, 2^63, and its reciprocal.
constexpr double BetaBig = 9.223372036854775808E18;
constexpr double BetaBigInv = 1.0 / 9.223372036854775808E18;
// sqrt(2 pi) and ln(sqrt(2 pi)).
constexpr double Sqrt2Pi = 2.50662827463100050242;
constexpr double LnSqrt2Pi = 0.91893853320467274178;

// +1 when x >= 0 (zero included), -1 when x < 0; NaN gives +1.
double SignOf(double x);
// a when a >= b, else b.
double MaxOf(double a, double b);
// sqrt(a^2 + b^2) without overflow or destructive underflow: the larger magnitude
// times sqrt(1 + ratio^2), formed in extended precision and rounded to double.
// 0 when both are 0.
double SafeHypot(double a, double b);

// The gamma function for x > 0: MaxFloat above MaxGammaArg, the Stirling series
// above 13, else reduction to [2, 3) and a rational approximation there.
// Outside the domain (x <= 0) the result is MaxFloat; NaN gives NaN.
double GammaFunc(double x);
// Stirling's formula with a correction series in 1/x (for 13 < x <= MaxGammaArg).
double GammaLargeArg(double x);
// ln Gamma(x) for x > 0: the asymptotic series from 13 on, else reduction to
// [2, 3) and a rational approximation there. x <= 0 and +Inf give MaxFloat; NaN
// gives NaN.
double LogGammaFunc(double x);
// The asymptotic series of ln Gamma (x >= 13).
double LogGammaLargeArg(double x);
// x^y for x >= 0 with guarded exponent: 0^0 = 1, 0^y = 0 for y > 0 and MaxFloat
// for y < 0; exp(y ln x) otherwise, 0 below MinExpArg and MaxFloat above
// MaxExpArg. A negative x gives 0.
double PowerFunc(double x, double y);
