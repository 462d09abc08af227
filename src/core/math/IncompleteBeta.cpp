#include "IncompleteBeta.h"

#include <cmath>
#include <utility>

#include "FMath.h"

namespace {

// Largest number of terms of the power series; x <= 0.95 ends it in well under
// a thousand, the bound only stops arguments outside its domain.
constexpr int kMaxSeriesTerms = 100000;
// The continued fractions stop after this many iterations (counted from 0).
constexpr int kMaxFractionIterations = 400;

}  // namespace

double BetaRatio(double a, double b, double x) {
  if (a <= 0 || b <= 0 || x < 0 || x > 1) return 0.0;
  if (x == 0 || x == 1) return x;
  if (b * x <= 1 && x <= 0.95) return BetaSeries(a, b, x);

  double w = 1 - x;
  double xc;
  bool swapped;
  if (x > a / (a + b)) {
    swapped = true;
    std::swap(a, b);
    xc = x;
    x = w;
  } else {
    swapped = false;
    xc = w;
  }

  double t;
  if (swapped && b * x <= 1 && x <= 0.95) {
    t = BetaSeries(a, b, x);
  } else {
    const double y = x * (a + b - 2) - (a - 1);
    if (y < 0)
      w = BetaFraction1(a, b, x);
    else
      w = BetaFraction2(a, b, x) / xc;
    const double ya = a * std::log(x);
    const double yb = b * std::log(xc);
    if (a + b < MaxGammaArg && std::fabs(ya) < MaxExpArg && std::fabs(yb) < MaxExpArg) {
      t = GammaFunc(a + b) * (w * (PowerFunc(x, a) * PowerFunc(xc, b) / a)) /
          (GammaFunc(b) * GammaFunc(a));
    } else {
      const double yl = LogGammaFunc(a + b) + (ya + yb) - LogGammaFunc(a) - LogGammaFunc(b) +
                        std::log(w / a);
      t = yl < MinExpArg ? 0.0 : std::exp(yl);
    }
  }

  if (!swapped) return t;
  if (t <= MachineEpsilon) return 1 - MachineEpsilon;
  return 1 - t;
}

double BetaSeries(double a, double b, double x) {
  const double ai = 1 / a;
  double u = (1 - b) * x;
  double v = u / (a + 1);
  const double t1 = v;
  double t = u;
  double k = 2;
  double s = 0;
  const double z = MachineEpsilon * ai;
  for (int terms = 0; std::fabs(v) > z && terms < kMaxSeriesTerms; ++terms) {
    u = (k - b) * x / k;
    t = t * u;
    v = t / (a + k);
    s = s + v;
    k = k + 1;
  }
  s = ai + (s + t1);
  const double ya = a * std::log(x);
  if (a + b < MaxGammaArg && std::fabs(ya) < MaxExpArg)
    return PowerFunc(x, a) * (s * (GammaFunc(a + b) / (GammaFunc(b) * GammaFunc(a))));
  const double y = LogGammaFunc(a + b) - LogGammaFunc(a) - LogGammaFunc(b) + ya + std::log(s);
  return y < MinExpArg ? 0.0 : std::exp(y);
}

namespace {

// The continued fraction of the incomplete beta integral, evaluated by forward
// recurrences; the two variants differ only in their start values and steps.
struct FractionTerms {
  double k1, k2, k3, k4, k5, k6, k7, k8;
  double d2, d6;  // per-iteration change of k2 and k6 (k1, k5 +1; k3, k4, k7, k8 +2)
};

double BetaFraction(double x, FractionTerms k) {
  const double thresh = 3 * MachineEpsilon;
  double pkm2 = 0, qkm2 = 1, pkm1 = 1, qkm1 = 1;
  double ans = 1, r = 1;
  int n = 0;
  do {
    double xk = -(x * k.k1 * k.k2) / (k.k3 * k.k4);
    double pk = pkm1 + pkm2 * xk;
    double qk = qkm1 + qkm2 * xk;
    pkm2 = pkm1;
    pkm1 = pk;
    qkm2 = qkm1;
    qkm1 = qk;

    xk = (x * k.k5 * k.k6) / (k.k7 * k.k8);
    pk = pkm1 + pkm2 * xk;
    qk = qkm1 + qkm2 * xk;
    pkm2 = pkm1;
    pkm1 = pk;
    qkm2 = qkm1;
    qkm1 = qk;

    if (qk != 0) r = pk / qk;
    double err;
    if (r != 0) {
      err = std::fabs((ans - r) / r);
      ans = r;
    } else {
      err = 1;
    }
    if (err < thresh) return ans;

    k.k1 += 1;
    k.k2 += k.d2;
    k.k3 += 2;
    k.k4 += 2;
    k.k5 += 1;
    k.k6 += k.d6;
    k.k7 += 2;
    k.k8 += 2;

    if (std::fabs(qk) + std::fabs(pk) > BetaBig) {
      pkm2 *= BetaBigInv;
      pkm1 *= BetaBigInv;
      qkm2 *= BetaBigInv;
      qkm1 *= BetaBigInv;
    }
    if (std::fabs(qk) < BetaBigInv || std::fabs(pk) < BetaBigInv) {
      pkm2 *= BetaBig;
      pkm1 *= BetaBig;
      qkm2 *= BetaBig;
      qkm1 *= BetaBig;
    }
    ++n;
  } while (n <= kMaxFractionIterations);
  return ans;
}

}  // namespace

double BetaFraction1(double a, double b, double x) {
  return BetaFraction(x, {a, a + b, a, a + 1, 1, b - 1, a + 1, a + 2, +1, -1});
}

double BetaFraction2(double a, double b, double x) {
  const double z = x / (1 - x);
  return BetaFraction(z, {a, b - 1, a, a + 1, 1, a + b, a + 1, a + 2, -1, +1});
}
