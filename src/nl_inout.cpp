// The non-linear input/output term: observe the model through c, run a force
// law, inject the outputs through bᵀ.
#include "spardyn/nl_inout.hpp"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "host.hpp"
#include "spardyn/disjoint.hpp"
#include "spardyn/error.hpp"
#include "spardyn/kernels.hpp"
#include "spardyn/laws.hpp"
#include "spardyn/sparse_view.hpp"
#include "spardyn/views.hpp"

namespace spardyn {

namespace {

const host::Value* requiredField(const host::Value* term, const char* name) {
  const host::Value* f = host::field(term, name);
  if (!f)
    fail(Reason::Empty, std::string("non-linear term: no field \"") + name +
                            "\"");
  return f;
}

// The data of a buffer field (a full double array or an object sharing its
// buffer) and its element count.
double* bufferData(const host::Value* f, const char* name, std::size_t* n) {
  // A complex array reaches the module as a copy of its real part: the
  // observations and states written into it would never reach the caller.
  if (host::isSparse(f) || host::isCell(f) || host::isStruct(f) ||
      host::isComplex(f))
    fail(Reason::Invalid, std::string("non-linear term: \"") + name +
                              "\" must be a real full double array");
  double* p = host::pmatGetPr(f, n);
  if (!p) *n = 0;
  return p;
}

int32_t checkedCount(std::size_t n, const char* what) {
  if (n > static_cast<std::size_t>(INT32_MAX))
    fail(Reason::WrongSize, std::string("non-linear term: \"") + what +
                                "\" is too large");
  return static_cast<int32_t>(n);
}

[[noreturn]] void wrongShape(const char* name, const SparseView& v,
                             int32_t rows, int32_t cols) {
  fail(Reason::WrongSize,
       std::string("non-linear term: \"") + name + "\" must be Nnl x Ndof (" +
           std::to_string(rows) + " x " + std::to_string(cols) + "), is " +
           std::to_string(v.rows) + " x " + std::to_string(v.cols));
}

void checkShape(const char* name, const SparseView& v, int32_t rows,
                int32_t cols) {
  if (v.hasValues() && (v.rows != rows || v.cols != cols))
    wrongShape(name, v, rows, cols);
}

class chandleNl_inout final : public chandle {
 public:
  // Re-reads the stored structure: views, buffers, options, law.
  void initCpt() override;
  // Sizes of the views against the record, export and state positions.
  void checkBounds(const _ROr& ro) override;
  // Slice 3 of unl and vnl becomes slice 1.
  void EndStep() override { endStepCopy(st_); }
  // vnl = c·v, unl = c·u, the law, r += bᵀ·snl.
  void Residual(_ROr ro, double* r) override;
  int64_t stateEnd() const override {
    return law_ ? spardyn::stateEnd(st_, *law_) : 0;
  }
  // Maxw keeps the start of its step in slice 3 of unl and vnl.
  void keptState(std::vector<Span>& out) const override {
    if (!law_ || law_->run != &Maxw || st_.Nslice < 3) return;
    const int64_t N = st_.Nnl;
    out.push_back(span(st_.unl + 2 * N, N, "slice 3 of \"unl\""));
    if (st_.vnl)
      out.push_back(span(st_.vnl + 2 * N, N, "slice 3 of \"vnl\""));
  }

 private:
  void readObservations(const host::Value* term);
  void readOptions(const host::Value* term);
  void checkApart(const _ROr& ro) const;
  void observe(const _ROr& ro);
  // b in transposed sparse storage: the injection scatters.
  bool scatters() const {
    return bView.hasValues() && bView.isSparse() && bView.trans;
  }

