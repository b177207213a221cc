#include "spardyn/residual_kernel.hpp"

#include <cblas.h>

#include <algorithm>

#include "spardyn/blas1.hpp"
#include "spardyn/parallel.hpp"

namespace spardyn {

bool PassList::add(const double* pr, const int32_t* ir, const int32_t* jc,
                   const double* x, double scale) {
  if (!pr) return true;
  if (count_ == kCapacity) return false;
  passes_[count_++] = ColumnPass{pr, ir, jc, x, scale};
  return true;
}

namespace {

// Columns swept pass after pass before moving on: their 2 KB of r stay in
// the first-level cache while every matrix streams through once.
constexpr int32_t kChunk = 256;

// Columns handed to one task at least; the sweep of a chunk costs a few
// microseconds, so smaller tasks would cost more than they share.
constexpr int64_t kSweepGrain = 4096;

// Diagonal terms stream three or four vectors per entry: a task of this
// many entries amortises its scheduling many times over.
constexpr int64_t kDiagonalGrain = 32768;

// r[j] += scale·d_j(x) for the columns of one pass in [begin, end)
void sweepPass(const ColumnPass& p, double* r, int32_t begin, int32_t end) {
  const int32_t* jc = p.jc;
  for (int32_t j = begin; j < end; ++j) {
    const int32_t b = jc[j];
    r[j] += p.scale * spd_ddoti(jc[j + 1] - b, p.pr + b, p.ir + b, p.x);
  }
}

// The passes in order over [begin, end), chunk by chunk.
void sweepColumns(const PassList& passes, double* r, int64_t begin,
                  int64_t end) {
  for (int64_t c = begin; c < end; c += kChunk) {
    const int32_t e = static_cast<int32_t>(std::min<int64_t>(c + kChunk, end));
    for (int p = 0; p < passes.size(); ++p)
      sweepPass(passes[p], r, static_cast<int32_t>(c), e);
  }
}

struct Sweep {
  const PassList* passes;
  double* r;
};

struct Diagonal {
  const double* d;
  const double* x;
  double s;
  const double* y;
  double* r;
};

void diagonalRange(const Diagonal& t, int64_t begin, int64_t end) {
  if (t.y) {
    for (int64_t i = begin; i < end; ++i)
      t.r[i] += t.d[i] * (t.x[i] + t.s * t.y[i]);
  } else {
    for (int64_t i = begin; i < end; ++i) t.r[i] += t.d[i] * t.x[i];
  }
}

}  // namespace

void addColumnPasses(const PassList& passes, double* r, int32_t n) {
  if (passes.empty() || n <= 0) return;
  // The body captures one pointer so that the std::function holding it
  // stays within its small-object buffer: no allocation per evaluation.
  const Sweep sweep{&passes, r};
  const Sweep* s = &sweep;
  parallelBlocks(n, kSweepGrain, [s](int64_t b, int64_t e) {
    sweepColumns(*s->passes, s->r, b, e);
  });
}

void addColumnPassesSerial(const PassList& passes, double* r, int32_t n) {
  if (passes.empty() || n <= 0) return;
  sweepColumns(passes, r, 0, n);
}

void addDiagonal(const double* d, const double* x, double s, const double* y,
                 double* r, int32_t n) {
  if (n <= 0) return;
  const Diagonal term{d, x, s, y, r};
  const Diagonal* t = &term;
  parallelBlocks(n, kDiagonalGrain,
                 [t](int64_t b, int64_t e) { diagonalRange(*t, b, e); });
}

void addDiagonalSerial(const double* d, const double* x, double s,
                       const double* y, double* r, int32_t n) {
  if (n <= 0) return;
  diagonalRange(Diagonal{d, x, s, y, r}, 0, n);
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
