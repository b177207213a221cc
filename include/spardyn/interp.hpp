// Linear interpolation of tabulated signals with a remembered search row.
#pragma once

#include <cstdint>

namespace spardyn {

// Table X: NX rows, column 0 the non-decreasing abscissa, columns 1…NC the
// values (column-major).  For each query x[i] in order, the search starts at
// row s[0] and moves one row at a time; s = {row, x[0], coefficient} is
// written back.  A query exactly on a repeated abscissa gets the mean of the
// two sides of the step.  mode 0 only locates; otherwise
// y[i + N·c] = value column c at x[i] (and y2 from X2 when both are given;
// with NC = 0, y[i] = the 1-based interval number).
// NX ≤ 0 returns without effect.
void qz_time_LinInterp(const double* X, const double* x, double* s, double* y,
                       int32_t NX, int32_t NC, int32_t N, int32_t mode,
                       const double* X2, double* y2);

}  // namespace spardyn
