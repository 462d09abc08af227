// SvdDecompose and SvdRegression against LAPACK (dgesvd for singular values and
// the pseudo-inverse, dgelsd for minimum-norm least squares). Native build only.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "MathTestSupport.h"
#include "Matrices.h"
#include "Regress.h"

using namespace mathtest;

extern "C" {
void dgesvd_(const char* jobu, const char* jobvt, const int* m, const int* n, double* a,
             const int* lda, double* s, double* u, const int* ldu, double* vt, const int* ldvt,
             double* work, const int* lwork, int* info);
void dgelsd_(const int* m, const int* n, const int* nrhs, double* a, const int* lda, double* b,
             const int* ldb, double* s, const double* rcond, int* rank, double* work,
             const int* lwork, int* iwork, int* info);
}

namespace {

// Column-major copy for LAPACK.
std::vector<double> ColumnMajor(const Dense& A) {
  const int m = static_cast<int>(A.size()), n = static_cast<int>(A[0].size());
  std::vector<double> c(static_cast<size_t>(m) * n);
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < m; ++i) c[static_cast<size_t>(j) * m + i] = A[i][j];
  return c;
}

struct LapackSvd {
  std::vector<double> s;   // descending
  std::vector<double> vt;  // n x n, column-major
};

LapackSvd Dgesvd(const Dense& A) {
  const int m = static_cast<int>(A.size()), n = static_cast<int>(A[0].size());
  std::vector<double> a = ColumnMajor(A);
  LapackSvd r;
  r.s.resize(n);
  r.vt.resize(static_cast<size_t>(n) * n);
  double u = 0;
  const int ldu = 1;
  int lwork = -1, info = 0;
  double query = 0;
  dgesvd_("N", "A", &m, &n, a.data(), &m, r.s.data(), &u, &ldu, r.vt.data(), &n, &query, &lwork,
          &info);
  lwork = static_cast<int>(query);
  std::vector<double> work(lwork);
  dgesvd_("N", "A", &m, &n, a.data(), &m, r.s.data(), &u, &ldu, r.vt.data(), &n, work.data(),
          &lwork, &info);
  EXPECT_EQ(info, 0);
  return r;
}

std::vector<double> Dgelsd(const Dense& A, const std::vector<double>& y, double rcond) {
  const int m = static_cast<int>(A.size()), n = static_cast<int>(A[0].size()), nrhs = 1;
  std::vector<double> a = ColumnMajor(A), b = y, s(n);
  int rank = 0, info = 0, lwork = -1;
  double query = 0;
  int iquery = 0;
  dgelsd_(&m, &n, &nrhs, a.data(), &m, b.data(), &m, s.data(), &rcond, &rank, &query, &lwork,
          &iquery, &info);
  lwork = static_cast<int>(query);
  std::vector<double> work(lwork);
  std::vector<int> iwork(std::max(1, iquery));
  dgelsd_(&m, &n, &nrhs, a.data(), &m, b.data(), &m, s.data(), &rcond, &rank, work.data(), &lwork,
          iwork.data(), &info);
  EXPECT_EQ(info, 0);
  b.resize(n);
  return b;
}

// Singular values to extended precision by one-sided Jacobi rotations in long
// double (descending): an accurate yardstick for both decompositions.
std::vector<double> JacobiSingularValues(const Dense& A) {
  const int m = static_cast<int>(A.size()), n = static_cast<int>(A[0].size());
  std::vector<std::vector<long double>> c(n, std::vector<long double>(m));
  for (int i = 0; i < m; ++i)
    for (int j = 0; j < n; ++j) c[j][i] = A[i][j];
  for (int sweep = 0; sweep < 60; ++sweep) {
    bool rotated = false;
    for (int p = 0; p < n; ++p)
      for (int q = p + 1; q < n; ++q) {
        long double a = 0, b = 0, g = 0;
        for (int i = 0; i < m; ++i) {
          a += c[p][i] * c[p][i];
          b += c[q][i] * c[q][i];
          g += c[p][i] * c[q][i];
        }
        if (g == 0 || std::fabs(g) <= 1e-21L * std::sqrt(a * b)) continue;
        rotated = true;
        const long double zeta = (b - a) / (2 * g);
        const long double t = (zeta >= 0 ? 1 : -1) / (std::fabs(zeta) + std::sqrt(1 + zeta * zeta));
        const long double cs = 1 / std::sqrt(1 + t * t), sn = cs * t;
        for (int i = 0; i < m; ++i) {
          const long double x = c[p][i], y = c[q][i];
          c[p][i] = cs * x - sn * y;
          c[q][i] = sn * x + cs * y;
        }
      }
    if (!rotated) break;
  }
  std::vector<double> s(n);
  for (int j = 0; j < n; ++j) {
    long double t = 0;
    for (int i = 0; i < m; ++i) t += c[j][i] * c[j][i];
    s[j] = static_cast<double>(std::sqrt(t));
  }
  std::sort(s.begin(), s.end(), std::greater<double>());
  return s;
}

