// The column product, spread over worker threads.
#pragma once

#include <cstdint>
#include <functional>

namespace spardyn {

// y[i] += Σ_{k=jc[i]}^{jc[i+1]-1} pr[k]·x[ir[k]] for 0 ≤ i < n, that is
// y ← y + Sᵀ·x for the stored array S.  Runs on a task arena of at most 8
// threads made once per process; each y[i] has one writer and one sparse dot
// product, so the result is bitwise the same as SparseMatVecSerial's.
// Nothing happens when pr is null or n ≤ 0.
void SparseMatVec(double* y, const double* x, const double* pr,
                  const int32_t* ir, const int32_t* jc, int32_t n);

// The same sum on the calling thread, column after column.
void SparseMatVecSerial(double* y, const double* x, const double* pr,
                        const int32_t* ir, const int32_t* jc, int32_t n);

// Runs body(begin, end) over [0, n) on the product's arena, in blocks of at
// least grain items (serially when n is below one grain).  For scans that
// stream a whole matrix, such as the checks of a view.
void parallelBlocks(int64_t n, int64_t grain,
                    const std::function<void(int64_t, int64_t)>& body);

// Threads the product arena uses (at most 8, at most the machine's).
int productThreads();

// Waits for the worker threads to end; the next product starts them again.
// Runs before the host unloads the module.
void shutdownWorkers();

}  // namespace spardyn
