// Plain records of the arrays a command reads from its inputs.  They point
// into the caller's memory and own nothing; the commands layer fills them,
// the core works on them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace spardyn {

// A real full double array: its data (null when it has no element), its
// element count and its rows (which an empty array has too).  present is
// false for an optional input or field that was not given.
struct RealArray {
  double* data = nullptr;
  std::size_t count = 0;
  std::size_t rows = 0;
  bool present = false;

  // Rows whose first entries can be read: none without data.
  int64_t readableRows() const {
    return data ? static_cast<int64_t>(rows) : 0;
  }
};

// A host sparse matrix read in place: compressed columns with 32-bit
// indices (the host's own arrays, where its index type is 32 bits wide).
// pr, ir hold nzmax entries, jc cols + 1.
struct CompressedColumns {
  std::size_t rows = 0, cols = 0, nzmax = 0;
  double* pr = nullptr;
  int32_t* ir = nullptr;
  int32_t* jc = nullptr;
};

// A full double array, real or complex, in the layout the host keeps it:
// element i has its real part at re[i·stride] and, in a complex array, its
// imaginary part at im[i·stride] (im null for a real array).  The
// interleaved array interface keeps (re, im) pairs, stride 2 and
// im = re + 1; the classic one two separate arrays, stride 1.  re and im are
// null when the array has no element.
struct DoubleArray {
  double* re = nullptr;
  double* im = nullptr;
  std::ptrdiff_t stride = 1;
  std::size_t count = 0;
  std::size_t rows = 0;
};

}  // namespace spardyn
