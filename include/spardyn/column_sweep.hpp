// The column kernel: every sweep of a compressed-column array over state
// vectors (the parallel product, the residual of a model's matrices, the
// sparse terms) runs through this one function, so that they cannot drift
// apart in their sums or their prefetching.
#pragma once

#include <cstdint>

namespace spardyn {

// One column pass over a compressed-column array, with one or two vectors:
//   r[j] += scale · d_j(x), then r[j] += scale2 · d_j(x2) when x2 is given,
// where d_j(x) = Σ_{k=jc[j]}^{jc[j+1]−1} pr[k]·x[ir[k]] is summed as
// spd_ddoti sums it.  A plain product has scale 1, which multiplies
// exactly.  Two vectors share one reading of the matrix.
struct ColumnPass {
  const double* pr;
  const int32_t* ir;
  const int32_t* jc;
  const double* x;
  double scale;
  const double* x2;
  double scale2;
};

// The pass over columns begin … end−1.
void sweepColumns(const ColumnPass& p, double* r, int64_t begin, int64_t end);

}  // namespace spardyn
