// Views of host values, and the products over host values.
#include "views.hpp"

#include <string>
#include <vector>

#include "spardyn/error.hpp"
#include "spardyn/kernels.hpp"
#include "spardyn/numbers.hpp"

namespace spardyn {

namespace {

[[noreturn]] void badField(const char* name, const char* expected) {
  fail(Reason::Invalid, std::string("sparse description: field \"") + name +
                            "\" must be " + expected);
}

// Field of the description, of the class it must have, or null.
const host::Value* typedField(const host::Value* s, const char* name,
                              bool (*ofClass)(const host::Value*),
                              const char* expected) {
  const host::Value* f = host::field(s, name);
  if (f && (!ofClass(f) || host::isSparse(f))) badField(name, expected);
  return f;
}

void readDims(const host::Value* dims, SparseView& v) {
  if (!host::isNumeric(dims) || host::isSparse(dims) || host::numel(dims) < 2)
    badField("dims", "a vector of at least 2 numbers");
  if (!host::isDouble(dims)) badField("dims", "double");
  // The real parts of the first two values, whatever the array's layout.
  const DoubleArray d = host::doubles(dims, "sparse description: field \"dims\"");
  v.rows = truncInt32(d.re[0]);
  v.cols = truncInt32(d.re[d.stride]);
  if (v.rows < 0 || v.cols < 0) badField("dims", "non-negative");
}

SparseView fromStructure(const host::Value* s) {
  SparseView v;
  const host::Value* pr = typedField(s, "pr", host::isDouble, "double");
  if (!pr) return v;  // no values: nothing for a kernel to do
  const host::Value* ir = typedField(s, "ir", host::isInt32, "int32");
  const host::Value* jc = typedField(s, "jc", host::isInt32, "int32");
  // The module's matrices are real, and "setsparse" writes their values.
  const RealArray values =
      host::realFull(pr, "sparse description: field \"pr\"");
  v.pr = values.data;
  v.nPr = values.count;
  if (ir) {  // a sparse matrix without entries still is in sparse form
    v.sparse = true;
    v.ir = host::int32Data(ir);
    v.nIr = v.ir ? host::numel(ir) : 0;
  }
  if (jc) {
    v.jc = host::int32Data(jc);
    v.nJc = v.jc ? host::numel(jc) : 0;
  }
  if (const host::Value* t = host::field(s, "trans")) {
    if (!host::isNumeric(t) || host::isSparse(t)) badField("trans", "a number");
    // NaN counts as set, as any non-zero value does.
    v.trans = host::numel(t) && host::firstDouble(t, "trans") != 0.0;
  }
  if (const host::Value* dims = host::field(s, "dims")) {
    readDims(dims, v);
  } else if (jc) {
    // One row per stored column: the matrix is taken as square.
    v.rows = v.cols = static_cast<int32_t>(host::rows(jc)) - 1;
    if (v.rows < 0) v.rows = v.cols = 0;
  } else {
    fail(Reason::Invalid,
         "sparse description: size unknown (neither \"jc\" nor \"dims\")");
  }
  return v;
}

SparseView fromDense(const host::Value* a) {
  const RealArray values =
      host::realFull(a, "a matrix that is no sparse description");
  SparseView v;
  v.pr = values.data;
  v.nPr = values.count;
  v.rows = static_cast<int32_t>(host::rows(a));
  v.cols = static_cast<int32_t>(host::cols(a));
  return v;
}

}  // namespace

SparseView pw_mkl_get_sparse(const host::Value* a) {
  if (host::isClass(a, "v_handle")) {
    const host::Value* file = host::field(a, "file");
    if (!file) fail(Reason::Invalid, "v_handle without \"file\"");
    a = file;
  }
  if (host::isSparse(a)) {
    // Read in place where the host indexes with 32 bits; its wider
    // indices cannot be.
    CompressedColumns m;
    if (!host::sparseColumns32(a, m)) fail("ir must be int32");
    return compressedColumnsView(m);
  }
  if (host::isStruct(a)) return fromStructure(a);
  return fromDense(a);
}

void Add_Mt_u(const host::Value* m, const double* u, int64_t uLen, double* y,
              int64_t yLen, const char* what) {
  const SparseView v = pw_mkl_get_sparse(m);
  checkAddUse(v, uLen, yLen, what);
  std::vector<double> scratch(v.isSparse() && v.trans ? v.cols : 0);
  Add_Mt_ub(v, u, y, scratch.data());
}

void Prod_Mt_u(const host::Value* m, const double* u, int64_t uLen, double* y,
               int64_t yLen, const char* what) {
  const SparseView v = pw_mkl_get_sparse(m);
  checkProdUse(v, uLen, yLen, what);
  Prod_Mt_ub(v, u, y);
}

}  // namespace spardyn
