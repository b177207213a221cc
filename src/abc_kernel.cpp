// Transposed and projected products of a sparse stored array with dense
// matrices.  Both work on blocks of dense columns whose rows are gathered
// side by side, so that every stored entry of the sparse array feeds a short
// run of contiguous multiply-adds instead of one gathered load per column.
#include "spardyn/algebra.hpp"

#include <cblas.h>

#include <algorithm>
#include <vector>

namespace spardyn {

namespace {

// Columns of a handled per sweep of S by AtS: 16 doubles are two cache
// lines, and a sweep of S costs a pass over its ir and pr, so wider blocks
// mean fewer passes; beyond 16 the gathered rows stop fitting in cache for
// the band widths of assembled stiffness matrices.
constexpr int64_t kAtSBlock = 16;

// Columns of TB per block of K·TB.  The block's rows of TB and of the work
// matrix W sit side by side (real parts, then imaginary parts), so W holds
// storedRows × 2·16 doubles at most, and each stored entry of K feeds up to
// 32 multiply-adds on contiguous data.
constexpr int64_t kTbBlock = 16;

// x[r·stride + t] = a(r, i0 + t) for r < m, t < b: rows of a column block
// laid side by side.
void gatherRows(const double* a, int64_t m, int64_t i0, int64_t b,
                int64_t stride, double* x) {
  for (int64_t t = 0; t < b; ++t) {
    const double* col = a + (i0 + t) * m;
    for (int64_t r = 0; r < m; ++r) x[r * stride + t] = col[r];
  }
}

// c(t, j) = Σ pr[k]·x[ir[k]·b + t] over the entries of stored column j, for
// every stored column j; c has leading dimension ldc.  B fixes the block
// width at compile time (0: width b known only at run time).
template <int64_t B>
void gatherColumns(const SparseView& s, const double* x, int64_t bRun,
                   double* c, int64_t ldc) {
  const int64_t b = B ? B : bRun;
  const int32_t ns = s.storedCols();
  double acc[kAtSBlock];
  for (int32_t j = 0; j < ns; ++j) {
    std::fill(acc, acc + b, 0.0);
    for (int32_t k = s.jc[j]; k < s.jc[j + 1]; ++k) {
      const double v = s.pr[k];
      const double* row = x + int64_t(s.ir[k]) * b;
      for (int64_t t = 0; t < b; ++t) acc[t] += v * row[t];
    }
    double* cj = c + int64_t(j) * ldc;
    for (int64_t t = 0; t < b; ++t) cj[t] = acc[t];
  }
}

// w(r, :) += pr[k]·x(c, :) for every entry k = (r, c) of K: w = K·x, both
// row-major with `width` values per row.  W fixes the width at compile time
// (0: known only at run time).
template <int64_t W>
void scatterProduct(const SparseView& k, const double* x, int64_t widthRun,
                    double* w) {
  const int64_t width = W ? W : widthRun;
  const int32_t nc = k.storedCols();
  for (int32_t c = 0; c < nc; ++c) {
    const double* xc = x + int64_t(c) * width;
    for (int32_t e = k.jc[c]; e < k.jc[c + 1]; ++e) {
      const double v = k.pr[e];
      double* wr = w + int64_t(k.ir[e]) * width;
      for (int64_t t = 0; t < width; ++t) wr[t] += v * xc[t];
    }
  }
}

void scatterBlock(const SparseView& k, const double* x, int64_t width,
                  double* w) {
  if (width == kTbBlock)
    scatterProduct<kTbBlock>(k, x, width, w);
  else if (width == 2 * kTbBlock)
    scatterProduct<2 * kTbBlock>(k, x, width, w);
  else
    scatterProduct<0>(k, x, width, w);
}

// out (na × b, leading dimension na) = alpha·Aᵀ·Pᵀ + beta·out, A n × na
// column-major, P the b × n part of a work block stored with leading
// dimension ldp (that is, rows of K·TB side by side).
void projectBlock(const double* a, int64_t n, int64_t na, const double* p,
                  int64_t ldp, int64_t b, double alpha, double beta,
                  double* out) {
  cblas_dgemm(CblasColMajor, CblasTrans, CblasTrans, static_cast<int>(na),
              static_cast<int>(b), static_cast<int>(n), alpha, a,
              static_cast<int>(n), p, static_cast<int>(ldp), beta, out,
              static_cast<int>(na));
}

}  // namespace

// c = aᵀ·S
void AtS(const double* a, int64_t m, int64_t na, const SparseView& s,
         double* c) {
  if (na <= 0 || s.storedCols() <= 0) return;
  // A single column needs no gathering: its rows already sit side by side.
  std::vector<double> x(na > 1 ? m * std::min(kAtSBlock, na) : 0);
  for (int64_t i0 = 0; i0 < na; i0 += kAtSBlock) {
    const int64_t b = std::min(kAtSBlock, na - i0);
    const double* rows = a + i0 * m;
    if (b > 1) {
      gatherRows(a, m, i0, b, b, x.data());
      rows = x.data();
    }
    if (b == kAtSBlock)
      gatherColumns<kAtSBlock>(s, rows, b, c + i0, na);
    else
      gatherColumns<0>(s, rows, b, c + i0, na);
  }
}

// out = TAᵀ·K·TB, no conjugation
void TAtKTB(const DenseMatrix& ta, const SparseView& k, const DenseMatrix& tb,
            double* outRe, double* outIm) {
  const int64_t n = ta.rows, nc = tb.rows, na = ta.cols, nb = tb.cols;
  if (na <= 0 || nb <= 0) return;
  if (n <= 0) {  // an empty sum
    std::fill(outRe, outRe + na * nb, 0.0);
    if (outIm) std::fill(outIm, outIm + na * nb, 0.0);
    return;
  }
  const bool aIm = outIm && ta.im, bIm = outIm && tb.im;
  const int64_t parts = bIm ? 2 : 1;
  const int64_t widest = std::min(kTbBlock, nb) * parts;
  std::vector<double> x(nc * widest), w(n * widest);

  for (int64_t j0 = 0; j0 < nb; j0 += kTbBlock) {
    const int64_t b = std::min(kTbBlock, nb - j0), width = b * parts;
    gatherRows(tb.re, nc, j0, b, width, x.data());
    if (bIm) gatherRows(tb.im, nc, j0, b, width, x.data() + b);
    std::fill(w.begin(), w.begin() + n * width, 0.0);
    scatterBlock(k, x.data(), width, w.data());

    // W = K·TB(:, block): real parts in the first b values of each row,
    // imaginary parts in the next b.
    const double* wRe = w.data();
    const double* wIm = w.data() + b;
    double* re = outRe + j0 * na;
    projectBlock(ta.re, n, na, wRe, width, b, 1.0, 0.0, re);
    if (aIm && bIm) projectBlock(ta.im, n, na, wIm, width, b, -1.0, 1.0, re);
    if (!outIm) continue;
    double* im = outIm + j0 * na;
    if (!aIm && !bIm) std::fill(im, im + na * b, 0.0);
    if (bIm) projectBlock(ta.re, n, na, wIm, width, b, 1.0, 0.0, im);
    if (aIm) projectBlock(ta.im, n, na, wRe, width, b, 1.0, bIm ? 1.0 : 0.0, im);
  }
}

}  // namespace spardyn
