#include "spardyn/sparse_view.hpp"

#include <atomic>
#include <string>

#include "spardyn/error.hpp"
#include "spardyn/parallel.hpp"

namespace spardyn {

namespace {

[[noreturn]] void invalid(const char* what, const std::string& fault) {
  fail(Reason::Invalid, std::string(what) + ": " + fault);
}

// Row indices within one pass of the column checks are scanned in blocks
// of this many columns: large enough that a block amortises its task, small
// enough that both cores share a stencil matrix evenly.
constexpr int64_t kCheckGrain = 16384;

bool rowIndicesInRange(const int32_t* ir, int64_t begin, int64_t end,
                       int64_t nIndexed) {
  // One unsigned comparison per entry catches negative indices as well:
  // they wrap to values above any limit.
  const uint64_t limit = static_cast<uint64_t>(nIndexed < 0 ? 0 : nIndexed);
  bool ok = true;
  for (int64_t k = begin; k < end; ++k)
    ok &= static_cast<uint64_t>(static_cast<int64_t>(ir[k])) < limit;
  return ok;
}

}  // namespace

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
  if (jc[0] < 0) invalid(what, "negative column pointer");

  std::atomic<bool> ordered{true};
  parallelBlocks(nCols, kCheckGrain, [&](int64_t b, int64_t e) {
    bool ok = true;
    for (int64_t j = b; j < e; ++j) ok &= jc[j] <= jc[j + 1];
    if (!ok) ordered = false;
  });
  if (!ordered) invalid(what, "column pointers decrease");

  const int64_t nnz = jc[nCols];
  if (nnz > static_cast<int64_t>(v.nIr) || nnz > static_cast<int64_t>(v.nPr))
    invalid(what, "column pointers run past \"ir\" or \"pr\" (" +
                      std::to_string(nnz) + " entries, \"ir\" holds " +
                      std::to_string(v.nIr) + ", \"pr\" " +
                      std::to_string(v.nPr) + ")");

  std::atomic<bool> inRange{true};
  parallelBlocks(nCols, kCheckGrain, [&](int64_t b, int64_t e) {
    if (!rowIndicesInRange(v.ir, jc[b], jc[e], nIndexed)) inRange = false;
  });
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
