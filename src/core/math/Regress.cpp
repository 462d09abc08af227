#include "Regress.h"

#include <cstddef>
#include <cstring>
#include <new>
#include <vector>

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

}  // namespace

struct SvdReuseScope::State {
  RegressionStorage st;          // U factor (in A), zeroed s, Vf, b, z
  bool valid = false;            // a decomposition is stored
  int N = 0, nvar = 0;
  bool constTerm = false;
  std::vector<double> regressors;  // U[j][k], j = 1..nvar, k = 1..N, as factored
  FitResult result = kFitOk;

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

// The design of the regression factored and its small singular values dropped,
// in the storage of the reuse scope (taken from there when it already holds this
// design) or in `local`. `st` is where the factors are; the result is that of the
// decomposition, or kFitNoMemory.
class FactoredDesign {
 public:
  FactoredDesign(TDoubleMatrix U, int N, int p, bool constTerm) {
    const int Lb = constTerm ? 0 : 1;
    const int Ub = constTerm ? N - 1 : N;
    SvdReuseScope::State* reuse = g_reuse;
    if (reuse && reuse->Matches(U, N, p, constTerm)) {
      // The same regressors: the stored decomposition is what this one would give.
      st = &reuse->st;
      result = reuse->result;
      return;
    }
    st = reuse ? &reuse->st : &local_;
    if (reuse) reuse->valid = false;
    if (!st->Prepare(Ub, p)) {
      result = kFitNoMemory;
      return;
    }
    for (int r = Lb; r <= Ub; ++r) {
      const int k = r - Lb + 1;
      if (constTerm) st->A[r][0] = 1.0;
      for (int j = 1; j <= p; ++j) st->A[r][j] = U[j][k];
    }
    result = SvdDecompose(st->A, Lb, Ub, p, st->s, st->Vf);
    if (result == kFitOk) {
      // Singular values below N * epsilon times the largest are dropped.
      const double tolerance = D(static_cast<ExtFloat>(N) * MachineEpsilonExtended);
      SvdZeroSmall(st->s, Lb, p, tolerance);
    }
    if (reuse) {
      reuse->Remember(U, N, p, constTerm);
      reuse->result = result;
    }
  }
  FactoredDesign(const FactoredDesign&) = delete;
  FactoredDesign& operator=(const FactoredDesign&) = delete;

  RegressionStorage* st = nullptr;
  FitResult result = kFitOk;

 private:
  RegressionStorage local_;
};

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

  const FactoredDesign design(U, N, p, constTerm);
  if (design.result != kFitOk) return design.result;
  RegressionStorage& st = *design.st;
  TDoubleVector b = st.b, s = st.s, z = st.z;
  TDoubleMatrix Vf = st.Vf;

  for (int r = Lb; r <= Ub; ++r) b[r] = Y[r - Lb + 1];
  SvdSolve(st.A, s, Vf, b, Lb, Ub, p, B);

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

FitResult SvdRegressionDropped(TDoubleMatrix U, int N, int nvar, bool constTerm, int& dropped) {
  ExtendedPrecisionScope precision;
  const int Lb = constTerm ? 0 : 1;
  dropped = 0;
  if (N < nvar - Lb + 1) return kFitSingular;
  const FactoredDesign design(U, N, nvar, constTerm);
  if (design.result != kFitOk) return design.result;
  for (int j = Lb; j <= nvar; ++j)
    if (!(design.st->s[j] > 0)) ++dropped;
  return kFitOk;
}