  SparseView cView, bView;
  NlState st_;
  const LawForm* law_ = nullptr;
  bool checked_ = false;
  // The transposed scatter of the injection sums here, over the entries of
  // r that b reaches (its support); both are sized once per command so that
  // a time step allocates nothing, and costs what b holds, not what r does.
  std::vector<double> scratch_;
  std::vector<int32_t> support_;
};

// [a, a+n) and [b, b+n) share no value (buffers shared by objects may).
bool apart(const double* a, const double* b, int64_t n) {
  const auto x = reinterpret_cast<std::uintptr_t>(a);
  const auto y = reinterpret_cast<std::uintptr_t>(b);
  const auto bytes = static_cast<std::uintptr_t>(n) * sizeof(double);
  return x + bytes <= y || y + bytes <= x;
}

// The distinct column indices of b's stored rows, ascending.
std::vector<int32_t> scatterSupport(const SparseView& b) {
  const int32_t nnz = b.rows > 0 ? b.jc[b.rows] - b.jc[0] : 0;
  std::vector<int32_t> s(b.ir + b.jc[0], b.ir + b.jc[0] + nnz);
  std::sort(s.begin(), s.end());
  s.erase(std::unique(s.begin(), s.end()), s.end());
  return s;
}

// "unl" gives Nnl and Nslice: all of a 2-D array is one slice; a d1 x d2 x d3
// array has d3 slices of d1·d2 values.
void chandleNl_inout::readObservations(const host::Value* term) {
  st_.unl = nullptr;
  st_.nUnl = 0;
  st_.Nnl = 0;
  st_.Nslice = 0;
  if (const host::Value* f = host::field(term, "unl")) {
    st_.unl = bufferData(f, "unl", &st_.nUnl);
    const std::size_t nd = host::ndims(f);
    if (nd > 3)
      fail(Reason::WrongSize, "non-linear term: \"unl\" must have 2 or 3 "
                              "dimensions");
    const std::size_t slice = nd == 3 ? host::dim(f, 0) * host::dim(f, 1)
                                      : host::numel(f);
    st_.Nnl = st_.unl ? checkedCount(slice, "unl") : 0;
    st_.Nslice = nd == 3 ? checkedCount(host::dim(f, 2), "unl") : 1;
  }
  st_.snl = st_.unl;
  st_.nSnl = st_.nUnl;
  if (const host::Value* f = host::field(term, "snl")) {
    std::size_t n = 0;
    if (double* p = bufferData(f, "snl", &n)) {
      st_.snl = p;
      st_.nSnl = n;
    }
  }
  st_.vnl = nullptr;
  st_.nVnl = 0;
  if (const host::Value* f = host::field(term, "vnl"))
    st_.vnl = bufferData(f, "vnl", &st_.nVnl);
}

void chandleNl_inout::readOptions(const host::Value* term) {
  st_.opt = nullptr;
  st_.nOpt = 0;
  const host::Value* opt = host::field(term, "opt");
  if (!opt || host::numel(opt) == 0) fail(Reason::Empty, "ReportEB opt");
  // The laws write into opt (time increment, table cursors): real only.
  if (!host::isDouble(opt) || host::isSparse(opt) || host::isComplex(opt))
    fail(Reason::Invalid, "non-linear term: \"opt\" must be a real full "
                          "double array");
  st_.opt = host::realData(opt);
  st_.nOpt = checkedCount(host::numel(opt), "opt");

  st_.iopt = nullptr;
  st_.nIopt = 0;
  if (const host::Value* iopt = host::field(term, "iopt")) {
    if (!host::isInt32(iopt))
      fail(Reason::Conform, "iopt must be int32");
    st_.iopt = host::int32Data(iopt);
    st_.nIopt = st_.iopt ? checkedCount(host::numel(iopt), "iopt") : 0;
  }
}

void chandleNl_inout::initCpt() {
  law_ = nullptr;
  checked_ = false;
  const host::Value* term = get_val();
  bView = pw_mkl_get_sparse(requiredField(term, "b"));
  cView = pw_mkl_get_sparse(requiredField(term, "c"));
  readObservations(term);
  readOptions(term);
  law_ = &selectLaw(st_);
  scratch_.resize(scatters() ? std::max(bView.cols, 0) : 0);
  support_.clear();
}

void chandleNl_inout::checkBounds(const _ROr& ro) {
  if (!law_) fail(Reason::Invalid, "non-linear term: not prepared");
  if (st_.unl || st_.vnl) {
    checkShape("c", cView, st_.Nnl, ro.Ndof);
    // Both observations read Ndof values and write slice 1.
    int64_t xLen = INT64_MAX;
    if (st_.unl) xLen = std::min<int64_t>(xLen, ro.nU);
    if (st_.vnl) xLen = std::min<int64_t>(xLen, ro.nV);
    checkProdUse(cView, xLen, st_.Nnl, "non-linear term \"c\"");
  }
  if (st_.snl) {
    checkShape("b", bView, st_.Nnl, ro.Ndof);
    const int64_t sLen = std::min<std::size_t>(st_.nSnl, INT64_MAX);
    checkAddUse(bView, sLen, ro.Ndof, "non-linear term \"b\"");
    if (scatters()) support_ = scatterSupport(bView);
  }
  checkExports(st_, *law_, ro);
  checkApart(ro);
  checked_ = true;
}

// The term writes its observations, outputs and options (time increment,
// table cursor) while it reads the state and its matrices, and writes the
// state and FNL through its exports.  "snl" may be "unl" itself, as when it
// is absent.  The rates may share the buffer of the displacements for a law
// that does not read them (the displacements are observed last); the laws
// that keep states read them.
void chandleNl_inout::checkApart(const _ROr& ro) const {
  const Span u = span(ro.u, ro.nU, "u"), v = span(ro.v, ro.nV, "v"),
             fnl = span(ro.FNL, ro.nFNL, "the model's FNL"),
             c = span(cView.pr, cView.nPr, "\"c\""),
             b = span(bView.pr, bView.nPr, "\"b\""),
             unl = span(st_.unl, st_.nUnl, "\"unl\""),
             snl = span(st_.snl != st_.unl ? st_.snl : nullptr, st_.nSnl,
                        "\"snl\""),
             opt = span(st_.opt, st_.nOpt, "\"opt\""),
             vnl = span(st_.vnl, st_.nVnl, "\"vnl\"");
  requireApart("non-linear term", {unl, snl, opt}, {u, v, fnl, c, b});
  if (law_->keepsState)
    requireApart("non-linear term", {vnl}, {u, v, fnl, c, b, opt, unl, snl});
  else
    requireApart("non-linear term", {vnl}, {u, v, fnl, c, b, opt});
}

// vnl = c·v, then unl = c·u, on slice 1 (cleared first: a sparse product
// accumulates).  Two separate slices observed through a sparse c share one
// pass over c, which halves the cost of the scattered reads of u and v.
void chandleNl_inout::observe(const _ROr& ro) {
  const int32_t N = st_.Nnl;
  double *U = st_.unl, *V = st_.vnl;
  if (U && V && cView.isSparse() && apart(U, V, N)) {
    std::fill_n(V, N, 0.0);
    std::fill_n(U, N, 0.0);
    Prod_Mt_ub_pair(cView, ro.v, V, ro.u, U);
    return;
  }
  if (V) {
    std::fill_n(V, N, 0.0);
    Prod_Mt_ub(cView, ro.v, V);
  }
  if (U) {
    std::fill_n(U, N, 0.0);
    Prod_Mt_ub(cView, ro.u, U);
  }
}

void chandleNl_inout::Residual(_ROr ro, double* r) {
  if (!checked_) fail(Reason::Invalid, "non-linear term: bounds not checked");
  observe(ro);
  law_->run(st_, ro);
  if (!st_.snl || !bView.hasValues()) return;
  if (scatters())
    Add_Mt_ub_support(bView, st_.snl, r, scratch_.data(), support_.data(),
                      static_cast<int32_t>(support_.size()));
  else
    Add_Mt_ub(bView, st_.snl, r, scratch_.data());
}

}  // namespace

std::unique_ptr<chandle> makeNlInOut() {
  return std::make_unique<chandleNl_inout>();
}

}  // namespace spardyn
