// The non-linear input/output term: observe the model through c, run a force
// law, inject the outputs through bᵀ.
#include "spardyn/nl_inout.hpp"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "spardyn/descriptions.hpp"
#include "spardyn/disjoint.hpp"
#include "spardyn/error.hpp"
#include "spardyn/kernels.hpp"
#include "spardyn/laws.hpp"
#include "spardyn/sparse_view.hpp"

namespace spardyn {

namespace {

class chandleNl_inout final : public chandle {
 public:
  // Re-reads the stored structure: views, buffers, options, law.
  void initCpt(DescriptionReader& read) override;
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

// The distinct column indices of b's stored rows, ascending.
std::vector<int32_t> scatterSupport(const SparseView& b) {
  const int32_t nnz = b.rows > 0 ? b.jc[b.rows] - b.jc[0] : 0;
  std::vector<int32_t> s(b.ir + b.jc[0], b.ir + b.jc[0] + nnz);
  std::sort(s.begin(), s.end());
  s.erase(std::unique(s.begin(), s.end()), s.end());
  return s;
}

void chandleNl_inout::initCpt(DescriptionReader& read) {
  law_ = nullptr;
  checked_ = false;
  NlTermDescription d = read.nlTerm();
  bView = d.b;
  cView = d.c;
  st_ = d.state;
  law_ = &selectLaw(st_);
  scratch_.clear();
  support_.clear();
}

void chandleNl_inout::checkBounds(const _ROr& ro) {
  if (!law_) fail(Reason::Invalid, "non-linear term: not prepared");
  // c and b are taken as they are stored: any shape whose products stay
  // inside the arrays is accepted (a c of fewer columns observes the first
  // DOFs only, a dense transposed b injects the first output only).
  if (st_.unl || st_.vnl) {
    // The observations read at most Ndof values of u and v and write
    // within slice 1 (Nnl values).
    int64_t xLen = ro.Ndof;
    if (st_.unl) xLen = std::min<int64_t>(xLen, ro.nU);
    if (st_.vnl) xLen = std::min<int64_t>(xLen, ro.nV);
    checkProdUse(cView, xLen, st_.Nnl, "non-linear term \"c\"");
  }
  if (st_.snl) {
    // The injection reads the Nnl outputs and adds to r[0 … Ndof−1].
    const int64_t sLen =
        std::min<int64_t>(st_.Nnl, std::min<std::size_t>(st_.nSnl, INT64_MAX));
    checkAddUse(bView, sLen, ro.Ndof, "non-linear term \"b\"");
    // Sized only once b's columns are known to be at most Ndof: the
    // description's "dims" alone could ask for any size.
    if (scatters()) {
      scratch_.resize(std::max(bView.cols, 0));
      support_ = scatterSupport(bView);
    }
  }
  checkExports(st_, *law_, ro);
  checkSharedBuffers(st_, *law_);
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
  // A buffer shared by an object counts with what the term uses of it.
  const BufferReach reach = bufferReach(st_, *law_);
  auto used = [](std::size_t n, int64_t r) {
    return n == kOwnerSized ? static_cast<std::size_t>(r) : n;
  };
  const Span u = span(ro.u, ro.nU, "u"), v = span(ro.v, ro.nV, "v"),
             fnl = span(ro.FNL, ro.nFNL, "the model's FNL"),
             c = span(cView.pr, cView.nPr, "\"c\""),
             b = span(bView.pr, bView.nPr, "\"b\""),
             unl = span(st_.unl, used(st_.nUnl, reach.unl), "\"unl\""),
             snl = span(st_.snl != st_.unl ? st_.snl : nullptr,
                        used(st_.nSnl, reach.snl), "\"snl\""),
             opt = span(st_.opt, st_.nOpt, "\"opt\""),
             vnl = span(st_.vnl, used(st_.nVnl, reach.vnl), "\"vnl\"");
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
  if (U && V && cView.isSparse() &&
      !overlap(span(U, N, "unl"), span(V, N, "vnl"))) {
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
