#include "spardyn/interp.hpp"

#include <cmath>

namespace spardyn {

namespace {

// Row where a search starts: the integer part of the remembered row, 0 for
// a negative or NaN value, and no further than the last row.
int32_t startRow(double s0, int32_t NX) {
  if (!(s0 >= 0.0)) return 0;
  if (s0 >= static_cast<double>(NX - 1)) return NX - 1;
  return static_cast<int32_t>(s0);
}

struct Found {
  int32_t row;       // what the state records
  int32_t interval;  // first row of the interval used
};

// Moves one row at a time from k until X[k] ≤ xi ≤ X[k+1].  On a
// non-decreasing abscissa the walk never changes direction; refusing to
// reverse keeps a decreasing abscissa from making it alternate for ever.
Found searchRow(const double* X, int32_t NX, int32_t k, double xi) {
  int dir = 0;
  for (;;) {
    if (k < NX - 1) {
      if (xi > X[k + 1]) {
        if (dir < 0) return {k, k};
        dir = 1;
        ++k;
        continue;
      }
      if (k >= 1 && X[k] > xi) {
        if (dir > 0) return {k, k};
        dir = -1;
        --k;
        continue;
      }
      return {k, k};
    }
    if (NX - 1 <= 0) return {NX - 1, NX - 1};
    if (X[NX - 2] > xi && dir <= 0) {
      dir = -1;
      k = NX - 2;
      continue;
    }
    // Top end: the last interval extrapolates.
    return {NX - 1, NX - 2};
  }
}

// Weight of row k+1 in the interval [X[k], X[k+1]]; a zero-length interval
// (a step) weighs both sides equally.
double weight(const double* X, int32_t k, double xi) {
  const double d = X[k + 1] - X[k];
  return d == 0.0 ? 0.5 : (xi - X[k]) / d;
}

// A query exactly on a repeated abscissa uses the zero-length interval of
// the step, whichever side the search arrived from.
int32_t onStep(const double* X, int32_t NX, int32_t k, double xi) {
  if (k < NX - 2 && xi == X[k + 1] && X[k + 1] == X[k + 2]) return k + 1;
  if (k > 0 && xi == X[k] && X[k] == X[k - 1]) return k - 1;
  return k;
}

void valueColumns(const double* X, int32_t NX, int32_t NC, int32_t N,
                  int32_t i, int32_t k, double a, double* y) {
  for (int32_t c = 0; c < NC; ++c) {
    const double* col = X + static_cast<int64_t>(NX) * (c + 1);
    // One row: the value itself, without touching a second row.
    y[i + static_cast<int64_t>(N) * c] =
        NX == 1 ? col[0] : a * col[k + 1] + (1.0 - a) * col[k];
  }
}

}  // namespace

void qz_time_LinInterp(const double* X, const double* x, double* s, double* y,
                       int32_t NX, int32_t NC, int32_t N, int32_t mode,
                       const double* X2, double* y2) {
  if (NX <= 0) return;
  for (int32_t i = 0; i < N; ++i) {
    const double xi = x[i];
    const Found f = searchRow(X, NX, startRow(s[0], NX), xi);
    s[0] = f.row;
    s[1] = x[0];
    int32_t k = f.interval < 0 ? 0 : f.interval;
    if (NC == 0 && mode != 0) y[i] = k + 1;
    if (mode == 0) {
      s[2] = NX == 1 ? 1.0 : weight(X, k, xi);
      continue;
    }
    k = onStep(X, NX, k, xi);
    const double a = NX == 1 ? 0.0 : weight(X, k, xi);
    s[2] = a;
    valueColumns(X, NX, NC, N, i, k, a, y);
    if (X2 && y2) valueColumns(X2, NX, NC, N, i, k, a, y2);
  }
}

}  // namespace spardyn
