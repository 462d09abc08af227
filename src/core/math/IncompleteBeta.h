#pragma once
// The regularized incomplete beta integral behind Student's t probability: a power
// series and two continued fractions, with the gamma routines of FMath.h.

// The regularized incomplete beta integral I_x(a, b): 0 outside a > 0, b > 0,
// 0 <= x <= 1; x itself at x = 0 and x = 1.
double BetaRatio(double a, double b, double x);
// Its power series (for b x <= 1 and x <= 0.95). Arguments outside 0 <= x <= 0.95
// give the value the series reaches after a bounded number of terms.
double BetaSeries(double a, double b, double x);
// Its two continued fractions (at most 401 iterations; the last approximant is
// returned when the stop test is not met). BetaFraction2 is x / (1 - x) based
// and its result is divided by 1 - x by the caller.
double BetaFraction1(double a, double b, double x);
double BetaFraction2(double a, double b, double x);
