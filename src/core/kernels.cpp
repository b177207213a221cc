#include "spardyn/kernels.hpp"

#include <cblas.h>

#include <algorithm>

#include "spardyn/blas1.hpp"

namespace spardyn {

double columnDot(const SparseView& v, int32_t j, const double* x) {
  const int32_t b = v.jc[j];
  return spd_ddoti(v.jc[j + 1] - b, v.pr + b, v.ir + b, x);
}

// y ← y + Mᵀ·u
void Add_Mt_ub(const SparseView& v, const double* u, double* y,
               double* scratch) {
  if (!v.pr) return;
  if (v.isSparse()) {
    if (v.trans) {
      // Stored column j is row j of M: scatter u[j] times it.
      std::fill(scratch, scratch + v.cols, 0.0);
      for (int32_t j = 0; j < v.rows; ++j) {
        const int32_t b = v.jc[j];
        spd_daxpyi(v.jc[j + 1] - b, u[j], v.pr + b, v.ir + b, scratch);
      }
      for (int32_t i = 0; i < v.cols; ++i) y[i] += scratch[i];
    } else {
      for (int32_t j = 0; j < v.cols; ++j) y[j] += columnDot(v, j, u);
    }
  } else if (v.trans) {
    // A dense transposed view is a single row of M, stored as a column.
    const double u0 = u[0];
    for (int32_t i = 0; i < v.cols; ++i) y[i] += v.pr[i] * u0;
  }
  // Dense and not transposed: refused by requireAddForm when it has rows.
}

// y1 ← y1 + M·u1, y2 ← y2 + M·u2 (sparse, transposed storage)
void Prod_Mt_ub_pair(const SparseView& v, const double* u1, double* y1,
                     const double* u2, double* y2) {
  if (!v.pr || !v.isSparse() || !v.trans) return;
  for (int32_t j = 0; j < v.rows; ++j) {
    const int32_t b = v.jc[j];
    double d1, d2;
    spd_ddoti2(v.jc[j + 1] - b, v.pr + b, v.ir + b, u1, u2, d1, d2);
    y1[j] += d1;
    y2[j] += d2;
  }
}

// y ← y + Mᵀ·u over the support of a transposed sparse view
void Add_Mt_ub_support(const SparseView& v, const double* u, double* y,
                       double* scratch, const int32_t* support,
                       int32_t nSupport) {
  if (!v.pr || !v.isSparse() || !v.trans) return;
  for (int32_t k = 0; k < nSupport; ++k) scratch[support[k]] = 0.0;
  for (int32_t j = 0; j < v.rows; ++j) {
    const int32_t b = v.jc[j];
    spd_daxpyi(v.jc[j + 1] - b, u[j], v.pr + b, v.ir + b, scratch);
  }
  for (int32_t k = 0; k < nSupport; ++k) y[support[k]] += scratch[support[k]];
}

// y ← y + M·u (sparse, transposed storage) or y ← M·u (dense)
void Prod_Mt_ub(const SparseView& v, const double* u, double* y) {
  if (!v.pr) return;
  if (v.isSparse()) {
    if (!v.trans) return;  // refused by requireProdForm
    for (int32_t j = 0; j < v.rows; ++j) y[j] += columnDot(v, j, u);
  } else if (v.rows > 0 && v.cols > 0) {
    cblas_dgemv(CblasColMajor, CblasNoTrans, v.rows, v.cols, 1.0, v.pr,
                v.rows, u, 1, 0.0, y, 1);
  } else {
    // An empty product still overwrites: y = M·u is zero.
    std::fill(y, y + std::max(v.rows, 0), 0.0);
  }
}

// res = φ1ᵀ·K·φ2 (no conjugation), summed term by term in column order:
// p1rᵀKp2r − p1iᵀKp2i + i·(p1rᵀKp2i + p1iᵀKp2r)
void phi1tmphi2_mkl(const double* p1r, const double* p1i, const double* p2r,
                    const double* p2i, const double* pr, const int32_t* ir,
                    const int32_t* jc, int32_t n, double* resr, double* resi,
                    int64_t stride) {
  auto d = [&](int32_t j, const double* x) {
    const int32_t b = jc[j], nz = jc[j + 1] - b;
    return stride == 1 ? spd_ddoti(nz, pr + b, ir + b, x)
                       : spd_ddoti_inc(nz, pr + b, ir + b, x, stride);
  };
  *resr = 0.0;
  for (int32_t j = 0; j < n; ++j) *resr += p2r[j * stride] * d(j, p1r);
  if (!resi) return;
  *resi = 0.0;
  if (p1i && p2i)
    for (int32_t j = 0; j < n; ++j) *resr -= p2i[j * stride] * d(j, p1i);
  if (p2i)
    for (int32_t j = 0; j < n; ++j) *resi += p2i[j * stride] * d(j, p1r);
  if (p1i)
    for (int32_t j = 0; j < n; ++j) *resi += p2r[j * stride] * d(j, p1i);
}

}  // namespace spardyn
