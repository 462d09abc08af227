// Vectors, matrices and the singular value decomposition, checked without an
// outside reference (the comparison with LAPACK is in LapackReferenceTest.cpp).
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "MathTestSupport.h"
#include "Matrices.h"

using namespace mathtest;

// ---- Allocation limits and ownership ------------------------------------------

TEST(MatrixStorage, VectorLimitIs8190) {
  TDoubleVector v = nullptr;
  AllocVector(v, 8190);
  ASSERT_NE(v, nullptr);
  for (int i = 0; i <= 8190; ++i) ASSERT_EQ(v[i], 0.0) << i;
  FreeVector(v, 8190);
  EXPECT_EQ(v, nullptr);

  double dummy = 1;
  TDoubleVector big = &dummy;  // a refused allocation still sets the handle to null
  AllocVector(big, 8191);
  EXPECT_EQ(big, nullptr);
  TDoubleVector negative = nullptr;
  AllocVector(negative, -1);
  EXPECT_EQ(negative, nullptr);
}

TEST(MatrixStorage, MatrixLimits) {
  TDoubleMatrix a = nullptr;
  AllocMatrix(a, 16382, 0);
  ASSERT_NE(a, nullptr);
  for (int i = 0; i <= 16382; ++i) ASSERT_EQ(a[i][0], 0.0) << i;
  FreeMatrix(a, 16382, 0);
  EXPECT_EQ(a, nullptr);

  AllocMatrix(a, 0, 8190);
  ASSERT_NE(a, nullptr);
  for (int j = 0; j <= 8190; ++j) ASSERT_EQ(a[0][j], 0.0) << j;
  FreeMatrix(a, 0, 8190);

  TDoubleMatrix bad = nullptr;
  AllocMatrix(bad, 16383, 0);
  EXPECT_EQ(bad, nullptr);
  AllocMatrix(bad, 0, 8191);
  EXPECT_EQ(bad, nullptr);
  AllocMatrix(bad, -1, 3);
  EXPECT_EQ(bad, nullptr);
  AllocMatrix(bad, 3, -1);
  EXPECT_EQ(bad, nullptr);
}

TEST(MatrixStorage, EveryElementStartsAtZeroIncludingRowAndColumnZero) {
  Mat a(7, 5);
  ASSERT_NE(a.a, nullptr);
  for (int i = 0; i <= 7; ++i)
    for (int j = 0; j <= 5; ++j) EXPECT_EQ(a[i][j], 0.0) << i << "," << j;
  // Rows are separate blocks: writing one row leaves the others alone.
  for (int j = 0; j <= 5; ++j) a[3][j] = 1.0;
  for (int j = 0; j <= 5; ++j) EXPECT_EQ(a[2][j] + a[4][j], 0.0);
}

TEST(MatrixStorage, FreeOnNullHandleDoesNothing) {
  TDoubleVector v = nullptr;
  FreeVector(v, 10);
  EXPECT_EQ(v, nullptr);
  TDoubleMatrix a = nullptr;
  FreeMatrix(a, 10, 10);
  EXPECT_EQ(a, nullptr);
}

TEST(MatrixStorage, VectorMaxKeepsFirstOfEqualMaxima) {
  Vec v(3);
  v[0] = 3;
  v[1] = 7;
  v[2] = 7;
  v[3] = 2;
  EXPECT_EQ(VectorMax(v.v, 0, 3), 7.0);
  EXPECT_EQ(VectorMax(v.v, 3, 3), 2.0);
  EXPECT_EQ(VectorMax(v.v, 2, 3), 7.0);
  v[0] = -5;
  v[1] = -1;
  EXPECT_EQ(VectorMax(v.v, 0, 1), -1.0);
}

TEST(MatrixStorage, CopyColumnCopiesOnlyTheRange) {
  Mat a(4, 2);
  for (int i = 0; i <= 4; ++i) a[i][1] = 10 + i;
  Vec v(4);
  v[0] = -1;
  CopyColumn(v.v, a.a, 1, 3, 1);
  EXPECT_EQ(v[0], -1.0);
  EXPECT_EQ(v[1], 11.0);
  EXPECT_EQ(v[2], 12.0);
  EXPECT_EQ(v[3], 13.0);
  EXPECT_EQ(v[4], 0.0);
}

// ---- Singular value decomposition: edge cases ---------------------------------

namespace {

// Decomposes the dense matrix with lower bound Lb; returns the result code and
// leaves U, w, V in the given storage.
struct Decomposition {
  Decomposition(const Dense& A, int Lb)
      : m(static_cast<int>(A.size()) - 1 + Lb),
        n(static_cast<int>(A[0].size()) - 1 + Lb),
        a(m, n),
        w(n),
        V(n, n) {
    Load(a.a, Lb, A);
    result = SvdDecompose(a.a, Lb, m, n, w.v, V.a);
    check = CheckSvd(A, a.a, w.v, V.a, Lb);
  }
  int m, n;
  Mat a;
  Vec w;
  Mat V;
  FitResult result;
  SvdCheck check;
};

}  // namespace

