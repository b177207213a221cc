// Sparse BLAS level 1, with the semantics of the routines of that name in
// vendor BLAS libraries (0-based int32 indices, nothing when nz <= 0).  No
// Debian BLAS ships them, so the module carries its own; the names differ
// from cblas_ddoti / cblas_daxpyi so that linking a BLAS that has them can
// never swap implementations behind our back.
#pragma once

#include <cstdint>

namespace spardyn {

// Σ_{k<nz} x[k]·y[indx[k]]
//
// Four independent accumulators hide the latency of the gathered loads; the
// order of summation depends only on nz, so a column's sum is the same
// whichever thread computes it.
inline double spd_ddoti(int nz, const double* x, const int32_t* indx,
                        const double* y) {
  if (nz <= 0) return 0.0;
  double s0 = 0.0, s1 = 0.0, s2 = 0.0, s3 = 0.0;
  int k = 0;
  for (; k + 4 <= nz; k += 4) {
    s0 += x[k] * y[indx[k]];
    s1 += x[k + 1] * y[indx[k + 1]];
    s2 += x[k + 2] * y[indx[k + 2]];
    s3 += x[k + 3] * y[indx[k + 3]];
  }
  for (; k < nz; ++k) s0 += x[k] * y[indx[k]];
  return (s0 + s1) + (s2 + s3);
}

// y[indx[k]] += a·x[k], k = 0 … nz−1 in order (a repeated index receives its
// additions in that order).
inline void spd_daxpyi(int nz, double a, const double* x, const int32_t* indx,
                       double* y) {
  if (nz <= 0) return;
  int k = 0;
  for (; k + 4 <= nz; k += 4) {
    y[indx[k]] += a * x[k];
    y[indx[k + 1]] += a * x[k + 1];
    y[indx[k + 2]] += a * x[k + 2];
    y[indx[k + 3]] += a * x[k + 3];
  }
  for (; k < nz; ++k) y[indx[k]] += a * x[k];
}

}  // namespace spardyn
