// The module's one parallel idiom: a range body run over blocks of [0, n) on
// a task arena of at most 8 threads, made once per process.  Every result
// item has one writer, so a kernel gives the same bits whatever the split,
// and each parallel kernel has a serial twin that calls the same range body
// over the whole range (the unit tests demand bitwise equality).
#pragma once

#include <tbb/blocked_range.h>
#include <tbb/parallel_for.h>
#include <tbb/task_arena.h>

#include <cstdint>

namespace spardyn {

// The arena every parallel loop of the module runs on.
tbb::task_arena& productArena();

// Threads the arena uses (at most 8, at most the machine's).
int productThreads();

// Waits for the worker threads to end; the next parallel loop starts them
// again.  Runs before the host unloads the module.
void shutdownWorkers();

// body(begin, end) over [0, n), in blocks of at least grain items; on the
// calling thread alone when the range is one grain or less, where a task
// would cost more than it saves.
template <class Body>
void parallelBlocks(int64_t n, int64_t grain, const Body& body) {
  if (n <= 0) return;
  if (n <= grain) {
    body(int64_t{0}, n);
    return;
  }
  productArena().execute([&] {
    tbb::parallel_for(tbb::blocked_range<int64_t>(0, n, grain),
                      [&](const tbb::blocked_range<int64_t>& r) {
                        body(r.begin(), r.end());
                      });
  });
}

// y[i] += Σ_{k=jc[i]}^{jc[i+1]-1} pr[k]·x[ir[k]] for 0 ≤ i < n, that is
// y ← y + Sᵀ·x for the stored array S, by the column kernel of
// column_sweep.hpp.  Nothing happens when pr is null or n ≤ 0.
void SparseMatVec(double* y, const double* x, const double* pr,
                  const int32_t* ir, const int32_t* jc, int32_t n);

// The same sum on the calling thread.
void SparseMatVecSerial(double* y, const double* x, const double* pr,
                        const int32_t* ir, const int32_t* jc, int32_t n);

}  // namespace spardyn
