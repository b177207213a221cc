// The arithmetic of a residual evaluation, on plain arrays: the column
// products of sparse matrices with the state vectors, the diagonal terms and
// modal damping.  Host-free; the operands have been checked beforehand
// (sparse_view.hpp), so these kernels never raise and never allocate.
#pragma once

#include <cstdint>

#include "spardyn/column_sweep.hpp"

namespace spardyn {

// The passes of one evaluation, in the order in which their additions reach
// each r[j] (mass with a and v, damping, stiffness with u and v).
class PassList {
 public:
  static constexpr int kCapacity = 4;  // the three matrices of a model, and one spare
  // Appends a pass of the vectors that are given (x2 null: one vector; x
  // null: x2 alone).  A pass without values (pr null) or without vectors
  // adds nothing and is left out.  Beyond the capacity nothing is appended
  // and false returned.
  bool add(const double* pr, const int32_t* ir, const int32_t* jc,
           const double* x, double scale, const double* x2 = nullptr,
           double scale2 = 0.0);
  int size() const { return count_; }
  bool empty() const { return count_ == 0; }
  const ColumnPass& operator[](int p) const { return passes_[p]; }

 private:
  ColumnPass passes_[kCapacity] = {};
  int count_ = 0;
};

// Applies the passes to columns 0 … n−1 in one sweep: each column range is
// read once per matrix, and each r[j] receives the additions of the passes
// in list order, so the result is bitwise that of running the passes one
// after the other over all columns.  Worker threads each own a contiguous
// block of r.
void addColumnPasses(const PassList& passes, double* r, int32_t n);
// The same sweep on the calling thread.
void addColumnPassesSerial(const PassList& passes, double* r, int32_t n);

// r[i] += d[i]·(x[i] + s·y[i]) for i < n; r[i] += d[i]·x[i] when y is null.
// A diagonal mass (x = a, y = v, s = rayM), stiffness (x = u, y = v,
// s = rayK) or damping (x = v, no y).
void addDiagonal(const double* d, const double* x, double s, const double* y,
                 double* r, int32_t n);
void addDiagonalSerial(const double* d, const double* x, double s,
                       const double* y, double* r, int32_t n);

// Modal damping r += Φ·(c ∘ (Φᵀ·v)), Φ column-major n × m.  y (m values)
// receives c ∘ (Φᵀ·v) and is left with it.
void addModalDamping(const double* phi, int32_t n, int32_t m, const double* c,
                     double* y, const double* v, double* r);

}  // namespace spardyn
