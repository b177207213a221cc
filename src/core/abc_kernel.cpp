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
// real TB, or 16 complex columns as (re, im) pairs.  W is then storedRows ×
// 32 doubles (25 MB for 10^5 rows), small enough for the C library to
// recycle it between calls instead of mapping fresh pages, and each pass
// over K feeds 32 multiply-adds per stored entry.
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
// values: b real parts, or with `pairs` b (re, im) pairs, the imaginary
// parts zero where TB has none.
void blockRow(const DenseMatrix& tb, int64_t c, int64_t j0, int64_t b,
              bool pairs, double* x) {
  const int64_t at = (c + j0 * tb.rows) * tb.stride;
  const int64_t step = tb.rows * tb.stride;  // from one column to the next
  const double* re = tb.re + at;
  if (!pairs) {
    for (int64_t t = 0; t < b; ++t) x[t] = re[t * step];
    return;
  }
  const double* im = tb.im ? tb.im + at : nullptr;
  for (int64_t t = 0; t < b; ++t) {
    x[2 * t] = re[t * step];
    x[2 * t + 1] = im ? im[t * step] : 0.0;
  }
}

// w(r, :) += pr[e]·TB(c, block) for every entry e = (r, c) of K: w = K·TB
// for one block, row-major with `width` values per row (b reals or b pairs;
// zeroed by the caller).  A real factor scales both parts of a pair alike.
// W fixes the width at compile time (0: known only at run time).
template <int64_t W>
SPARDYN_SIMD_CLONES void scatterProduct(const SparseView& k,
                                        const DenseMatrix& tb, int64_t j0,
                                        int64_t b, bool pairs,
                                        int64_t widthRun, double* w) {
  const int64_t width = W ? W : widthRun;
  const int32_t nc = k.storedCols();
  double x[kWorkWidth];
  for (int32_t c = 0; c < nc; ++c) {
    const int32_t begin = k.jc[c], end = k.jc[c + 1];
    if (begin == end) continue;
    blockRow(tb, c, j0, b, pairs, x);
    for (int32_t e = begin; e < end; ++e) {
      const double v = k.pr[e];
      double* wr = w + int64_t(k.ir[e]) * width;
      for (int64_t t = 0; t < width; ++t) wr[t] += v * x[t];
    }
  }
}

