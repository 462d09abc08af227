#include "Regress.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "DecimalText.h"
#include "ExtendedPrecision.h"
#include "FMath.h"

namespace {

inline double D(ExtFloat x) { return static_cast<double>(x); }
inline ExtFloat X(double x) { return x; }

// The solver's working storage: the design matrix A (0..Ub x 0..p), b, the
// singular values s, the scratch z and Vf (0..p x 0..p), zero-filled, in one block
// with row tables; released on every way out.
struct RegressionStorage {
  TDoubleMatrix A = nullptr;
  TDoubleVector b = nullptr;
  TDoubleVector s = nullptr;
  TDoubleVector z = nullptr;
  TDoubleMatrix Vf = nullptr;
  int Ub = -1;
  int p = -1;
  double* block = nullptr;
  size_t blockSize = 0;

  RegressionStorage() = default;
  RegressionStorage(const RegressionStorage&) = delete;
  RegressionStorage& operator=(const RegressionStorage&) = delete;
  ~RegressionStorage() { Release(); }

  void Release() {
    delete[] A;
    delete[] Vf;
    delete[] block;
    A = Vf = nullptr;
    b = s = z = block = nullptr;
    Ub = p = -1;
  }

  // Storage for rows 0..ub and columns 0..pp, all zero; false when the sizes are
  // beyond the vector and matrix limits or memory is exhausted.
  bool Prepare(int ub, int pp) {
    if (ub < 0 || ub > kMaxMatrixRowsUb || pp < 0 || pp > kMaxVectorUb) return false;
    const size_t rows = static_cast<size_t>(ub) + 1, cols = static_cast<size_t>(pp) + 1;
    const size_t size = rows * cols + rows + 2 * cols + cols * cols;
    if (A && ub == Ub && pp == p) {
      for (size_t i = 0; i < blockSize; ++i) block[i] = 0;
      return true;
    }
    Release();
    block = new (std::nothrow) double[size]();
    A = new (std::nothrow) double*[rows];
    Vf = new (std::nothrow) double*[cols];
    if (!block || !A || !Vf) {
      Release();
      return false;
    }
    blockSize = size;
    double* next = block;
    for (size_t r = 0; r < rows; ++r, next += cols) A[r] = next;
    b = next;
    next += rows;
    s = next;
    next += cols;
    z = next;
    next += cols;
    for (size_t r = 0; r < cols; ++r, next += cols) Vf[r] = next;
    Ub = ub;
    p = pp;
    return true;
  }
};

// Largest number of terms of the power series; x <= 0.95 ends it in well under
// a thousand, the bound only stops arguments outside its domain.
constexpr int kMaxSeriesTerms = 100000;
// The continued fractions stop after this many iterations (counted from 0).
constexpr int kMaxFractionIterations = 400;

}  // namespace

struct SvdReuseScope::State {
  RegressionStorage st;          // U factor (in A), zeroed s, Vf, b, z
  bool valid = false;            // a decomposition is stored
  int N = 0, nvar = 0;
  bool constTerm = false;
  std::vector<double> regressors;  // U[j][k], j = 1..nvar, k = 1..N, as factored
  FitResult result = kFitOk;
  std::vector<double> cov;         // covariance factor over Lb..p, row by row

  bool Matches(TDoubleMatrix U, int n, int p, bool c) const {
    if (!valid || n != N || p != nvar || c != constTerm) return false;
    size_t i = 0;
    for (int j = 1; j <= p; ++j)
      for (int k = 1; k <= n; ++k, ++i)
        if (std::memcmp(&U[j][k], &regressors[i], sizeof(double)) != 0) return false;
    return true;
  }
  void Remember(TDoubleMatrix U, int n, int p, bool c) {
    N = n;
    nvar = p;
    constTerm = c;
    regressors.clear();
    for (int j = 1; j <= p; ++j)
      for (int k = 1; k <= n; ++k) regressors.push_back(U[j][k]);
    valid = true;
  }
};

namespace {
thread_local SvdReuseScope::State* g_reuse = nullptr;

}  // namespace

SvdReuseScope::SvdReuseScope() : state_(new State), previous_(g_reuse) { g_reuse = state_; }

SvdReuseScope::~SvdReuseScope() {
  g_reuse = previous_;
  delete state_;
}

FitResult SvdRegression(TDoubleMatrix U, TDoubleVector Y, int N, int nvar, bool constTerm,
                        TDoubleVector B, TDoubleMatrix V) {
  ExtendedPrecisionScope precision;
  const int Lb = constTerm ? 0 : 1;
  const int Ub = constTerm ? N - 1 : N;
  const int p = nvar;
  // The decomposition needs at least as many observations as parameters.
  if (N < p - Lb + 1) return kFitSingular;

  SvdReuseScope::State* reuse = g_reuse;
  if (reuse && reuse->Matches(U, N, nvar, constTerm)) {
    // The same regressors: the stored decomposition is what this one would give.
    if (reuse->result != kFitOk) return reuse->result;
    RegressionStorage& st = reuse->st;
    for (int r = Lb; r <= Ub; ++r) st.b[r] = Y[r - Lb + 1];
    SvdSolve(st.A, st.s, st.Vf, st.b, Lb, Ub, p, B);
    size_t c = 0;
    for (int i = Lb; i <= p; ++i)
      for (int j = Lb; j <= p; ++j) V[i][j] = reuse->cov[c++];
    return kFitOk;
  }

  RegressionStorage local;
  RegressionStorage& st = reuse ? reuse->st : local;
  if (reuse) reuse->valid = false;
  if (!st.Prepare(Ub, p)) return kFitNoMemory;
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
  if (reuse) {
    reuse->Remember(U, N, nvar, constTerm);
    reuse->result = result;
  }
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
  if (reuse) {
    reuse->cov.clear();
    for (int i = Lb; i <= p; ++i)
      for (int j = Lb; j <= p; ++j) reuse->cov.push_back(V[i][j]);
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