enum class Kind { Random, RankDeficient, SingleColumn, Diagonal, ZeroColumn, SmallIntegers };

Dense MakeMatrix(Kind kind, int m, int n, std::mt19937& rng) {
  std::normal_distribution<double> g(0, 1);
  std::uniform_int_distribution<int> small(-2, 2);
  Dense A(m, std::vector<double>(n, 0));
  for (int i = 0; i < m; ++i)
    for (int j = 0; j < n; ++j) {
      switch (kind) {
        case Kind::Diagonal: A[i][j] = i == j ? 10 * g(rng) : 0; break;
        case Kind::SmallIntegers: A[i][j] = small(rng); break;
        default: A[i][j] = g(rng) * std::pow(10.0, j % 3);
      }
    }
  if (kind == Kind::RankDeficient && n >= 3)
    for (int i = 0; i < m; ++i) A[i][n - 1] = A[i][0] - 2 * A[i][1];
  if (kind == Kind::ZeroColumn)
    for (int i = 0; i < m; ++i) A[i][n / 2] = 0;
  return A;
}

struct Worst {
  double recon = 0, ortho = 0, sv = 0, svExact = 0, lapackExact = 0;
};

}  // namespace

TEST(LapackSvd, FactorsAndSingularValuesMatchDgesvd) {
  std::mt19937 rng(20240611);
  Worst worst;
  const Kind kinds[] = {Kind::Random,   Kind::RankDeficient, Kind::SingleColumn,
                        Kind::Diagonal, Kind::ZeroColumn,    Kind::SmallIntegers};
  for (Kind kind : kinds)
    for (int trial = 0; trial < 60; ++trial) {
      const int n = kind == Kind::SingleColumn ? 1 : 2 + trial % 5;
      const int m = n + static_cast<int>(rng() % 121);
      const Dense A = MakeMatrix(kind, m, n, rng);
      const LapackSvd ref = Dgesvd(A);
      const std::vector<double> exact = JacobiSingularValues(A);
      const double norm = exact[0];
      auto maxDiff = [&](const std::vector<double>& x, const std::vector<double>& y) {
        double d = 0;
        for (int j = 0; j < n; ++j) d = std::max(d, std::fabs(x[j] - y[j]));
        return norm > 0 ? d / (kEps * norm) : d;
      };
      worst.lapackExact = std::max(worst.lapackExact, maxDiff(ref.s, exact));
      for (int Lb : {0, 1}) {
        Mat a(m - 1 + Lb, n - 1 + Lb), V(n - 1 + Lb, n - 1 + Lb);
        Vec w(n - 1 + Lb);
        Load(a.a, Lb, A);
        ASSERT_EQ(SvdDecompose(a.a, Lb, m - 1 + Lb, n - 1 + Lb, w.v, V.a), kFitOk);
        const SvdCheck c = CheckSvd(A, a.a, w.v, V.a, Lb);
        std::vector<double> ws(w.v + Lb, w.v + Lb + n);
        std::sort(ws.begin(), ws.end(), std::greater<double>());
        const double sv = maxDiff(ws, ref.s);
        const double svExact = maxDiff(ws, exact);
        const double recon = c.reconstruction / kEps;  // already relative to max(w)
        const double ortho = std::max(c.orthoU, c.orthoV) / kEps;
        worst.recon = std::max(worst.recon, recon);
        worst.ortho = std::max(worst.ortho, ortho);
        worst.sv = std::max(worst.sv, sv);
        worst.svExact = std::max(worst.svExact, svExact);
        const std::string where =
            "kind " + std::to_string(static_cast<int>(kind)) + " m " + std::to_string(m) + " n " +
            std::to_string(n) + " Lb " + std::to_string(Lb);
        // The error grows with the size: up to about 5 eps * max(w) from the exact
        // values for 100 x 6 matrices, as for dgesvd itself, whose values are as far
        // off; the two agree within the sum.
        EXPECT_LE(svExact, 6) << where;
        EXPECT_LE(sv, 10) << where;
        if (n <= 4) {
          EXPECT_LE(svExact, 4) << where;
        }
        EXPECT_LE(recon, 16) << where;
        EXPECT_LE(ortho, 16) << where;
      }
    }
  std::printf("[ figures  ] SVD worst: reconstruction %.2f eps*|A|, orthogonality %.2f eps, "
              "singular values %.2f eps*max(w) from the exact ones (dgesvd's: %.2f) and %.2f "
              "from dgesvd's\n",
              worst.recon, worst.ortho, worst.svExact, worst.lapackExact, worst.sv);
}

