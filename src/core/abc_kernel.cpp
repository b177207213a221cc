// Transposed and projected products of a sparse stored array with dense
// matrices.  Both work on blocks of dense columns whose rows are gathered
// side by side, so that every stored entry of the sparse array feeds a short
// run of contiguous multiply-adds instead of one gathered load per column.
#include "spardyn/algebra.hpp"

#include <cblas.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <vector>

#if defined(__linux__)
#include <sys/mman.h>
#endif

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

// Values of W = K·TB that one sweep of K forms per row: 32 columns of a
// real TB, or 16 complex columns as (re, im) pairs; each sweep feeds 32
// multiply-adds per stored entry.  Wider sweeps, or the sweeps of a group
// written side by side into wider rows of W, measured slower: the rows of W
// a column of K reaches then outgrow the core's cache.  So each sweep fills
// a block of its own, n rows of 32 values, block after block.
constexpr int64_t kSweepWidth = 32;

// Bytes of a slab: the rows of W one dense product of the projection takes
// at a time, laid side by side across the blocks of a group.  A slab stays
// in cache from being copied to being read by the product.
constexpr int64_t kSlabBytes = int64_t(1) << 20;

// Zero-filled scratch of n doubles.  First touching fresh memory page by
// page costs as much as a sweep here (80 MB: some 40 ms in 4 kB pages, 5 ms
// in 2 MB ones), so on Linux the scratch asks for transparent huge pages
// before its first touch; the kernel grants them on request or always,
// depending on its setting (advice only: nothing changes if it is not
// taken).  calloc leaves fresh memory untouched.
class ZeroedScratch {
 public:
  explicit ZeroedScratch(int64_t n) {
    const std::size_t bytes = static_cast<std::size_t>(n) * sizeof(double);
    data_ = static_cast<double*>(std::calloc(bytes ? bytes : 1, 1));
    if (!data_) throw std::bad_alloc();
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    constexpr std::uintptr_t kHuge = std::uintptr_t(2) << 20;
    const std::uintptr_t begin = reinterpret_cast<std::uintptr_t>(data_);
    const std::uintptr_t first = (begin + kHuge - 1) & ~(kHuge - 1);
    const std::uintptr_t last = (begin + bytes) & ~(kHuge - 1);
    if (last > first)
      madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#endif
  }
  ~ZeroedScratch() { std::free(data_); }
  ZeroedScratch(const ZeroedScratch&) = delete;
  ZeroedScratch& operator=(const ZeroedScratch&) = delete;

  double* data() const { return data_; }

 private:
  double* data_;
};

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
// values: b real parts, or with `pairs` b (re, im) pairs.
void blockRow(const DenseMatrix& tb, int64_t c, int64_t j0, int64_t b,
              bool pairs, double* x) {
  const int64_t at = (c + j0 * tb.rows) * tb.stride;
  const int64_t step = tb.rows * tb.stride;  // from one column to the next
  const double* re = tb.re + at;
  if (!pairs) {
    for (int64_t t = 0; t < b; ++t) x[t] = re[t * step];
    return;
  }
  const double* im = tb.im + at;
  for (int64_t t = 0; t < b; ++t) {
    x[2 * t] = re[t * step];
    x[2 * t + 1] = im[t * step];
  }
}

// w(r, :) += pr[e]·TB(c, block) for every entry e = (r, c) of K: w = K·TB
// for one block of b columns, row-major with `width` values per row (b
// reals or b pairs; zeroed by the caller).  A real factor scales both parts
// of a pair alike.  W fixes the width at compile time (0: known only at run
// time).
template <int64_t W>
SPARDYN_SIMD_CLONES void scatterProduct(const SparseView& k,
                                        const DenseMatrix& tb, int64_t j0,
                                        int64_t b, bool pairs,
                                        int64_t widthRun, double* w) {
  const int64_t width = W ? W : widthRun;
  const int32_t nc = k.storedCols();
  double x[kSweepWidth];
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
  if (width == kSweepWidth)
    scatterProduct<kSweepWidth>(k, tb, j0, b, pairs, width, w);
  else
    scatterProduct<0>(k, tb, j0, b, pairs, width, w);
}

// W = K·TB for a group of TB's columns: one block per sweep, each n rows of
// its columns' values (reals or pairs), block after block.
struct WorkGroup {
  const double* w;
  int64_t n;      // rows
  int64_t cols;   // columns of TB in the group
  int64_t sweep;  // columns per block (the last block may have fewer)
  bool pairs;
};

