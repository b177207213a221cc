// "tbbp": y ← y + Sᵀ·x on the worker threads, in place into input 4.
#include "call.hpp"
#include "spardyn/disjoint.hpp"
#include "spardyn/error.hpp"
#include "spardyn/parallel.hpp"
#include "views.hpp"

namespace spardyn {

namespace {

enum { IN_CMD = 1, IN_K, IN_X, IN_Y, IN_END };

void cmdTbbp(Call& c) {
  const SparseView k = pw_mkl_get_sparse(c.in(IN_K));
  // y is written in place and x read as plain arrays: complex ones would
  // reach the module as copies (the sum lost, the imaginary part dropped).
  const RealArray x = host::realFull(c.in(IN_X), "spardyn tbbp : x");
  const RealArray y = host::realFull(c.in(IN_Y), "spardyn tbbp : y");
  const int64_t n = static_cast<int64_t>(x.rows);
  if (!k.hasValues() || n == 0) return;
  if (static_cast<int64_t>(y.count) < n)
    fail(Reason::WrongSize, "spardyn tbbp : y holds fewer values than x has rows");
  if (x.data == y.data)
    fail(Reason::Invalid, "spardyn tbbp : x and y must be distinct arrays");
  checkSparseColumns(k, n, static_cast<int64_t>(x.count), "spardyn tbbp");
  // y is written while x and k's values are read (a slice of one array may
  // share the memory of another).
  requireApart("spardyn tbbp", {span(y.data, n, "y")},
               {span(x.data, x.count, "x"), span(k.pr, k.nPr, "k")});
  SparseMatVec(y.data, x.data, k.pr, k.ir, k.jc, static_cast<int32_t>(n));
}

}  // namespace

const Command kTbbp{"tbbp", cmdTbbp, IN_Y};

}  // namespace spardyn
