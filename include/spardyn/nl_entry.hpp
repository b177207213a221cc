// The parts of the walk of a model's "NL" list that compute on plain arrays:
// an entry's observations, the injection of its force, its copy into FNL,
// and the checks that keep each of them inside the arrays it addresses.
// The commands layer reads an entry's host values into these records and
// makes the host call-backs; nothing here talks to the host.
//
// Every check raises spardyn::Error with a message naming the entry's row of
// the list and the field at fault:
//   spardyn residual : model.NL row 3, "FInd": …
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "spardyn/disjoint.hpp"
#include "spardyn/error.hpp"
#include "spardyn/ror.hpp"
#include "spardyn/sparse_view.hpp"

namespace spardyn {

// The length of a buffer shared by an object (its property "c" holds the
// address): only the object's owner knows it.  The checks ask the operating
// system instead whether what the step uses there is mapped readable and
// writable (mapped_memory.hpp).
constexpr std::size_t kUnknownCount = static_cast<std::size_t>(-1);

// "spardyn residual : model.NL row <row>, <field>", the start of every
// message about an entry; field is quoted by the caller ("\"unl\""), and
// left out when empty.
std::string entryWhere(int64_t row, const std::string& field);

[[noreturn]] void failEntry(Reason reason, int64_t row,
                            const std::string& field,
                            const std::string& fault);

// --- observations ---------------------------------------------------------------

// Which observation: "vnl" from v, or "unl" from u.
enum class Observed { Velocity, Displacement };

// How messages name an observation's array, its reference and its state.
struct ObservedNames {
  const char* field;      // the array
  const char* reference;  // its reference when two-dimensional
  const char* state;      // what c observes
};
ObservedNames namesOf(Observed which);

// One observation array of an entry, "vnl" or "unl", with the reference
// "vnl0" / "unl0" read when it has two dimensions.
struct ObservationArray {
  double* data = nullptr;      // null: absent or empty, the step is skipped
  std::size_t count = 0;       // values behind data, or kUnknownCount
  std::size_t ndims = 2;
  std::size_t dims[3] = {0, 0, 1};     // the first three dimensions
  const double* reference = nullptr;   // "vnl0"/"unl0"; null: none
  std::size_t referenceCount = 0;      // or kUnknownCount

  bool present() const { return data != nullptr; }
  // Three dimensions: slices of dims[0]·dims[1] values, slice 2 the
  // reference, slice 3 the copy of the previous slice 1.
  bool sliced() const { return ndims >= 3; }
};

// How an observation array is cut: n_o values per slice, K slices.
struct SliceLayout {
  std::size_t perSlice = 0;
  std::size_t slices = 1;
};

// A two-dimensional array is one slice of all its values; a buffer shared by
// an object, whose length is unknown, one slice of as many values as the
// observation matrix c has rows.
SliceLayout sliceLayout(const ObservationArray& a, const SparseView& c);

// The clock that moves slice 1 into slice 3: opt[1] − tc when "vnl" has
// more than two slices and "opt" holds two values at least, otherwise 1
// (also when "vnl" is absent).  The displacement step reuses it.
double sliceClock(const ObservationArray& vnl, const double* opt,
                  std::size_t nOpt, double tc);

// The observation step of one array (checked beforehand):
// slice 3 ← slice 1 when there are more than two slices and x < 0;
// slice 1 ← the reference (slice 2, or "vnl0"/"unl0"), or 0 without one;
// then slice 1 += c·state (c sparse, transposed storage) or
// slice 1 = c·state (c dense).
void observe(const ObservationArray& a, const SparseView& c, double x,
             const double* state);

// What an observation step writes: slice 1, and slice 3 when it is copied.
struct ObservationWrites {
  Span slice1, slice3;
};
ObservationWrites observationWrites(const ObservationArray& a,
                                    const SparseView& c, double x,
                                    Observed which);

// Checks of one observation step of entry row, before anything is
// written: c in transposed sparse or dense storage, reading at most nState
// values of the state and writing at most one slice; a three-dimensional
// array of at least two slices; a reference of at least one slice; slice 1
// (and 3) sharing no memory with the reference, the state or c.
void checkObservation(const ObservationArray& a, const SparseView& c,
                      double x, const double* state, std::size_t nState,
                      int64_t row, Observed which);
// The product of either observation form: c of a form it takes, reading
// at most nState values of a present state and writing at most n values.
void checkObservedProduct(const SparseView& c, const double* state,
                          std::size_t nState, std::size_t n, int64_t row,
                          Observed which);

// --- observations of the earlier walk (the Windows x86 module) -------------------
// No slices: an array is one block of all its values (an object's buffer of
// unknown length: as many as c has rows), whatever its dimensions, and its
// reference is read in every case.

// The block ← its reference, as many values as the reference holds (an
// object's buffer: the whole block), or 0 without one; then block += c·state
// (c sparse, transposed storage) or block = c·state (c dense).
void observeFlat(const ObservationArray& a, const SparseView& c,
                 const double* state);
ObservationWrites flatObservationWrites(const ObservationArray& a,
                                        const SparseView& c, Observed which);
// Checks of one earlier observation step of entry row, before anything is
// written: c as checkObservation asks, writing within the block; a
// reference no longer than the block, and, for a sparse c, covering every
// value c adds to (a value it would not reset would gather c·state at every
// evaluation); the block sharing no memory with the reference, the state
// or c.
void checkFlatObservation(const ObservationArray& a, const SparseView& c,
                          const double* state, std::size_t nState,
                          int64_t row, Observed which);

// --- the force -------------------------------------------------------------------

// Scratch of the injections of one walk: a transposed sparse command
// matrix scatters into it, only over the rows it has entries in when they
// are few, so that an entry costs what its matrix holds, not the length of
// r.  Reused from entry to entry; it never needs clearing.
struct InjectScratch {
  std::vector<double> values;
  std::vector<int32_t> support;
};

// r ← r + bᵀ·f, the same sums, each r[i] receiving its total in one
// addition, as Add_Mt_ub forms them (checked beforehand with checkInjection).
void injectForce(const SparseView& b, const double* f, double* r,
                 InjectScratch& scratch);

// Checks of r ← r + bᵀ·f for entry row: b of a form the product takes,
// reading at most fCount values of the force (kUnknownCount: a shared
// buffer, which must be mapped over what b reads) and writing at most the
// ndof values of r; r sharing no memory with the force nor with b's values.
void checkInjection(const SparseView& b, const double* f, std::size_t fCount,
                    const double* r, int32_t ndof, int64_t row,
                    const char* bField, const char* fField);

// FNL[k0 … k0+n−1] ← f[0 … n−1] (checked beforehand with checkForceCopy).
void copyForce(double* fnl, int32_t k0, const double* f, std::size_t n);

// Checks of the copy of n values of the force into FNL from position k0
// ("FInd", 0-based): inside FNL, and not overlapping the force itself; a
// force in a buffer shared by an object (fCount kUnknownCount) mapped over
// the n values.
void checkForceCopy(int32_t k0, std::size_t n, const double* f,
                    std::size_t fCount, const double* fnl, std::size_t nFnl,
                    int64_t row);

// The walk writes r and FNL, and each entry its observation arrays: no two
// of them may share memory, or one entry's observation would be read back
// as another's force, or land in r.
void checkEntryWrites(const ObservationWrites& vnl,
                      const ObservationWrites& unl, const double* r,
                      int32_t ndof, const double* fnl, std::size_t nFnl,
                      int64_t row);

}  // namespace spardyn
