// Serial kernels on matrix views and raw arrays.  They never allocate through
// the host and never raise: their operands have been checked beforehand
// (sparse_view.hpp), and a view of a form a kernel does not handle makes it
// return without effect.
#pragma once

#include <cstdint>

#include "spardyn/sparse_view.hpp"

namespace spardyn {

// d_j(x) = Σ pr[k]·x[ir[k]] over the entries of stored column j.
double columnDot(const SparseView& v, int32_t j, const double* x);

// y ← y + Mᵀ·u.
// Transposed sparse storage scatters into scratch (v.cols doubles, zeroed
// here), then adds scratch to y, so that every y[i] receives its total in a
// single addition.  Non-transposed sparse storage gathers column by column.
// A dense transposed view is one row of M: y[i] += pr[i]·u[0].
void Add_Mt_ub(const SparseView& v, const double* u, double* y,
               double* scratch);

// y ← y + Mᵀ·u for a sparse view in transposed storage, visiting only the
// entries of y in support (ascending, the distinct row indices of the
// stored array): the same sums, added to y the same way, as Add_Mt_ub, in a
// time that follows the stored entries instead of the length of y.
// scratch holds v.cols doubles; only its support entries are used.
void Add_Mt_ub_support(const SparseView& v, const double* u, double* y,
                       double* scratch, const int32_t* support,
                       int32_t nSupport);

// y1 ← y1 + M·u1 and y2 ← y2 + M·u2 in one pass over a sparse view in
// transposed storage: each row of M is read once and both gathers overlap.
// Every sum is formed as Prod_Mt_ub forms it (the same bits).  y1 and y2
// must not overlap.
void Prod_Mt_ub_pair(const SparseView& v, const double* u1, double* y1,
                     const double* u2, double* y2);

// y ← y + M·u for sparse transposed storage; y ← M·u for a dense view
// (cblas_dgemv with beta = 0: the dense form overwrites y).
void Prod_Mt_ub(const SparseView& v, const double* u, double* y);

// φ1ᵀ·K·φ2 without conjugation, φ = real + i·imag (a null imaginary part is
// zero).  K's row indices index φ1; φ2 has n entries, one per stored column.
// With resi null only the real part p1rᵀ·K·p2r is formed and the imaginary
// inputs are not read.  Entry r of a part is read at p[r·stride]: 1 for
// separate parts, 2 for interleaved (re, im) pairs (p1i = p1r + 1), which
// give the same bits as their separate copies.
void phi1tmphi2_mkl(const double* p1r, const double* p1i, const double* p2r,
                    const double* p2i, const double* pr, const int32_t* ir,
                    const int32_t* jc, int32_t n, double* resr, double* resi,
                    int64_t stride = 1);

}  // namespace spardyn
