// A view of compressed-column arrays a test holds in vectors.
#pragma once

#include <cstdint>
#include <vector>

#include "spardyn/sparse_view.hpp"

namespace spardyn {

// rows × cols is the logical matrix; with trans the stored array is its
// transpose.  Kernels write only through "setsparse"-like tests, so the
// view may alias the test's vectors.
inline SparseView storedView(const std::vector<int32_t>& ir,
                             const std::vector<int32_t>& jc,
                             const std::vector<double>& pr, int32_t rows,
                             int32_t cols, int32_t trans = 0) {
  SparseView v;
  v.rows = rows;
  v.cols = cols;
  v.trans = trans;
  v.sparse = true;
  v.ir = const_cast<int32_t*>(ir.data());
  v.jc = const_cast<int32_t*>(jc.data());
  v.pr = pr.empty() ? nullptr : const_cast<double*>(pr.data());
  v.nIr = ir.size();
  v.nJc = jc.size();
  v.nPr = pr.size();
  return v;
}

}  // namespace spardyn