// Rows r0 … r0+rows−1 of a group's W side by side: slab row r holds the
// group's columns in order, as W holds them (reals or pairs), or widened to
// pairs with zero imaginary parts (`widen`, for the complex product of a
// real W).
void copySlab(const WorkGroup& g, int64_t r0, int64_t rows, bool widen,
              double* slab) {
  const int64_t parts = g.pairs ? 2 : 1, slabParts = widen ? 2 : parts;
  const int64_t ld = g.cols * slabParts;
  for (int64_t j0 = 0; j0 < g.cols; j0 += g.sweep) {
    const int64_t width = std::min(g.sweep, g.cols - j0) * parts;
    const double* block = g.w + g.n * j0 * parts;
    for (int64_t r = 0; r < rows; ++r) {
      const double* from = block + (r0 + r) * width;
      double* to = slab + r * ld + j0 * slabParts;
      if (!widen) {
        std::copy(from, from + width, to);
        continue;
      }
      for (int64_t t = 0; t < width; ++t) {
        to[2 * t] = from[t];
        to[2 * t + 1] = 0.0;
      }
    }
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

// Columns g0 … g0+cols−1 of out = TAᵀ·W for one group, a slab of W's rows
// at a time, the slabs' products summed: one complex product (zgemm, the
// plain transpose) on TA's pairs where they lie, or one real product
// (dgemm) per part of TA.  TA is read once per group.
class GroupProjection {
 public:
  GroupProjection(const DenseMatrix& ta, const DenseTarget& out,
                  bool wPairs, int64_t maxCols)
      : ta_(ta), out_(out), complex_(ta.interleaved()), wPairs_(wPairs) {
    const int64_t width = maxCols * slabParts();
    slabRows_ = std::max<int64_t>(64, kSlabBytes / int64_t(sizeof(double)) / width);
    slab_.resize(slabRows_ * width);
    // Results the product cannot write in place: the complex product's
    // unless the target holds pairs; the real products of a complex result.
    direct_ = complex_ ? out.interleaved() : !out.im;
    if (!direct_) p_.resize(ta.cols * width);
    if (!complex_ && out.im && ta.im) q_.resize(ta.cols * width);
  }

  void project(const WorkGroup& g, int64_t g0) {
    const int64_t n = ta_.rows, na = ta_.cols, width = g.cols * slabParts();
    for (int64_t r0 = 0; r0 < n; r0 += slabRows_) {
      const int64_t rows = std::min(slabRows_, n - r0);
      copySlab(g, r0, rows, complex_ && !g.pairs, slab_.data());
      if (complex_)
        multiplyPairs(r0, rows, g.cols, direct_ ? out_.re + 2 * g0 * na : p_.data());
      else
        multiplyParts(r0, rows, width, g0);
    }
    if (direct_) return;
    if (complex_)
      storePairs(p_.data(), na, g0, g.cols, out_);
    else
      combineParts(p_.data(), q_.empty() ? nullptr : q_.data(), na, g0,
                   g.cols, wPairs_, out_);
  }

 private:
  int64_t slabParts() const { return complex_ || wPairs_ ? 2 : 1; }

  // c (+)= TA(r0 … r0+rows−1, :)ᵀ·slab, complex, leading dimension na.
  void multiplyPairs(int64_t r0, int64_t rows, int64_t cols, double* c) {
    static const double one[2] = {1.0, 0.0}, zero[2] = {0.0, 0.0};
    const int64_t n = ta_.rows, na = ta_.cols;
    cblas_zgemm(CblasColMajor, CblasTrans, CblasTrans, static_cast<int>(na),
                static_cast<int>(cols), static_cast<int>(rows), one,
                ta_.re + 2 * r0, static_cast<int>(n), slab_.data(),
                static_cast<int>(cols), r0 ? one : zero, c,
                static_cast<int>(na));
  }

  // P (+)= TAᵣ(r0 … , :)ᵀ·slab, and Q likewise with TAᵢ; P is the
  // target's own columns when the result is real.
  void multiplyParts(int64_t r0, int64_t rows, int64_t width, int64_t g0) {
    const int64_t na = ta_.cols;
    double* p = direct_ ? out_.re + g0 * na : p_.data();
    multiplyReal(ta_.re, r0, rows, width, p);
    if (!q_.empty()) multiplyReal(ta_.im, r0, rows, width, q_.data());
  }

  void multiplyReal(const double* a, int64_t r0, int64_t rows, int64_t width,
                    double* c) {
    const int64_t n = ta_.rows, na = ta_.cols;
    cblas_dgemm(CblasColMajor, CblasTrans, CblasTrans, static_cast<int>(na),
                static_cast<int>(width), static_cast<int>(rows), 1.0, a + r0,
                static_cast<int>(n), slab_.data(), static_cast<int>(width),
                r0 ? 1.0 : 0.0, c, static_cast<int>(na));
  }

  const DenseMatrix& ta_;
  const DenseTarget& out_;
  const bool complex_, wPairs_;
  bool direct_ = false;
  int64_t slabRows_ = 0;
  std::vector<double> slab_, p_, q_;
};

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
            const DenseTarget& out, int64_t groupBytes) {
  const int64_t n = ta.rows, na = ta.cols, nb = tb.cols;
  if (na <= 0 || nb <= 0) return;
  if (n <= 0) {  // an empty sum
    for (int64_t e = 0; e < na * nb; ++e) {
      out.re[e * out.stride] = 0.0;
      if (out.im) out.im[e * out.stride] = 0.0;
    }
    return;
  }
  // TB's imaginary parts enter only a complex result; W holds pairs when
  // they do.
  DenseMatrix b = tb;
  if (!out.im) b.im = nullptr;
  const bool pairs = b.im != nullptr;
  const int64_t parts = pairs ? 2 : 1;
  const int64_t sweep = kSweepWidth / parts;  // columns of TB per sweep
  const int64_t fit = groupBytes / int64_t(sizeof(double)) / (parts * n);
  const int64_t group = std::min(nb, std::max(sweep, fit / sweep * sweep));
  ZeroedScratch w(n * group * parts);
  GroupProjection projection(ta, out, pairs, group);

  for (int64_t g0 = 0; g0 < nb; g0 += group) {
    const int64_t cols = std::min(group, nb - g0);
    if (g0 > 0) std::fill(w.data(), w.data() + n * cols * parts, 0.0);
    for (int64_t j0 = 0; j0 < cols; j0 += sweep)
      scatterBlock(k, b, g0 + j0, std::min(sweep, cols - j0), pairs,
                   w.data() + n * j0 * parts);
    projection.project(WorkGroup{w.data(), n, cols, sweep, pairs}, g0);
  }
}

}  // namespace spardyn
