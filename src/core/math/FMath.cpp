#include "FMath.h"

#include <cmath>

namespace {

// Horner's rule, coefficients from the highest power down.
template <int N>
double Poly(double x, const double (&c)[N]) {
  double r = c[0];
  for (int i = 1; i < N; ++i) r = r * x + c[i];
  return r;
}

// Monic polynomial x^N + c[0] x^(N-1) + ... + c[N-1].
template <int N>
double PolyMonic(double x, const double (&c)[N]) {
  double r = x + c[0];
  for (int i = 1; i < N; ++i) r = r * x + c[i];
  return r;
}

// Gamma on [2, 3): z * P(x - 2) / Q(x - 2).
constexpr double kGammaP[] = {
    4.2127604874716217e-05, 0.00045429319606080093, 0.0040926668283940357,
    0.023853632434611083,   0.11130628160193616,    0.36295154366402393,
    0.83780043015731265,    1};
constexpr double kGammaQ[] = {
    -1.3971485174761705e-05, 0.00023465840591606351, -0.0012377992466531523,
    -0.00079559336824947381, 0.027737065658400731,   -0.04633887671244534,
    -0.22435109056703292,    0.41501609505884557,    1};
// Stirling correction series in w = 1/x.
constexpr double kStir[] = {
    0.00071473913781436109, -2.3638488095017589e-05, -0.00059502375540563298,
    6.9893322606231933e-05, 0.00078403348427447529,  -0.00022947197478731854,
    -0.0026813271618763043, 0.0034722222222300751,   0.083333333333333315};
// ln Gamma asymptotic correction in p = 1/x^2.
constexpr double kLogA[] = {
    0.0048850261424322706,  -0.001880801938119377, 0.00084127232973224976,
    -0.00059523458517656881, 0.00079365077958550706, -0.0027777777777503497,
    0.083333333333333315};
// ln Gamma on [2, 3): x * B(x) / C(x), C monic of degree 7.
constexpr double kLogB[] = {
    -2163.690827643813,   -87238.715228435118, -1104326.8146914642, -6111225.0120052146,
    -16255680.625437006, -20039374.181038152, -8875666.7836507037};
constexpr double kLogC[] = {
    -513.94814844353698, -34035.708405343044, -622744.11640662199, -4814940.3794118818,
    -17854332.87045078,  -31386464.076561827, -20993367.17757896};

// Moves x into [2, 3) by the recurrence Gamma(x + 1) = x Gamma(x); z collects the
// factor, so that Gamma(original x) = z Gamma(reduced x).
void ReduceToTwoThree(double& x, double& z) {
  while (x >= 3) {
    x = x - 1;
    z = z * x;
  }
  while (x < 2) {
    z = z / x;
    x = x + 1;
  }
}

}  // namespace

double SignOf(double x) { return x < 0 ? -1.0 : 1.0; }

double MaxOf(double a, double b) { return a >= b ? a : b; }

double SafeHypot(double a, double b) {
  const double p = std::fabs(a);
  const double q = std::fabs(b);
  if (p > q) {
    const long double r = static_cast<long double>(q) / p;
    return static_cast<double>(p * std::sqrt(r * r + 1.0L));
  }
  if (q == 0) return 0.0;
  const long double r = static_cast<long double>(p) / q;
  return static_cast<double>(q * std::sqrt(r * r + 1.0L));
}

double GammaFunc(double x) {
  if (std::isnan(x)) return x;
  if (x <= 0) return MaxFloat;
  if (x > MaxGammaArg) return MaxFloat;
  if (x > 13) return GammaLargeArg(x);
  double z = 1;
  ReduceToTwoThree(x, z);
  if (x == 2) return z;
  x = x - 2;
  return z * Poly(x, kGammaP) / Poly(x, kGammaQ);
}

double GammaLargeArg(double x) {
  const double w = 1 / x;
  const double c = Poly(w, kStir);
  return Sqrt2Pi * std::exp((x - 0.5) * std::log(x) - x) * (1 + w * c);
}

double LogGammaFunc(double x) {
  if (std::isnan(x)) return x;
  if (x <= 0 || std::isinf(x)) return MaxFloat;
  if (x >= 13) return LogGammaLargeArg(x);
  double z = 1;
  ReduceToTwoThree(x, z);
  if (x == 2) return std::log(z);
  x = x - 2;
  return x * Poly(x, kLogB) / PolyMonic(x, kLogC) + std::log(z);
}

double LogGammaLargeArg(double x) {
  const double q = (x - 0.5) * std::log(x) - x + LnSqrt2Pi;
  if (x > 1E10) return q;
  return q + Poly(1 / (x * x), kLogA) / x;
}

double PowerFunc(double x, double y) {
  if (x == 0) {
    if (y == 0) return 1.0;
    return y > 0 ? 0.0 : MaxFloat;
  }
  if (x < 0) return 0.0;
  if (y == 0) return 1.0;
  const double e = y * std::log(x);
  if (e < MinExpArg) return 0.0;
  if (e > MaxExpArg) return MaxFloat;
  return std::exp(e);
}
