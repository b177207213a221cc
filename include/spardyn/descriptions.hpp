// What the handle objects read of their stored values, as plain records,
// and the reader that makes them.  The commands layer implements the reader
// over host values; the unit tests implement it over plain arrays.
#pragma once

#include <cstdint>

#include "spardyn/arrays.hpp"
#include "spardyn/laws.hpp"
#include "spardyn/sparse_view.hpp"

namespace spardyn {

// A non-linear input/output term: its command and observation matrices, and
// its buffers and options (NlState: observations, states, outputs, "opt",
// "iopt").
struct NlTermDescription {
  SparseView b, c;
  NlState state;
};

// The stepper's tables: "r" (load shapes and correction factors), "tft"
// (times and load factors), "data" (coefficients and clock), "iopt".  The
// reader checks them in the order in which it reads them, through the
// stepper's own checks (newmark.hpp), and so refuses every fault in that
// order.
struct StepperTables {
  SparseView r;
  RealArray tft;
  int64_t tftCols = 0;
  RealArray data;
  const int32_t* iopt = nullptr;  // null when absent or empty
};

class DescriptionReader {
 public:
  virtual ~DescriptionReader() = default;
  // Whether the stored value is the object's own copy, which nothing
  // outside the module can change between two commands (a registered
  // value), rather than the caller's (a cell element): only then may an
  // object remember what it checked of it.
  virtual bool privateCopy() const = 0;
  // The stored value as a matrix: a sparse term.
  virtual SparseView termMatrix() = 0;
  // The stored structure of a non-linear term.
  virtual NlTermDescription nlTerm() = 0;
  // The stored structure of a stepper.
  virtual StepperTables stepperTables() = 0;
};

}  // namespace spardyn
