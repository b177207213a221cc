#include "spardyn/parallel.hpp"

#include <tbb/global_control.h>
#include <tbb/info.h>

#include <algorithm>
#include <memory>
#include <new>

#include "spardyn/column_sweep.hpp"

namespace spardyn {

namespace {

// Never more than 8 threads.  The arena is made on first use and kept:
// creating one costs tens of microseconds, more than a small product.  The
// scheduler handle lets shutdownWorkers wait for the worker threads, which
// must be gone before the host unloads the module (and TBB with it) or they
// would run on in unmapped code.
struct Workers {
  tbb::task_scheduler_handle handle{tbb::attach{}};
  tbb::task_arena arena{
      std::min(8, std::max(1, tbb::info::default_concurrency()))};
};
std::unique_ptr<Workers> gWorkers;

// Columns handed to one task at least: below this a split costs more than
// it saves.
constexpr int64_t kProductGrain = 1000;

}  // namespace

tbb::task_arena& productArena() {
  if (!gWorkers) gWorkers = std::make_unique<Workers>();
  return gWorkers->arena;
}

int productThreads() { return productArena().max_concurrency(); }

void shutdownWorkers() {
  if (!gWorkers) return;
  gWorkers->arena.terminate();
  tbb::finalize(gWorkers->handle, std::nothrow);
  gWorkers.reset();
}

// y ← y + Sᵀ·x
void SparseMatVec(double* y, const double* x, const double* pr,
                  const int32_t* ir, const int32_t* jc, int32_t n) {
  if (!pr || n <= 0) return;
  const ColumnPass pass{pr, ir, jc, x, 1.0, nullptr, 0.0};
  parallelBlocks(n, kProductGrain,
                 [&](int64_t b, int64_t e) { sweepColumns(pass, y, b, e); });
}

void SparseMatVecSerial(double* y, const double* x, const double* pr,
                        const int32_t* ir, const int32_t* jc, int32_t n) {
  if (!pr || n <= 0) return;
  sweepColumns(ColumnPass{pr, ir, jc, x, 1.0, nullptr, 0.0}, y, 0, n);
}

}  // namespace spardyn