class SvdLowerBound : public ::testing::TestWithParam<int> {};

TEST_P(SvdLowerBound, SingleColumnGivesItsNormAndVMinusOne) {
  const int Lb = GetParam();
  const Dense A = {{3}, {0}, {4}, {12}};
  Decomposition d(A, Lb);
  ASSERT_EQ(d.result, kFitOk);
  EXPECT_NEAR(d.w[Lb], 13.0, 2 * kEps * 13);
  // A non-zero column whose first element is >= 0: the Householder step flips the
  // sign, so V is -1 and U is -A / |A|.
  EXPECT_EQ(d.V[Lb][Lb], -1.0);
  for (int i = 0; i < 4; ++i) EXPECT_NEAR(d.a[Lb + i][Lb], -A[i][0] / 13.0, 2 * kEps) << i;
  EXPECT_LE(d.check.reconstruction, 4 * kEps);
}

TEST_P(SvdLowerBound, SingleNegativeLeadingColumn) {
  const int Lb = GetParam();
  const Dense A = {{-2}, {1}, {2}};
  Decomposition d(A, Lb);
  ASSERT_EQ(d.result, kFitOk);
  EXPECT_NEAR(d.w[Lb], 3.0, 2 * kEps * 3);
  EXPECT_EQ(std::fabs(d.V[Lb][Lb]), 1.0);
  EXPECT_LE(d.check.reconstruction, 4 * kEps);
}

TEST_P(SvdLowerBound, DiagonalGivesAbsoluteValuesInDiagonalOrder) {
  const int Lb = GetParam();
  const Dense A = {{2, 0, 0, 0}, {0, -5, 0, 0}, {0, 0, 0.5, 0}, {0, 0, 0, -3}, {0, 0, 0, 0}};
  Decomposition d(A, Lb);
  ASSERT_EQ(d.result, kFitOk);
  EXPECT_EQ(d.w[Lb + 0], 2.0);
  EXPECT_EQ(d.w[Lb + 1], 5.0);
  EXPECT_EQ(d.w[Lb + 2], 0.5);
  EXPECT_EQ(d.w[Lb + 3], 3.0);
  EXPECT_LE(d.check.reconstruction, 2 * kEps);
  EXPECT_LE(d.check.orthoV, 2 * kEps);
}

TEST_P(SvdLowerBound, ZeroColumnGivesAZeroSingularValue) {
  const int Lb = GetParam();
  const Dense A = {{1, 4, 0}, {2, -1, 0}, {3, 7, 0}, {-1, 2, 0}, {5, 5, 0}};
  Decomposition d(A, Lb);
  ASSERT_EQ(d.result, kFitOk);
  double wMin = d.w[Lb];
  for (int j = Lb; j <= d.n; ++j) {
    EXPECT_GE(d.w[j], 0.0);
    wMin = std::min(wMin, d.w[j]);
  }
  EXPECT_LE(wMin, 4 * kEps * d.check.wMax);
  EXPECT_LE(d.check.reconstruction, 8 * kEps);
  EXPECT_LE(d.check.orthoV, 8 * kEps);
}

TEST_P(SvdLowerBound, ZeroMatrix) {
  const int Lb = GetParam();
  const Dense A = {{0, 0}, {0, 0}, {0, 0}};
  Decomposition d(A, Lb);
  ASSERT_EQ(d.result, kFitOk);
  EXPECT_EQ(d.w[Lb], 0.0);
  EXPECT_EQ(d.w[Lb + 1], 0.0);
  EXPECT_LE(d.check.orthoV, 0.0);
}

INSTANTIATE_TEST_SUITE_P(Lb, SvdLowerBound, ::testing::Values(0, 1));

// A zero diagonal element inside the bidiagonal form sends the decomposition into
// the cancellation step, which must leave c * e[i] behind each rotation and stop
// once the element it chases is negligible; otherwise the factors no longer
// multiply back to A (errors of 40 % on these matrices).
TEST(SvdCancellation, ZeroDiagonalInsideTheBidiagonalForm) {
  const Dense small = {{0, 0, -1}, {0, 0, 0}, {0, 1, 1}};
  const Dense tall = {{0, 1, 0}, {0, 0, -1}, {0, 1, 1}, {0, 0, -1}};
  for (const Dense* A : {&small, &tall}) {
    for (int Lb : {0, 1}) {
      Decomposition d(*A, Lb);
      ASSERT_EQ(d.result, kFitOk);
      EXPECT_LE(d.check.reconstruction, 8 * kEps) << "Lb " << Lb;
      EXPECT_LE(d.check.orthoV, 8 * kEps) << "Lb " << Lb;
    }
  }
}