namespace {

// A regression problem as the registration builds it: N observations of three
// tracker coordinates and one MRI coordinate.
struct Regression {
  int N;
  Mat U;
  Vec Y;
  Dense A;  // design with the constant column
  std::vector<double> y;
  explicit Regression(int n) : N(n), U(3, n), Y(n) {}
};

enum class Design { Full, ConstantColumn, ZeroColumn, DuplicateColumn, SumColumn };

Regression MakeRegression(Design d, int N, std::mt19937& rng) {
  Regression r(N);
  std::uniform_int_distribution<int> fob(-4000, 4000);
  std::normal_distribution<double> noise(0, 0.8);
  for (int k = 1; k <= N; ++k) {
    int x = fob(rng), y = fob(rng), z = fob(rng);
    if (d == Design::ConstantColumn) z = 1234;
    if (d == Design::ZeroColumn) y = 0;
    if (d == Design::DuplicateColumn) y = x;
    if (d == Design::SumColumn) z = x + y;
    r.U[1][k] = x;
    r.U[2][k] = y;
    r.U[3][k] = z;
    r.Y[k] = std::round(90 + 0.027 * x - 0.006 * y + 0.004 * z + noise(rng));
    r.A.push_back({1.0, r.U[1][k], r.U[2][k], r.U[3][k]});
    r.y.push_back(r.Y[k]);
  }
  return r;
}

// Pseudo-inverse of A^T A from dgesvd: sum over kept singular values of v v^T / s^2.
std::vector<std::vector<double>> PseudoInverseNormal(const Dense& A, double rcond) {
  const LapackSvd ref = Dgesvd(A);
  const int n = static_cast<int>(A[0].size());
  std::vector<std::vector<double>> P(n, std::vector<double>(n, 0));
  for (int k = 0; k < n; ++k) {
    if (ref.s[k] < rcond * ref.s[0]) continue;
    for (int i = 0; i < n; ++i)
      for (int j = 0; j < n; ++j) {
        // Row k of V^T is v_k.
        const double vi = ref.vt[static_cast<size_t>(i) * n + k];
        const double vj = ref.vt[static_cast<size_t>(j) * n + k];
        P[i][j] += vi * vj / (ref.s[k] * ref.s[k]);
      }
  }
  return P;
}

}  // namespace

TEST(LapackRegression, CoefficientsAndCovarianceMatchDgelsd) {
  std::mt19937 rng(77);
  double worstB = 0, worstV = 0;
  const Design designs[] = {Design::Full, Design::ConstantColumn, Design::ZeroColumn,
                            Design::DuplicateColumn, Design::SumColumn};
  for (Design d : designs)
    for (int N : {5, 6, 8, 12, 25, 60, 125}) {
      for (int rep = 0; rep < 4; ++rep) {
        Regression r = MakeRegression(d, N, rng);
        Vec B(3);
        Mat V(3, 3);
        ASSERT_EQ(SvdRegression(r.U.a, r.Y.v, N, 3, true, B.v, V.a), kFitOk);
        const double rcond = N * kEps;
        const std::vector<double> ref = Dgelsd(r.A, r.y, rcond);
        double refNorm = 0, diff = 0;
        for (int i = 0; i < 4; ++i) {
          refNorm = std::max(refNorm, std::fabs(ref[i]));
          diff = std::max(diff, std::fabs(B[i] - ref[i]));
          if (d == Design::Full) {  // componentwise for full rank
            EXPECT_LE(std::fabs(B[i] - ref[i]), 1e-10 * std::fabs(ref[i]))
                << "N " << N << " b" << i;
          }
        }
        worstB = std::max(worstB, diff / refNorm);
        EXPECT_LE(diff, 1e-10 * refNorm) << "design " << static_cast<int>(d) << " N " << N;

        const auto P = PseudoInverseNormal(r.A, rcond);
        double pNorm = 0, vDiff = 0;
        for (int i = 0; i < 4; ++i)
          for (int j = 0; j < 4; ++j) {
            pNorm = std::max(pNorm, std::fabs(P[i][j]));
            vDiff = std::max(vDiff, std::fabs(V[i][j] - P[i][j]));
          }
        worstV = std::max(worstV, vDiff / pNorm);
        EXPECT_LE(vDiff, 1e-10 * pNorm) << "design " << static_cast<int>(d) << " N " << N;
      }
    }
  std::printf("[ figures  ] SvdRegression worst: coefficients %.3g, covariance factor %.3g "
              "(relative to the largest reference element)\n",
              worstB, worstV);
}
