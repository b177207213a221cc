#include "spardyn/nl_entry.hpp"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>

#include "spardyn/kernels.hpp"
#include "spardyn/mapped_memory.hpp"

namespace spardyn {

ObservedNames namesOf(Observed which) {
  if (which == Observed::Velocity) return {"\"vnl\"", "\"vnl0\"", "v"};
  return {"\"unl\"", "\"unl0\"", "u"};
}

namespace {

constexpr int64_t kUncheckable = std::numeric_limits<int64_t>::max();

// A count the checks compare against: an unknown length passes them all.
int64_t checkable(std::size_t count) {
  return count == kUnknownCount ? kUncheckable : static_cast<int64_t>(count);
}

bool copiesSlice3(const ObservationArray& a, const SliceLayout& l, double x) {
  return a.sliced() && l.slices > 2 && x < 0;
}

const double* referenceOf(const ObservationArray& a, const SliceLayout& l) {
  return a.sliced() ? a.data + l.perSlice : a.reference;
}

std::size_t referenceCountOf(const ObservationArray& a, const SliceLayout& l) {
  return a.sliced() ? l.perSlice : a.referenceCount;
}

// A transposed sparse command matrix with fewer entries than this fraction
// of its columns scatters only over the rows it touches: sorting a few
// indices costs less than clearing and adding a scratch as long as r.
constexpr int64_t kSupportRatio = 16;

}  // namespace

std::string entryWhere(int64_t row, const std::string& field) {
  std::string where = "spardyn residual : model.NL row " + std::to_string(row);
  if (!field.empty()) where += ", " + field;
  return where;
}

void failEntry(Reason reason, int64_t row, const std::string& field,
               const std::string& fault) {
  fail(reason, entryWhere(row, field) + ": " + fault);
}

// --- observations ---------------------------------------------------------------

SliceLayout sliceLayout(const ObservationArray& a, const SparseView& c) {
  if (a.sliced()) return {a.dims[0] * a.dims[1], a.dims[2]};
  if (a.count == kUnknownCount)
    return {static_cast<std::size_t>(std::max(c.rows, 0)), 1};
  return {a.count, 1};
}

double sliceClock(const ObservationArray& vnl, const double* opt,
                  std::size_t nOpt, double tc) {
  if (!vnl.present() || !vnl.sliced() || vnl.dims[2] <= 2) return 1.0;
  if (!opt || nOpt < 2) return 1.0;
  return opt[1] - tc;
}

// slice 3 ← slice 1 (x < 0, K > 2); slice 1 ← reference or 0; slice 1 += c·state
void observe(const ObservationArray& a, const SparseView& c, double x,
             const double* state) {
  if (!a.present()) return;
  const SliceLayout l = sliceLayout(a, c);
  const std::size_t n = l.perSlice;
  double* slice1 = a.data;
  if (copiesSlice3(a, l, x)) std::copy(slice1, slice1 + n, a.data + 2 * n);
  if (const double* ref = referenceOf(a, l))
    std::memmove(slice1, ref, n * sizeof(double));
  else
    std::fill(slice1, slice1 + n, 0.0);
  Prod_Mt_ub(c, state, slice1);
}

ObservationWrites observationWrites(const ObservationArray& a,
                                    const SparseView& c, double x,
                                    Observed which) {
  ObservationWrites w;
  if (!a.present()) return w;
  const SliceLayout l = sliceLayout(a, c);
  const char* name = namesOf(which).field;
  w.slice1 = span(a.data, l.perSlice, name);
  if (copiesSlice3(a, l, x))
    w.slice3 = span(a.data + 2 * l.perSlice, l.perSlice, name);
  return w;
}

void checkObservedProduct(const SparseView& c, const double* state,
                          std::size_t nState, std::size_t n, int64_t row,
                          Observed which) {
  const ObservedNames names = namesOf(which);
  if (c.pr && c.cols > 0 && !state)
    failEntry(Reason::WrongSize, row, "\"c\"",
              std::string("observes ") + names.state + ", which is empty");
  const std::string what = entryWhere(row, std::string("\"c\" observing ") +
                                               names.state + " into " +
                                               names.field);
  checkProdUse(c, state ? checkable(nState) : 0, checkable(n), what.c_str());
}

void checkObservation(const ObservationArray& a, const SparseView& c,
                      double x, const double* state, std::size_t nState,
                      int64_t row, Observed which) {
  if (!a.present()) return;
  const ObservedNames names = namesOf(which);
  const SliceLayout l = sliceLayout(a, c);
  if (a.sliced() && l.slices < 2)
    failEntry(Reason::WrongSize, row, names.field,
              "a three-dimensional array needs a second slice (the "
              "reference)");
  if (!a.sliced() && a.reference && a.referenceCount != kUnknownCount &&
      a.referenceCount < l.perSlice)
    failEntry(Reason::WrongSize, row, names.reference,
              "holds " + std::to_string(a.referenceCount) +
                  " values, fewer than the " + std::to_string(l.perSlice) +
                  " of " + names.field);
  // Buffers shared by objects: what the step writes and reads there must be
  // mapped (slice 1, and slice 3 when it is copied; the reference).
  if (a.count == kUnknownCount)
    requireWritableBuffer(a.data,
                          int64_t(l.perSlice) * (copiesSlice3(a, l, x) ? 3 : 1),
                          entryWhere(row, names.field));
  if (!a.sliced() && a.reference && a.referenceCount == kUnknownCount)
    requireWritableBuffer(a.reference, int64_t(l.perSlice),
                          entryWhere(row, names.reference));
  checkObservedProduct(c, state, nState, l.perSlice, row, which);

  const ObservationWrites w = observationWrites(a, c, x, which);
  requireApart(entryWhere(row, names.field), {w.slice1, w.slice3},
               {span(referenceOf(a, l), referenceCountOf(a, l), names.reference),
                span(state, nState, names.state),
                span(c.pr, c.nPr, "the values of \"c\"")});
}

// --- the force -------------------------------------------------------------------

// r ← r + bᵀ·f
void injectForce(const SparseView& b, const double* f, double* r,
                 InjectScratch& scratch) {
  if (!b.pr) return;
  if (!b.isSparse() || !b.trans) {
    Add_Mt_ub(b, f, r, nullptr);  // a gather, or one dense row: no scratch
    return;
  }
  if (scratch.values.size() < static_cast<std::size_t>(b.cols))
    scratch.values.resize(b.cols);
  const int32_t first = b.jc[0], end = b.jc[b.rows];
  if (int64_t(end - first) * kSupportRatio < b.cols) {
    scratch.support.assign(b.ir + first, b.ir + end);
    std::sort(scratch.support.begin(), scratch.support.end());
    scratch.support.erase(
        std::unique(scratch.support.begin(), scratch.support.end()),
        scratch.support.end());
    Add_Mt_ub_support(b, f, r, scratch.values.data(), scratch.support.data(),
                      static_cast<int32_t>(scratch.support.size()));
  } else {
    Add_Mt_ub(b, f, r, scratch.values.data());
  }
}

void checkInjection(const SparseView& b, const double* f, std::size_t fCount,
                    const double* r, int32_t ndof, int64_t row,
                    const char* bField, const char* fField) {
  if (!b.pr) return;  // nothing is added
  // b reads one force value per row of its logical matrix; a dense
  // transposed b is a single row.
  const int64_t need = b.isSparse() ? std::max(b.rows, 0) : (b.trans ? 1 : 0);
  int64_t have = f ? checkable(fCount) : 0;
  if (f && fCount == kUnknownCount) {  // a buffer shared by an object
    requireWritableBuffer(f, need, entryWhere(row, fField));
    have = need;
  }
  if (have < need)
    failEntry(Reason::WrongSize, row, fField,
              "holds " + std::to_string(have) + " values, fewer than the " +
                  std::to_string(need) + " that " + bField + " reads");
  const std::string what = entryWhere(row, bField);
  checkAddUse(b, have, ndof, what.c_str());
  requireApart(entryWhere(row, fField), {span(r, ndof, "r")},
               {span(f, fCount, "the force"),
                span(b.pr, b.nPr, "the values of \"b\"")});
}

void copyForce(double* fnl, int32_t k0, const double* f, std::size_t n) {
  std::copy(f, f + n, fnl + k0);
}

void checkForceCopy(int32_t k0, std::size_t n, const double* f,
                    std::size_t fCount, const double* fnl, std::size_t nFnl,
                    int64_t row) {
  if (fCount == kUnknownCount)
    requireWritableBuffer(f, static_cast<int64_t>(n), entryWhere(row, "the force"));
  if (k0 < 0 || static_cast<std::size_t>(k0) + n > nFnl)
    failEntry(Reason::Invalid, row, "\"FInd\"",
              "the force (" + std::to_string(n) + " values from position " +
                  std::to_string(k0) + ", counted from 0) must lie within "
                  "FNL (" + std::to_string(nFnl) + " values)");
  requireApart(entryWhere(row, "\"FInd\""), {span(fnl + k0, n, "FNL")},
               {span(f, n, "the force")});
}

void checkEntryWrites(const ObservationWrites& vnl,
                      const ObservationWrites& unl, const double* r,
                      int32_t ndof, const double* fnl, std::size_t nFnl,
                      int64_t row) {
  requireApart(entryWhere(row, ""),
               {vnl.slice1, vnl.slice3, unl.slice1, unl.slice3,
                span(r, ndof, "r"), span(fnl, nFnl, "FNL")},
               {});
}

}  // namespace spardyn
