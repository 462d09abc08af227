#pragma once
// Helpers of the mathematics tests: owned vectors and matrices, a presenter that
// records its messages, and reconstruction checks of a decomposition.
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "Interfaces.h"
#include "Matrices.h"

namespace mathtest {

constexpr double kEps = 2.220446049250313e-16;

// A vector 0..ub released at the end of the scope.
struct Vec {
  TDoubleVector v = nullptr;
  int ub;
  explicit Vec(int u) : ub(u) { AllocVector(v, ub); }
  ~Vec() { FreeVector(v, ub); }
  Vec(Vec&& o) noexcept : v(o.v), ub(o.ub) { o.v = nullptr; }
  Vec(const Vec&) = delete;
  Vec& operator=(const Vec&) = delete;
  double& operator[](int i) { return v[i]; }
};

// A matrix 0..ub1 x 0..ub2 released at the end of the scope.
struct Mat {
  TDoubleMatrix a = nullptr;
  int ub1, ub2;
  Mat(int u1, int u2) : ub1(u1), ub2(u2) { AllocMatrix(a, ub1, ub2); }
  ~Mat() { FreeMatrix(a, ub1, ub2); }
  Mat(Mat&& o) noexcept : a(o.a), ub1(o.ub1), ub2(o.ub2) { o.a = nullptr; }
  Mat(const Mat&) = delete;
  Mat& operator=(const Mat&) = delete;
  double* operator[](int i) { return a[i]; }
};

class RecordingPresenter : public IMessagePresenter {
 public:
  void ShowMessage(const std::string& text) override { messages.push_back(text); }
  void ShowError(const std::string& text) override { errors.push_back(text); }
  std::vector<std::string> messages;
  std::vector<std::string> errors;
};

// Row-major dense copy of rows Lb..m, columns Lb..n of a matrix.
using Dense = std::vector<std::vector<double>>;

inline void Load(TDoubleMatrix a, int Lb, const Dense& d) {
  for (size_t i = 0; i < d.size(); ++i)
    for (size_t j = 0; j < d[i].size(); ++j) a[Lb + i][Lb + j] = d[i][j];
}

struct SvdCheck {
  double reconstruction = 0;  // max |A - U diag(w) V^T| / max(w)
  double orthoU = 0;          // max |U^T U - I|
  double orthoV = 0;          // max |V^T V - I|
  double wMax = 0;
};

// Measures a decomposition (U in a, w, V, all from index Lb) of the dense A.
inline SvdCheck CheckSvd(const Dense& A, TDoubleMatrix a, TDoubleVector w, TDoubleMatrix V, int Lb) {
  const int m = static_cast<int>(A.size());
  const int n = static_cast<int>(A[0].size());
  SvdCheck c;
  for (int j = 0; j < n; ++j) c.wMax = std::max(c.wMax, w[Lb + j]);
  for (int i = 0; i < m; ++i)
    for (int j = 0; j < n; ++j) {
      long double s = 0;
      for (int k = 0; k < n; ++k)
        s += static_cast<long double>(a[Lb + i][Lb + k]) * w[Lb + k] * V[Lb + j][Lb + k];
      c.reconstruction = std::max(c.reconstruction, static_cast<double>(std::fabs(s - A[i][j])));
    }
  if (c.wMax > 0) c.reconstruction /= c.wMax;
  // Columns of U that belong to a zero singular value may be zero (rank-deficient
  // input); only the others must be orthonormal.
  for (int p = 0; p < n; ++p)
    for (int q = 0; q < n; ++q) {
      long double u = 0, v = 0;
      for (int i = 0; i < m; ++i) u += static_cast<long double>(a[Lb + i][Lb + p]) * a[Lb + i][Lb + q];
      for (int i = 0; i < n; ++i) v += static_cast<long double>(V[Lb + i][Lb + p]) * V[Lb + i][Lb + q];
      const double want = p == q ? 1.0 : 0.0;
      if (w[Lb + p] > 0 && w[Lb + q] > 0)
        c.orthoU = std::max(c.orthoU, static_cast<double>(std::fabs(u - want)));
      c.orthoV = std::max(c.orthoV, static_cast<double>(std::fabs(v - want)));
    }
  return c;
}

// Solves (A^T A) x = A^T y in long double by Gauss-Jordan with partial pivoting;
// also returns (A^T A)^-1. A is row-major, rows = observations.
struct NormalSolution {
  std::vector<long double> x;
  std::vector<std::vector<long double>> inverse;
};

inline NormalSolution SolveNormal(const Dense& A, const std::vector<double>& y) {
  const size_t p = A[0].size();
  std::vector<std::vector<long double>> m(p, std::vector<long double>(2 * p + 1, 0));
  for (size_t i = 0; i < p; ++i) {
    for (size_t j = 0; j < p; ++j)
      for (size_t k = 0; k < A.size(); ++k) m[i][j] += static_cast<long double>(A[k][i]) * A[k][j];
    for (size_t k = 0; k < A.size(); ++k) m[i][p] += static_cast<long double>(A[k][i]) * y[k];
    m[i][p + 1 + i] = 1;
  }
  for (size_t c = 0; c < p; ++c) {
    size_t piv = c;
    for (size_t r = c + 1; r < p; ++r)
      if (std::fabs(m[r][c]) > std::fabs(m[piv][c])) piv = r;
    std::swap(m[c], m[piv]);
    for (size_t r = 0; r < p; ++r) {
      if (r == c) continue;
      const long double f = m[r][c] / m[c][c];
      for (size_t j = c; j < 2 * p + 1; ++j) m[r][j] -= f * m[c][j];
    }
  }
  NormalSolution s;
  s.x.resize(p);
  s.inverse.assign(p, std::vector<long double>(p));
  for (size_t i = 0; i < p; ++i) {
    s.x[i] = m[i][p] / m[i][i];
    for (size_t j = 0; j < p; ++j) s.inverse[i][j] = m[i][p + 1 + j] / m[i][i];
  }
  return s;
}

}  // namespace mathtest
