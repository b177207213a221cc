// Views of host values, and the two products over host values.
#pragma once

#include <cstdint>

#include "host.hpp"
#include "spardyn/sparse_view.hpp"

namespace spardyn {

// The view of a host value: a sparse matrix description structure ("pr",
// "ir", "jc", "trans", "dims"), a v_handle object through its "file", or a
// dense double array.  Host sparse matrices carry 64-bit indices and are
// refused with "ir must be int32".  A structure without "pr" gives a view
// without arrays.  Fields of the wrong class, a size that cannot be known,
// and a v_handle without "file" are refused.
SparseView pw_mkl_get_sparse(const host::Value* v);

// y ← y + Mᵀ·u, with u of uLen and y of yLen values; the operands are
// checked first and the scratch of a transposed scatter is released on
// return.
void Add_Mt_u(const host::Value* m, const double* u, int64_t uLen, double* y,
              int64_t yLen, const char* what);

// y ← y + M·u (sparse, transposed storage) or y ← M·u (dense), checked.
void Prod_Mt_u(const host::Value* m, const double* u, int64_t uLen, double* y,
               int64_t yLen, const char* what);

}  // namespace spardyn
