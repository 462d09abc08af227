#include "Matrices.h"

#include <cmath>
#include <new>
#include <vector>

#include "ExtendedPrecision.h"
#include "FMath.h"

void AllocVector(TDoubleVector& v, int Ub) {
  v = nullptr;
  if (Ub < 0 || Ub > kMaxVectorUb) return;
  v = new (std::nothrow) double[static_cast<size_t>(Ub) + 1]();
}

void AllocMatrix(TDoubleMatrix& a, int Ub1, int Ub2) {
  a = nullptr;
  if (Ub1 < 0 || Ub1 > kMaxMatrixRowsUb || Ub2 < 0 || Ub2 > kMaxVectorUb) return;
  TDoubleMatrix rows = new (std::nothrow) double*[static_cast<size_t>(Ub1) + 1]();
  if (!rows) return;
  for (int i = 0; i <= Ub1; ++i) {
    rows[i] = new (std::nothrow) double[static_cast<size_t>(Ub2) + 1]();
    if (!rows[i]) {
      for (int k = i - 1; k >= 0; --k) delete[] rows[k];
      delete[] rows;
      return;
    }
  }
  a = rows;
}

void FreeVector(TDoubleVector& v, int /*Ub*/) {
  if (!v) return;
  delete[] v;
  v = nullptr;
}

void FreeMatrix(TDoubleMatrix& a, int Ub1, int /*Ub2*/) {
  if (!a) return;
  for (int i = Ub1; i >= 0; --i) delete[] a[i];
  delete[] a;
  a = nullptr;
}

double VectorMax(TDoubleVector v, int Lb, int Ub) {
  double r = v[Lb];
  for (int i = Lb + 1; i <= Ub; ++i)
    if (v[i] > r) r = v[i];
  return r;
}

void CopyColumn(TDoubleVector v, TDoubleMatrix a, int Lb, int Ub, int c) {
  for (int i = Lb; i <= Ub; ++i) v[i] = a[i][c];
}

namespace {

// Rounds an extended-precision result to the double it is stored as.
inline double D(ExtFloat x) { return static_cast<double>(x); }
inline ExtFloat X(double x) { return x; }

// Up to this many column operations run interleaved (their rounding chains are
// independent, so interleaving changes no bit, only the waiting on each chain).
constexpr int kBlock = 8;

// sums[t] = sum over rows k0..k1 of a[k][c] * a[k][j0 + t] for t < count, each in row
// order and rounded to double after every term.
void ColumnDots(TDoubleMatrix a, int c, int j0, int count, int k0, int k1, double* sums) {
  for (int t = 0; t < count; ++t) sums[t] = 0;
  for (int k = k0; k <= k1; ++k) {
    const double* row = a[k];
    const ExtFloat x = row[c];
    for (int t = 0; t < count; ++t) sums[t] = D(X(sums[t]) + x * row[j0 + t]);
  }
}

// a[k][j0 + t] = f[t] * a[k][c] + a[k][j0 + t] for rows k0..k1.
void ColumnUpdates(TDoubleMatrix a, int c, int j0, int count, int k0, int k1, const double* f) {
  for (int k = k0; k <= k1; ++k) {
    double* row = a[k];
    const double x = row[c];
    for (int t = 0; t < count; ++t) row[j0 + t] = D(X(f[t]) * x + row[j0 + t]);
  }
}

}  // namespace

