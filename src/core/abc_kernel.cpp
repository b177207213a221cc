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

// The sweeps below are a few multiply-adds per stored entry on contiguous
// runs of 16 or 32 doubles: compiled a second time for AVX2 with FMA, picked
// at load time where the processor has them, they run about twice as fast.
#if defined(__GNUC__) && defined(__x86_64__) && defined(__linux__)
#define SPARDYN_SIMD_CLONES \
  __attribute__((target_clones("arch=x86-64-v3", "default")))
#else
#define SPARDYN_SIMD_CLONES
#endif

// Columns of a handled per sweep of S by AtS: 16 doubles are two cache
// lines, and a sweep of S costs a pass over its ir and pr, so wider blocks
// mean fewer passes; beyond 16 the gathered rows stop fitting in cache for
// the band widths of assembled stiffness matrices.
constexpr int64_t kAtSBlock = 16;

// Values per row of the work matrix W of a block of K·TB: 32 columns of a
// real TB, or 16 complex columns (real parts, then imaginary parts).  W is
// then storedRows × 32 doubles (25 MB for 10^5 rows), small enough for the
// C library to recycle it between calls instead of mapping fresh pages, and
// each pass over K feeds 32 multiply-adds per stored entry.
constexpr int64_t kWorkWidth = 32;

// x[r·b + t] = a(r, i0 + t) for r < m, t < b: rows of a column block laid
// side by side.
void gatherRows(const double* a, int64_t m, int64_t i0, int64_t b,
                double* x) {
  for (int64_t t = 0; t < b; ++t) {
    const double* col = a + (i0 + t) * m;
    for (int64_t r = 0; r < m; ++r) x[r * b + t] = col[r];
  }
}

// c(t, j) = Σ pr[k]·x[ir[k]·b + t] over the entries of stored column j, for
// every stored column j; c has leading dimension ldc.  B fixes the block
// width at compile time (0: width b known only at run time).
template <int64_t B>
SPARDYN_SIMD_CLONES void gatherColumns(const SparseView& s, const double* x,
                                       int64_t bRun, double* c, int64_t ldc) {
  const int64_t b = B ? B : bRun;
  const int32_t ns = s.storedCols();
  double acc[kAtSBlock];
  for (int32_t j = 0; j < ns; ++j) {
    for (int64_t t = 0; t < b; ++t) acc[t] = 0.0;
    for (int32_t k = s.jc[j]; k < s.jc[j + 1]; ++k) {
      const double v = s.pr[k];
      const double* row = x + int64_t(s.ir[k]) * b;
      for (int64_t t = 0; t < b; ++t) acc[t] += v * row[t];
    }
    double* cj = c + int64_t(j) * ldc;
    for (int64_t t = 0; t < b; ++t) cj[t] = acc[t];
  }
}

// Row c of the block of TB starting at column j0, b columns, as a run of
// `width` values: real parts, then (width = 2b) imaginary parts.
void blockRow(const DenseMatrix& tb, int64_t c, int64_t j0, int64_t b,
              int64_t width, double* x) {
  const double* re = tb.re + c + j0 * tb.rows;
  for (int64_t t = 0; t < b; ++t) x[t] = re[t * tb.rows];
  if (width == b) return;
  const double* im = tb.im + c + j0 * tb.rows;
  for (int64_t t = 0; t < b; ++t) x[b + t] = im[t * tb.rows];
}

// w(r, :) += pr[e]·TB(c, block) for every entry e = (r, c) of K: w = K·TB
// for one block, row-major with `width` values per row (zeroed by the
// caller).  W fixes the width at compile time (0: known only at run time).
template <int64_t W>
SPARDYN_SIMD_CLONES void scatterProduct(const SparseView& k,
                                        const DenseMatrix& tb, int64_t j0,
                                        int64_t b, int64_t widthRun,
                                        double* w) {
  const int64_t width = W ? W : widthRun;
  const int32_t nc = k.storedCols();
  double x[kWorkWidth];
  for (int32_t c = 0; c < nc; ++c) {
    const int32_t begin = k.jc[c], end = k.jc[c + 1];
    if (begin == end) continue;
    blockRow(tb, c, j0, b, width, x);
    for (int32_t e = begin; e < end; ++e) {
      const double v = k.pr[e];
      double* wr = w + int64_t(k.ir[e]) * width;
      for (int64_t t = 0; t < width; ++t) wr[t] += v * x[t];
    }
  }
}

void scatterBlock(const SparseView& k, const DenseMatrix& tb, int64_t j0,
                  int64_t b, int64_t width, double* w) {
  if (width == kWorkWidth)
    scatterProduct<kWorkWidth>(k, tb, j0, b, width, w);
  else
    scatterProduct<0>(k, tb, j0, b, width, w);
}

// out (na × width, leading dimension ldo) = Aᵀ·Wᵀ, A n × na column-major,
// W the work block (n rows of `width` values, row-major).
void projectBlock(const double* a, int64_t n, int64_t na, const double* w,
                  int64_t width, double* out, int64_t ldo) {
  cblas_dgemm(CblasColMajor, CblasTrans, CblasTrans, static_cast<int>(na),
              static_cast<int>(width), static_cast<int>(n), 1.0, a,
              static_cast<int>(n), w, static_cast<int>(width), 0.0, out,
              static_cast<int>(ldo));
}

// The real and imaginary parts of a complex block from the real products
// P = TAᵣᵀ·[Wᵣ Wᵢ] and Q = TAᵢᵀ·[Wᵣ Wᵢ] (na × 2b each; Q null when TA is
// real, Wᵢ absent when TB is real).
void combineParts(const double* p, const double* q, int64_t na, int64_t b,
                  bool bIm, double* re, double* im) {
  const int64_t nab = na * b;
  for (int64_t e = 0; e < nab; ++e) {
    const double prr = p[e], pri = bIm ? p[nab + e] : 0.0;
    const double qrr = q ? q[e] : 0.0, qri = q && bIm ? q[nab + e] : 0.0;
    re[e] = prr - qri;
    im[e] = pri + qrr;
  }
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
      gatherRows(a, m, i0, b, x.data());
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
  const int64_t n = ta.rows, na = ta.cols, nb = tb.cols;
  if (na <= 0 || nb <= 0) return;
  if (n <= 0) {  // an empty sum
    std::fill(outRe, outRe + na * nb, 0.0);
    if (outIm) std::fill(outIm, outIm + na * nb, 0.0);
    return;
  }
  const bool aIm = outIm && ta.im, bIm = outIm && tb.im;
  const int64_t parts = bIm ? 2 : 1;
  const int64_t block = kWorkWidth / parts;  // columns of TB per block
  const int64_t widest = std::min(block, nb) * parts;
  std::vector<double> w(n * widest);
  // Products of the real and imaginary parts of TA with a complex block.
  std::vector<double> p(outIm ? na * widest : 0), q(aIm ? na * widest : 0);

  for (int64_t j0 = 0; j0 < nb; j0 += block) {
    const int64_t b = std::min(block, nb - j0), width = b * parts;
    std::fill(w.begin(), w.begin() + n * width, 0.0);
    scatterBlock(k, tb, j0, b, width, w.data());
    if (!outIm) {
      projectBlock(ta.re, n, na, w.data(), width, outRe + j0 * na, na);
      continue;
    }
    projectBlock(ta.re, n, na, w.data(), width, p.data(), na);
    if (aIm) projectBlock(ta.im, n, na, w.data(), width, q.data(), na);
    combineParts(p.data(), aIm ? q.data() : nullptr, na, b, bIm,
                 outRe + j0 * na, outIm + j0 * na);
  }
}

}  // namespace spardyn
