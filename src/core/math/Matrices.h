#pragma once
// Dynamically sized vectors and matrices of doubles, the singular value
// decomposition and the two small routines of the least-squares solver.
//
// Index ranges start at 0; a routine works on the part from a lower bound Lb
// (0 or 1) upwards. Whoever allocates a vector or matrix releases it; routines
// that take them as arguments never allocate or release them (scratch storage
// apart).
#include <cstdint>

// A vector v[0..Ub]; a null handle is a vector that is not allocated.
using TDoubleVector = double*;
// A matrix a[0..Ub1][0..Ub2]: a table of row handles, each row its own block.
using TDoubleMatrix = double**;

// Result codes of the solver.
using FitResult = int32_t;
constexpr FitResult kFitOk = 0;
constexpr FitResult kFitSingular = -1;        // singular matrix (not produced by SVD)
constexpr FitResult kFitNoConvergence = -2;   // a singular value did not converge
constexpr FitResult kFitNoMemory = -3;        // scratch storage could not be obtained
constexpr FitResult kFitNoModel = -4;         // no such model kind

// Largest Ub of a vector and Ub2 of a matrix, and largest Ub1 of a matrix.
constexpr int kMaxVectorUb = 8190;
constexpr int kMaxMatrixRowsUb = 16382;

// v becomes a new zero-filled vector 0..Ub when 0 <= Ub <= 8190; otherwise, or
// when memory is exhausted, v becomes null.
void AllocVector(TDoubleVector& v, int Ub);
// a becomes a new zero-filled matrix 0..Ub1 x 0..Ub2 when 0 <= Ub1 <= 16382 and
// 0 <= Ub2 <= 8190; otherwise, or when any row cannot be obtained, a becomes null
// (rows already obtained are released).
void AllocMatrix(TDoubleMatrix& a, int Ub1, int Ub2);
// Release a non-null handle and set it to null; a null handle is left alone.
void FreeVector(TDoubleVector& v, int Ub);
void FreeMatrix(TDoubleMatrix& a, int Ub1, int Ub2);

// v[Lb], replaced by each later element that is strictly greater.
double VectorMax(TDoubleVector v, int Lb, int Ub);
// v[i] = a[i][c] for i = Lb..Ub.
void CopyColumn(TDoubleVector v, TDoubleMatrix a, int Lb, int Ub, int c);

// Golub-Reinsch singular value decomposition A = U diag(w) V^T of the matrix in
// rows Lb..m, columns Lb..n (m >= n is the caller's duty). On return A holds U,
// w[Lb..n] the singular values (>= 0, unsorted) and V[Lb..n][Lb..n] V itself:
// column j of V belongs to w[j]. Each expression is evaluated in extended
// precision and rounded to double when stored.
// kFitOk, or kFitNoConvergence when a singular value has not converged after 30
// QR sweeps (A, w and V are then partly transformed and must not be used).
// A matrix with fewer rows than columns is refused with kFitSingular, untouched.
FitResult SvdDecompose(TDoubleMatrix A, int Lb, int m, int n, TDoubleVector w, TDoubleMatrix V);

// Sets to 0 every s[i] (i = Lb..Ub) below VectorMax(s) * tolerance; values equal
// to that threshold stay.
void SvdZeroSmall(TDoubleVector s, int Lb, int Ub, double tolerance);

// x = Vf diag(1/s) Uf^T b over rows Lb..Ub1 and columns Lb..Ub2, zero singular
// values contributing nothing (the minimum-norm least-squares solution).
void SvdSolve(TDoubleMatrix Uf, TDoubleVector s, TDoubleMatrix Vf, TDoubleVector b, int Lb,
              int Ub1, int Ub2, TDoubleVector x);
