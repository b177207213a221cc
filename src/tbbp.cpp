// "tbbp": y ← y + Sᵀ·x on the worker threads, in place into input 4.
#include "host.hpp"
#include "spardyn/command.hpp"
#include "spardyn/disjoint.hpp"
#include "spardyn/error.hpp"
#include "spardyn/parallel.hpp"
#include "spardyn/views.hpp"

namespace spardyn {

namespace {
enum { IN_K = 2, IN_X, IN_Y };
}

void cmdTbbp(Call& c) {
  const SparseView k = pw_mkl_get_sparse(c.in(IN_K));
  const host::Value* xv = c.in(IN_X);
  const host::Value* yv = c.in(IN_Y);
  // y is written in place: a complex y reaches the module as a copy of its
  // real part, and the sum would be lost; x's imaginary part would be
  // dropped.
  if (host::isComplex(xv) || host::isComplex(yv))
    fail(Reason::Invalid, "spardyn tbbp : x and y must be real");
  const double* x = host::realData(xv);
  double* y = host::realData(yv);
  const int64_t n = static_cast<int64_t>(host::rows(xv));
  if (!k.hasValues() || n == 0) return;
  if (static_cast<int64_t>(host::numel(yv)) < n)
    fail(Reason::WrongSize, "spardyn tbbp : y holds fewer values than x has rows");
  if (x == y) fail(Reason::Invalid, "spardyn tbbp : x and y must be distinct arrays");
  checkSparseColumns(k, n, static_cast<int64_t>(host::numel(xv)), "spardyn tbbp");
  // y is written while x and k's values are read (a slice of one array may
  // share the memory of another).
  requireApart("spardyn tbbp", {span(y, n, "y")},
               {span(x, host::numel(xv), "x"), span(k.pr, k.nPr, "k")});
  SparseMatVec(y, x, k.pr, k.ir, k.jc, static_cast<int32_t>(n));
}

}  // namespace spardyn
