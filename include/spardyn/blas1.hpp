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

// Σ_{k<nz} x[k]·y[indx[k]·incy]: spd_ddoti over every incy-th value of y
// (one part of interleaved pairs), summed in exactly its order.
inline double spd_ddoti_inc(int nz, const double* x, const int32_t* indx,
                            const double* y, int64_t incy) {
  if (nz <= 0) return 0.0;
  double s0 = 0.0, s1 = 0.0, s2 = 0.0, s3 = 0.0;
  int k = 0;
  for (; k + 4 <= nz; k += 4) {
    s0 += x[k] * y[indx[k] * incy];
    s1 += x[k + 1] * y[indx[k + 1] * incy];
    s2 += x[k + 2] * y[indx[k + 2] * incy];
    s3 += x[k + 3] * y[indx[k + 3] * incy];
  }
  for (; k < nz; ++k) s0 += x[k] * y[indx[k] * incy];
  return (s0 + s1) + (s2 + s3);
}

// d1 = Σ x[k]·y[indx[k]] and d2 = Σ x[k]·z[indx[k]], k < nz: two sparse dot
// products over the same entries, reading x and indx once for both, each
// summed in exactly spd_ddoti's order.
inline void spd_ddoti2(int nz, const double* x, const int32_t* indx,
                       const double* y, const double* z, double& d1,
                       double& d2) {
  double s0 = 0.0, s1 = 0.0, s2 = 0.0, s3 = 0.0;
  double t0 = 0.0, t1 = 0.0, t2 = 0.0, t3 = 0.0;
  int k = 0;
  for (; k + 4 <= nz; k += 4) {
    const int32_t i0 = indx[k], i1 = indx[k + 1], i2 = indx[k + 2],
                  i3 = indx[k + 3];
    s0 += x[k] * y[i0];
    t0 += x[k] * z[i0];
    s1 += x[k + 1] * y[i1];
    t1 += x[k + 1] * z[i1];
    s2 += x[k + 2] * y[i2];
    t2 += x[k + 2] * z[i2];
    s3 += x[k + 3] * y[i3];
    t3 += x[k + 3] * z[i3];
  }
  for (; k < nz; ++k) {
    s0 += x[k] * y[indx[k]];
    t0 += x[k] * z[indx[k]];
  }
  d1 = (s0 + s1) + (s2 + s3);
  d2 = (t0 + t1) + (t2 + t3);
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
