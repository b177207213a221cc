// The observation step of the earlier walk of a model's "NL" list (the
// Windows x86 module): no slices, and a reference that resets as many
// values as it holds.
#include <algorithm>
#include <cstring>
#include <string>

#include "spardyn/kernels.hpp"
#include "spardyn/mapped_memory.hpp"
#include "spardyn/nl_entry.hpp"

namespace spardyn {

namespace {

// Values in the block: the array's, or c's rows for an object's buffer.
std::size_t blockCount(const ObservationArray& a, const SparseView& c) {
  if (a.count == kUnknownCount) return static_cast<std::size_t>(std::max(c.rows, 0));
  return a.count;
}

// Values the reference resets: as many as it holds; an object's buffer,
// whose length is unknown, resets the whole block.
std::size_t resetCount(const ObservationArray& a, std::size_t block) {
  if (!a.reference) return 0;
  return a.referenceCount == kUnknownCount ? block : a.referenceCount;
}

}  // namespace

// block ← reference (or 0); block += c·state (sparse) or = c·state (dense)
void observeFlat(const ObservationArray& a, const SparseView& c,
                 const double* state) {
  if (!a.present()) return;
  const std::size_t n = blockCount(a, c);
  if (a.reference)
    std::memmove(a.data, a.reference, resetCount(a, n) * sizeof(double));
  else
    std::fill(a.data, a.data + n, 0.0);
  Prod_Mt_ub(c, state, a.data);
}

ObservationWrites flatObservationWrites(const ObservationArray& a,
                                        const SparseView& c, Observed which) {
  ObservationWrites w;
  if (!a.present()) return w;
  w.slice1 = span(a.data, blockCount(a, c), namesOf(which).field);
  return w;
}

void checkFlatObservation(const ObservationArray& a, const SparseView& c,
                          const double* state, std::size_t nState,
                          int64_t row, Observed which) {
  if (!a.present()) return;
  const ObservedNames names = namesOf(which);
  const std::size_t n = blockCount(a, c);
  const std::size_t reset = resetCount(a, n);
  if (a.reference && reset > n)
    failEntry(Reason::WrongSize, row, names.reference,
              "holds " + std::to_string(reset) + " values, more than the " +
                  std::to_string(n) + " of " + names.field);
  if (a.reference && c.pr && c.isSparse() &&
      static_cast<int64_t>(reset) < c.rows)
    failEntry(Reason::WrongSize, row, names.reference,
              "resets " + std::to_string(reset) + " values, fewer than the " +
                  std::to_string(c.rows) + " that \"c\" adds to");
  // Buffers shared by objects: what the step writes and reads there must be
  // mapped.
  if (a.count == kUnknownCount)
    requireWritableBuffer(a.data, static_cast<int64_t>(n),
                          entryWhere(row, names.field));
  if (a.reference && a.referenceCount == kUnknownCount)
    requireWritableBuffer(a.reference, static_cast<int64_t>(reset),
                          entryWhere(row, names.reference));
  checkObservedProduct(c, state, nState, n, row, which);
  requireApart(entryWhere(row, names.field),
               {span(a.data, n, names.field)},
               {span(a.reference, reset, names.reference),
                span(state, nState, names.state),
                span(c.pr, c.nPr, "the values of \"c\"")});
}

}  // namespace spardyn
