// Views of host values, and the two products over host values.
#pragma once

#include <cstdint>

#include "host.hpp"
#include "spardyn/sparse_view.hpp"

namespace spardyn {

// The view of a host value: a sparse matrix description structure ("pr",
// "ir", "jc", "trans", "dims"), a v_handle object through its "file", or a
// dense double array.  A host sparse matrix is read in place where the
// host's indices are 32 bits wide, and refused with "ir must be int32"
// where they are wider (Octave's, and MATLAB's for 64-bit modules).  A
// structure without "pr" gives a view without arrays.  Fields of the wrong
// class, a size that cannot be known, and a v_handle without "file" are
// refused.
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
