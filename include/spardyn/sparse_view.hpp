// Non-owning view of a matrix held in host arrays: compressed-column storage
// with 0-based int32 indices (sparse form) or a column-major array (dense
// form, no row indices).
#pragma once

#include <cstddef>
#include <cstdint>

#include "spardyn/arrays.hpp"

namespace spardyn {

struct SparseView {
  int32_t rows = 0;   // rows of the logical matrix M
  int32_t cols = 0;   // columns of M
  int32_t trans = 0;  // 1: the stored array is Mᵀ (compressed rows of M)
  bool sparse = false;    // compressed-column storage (a field "ir" exists)
  int32_t* ir = nullptr;  // row index of each stored entry; null when none
  int32_t* jc = nullptr;  // column starts of the stored array
  double* pr = nullptr;   // values; null when the source holds none

  // Element counts of the host arrays behind ir, jc and pr: every check of
  // an index against the memory it addresses is made against these.
  std::size_t nIr = 0, nJc = 0, nPr = 0;

  bool hasValues() const { return pr != nullptr; }
  bool isSparse() const { return sparse; }
  // Number of stored columns of the array as it sits in memory.
  int32_t storedCols() const { return trans ? rows : cols; }
  // Number of rows of the stored array (the range of its row indices).
  int32_t storedRows() const { return trans ? cols : rows; }
};

// The view of a host sparse matrix read in place (M itself, not
// transposed).  Sizes beyond the int32 range are refused.
SparseView compressedColumnsView(const CompressedColumns& m);

// Checks, made once per command before any kernel runs, that a kernel
// working on the first nCols stored columns of v stays inside the host
// arrays: v is sparse, jc has nCols+1 non-decreasing entries starting at or
// above 0 and ending within ir and pr, and every row index read lies in
// [0, nIndexed).  what names the matrix in the error message.
void checkSparseColumns(const SparseView& v, int64_t nCols, int64_t nIndexed,
                        const char* what);

// A dense view must hold rows·cols values.
void checkDenseSize(const SparseView& v, const char* what);

// The forms the two product kernels accept, with their historical messages:
// "Add_Mt_u implemented for sparse matrices" (dense, not transposed, with
// rows) and "Prod_Mt_u implemented for transposed sparse matrices".
void requireAddForm(const SparseView& v);
void requireProdForm(const SparseView& v);
// The earlier product y ← y + Mᵀ·u (the Windows x86 module's) has no dense
// transposed form: every dense matrix with rows is refused, whatever its
// storage, with the same message.
void requireEarlierAddForm(const SparseView& v);

}  // namespace spardyn

namespace spardyn {

// Everything Add_Mt_ub needs of its operands: the form above, and sizes such
// that y ← y + Mᵀ·u with u of uLen and y of yLen values stays in bounds.
void checkAddUse(const SparseView& v, int64_t uLen, int64_t yLen,
                 const char* what);

// Likewise for Prod_Mt_ub: y ← y + M·u (sparse) or y ← M·u (dense).
void checkProdUse(const SparseView& v, int64_t uLen, int64_t yLen,
                  const char* what);

}  // namespace spardyn