FitResult SvdDecompose(TDoubleMatrix a, int Lb, int m, int n, TDoubleVector w, TDoubleMatrix V) {
  if (m < n) return kFitSingular;
  ExtendedPrecisionScope precision;
  // The superdiagonal, e[Lb..n]; a small one lives on the stack.
  double eSmall[16];
  std::vector<double> eLarge;
  double* e = eSmall;
  if (n + 1 > 16) {
    eLarge.assign(static_cast<size_t>(n) + 1, 0.0);
    e = eLarge.data();
  }
  for (int i = 0; i <= n && i < 16; ++i) eSmall[i] = 0.0;

  double g = 0, scale = 0, anorm = 0, s = 0, f = 0, h = 0, c = 0, x = 0, y = 0, z = 0;
  int l = Lb, nm = Lb;

  // Householder reduction to upper bidiagonal form.
  for (int i = Lb; i <= n; ++i) {
    l = i + 1;
    e[i] = D(X(scale) * g);
    g = 0;
    s = 0;
    scale = 0;
    if (i <= m) {
      for (int k = i; k <= m; ++k) scale = D(X(scale) + std::fabs(a[k][i]));
      if (scale != 0) {
        for (int k = i; k <= m; ++k) {
          a[k][i] = D(X(a[k][i]) / scale);
          s = D(X(s) + X(a[k][i]) * a[k][i]);
        }
        f = a[i][i];
        g = D(-SignOf(f) * std::sqrt(X(s)));
        h = D(X(f) * g - s);
        a[i][i] = D(X(f) - g);
        if (i != n) {
          // For each j = l..n: s = column i . column j, f = s / h, column j += f *
          // column i; column i is not changed meanwhile, so the columns are
          // independent and are done a block at a time.
          for (int j0 = l; j0 <= n; j0 += kBlock) {
            const int count = n - j0 + 1 < kBlock ? n - j0 + 1 : kBlock;
            double sums[kBlock], fs[kBlock];
            ColumnDots(a, i, j0, count, i, m, sums);
            for (int t = 0; t < count; ++t) fs[t] = D(X(sums[t]) / h);
            ColumnUpdates(a, i, j0, count, i, m, fs);
            s = sums[count - 1];
            f = fs[count - 1];
          }
        }
        for (int k = i; k <= m; ++k) a[k][i] = D(X(scale) * a[k][i]);
      }
    }
    w[i] = D(X(scale) * g);
    g = 0;
    s = 0;
    scale = 0;
    if (i <= m && i != n) {
      for (int k = l; k <= n; ++k) scale = D(X(scale) + std::fabs(a[i][k]));
      if (scale != 0) {
        for (int k = l; k <= n; ++k) {
          a[i][k] = D(X(a[i][k]) / scale);
          s = D(X(s) + X(a[i][k]) * a[i][k]);
        }
        f = a[i][l];
        g = D(-SignOf(f) * std::sqrt(X(s)));
        h = D(X(f) * g - s);
        a[i][l] = D(X(f) - g);
        for (int k = l; k <= n; ++k) e[k] = D(X(a[i][k]) / h);
        if (i != m) {
          for (int j = l; j <= m; ++j) {
            s = 0;
            for (int k = l; k <= n; ++k) s = D(X(s) + X(a[j][k]) * a[i][k]);
            for (int k = l; k <= n; ++k) a[j][k] = D(X(s) * e[k] + a[j][k]);
          }
        }
        for (int k = l; k <= n; ++k) a[i][k] = D(X(scale) * a[i][k]);
      }
    }
    anorm = MaxOf(anorm, D(X(std::fabs(w[i])) + std::fabs(e[i])));
  }

  // Accumulation of the right-hand transformations.
  for (int i = n; i >= Lb; --i) {
    if (i < n) {
      if (g != 0) {
        for (int j = l; j <= n; ++j) V[j][i] = D((X(a[i][j]) / a[i][l]) / g);
        for (int j = l; j <= n; ++j) {
          s = 0;
          for (int k = l; k <= n; ++k) s = D(X(s) + X(a[i][k]) * V[k][j]);
          for (int k = l; k <= n; ++k) V[k][j] = D(X(s) * V[k][i] + V[k][j]);
        }
      }
      for (int j = l; j <= n; ++j) {
        V[i][j] = 0;
        V[j][i] = 0;
      }
    }
    V[i][i] = 1;
    g = e[i];
    l = i;
  }

  // Accumulation of the left-hand transformations: a becomes U.
  for (int i = n; i >= Lb; --i) {
    l = i + 1;
    g = w[i];
    if (i < n)
      for (int j = l; j <= n; ++j) a[i][j] = 0;
    if (g != 0) {
      g = D(1.0L / g);
      if (i != n) {
        // For each j = l..n: s = sum over k = l..m of a[k][i] a[k][j], f =
        // (s / a[i][i]) g, then rows i..m of column j += f * column i.
        for (int j0 = l; j0 <= n; j0 += kBlock) {
          const int count = n - j0 + 1 < kBlock ? n - j0 + 1 : kBlock;
          double sums[kBlock], fs[kBlock];
          ColumnDots(a, i, j0, count, l, m, sums);
          for (int t = 0; t < count; ++t) fs[t] = D((X(sums[t]) / a[i][i]) * g);
          ColumnUpdates(a, i, j0, count, i, m, fs);
          s = sums[count - 1];
          f = fs[count - 1];
        }
      }
      for (int j = i; j <= m; ++j) a[j][i] = D(X(a[j][i]) * g);
    } else {
      for (int j = i; j <= m; ++j) a[j][i] = 0;
    }
    a[i][i] = D(X(a[i][i]) + 1);
  }

  // Diagonalisation of the bidiagonal form: implicitly shifted QR sweeps.
  const ExtFloat anormX = anorm;
  for (int k = n; k >= Lb; --k) {
    for (int its = 1; its <= 30; ++its) {
      // A value t is negligible when adding it to anorm in extended precision
      // leaves anorm unchanged (the sum compared unrounded). The elements are
      // stored as doubles, though, and a pair of equal singular values can leave
      // an e[k] of rounding size (up to about half an epsilon times anorm) that no
      // further sweep reduces and that the extended test never accepts. So the
      // last pass, before giving up, accepts what is negligible at the precision
      // the elements are stored in: |t| <= 4 * epsilon * anorm.
      const bool lastPass = its == 30;
      auto negligible = [&](double t) {
        if (lastPass) return std::fabs(X(t)) <= 4 * X(MachineEpsilon) * anormX;
        return std::fabs(X(t)) + anormX == anormX;
      };
      bool cancel = true;
      for (l = k; l >= Lb; --l) {
        nm = l - 1;
        // e[Lb] is 0, so the search ends at l = Lb at the latest and w[Lb - 1] is
        // never read, also when a NaN in the matrix makes every test fail.
        if (l == Lb || negligible(e[l])) {
          cancel = false;
          break;
        }
        if (negligible(w[nm])) break;
      }
      if (cancel) {
        // w[nm] is negligible: rotations from the left chase e[l] along row nm
        // out of the matrix. Each rotation leaves c * e[i] in place of e[i] and
        // moves s * e[i+1] on as the next element to annihilate; once that element
        // is negligible there is nothing left to chase.
        c = 0;
        s = 1;
        for (int i = l; i <= k; ++i) {
          f = D(X(s) * e[i]);
          e[i] = D(X(c) * e[i]);
          if (negligible(f)) break;
          g = w[i];
          h = SafeHypot(f, g);
          w[i] = h;
          h = D(1.0L / h);
          c = D(X(g) * h);
          s = D(-(X(f) * h));
          for (int j = Lb; j <= m; ++j) {
            const double p = a[j][nm];
            const double q = a[j][i];
            a[j][nm] = D(X(p) * c + X(q) * s);
            a[j][i] = D(-(X(p) * s) + X(q) * c);
          }
        }
      }
      z = w[k];
      if (l == k) {
        if (z < 0) {
          w[k] = -z;
          for (int j = Lb; j <= n; ++j) V[j][k] = -V[j][k];
        }
        break;
      }
      if (its == 30) return kFitNoConvergence;
      // Shift from the bottom 2 x 2 minor.
      x = w[l];
      nm = k - 1;
      y = w[nm];
      g = e[nm];
      h = e[k];
      f = D(((X(y) - z) * (X(y) + z) + (X(g) - h) * (X(g) + h)) / (2.0L * h * y));
      g = SafeHypot(f, 1.0);
      f = D(((X(x) - z) * (X(x) + z) + X(h) * ((X(y) / (X(f) + SignOf(f) * std::fabs(g))) - h)) / x);
      // QR sweep.
      c = 1;
      s = 1;
      for (int j = l; j <= nm; ++j) {
        const int i = j + 1;
        g = e[i];
        y = w[i];
        h = D(X(s) * g);
        g = D(X(c) * g);
        z = SafeHypot(f, h);
        e[j] = z;
        c = D(X(f) / z);
        s = D(X(h) / z);
        f = D(X(x) * c + X(g) * s);
        g = D(X(g) * c - X(x) * s);
        h = D(X(y) * s);
        y = D(X(y) * c);
        for (int r = Lb; r <= n; ++r) {
          const double p = V[r][j];
          const double q = V[r][i];
          V[r][j] = D(X(p) * c + X(q) * s);
          V[r][i] = D(X(q) * c - X(p) * s);
        }
        z = SafeHypot(f, h);
        w[j] = z;
        if (z != 0) {
          z = D(1.0L / z);
          c = D(X(f) * z);
          s = D(X(h) * z);
        }
        f = D(X(c) * g + X(s) * y);
        x = D(X(c) * y - X(s) * g);
        for (int r = Lb; r <= m; ++r) {
          const double p = a[r][j];
          const double q = a[r][i];
          a[r][j] = D(X(p) * c + X(q) * s);
          a[r][i] = D(X(q) * c - X(p) * s);
        }
      }
      e[l] = 0;
      e[k] = f;
      w[k] = x;
    }
  }
  return kFitOk;
}