void scatterBlock(const SparseView& k, const DenseMatrix& tb, int64_t j0,
                  int64_t b, bool pairs, double* w) {
  const int64_t width = pairs ? 2 * b : b;
  if (width == kWorkWidth)
    scatterProduct<kWorkWidth>(k, tb, j0, b, pairs, width, w);
  else
    scatterProduct<0>(k, tb, j0, b, pairs, width, w);
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

// c (na × b complex, leading dimension ldc elements, pairs) = TAᵀ·W, TA
// n × na in pairs, W the work block (n rows of b pairs, row-major, which
// is Wᵀ column-major): the plain transpose, without conjugation.
void projectPairs(const double* ta, int64_t n, int64_t na, const double* w,
                  int64_t b, double* c, int64_t ldc) {
  static const double one[2] = {1.0, 0.0}, zero[2] = {0.0, 0.0};
  cblas_zgemm(CblasColMajor, CblasTrans, CblasTrans, static_cast<int>(na),
              static_cast<int>(b), static_cast<int>(n), one, ta,
              static_cast<int>(n), w, static_cast<int>(b), zero, c,
              static_cast<int>(ldc));
}

// Rows of a real work block turned into pairs at a time by
// projectRealOnPairs: 2048 rows of 32 pairs are 1 MB, which stays in cache
// between being written and being read by the product.
constexpr int64_t kSlabRows = 2048;

// c (na × b complex, leading dimension ldc elements, pairs) = TAᵀ·W, TA
// n × na in pairs, W a real work block (n rows of b values).  The complex
// product needs W in pairs too: a slab of its rows at a time is copied into
// pairs with zero imaginary parts, and the slabs' products are summed into
// c.  (Sweeping K with zero imaginary parts instead would double the
// sweeps.)
void projectRealOnPairs(const double* ta, int64_t n, int64_t na,
                        const double* w, int64_t b, double* c, int64_t ldc,
                        std::vector<double>& slab) {
  static const double one[2] = {1.0, 0.0}, zero[2] = {0.0, 0.0};
  slab.assign(kSlabRows * 2 * b, 0.0);  // imaginary parts stay zero
  for (int64_t r0 = 0; r0 < n; r0 += kSlabRows) {
    const int64_t rows = std::min(kSlabRows, n - r0);
    for (int64_t e = 0; e < rows * b; ++e) slab[2 * e] = w[r0 * b + e];
    cblas_zgemm(CblasColMajor, CblasTrans, CblasTrans, static_cast<int>(na),
                static_cast<int>(b), static_cast<int>(rows), one,
                ta + 2 * r0, static_cast<int>(n), slab.data(),
                static_cast<int>(b), r0 ? one : zero, c,
                static_cast<int>(ldc));
  }
}

// Columns j0 … j0+b−1 of the result from a block of pairs c (na × b,
// leading dimension na): the real parts, and the imaginary ones when the
// target has them.
void storePairs(const double* c, int64_t na, int64_t j0, int64_t b,
                const DenseTarget& out) {
  for (int64_t e = 0; e < na * b; ++e) {
    const int64_t at = (j0 * na + e) * out.stride;
    out.re[at] = c[2 * e];
    if (out.im) out.im[at] = c[2 * e + 1];
  }
}

// Columns j0 … j0+b−1 of a complex result from the real products
// P = TAᵣᵀ·W and Q = TAᵢᵀ·W (na × width each; Q null when TA is real),
// W holding b pairs per row (pairs) or b real values.
void combineParts(const double* p, const double* q, int64_t na, int64_t j0,
                  int64_t b, bool pairs, const DenseTarget& out) {
  for (int64_t t = 0; t < b; ++t)
    for (int64_t i = 0; i < na; ++i) {
      const int64_t r = i + (pairs ? 2 * t : t) * na;  // W's real column
      const double prr = p[r], pri = pairs ? p[r + na] : 0.0;
      const double qrr = q ? q[r] : 0.0, qri = q && pairs ? q[r + na] : 0.0;
      const int64_t at = (i + (j0 + t) * na) * out.stride;
      out.re[at] = prr - qri;
      out.im[at] = pri + qrr;
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
            const DenseTarget& out) {
  const int64_t n = ta.rows, na = ta.cols, nb = tb.cols;
  if (na <= 0 || nb <= 0) return;
  if (n <= 0) {  // an empty sum
    for (int64_t e = 0; e < na * nb; ++e) {
      out.re[e * out.stride] = 0.0;
      if (out.im) out.im[e * out.stride] = 0.0;
    }
    return;
  }
  // TB's imaginary parts enter only a complex result.  TA in pairs goes
  // through the complex product, which reads the pairs where they lie;
  // otherwise TA's parts are contiguous and go through real products.  The
  // work block holds pairs only when TB's imaginary parts enter.
  DenseMatrix b = tb;
  if (!out.im) b.im = nullptr;
  const bool complexProduct = ta.interleaved();
  const bool pairs = b.im != nullptr;
  const int64_t parts = pairs ? 2 : 1;
  const int64_t block = kWorkWidth / parts;  // columns of TB per block
  const int64_t widest = std::min(block, nb) * parts;
  std::vector<double> w(n * widest);
  // Block results that cannot be written in place: the complex product
  // unless the target holds pairs; the real products of a complex result.
  const bool direct = complexProduct ? out.interleaved() : !out.im;
  const int64_t resultWidth = complexProduct ? 2 * std::min(block, nb) : widest;
  std::vector<double> p(direct ? 0 : na * resultWidth);
  std::vector<double> q(!complexProduct && out.im && ta.im ? na * widest : 0);
  std::vector<double> slab;

  for (int64_t j0 = 0; j0 < nb; j0 += block) {
    const int64_t bw = std::min(block, nb - j0), width = bw * parts;
    std::fill(w.begin(), w.begin() + n * width, 0.0);
    scatterBlock(k, b, j0, bw, pairs, w.data());
    if (complexProduct) {
      double* c = direct ? out.re + 2 * j0 * na : p.data();
      if (pairs)
        projectPairs(ta.re, n, na, w.data(), bw, c, na);
      else
        projectRealOnPairs(ta.re, n, na, w.data(), bw, c, na, slab);
      if (!direct) storePairs(p.data(), na, j0, bw, out);
    } else if (direct) {
      projectBlock(ta.re, n, na, w.data(), width, out.re + j0 * na, na);
    } else {
      projectBlock(ta.re, n, na, w.data(), width, p.data(), na);
      if (!q.empty()) projectBlock(ta.im, n, na, w.data(), width, q.data(), na);
      combineParts(p.data(), q.empty() ? nullptr : q.data(), na, j0, bw,
                   pairs, out);
    }
  }
}

}  // namespace spardyn
