#include "spardyn/sparse_view.hpp"

#include <algorithm>
#include <atomic>
#include <climits>
#include <string>

#include "spardyn/error.hpp"
#include "spardyn/parallel.hpp"

namespace spardyn {

namespace {

[[noreturn]] void invalid(const char* what, const std::string& fault) {
  fail(Reason::Invalid, std::string(what) + ": " + fault);
}

// Columns checked per task: large enough that a block amortises its task,
// small enough that both cores share a stencil matrix evenly.
constexpr int64_t kCheckGrain = 16384;

// Whether every ir[k], begin ≤ k < end, lies in [0, limit).  Negative
// indices wrap to values above any limit in the unsigned comparison, so one
// comparison per entry suffices; counting instead of branching lets the
// compiler vectorise the loop, which streams the whole index array.
__attribute__((target_clones("avx2", "default")))
bool rowIndicesInRange(const int32_t* ir, int64_t begin, int64_t end,
                       uint32_t limit) {
  uint32_t outside = 0;
  for (int64_t k = begin; k < end; ++k)
    outside |= static_cast<uint32_t>(ir[k]) >= limit;
  return outside == 0;
}

bool columnPointersOrdered(const int32_t* jc, int64_t begin, int64_t end) {
  uint32_t decreasing = 0;
  for (int64_t j = begin; j < end; ++j) decreasing |= jc[j] > jc[j + 1];
  return decreasing == 0;
}

}  // namespace

SparseView compressedColumnsView(const CompressedColumns& m) {
  if (m.rows > INT32_MAX || m.cols >= INT32_MAX || m.nzmax > INT32_MAX)
    fail(Reason::WrongSize,
         "a host sparse matrix of " + std::to_string(m.rows) + " x " +
             std::to_string(m.cols) + " (" + std::to_string(m.nzmax) +
             " entries) is beyond the int32 indices of the module");
  SparseView v;
  v.rows = static_cast<int32_t>(m.rows);
  v.cols = static_cast<int32_t>(m.cols);
  v.sparse = true;
  v.pr = m.pr;
  v.ir = m.ir;
  v.jc = m.jc;
  v.nPr = v.nIr = m.nzmax;
  v.nJc = m.cols + 1;
  return v;
}

void checkSparseColumns(const SparseView& v, int64_t nCols, int64_t nIndexed,
                        const char* what) {
  if (!v.pr) invalid(what, "no values (field \"pr\")");
  if (!v.isSparse()) invalid(what, "sparse storage expected (field \"ir\")");
  if (!v.jc) invalid(what, "row indices without column pointers (\"jc\")");
  if (nCols < 0) nCols = 0;
  if (static_cast<int64_t>(v.nJc) < nCols + 1)
    invalid(what, std::to_string(nCols) + " columns used but \"jc\" holds " +
                      std::to_string(v.nJc) + " column pointers");
  const int32_t* jc = v.jc;
  const int64_t first = jc[0], nnz = jc[nCols];
  if (first < 0) invalid(what, "negative column pointer");
  if (nnz > static_cast<int64_t>(v.nIr) || nnz > static_cast<int64_t>(v.nPr))
    invalid(what, "column pointers run past \"ir\" or \"pr\" (" +
                      std::to_string(nnz) + " entries, \"ir\" holds " +
                      std::to_string(v.nIr) + ", \"pr\" " +
                      std::to_string(v.nPr) + ")");
  // Row indices are compared as unsigned 32-bit values: clamp the limit.
  const uint32_t limit = static_cast<uint32_t>(
      std::min<int64_t>(std::max<int64_t>(nIndexed, 0), INT32_MAX));

  // One pass: each block checks its column pointers, then, only when they
  // bound a range inside the arrays, the row indices of that range.
  std::atomic<bool> ordered{true}, inRange{true};
  parallelBlocks(nCols, kCheckGrain, [&](int64_t b, int64_t e) {
    if (!columnPointersOrdered(jc, b, e)) {
      ordered = false;
      return;
    }
    if (jc[b] < first || jc[e] > nnz) return;  // caught as disorder elsewhere
    if (!rowIndicesInRange(v.ir, jc[b], jc[e], limit)) inRange = false;
  });
  if (!ordered) invalid(what, "column pointers decrease");
  if (!inRange)
    invalid(what, "row index outside [0, " + std::to_string(nIndexed) + ")");
}

void checkDenseSize(const SparseView& v, const char* what) {
  const int64_t need = int64_t(v.rows < 0 ? 0 : v.rows) *
                       int64_t(v.cols < 0 ? 0 : v.cols);
  if (v.pr && static_cast<int64_t>(v.nPr) < need)
    invalid(what, "\"dims\" asks for " + std::to_string(need) +
                      " values, \"pr\" holds " + std::to_string(v.nPr));
}

void requireAddForm(const SparseView& v) {
  if (!v.isSparse() && !v.trans && v.rows > 0)
    fail("Add_Mt_u implemented for sparse matrices");
}

void requireEarlierAddForm(const SparseView& v) {
  if (!v.isSparse() && v.rows > 0)
    fail("Add_Mt_u implemented for sparse matrices");
}

void requireProdForm(const SparseView& v) {
  if (v.isSparse() && !v.trans)
    fail("Prod_Mt_u implemented for transposed sparse matrices");
}

namespace {

[[noreturn]] void tooShort(const char* what, const char* vec, int64_t need,
                           int64_t have) {
  fail(Reason::WrongSize, std::string(what) + ": " + vec + " needs " +
                              std::to_string(need) + " values, holds " +
                              std::to_string(have));
}

}  // namespace

void checkAddUse(const SparseView& v, int64_t uLen, int64_t yLen,
                 const char* what) {
  if (!v.pr) return;  // nothing is added
  requireAddForm(v);
  if (v.isSparse()) {
    if (v.rows < 0 || v.cols < 0) invalid(what, "negative size");
    // u has one value per row of M, y one per column.
    if (uLen < v.rows) tooShort(what, "the input vector", v.rows, uLen);
    if (yLen < v.cols) tooShort(what, "the result", v.cols, yLen);
    if (v.trans) checkSparseColumns(v, v.rows, v.cols, what);
    else checkSparseColumns(v, v.cols, v.rows, what);
  } else if (v.trans && v.cols > 0) {
    // The dense transposed form is one row of M stored as a column: with
    // any other number of rows, rows of M would be silently left out.
    if (v.rows != 1)
      invalid(what, "a dense matrix in transposed storage must have one row, "
                    "it has " + std::to_string(v.rows));
    if (static_cast<int64_t>(v.nPr) < v.cols)
      invalid(what, "fewer values than columns");
    if (uLen < 1) tooShort(what, "the input vector", 1, uLen);
    if (yLen < v.cols) tooShort(what, "the result", v.cols, yLen);
  }
}

void checkProdUse(const SparseView& v, int64_t uLen, int64_t yLen,
                  const char* what) {
  if (!v.pr) return;
  requireProdForm(v);
  if (v.rows < 0 || v.cols < 0) invalid(what, "negative size");
  if (uLen < v.cols) tooShort(what, "the input vector", v.cols, uLen);
  if (yLen < v.rows) tooShort(what, "the result", v.rows, yLen);
  if (v.isSparse()) checkSparseColumns(v, v.rows, v.cols, what);
  else checkDenseSize(v, what);
}

}  // namespace spardyn
