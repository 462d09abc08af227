#include "Regress.h"

#include <cmath>
#include <utility>

#include "DecimalText.h"
#include "ExtendedPrecision.h"
#include "FMath.h"

namespace {

inline double D(ExtFloat x) { return static_cast<double>(x); }
inline ExtFloat X(double x) { return x; }

// Frees the solver's working storage on every way out.
struct RegressionStorage {
  TDoubleMatrix A = nullptr;
  TDoubleVector b = nullptr;
  TDoubleVector s = nullptr;
  TDoubleVector z = nullptr;
  TDoubleMatrix Vf = nullptr;
  int Ub = 0;
  int p = 0;
  ~RegressionStorage() {
    FreeMatrix(Vf, p, p);
    FreeVector(z, p);
    FreeVector(s, p);
    FreeVector(b, Ub);
    FreeMatrix(A, Ub, p);
  }
};

// Largest number of terms of the power series; x <= 0.95 ends it in well under
// a thousand, the bound only stops arguments outside its domain.
constexpr int kMaxSeriesTerms = 100000;
// The continued fractions stop after this many iterations (counted from 0).
constexpr int kMaxFractionIterations = 400;

}  // namespace

FitResult SvdRegression(TDoubleMatrix U, TDoubleVector Y, int N, int nvar, bool constTerm,
                        TDoubleVector B, TDoubleMatrix V) {
  ExtendedPrecisionScope precision;
  const int Lb = constTerm ? 0 : 1;
  const int Ub = constTerm ? N - 1 : N;
  const int p = nvar;
  // The decomposition needs at least as many observations as parameters.
  if (N < p - Lb + 1) return kFitSingular;
  RegressionStorage st;
  st.Ub = Ub;
  st.p = p;
  AllocMatrix(st.A, Ub, p);
  AllocVector(st.b, Ub);
  AllocVector(st.s, p);
  AllocVector(st.z, p);
  AllocMatrix(st.Vf, p, p);
  if (!st.A || !st.b || !st.s || !st.z || !st.Vf) return kFitNoMemory;
  TDoubleMatrix A = st.A;
  TDoubleVector b = st.b, s = st.s, z = st.z;
  TDoubleMatrix Vf = st.Vf;

  for (int r = Lb; r <= Ub; ++r) {
    const int k = r - Lb + 1;
    b[r] = Y[k];
    if (constTerm) A[r][0] = 1.0;
    for (int j = 1; j <= p; ++j) A[r][j] = U[j][k];
  }

  const FitResult result = SvdDecompose(A, Lb, Ub, p, s, Vf);
  if (result != kFitOk) return result;

  // Singular values below N * epsilon times the largest are dropped.
  const double tolerance = D(static_cast<ExtFloat>(N) * MachineEpsilonExtended);
  SvdZeroSmall(s, Lb, p, tolerance);
  SvdSolve(A, s, Vf, b, Lb, Ub, p, B);

  // Covariance factor Vf diag(1/s^2) Vf^T.
  for (int j = Lb; j <= p; ++j) z[j] = s[j] > 0 ? D(1.0L / (X(s[j]) * s[j])) : 0.0;
  for (int i = Lb; i <= p; ++i) {
    for (int j = Lb; j <= i; ++j) {
      double t = 0;
      for (int k = Lb; k <= p; ++k) t = D(X(t) + (X(Vf[i][k]) * Vf[j][k]) * z[k]);
      V[i][j] = t;
      V[j][i] = t;
    }
  }
  return kFitOk;
}

void FitStatistics(TDoubleVector Y, TDoubleVector Yfit, int n, int First, int Last,
                   TDoubleMatrix V, FitStats& Stats, IMessagePresenter& messages) {
  const int P = Last - First + 1;
  double sum = 0;
  for (int i = 1; i <= n; ++i) sum = sum + Y[i];
  const double Ybar = sum / n;
  double SST = 0, SSE = 0;
  for (int i = 1; i <= n; ++i) {
    const double d = Y[i] - Ybar;
    SST = SST + d * d;
    const double r = Y[i] - Yfit[i];
    SSE = SSE + r * r;
  }
  if (SST == 0) {
    messages.ShowMessage("Error: are all you data points in the same plane?");
    return;
  }
  const int df = n - P;
  Stats.ResidualVariance = SSE / df;
  for (int i = First; i <= Last; ++i)
    for (int j = i; j <= Last; ++j) V[i][j] = V[i][j] * Stats.ResidualVariance;
  for (int i = First + 1; i <= Last; ++i)
    for (int j = First; j <= i - 1; ++j) V[i][j] = V[j][i];
}

void ParameterStatistics(TDoubleVector B, TDoubleMatrix V, int n, int First, int Last,
                         TDoubleVector StdDev, TDoubleVector TValue, TDoubleVector TProb) {
  const int df = n - (Last - First + 1);
  for (int i = First; i <= Last; ++i) {
    if (V[i][i] > 0) {
      StdDev[i] = std::sqrt(V[i][i]);
      TValue[i] = B[i] / StdDev[i];
      TProb[i] = StudentProb(df, TValue[i]);
    } else {
      StdDev[i] = 0;
      TValue[i] = 0;
      TProb[i] = 1;
    }
  }
}

double StudentProb(int df, double t) {
  if (df <= 0) return 0.0;
  const double v = df;
  return BetaRatio(0.5 * v, 0.5, v / (v + t * t));
}

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

std::string FormatFixed(double value, int width, int decimals) {
  if (decimals < 0) decimals = 0;
  std::string text;
  if (std::isnan(value)) {
    text = "Nan";
  } else if (std::isinf(value)) {
    text = value > 0 ? "+Inf" : "-Inf";
  } else if (std::fabs(value) < 1E36) {
    TDecimal d = std::fabs(value) < 10 ? DecimalFixed(value, 17) : DecimalSignificant(value, 18);
    RoundHalfUpDecimals(d, decimals);
    d.negative = value < 0;
    text = FixedNotation(d, decimals);
  } else {
    int digits = width - 8;
    if (digits < 2) digits = 2;
    if (digits > 18) digits = 18;
    TDecimal d = DecimalSignificant(value, 18);
    RoundHalfUpSignificant(d, digits);
    text = value < 0 ? "-" : " ";
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
  }
  if (static_cast<int>(text.size()) < width) text.insert(0, static_cast<size_t>(width) - text.size(), ' ');
  return text;
}