TEST(SvdCancellation, RegistrationDesignWithTrackerXAlwaysZero) {
  // Constant column, then FOBx = 0 in every pair, then FOBy and FOBz.
  const Dense A = {{1, 0, 0, 0}, {1, 0, 1, 1}, {1, 0, 0, -1}, {1, 0, -1, 1}, {1, 0, 0, -1}};
  Decomposition d(A, 0);
  ASSERT_EQ(d.result, kFitOk);
  EXPECT_LE(d.check.reconstruction, 8 * kEps);
  EXPECT_LE(d.check.orthoU, 8 * kEps);
  EXPECT_LE(d.check.orthoV, 8 * kEps);
}

// Two equal singular values can leave a superdiagonal element of rounding size
// (about 1e-16 of the norm) that further sweeps do not reduce; such a matrix must
// converge rather than report non-convergence. The 30 sweeps spent on the pair
// add their rounding to U and V (about 25 eps).
TEST(SvdConvergence, EqualSingularValuesConverge) {
  const Dense pair = {{1, -1, 1, 1}, {1, 0, 0, -1}, {1, 1, -1, 1}, {1, 0, 1, -1}, {1, 0, 0, -1}};
  const Dense pair2 = {{1, 1, 0, -1}, {1, -1, -1, -1}, {1, 0, 1, -1},
                       {1, 1, 1, 1},  {1, 0, 0, -1},   {1, 1, 0, 1}};
  for (const Dense* A : {&pair, &pair2}) {
    Decomposition d(*A, 0);
    ASSERT_EQ(d.result, kFitOk);
    EXPECT_LE(d.check.reconstruction, 16 * kEps);
    EXPECT_LE(d.check.orthoU, 48 * kEps);
    EXPECT_LE(d.check.orthoV, 48 * kEps);
  }
}

TEST(SvdFailure, NaNInTheMatrixReportsNonConvergence) {
  for (int Lb : {0, 1}) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const Dense A = {{1, 2, 3}, {4, nan, 6}, {7, 8, 10}, {1, 1, 1}};
    Decomposition d(A, Lb);
    EXPECT_EQ(d.result, kFitNoConvergence) << "Lb " << Lb;
  }
}

TEST(SvdFailure, FewerRowsThanColumnsIsRefusedUntouched) {
  Mat a(1, 2);
  a[0][0] = 1;
  a[0][1] = 2;
  a[0][2] = 3;
  Vec w(2);
  Mat V(2, 2);
  EXPECT_EQ(SvdDecompose(a.a, 0, 1, 2, w.v, V.a), kFitSingular);
  EXPECT_EQ(a[0][2], 3.0);
}

TEST(SvdSolveTest, ZeroedSingularValuesContributeNothing) {
  // U = I (3 x 2), s = (2, 0), V = I: x = (b0 / 2, 0).
  Mat U(2, 1);
  U[0][0] = 1;
  U[1][1] = 1;
  Vec s(1), b(2), x(1);
  s[0] = 2;
  s[1] = 0;
  Mat V(1, 1);
  V[0][0] = 1;
  V[1][1] = 1;
  b[0] = 3;
  b[1] = 5;
  b[2] = 7;
  SvdSolve(U.a, s.v, V.a, b.v, 0, 2, 1, x.v);
  EXPECT_EQ(x[0], 1.5);
  EXPECT_EQ(x[1], 0.0);
}

TEST(SvdZeroSmallTest, ThresholdIsRelativeAndInclusive) {
  Vec s(3);
  for (int i = 0; i <= 3; ++i) s[i] = 4.0;
  SvdZeroSmall(s.v, 0, 3, 0.5);
  for (int i = 0; i <= 3; ++i) EXPECT_EQ(s[i], 4.0) << "equal values all stay";

  s[0] = 8;
  s[1] = 2;           // exactly 8 * 0.25: stays
  s[2] = 1.9999999;   // below: zeroed
  s[3] = 0;
  SvdZeroSmall(s.v, 0, 3, 0.25);
  EXPECT_EQ(s[0], 8.0);
  EXPECT_EQ(s[1], 2.0);
  EXPECT_EQ(s[2], 0.0);
  EXPECT_EQ(s[3], 0.0);

  // Lb = 1: element 0 is neither the maximum nor touched.
  s[0] = 100;
  s[1] = 1;
  s[2] = 1e-20;
  s[3] = 0.5;
  SvdZeroSmall(s.v, 1, 3, 1e-3);
  EXPECT_EQ(s[0], 100.0);
  EXPECT_EQ(s[2], 0.0);
  EXPECT_EQ(s[3], 0.5);
}
