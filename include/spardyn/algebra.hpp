// Products of a sparse stored array with dense matrices: the transposed
// product aᵀ·S and the projection TAᵀ·K·TB onto two (possibly complex)
// bases.  Host-free and serial apart from the dense BLAS product; operands
// are checked by the caller (sparse_view.hpp) before these run.
#pragma once

#include <cstdint>

#include "spardyn/sparse_view.hpp"

namespace spardyn {

// A column-major matrix with an optional imaginary part (null: real), in
// the layout of the host's array interface: element (r, c) has its real
// part at re[(r + c·rows)·stride] and its imaginary part at the same offset
// from im.  Interleaved (re, im) pairs: stride 2, im = re + 1; separate
// parts (and every real matrix): stride 1.  Data may be null when the
// matrix has no element.
struct DenseMatrix {
  const double* re = nullptr;
  const double* im = nullptr;
  int64_t rows = 0;
  int64_t cols = 0;
  int64_t stride = 1;

  bool interleaved() const { return im && stride == 2 && im == re + 1; }
};

// Where a dense result goes: column-major, laid out as DenseMatrix says
// (im null: a real result, stride 1).
struct DenseTarget {
  double* re = nullptr;
  double* im = nullptr;
  int64_t stride = 1;

  bool interleaved() const { return im && stride == 2 && im == re + 1; }
};

// c = aᵀ·S, assigned: c(i, j) = Σ pr[k]·a(ir[k], i) over the entries k of
// stored column j, for i < na and j < s.storedCols().  a is m × na with
// m = s.storedRows(); c is na × s.storedCols(), column-major.  Each entry is
// summed in the order of its column's entries.
void AtS(const double* a, int64_t m, int64_t na, const SparseView& s,
         double* c);

// The most bytes of W = K·TB formed before they are projected (at least one
// sweep of K, 32 values per row): the columns of TB are taken in groups of
// that size, and the dense products read TA once per group.  TA is the
// largest array of the call (10^5 × 50 complex values: 80 MB); for 10^5
// rows and 50 complex modes W is 80 MB, one group, and the projection runs
// about a third faster than one dense product per sweep.
constexpr int64_t kProjectionGroupBytes = int64_t(256) << 20;

// out = TAᵀ·K·TB without conjugation, K the stored array of k
// (storedRows × storedCols), TA storedRows × na, TB storedCols × nb, out
// na × nb.  K·TB is formed first, for groups of TB's columns of at most
// groupBytes, then projected through the BLAS: a complex product (zgemm)
// straight on interleaved pairs of TA, or real products on separate parts.
// With out.im null the imaginary inputs do not enter and out = TAᵣᵀ·K·TBᵣ;
// otherwise outRe = TAᵣᵀ·K·TBᵣ − TAᵢᵀ·K·TBᵢ and
// outIm = TAᵣᵀ·K·TBᵢ + TAᵢᵀ·K·TBᵣ, an absent part counting as zero.
void TAtKTB(const DenseMatrix& ta, const SparseView& k, const DenseMatrix& tb,
            const DenseTarget& out,
            int64_t groupBytes = kProjectionGroupBytes);

}  // namespace spardyn
