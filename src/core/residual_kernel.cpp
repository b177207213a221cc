#include "spardyn/residual_kernel.hpp"

#include <cblas.h>

#include <algorithm>
#include <cstdint>

#include "spardyn/parallel.hpp"

namespace spardyn {

bool PassList::add(const double* pr, const int32_t* ir, const int32_t* jc,
                   const double* x, double scale, const double* x2,
                   double scale2) {
  if (!x) {
    x = x2;
    scale = scale2;
    x2 = nullptr;
  }
  if (!pr || !x) return true;
  if (count_ == kCapacity) return false;
  passes_[count_++] = ColumnPass{pr, ir, jc, x, scale, x2, scale2};
  return true;
}

namespace {

// Columns swept pass after pass before moving on: large enough that each
// matrix streams through in long runs the hardware prefetcher follows, small
// enough that this block of r (32 KB) stays in the core's own cache.
constexpr int64_t kChunk = 4096;

// Columns handed to one task at least: a few chunks.
constexpr int64_t kSweepGrain = 16384;

// Diagonal terms stream three or four vectors per entry: a task of this
// many entries amortises its scheduling many times over.
constexpr int64_t kDiagonalGrain = 32768;

// The passes in order over [begin, end), chunk by chunk.
void sweepPasses(const PassList& passes, double* r, int64_t begin,
                 int64_t end) {
  for (int64_t c = begin; c < end; c += kChunk) {
    const int64_t e = std::min(c + kChunk, end);
    for (int p = 0; p < passes.size(); ++p) sweepColumns(passes[p], r, c, e);
  }
}

// r[i] += d[i]·(x[i] + s·y[i]) (or d[i]·x[i]), begin ≤ i < end
void diagonalRange(const double* d, const double* x, double s,
                   const double* y, double* r, int64_t begin, int64_t end) {
  if (y) {
    for (int64_t i = begin; i < end; ++i) r[i] += d[i] * (x[i] + s * y[i]);
  } else {
    for (int64_t i = begin; i < end; ++i) r[i] += d[i] * x[i];
  }
}

}  // namespace

void addColumnPasses(const PassList& passes, double* r, int32_t n) {
  if (passes.empty() || n <= 0) return;
  parallelBlocks(n, kSweepGrain,
                 [&](int64_t b, int64_t e) { sweepPasses(passes, r, b, e); });
}

void addColumnPassesSerial(const PassList& passes, double* r, int32_t n) {
  if (passes.empty() || n <= 0) return;
  sweepPasses(passes, r, 0, n);
}

void addDiagonal(const double* d, const double* x, double s, const double* y,
                 double* r, int32_t n) {
  parallelBlocks(n, kDiagonalGrain, [&](int64_t b, int64_t e) {
    diagonalRange(d, x, s, y, r, b, e);
  });
}

void addDiagonalSerial(const double* d, const double* x, double s,
                       const double* y, double* r, int32_t n) {
  if (n > 0) diagonalRange(d, x, s, y, r, 0, n);
}

// r += Φ·(c ∘ (Φᵀ·v))
void addModalDamping(const double* phi, int32_t n, int32_t m, const double* c,
                     double* y, const double* v, double* r) {
  if (n <= 0 || m <= 0) return;
  cblas_dgemv(CblasColMajor, CblasTrans, n, m, 1.0, phi, n, v, 1, 0.0, y, 1);
  for (int32_t i = 0; i < m; ++i) y[i] *= c[i];
  cblas_dgemv(CblasColMajor, CblasNoTrans, n, m, 1.0, phi, n, y, 1, 1.0, r, 1);
}

}  // namespace spardyn