void SvdZeroSmall(TDoubleVector s, int Lb, int Ub, double tolerance) {
  ExtendedPrecisionScope precision;
  const double threshold = D(X(VectorMax(s, Lb, Ub)) * tolerance);
  for (int i = Lb; i <= Ub; ++i)
    if (s[i] < threshold) s[i] = 0;
}

void SvdSolve(TDoubleMatrix Uf, TDoubleVector s, TDoubleMatrix Vf, TDoubleVector b, int Lb,
              int Ub1, int Ub2, TDoubleVector x) {
  ExtendedPrecisionScope precision;
  double tSmall[16];
  std::vector<double> tLarge;
  double* t = tSmall;
  if (Ub2 + 1 > 16) {
    tLarge.assign(static_cast<size_t>(Ub2) + 1, 0.0);
    t = tLarge.data();
  }
  // t[j] = (column j of Uf . b) / s[j] where s[j] > 0, else 0; the sums of the
  // columns are independent and run interleaved, each in row order.
  for (int j = Lb; j <= Ub2; ++j) t[j] = 0;
  for (int r = Lb; r <= Ub1; ++r) {
    const double* row = Uf[r];
    const ExtFloat br = b[r];
    for (int j = Lb; j <= Ub2; ++j)
      if (s[j] > 0) t[j] = D(X(t[j]) + X(row[j]) * br);
  }
  for (int j = Lb; j <= Ub2; ++j) t[j] = s[j] > 0 ? D(X(t[j]) / s[j]) : 0.0;
  // x[j] = row j of Vf . t.
  for (int j = Lb; j <= Ub2; ++j) {
    double sum = 0;
    for (int k = Lb; k <= Ub2; ++k) sum = D(X(sum) + X(Vf[j][k]) * t[k]);
    x[j] = sum;
  }
}
