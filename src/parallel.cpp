#include "spardyn/parallel.hpp"

#include <tbb/blocked_range.h>
#include <tbb/global_control.h>
#include <tbb/info.h>
#include <tbb/parallel_for.h>
#include <tbb/partitioner.h>
#include <tbb/task_arena.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>

#include "spardyn/blas1.hpp"

namespace spardyn {

namespace {

// The product never uses more than 8 threads.  The arena is made on first
// use and kept: creating one costs tens of microseconds, more than a small
// product.  The scheduler handle lets shutdownWorkers wait for the worker
// threads, which must be gone before the host unloads the module (and TBB
// with it) or they would run on in unmapped code.
struct Workers {
  tbb::task_scheduler_handle handle{tbb::attach{}};
  tbb::task_arena arena{
      std::min(8, std::max(1, tbb::info::default_concurrency()))};
};
std::unique_ptr<Workers> gWorkers;

tbb::task_arena& productArena() {
  if (!gWorkers) gWorkers = std::make_unique<Workers>();
  return gWorkers->arena;
}

// Columns handed to one task at least: below this a split costs more than
// it saves.
constexpr int kGrain = 1000;

}  // namespace

int productThreads() { return productArena().max_concurrency(); }

void shutdownWorkers() {
  if (!gWorkers) return;
  gWorkers->arena.terminate();
  tbb::finalize(gWorkers->handle, std::nothrow);
  gWorkers.reset();
}

// The loop body: y[i] += d_i(x) for the columns of one range.
class iSparseMatVec {
 public:
  iSparseMatVec(const double* pr, double* y, const double* x,
                const int32_t* jc, const int32_t* ir)
      : pr_(pr), y_(y), x_(x), jc_(jc), ir_(ir) {}

  void operator()(const tbb::blocked_range<int>& r) const {
    columns(r.begin(), r.end());
  }

  void columns(int begin, int end) const {
    for (int i = begin; i < end; ++i) {
      const int32_t b = jc_[i];
      prefetchAhead(b);
      y_[i] += spd_ddoti(jc_[i + 1] - b, pr_ + b, ir_ + b, x_);
    }
  }

 private:
  // Values and row indices this many entries ahead are requested early: the
  // hardware prefetcher alone leaves the core waiting on the two streams.
  // The address is formed as an integer because it may lie past the arrays;
  // a prefetch never faults.
  static constexpr std::uintptr_t kAhead = 256;
  void prefetchAhead(int32_t k) const {
    const std::uintptr_t at = static_cast<std::uintptr_t>(k) + kAhead;
    __builtin_prefetch(reinterpret_cast<const void*>(
        reinterpret_cast<std::uintptr_t>(pr_) + at * sizeof(double)));
    __builtin_prefetch(reinterpret_cast<const void*>(
        reinterpret_cast<std::uintptr_t>(ir_) + at * sizeof(int32_t)));
  }

  const double* pr_;
  double* y_;
  const double* x_;
  const int32_t* jc_;
  const int32_t* ir_;
};

void SparseMatVec(double* y, const double* x, const double* pr,
                  const int32_t* ir, const int32_t* jc, int32_t n) {
  if (!pr || n <= 0) return;
  const iSparseMatVec body(pr, y, x, jc, ir);
  if (n <= kGrain) {  // one task: skip the scheduler
    body.columns(0, n);
    return;
  }
  productArena().execute([&] {
    tbb::parallel_for(tbb::blocked_range<int>(0, n, kGrain), body,
                      tbb::auto_partitioner());
  });
}

void SparseMatVecSerial(double* y, const double* x, const double* pr,
                        const int32_t* ir, const int32_t* jc, int32_t n) {
  if (!pr || n <= 0) return;
  iSparseMatVec(pr, y, x, jc, ir).columns(0, n);
}

void parallelBlocks(int64_t n, int64_t grain,
                    const std::function<void(int64_t, int64_t)>& body) {
  if (n <= 0) return;
  if (n <= grain) {
    body(0, n);
    return;
  }
  productArena().execute([&] {
    tbb::parallel_for(tbb::blocked_range<int64_t>(0, n, grain),
                      [&](const tbb::blocked_range<int64_t>& r) {
                        body(r.begin(), r.end());
                      });
  });
}

}  // namespace spardyn
