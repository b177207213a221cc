// Products of a sparse stored array with dense matrices: the transposed
// product aᵀ·S and the projection TAᵀ·K·TB onto two (possibly complex)
// bases.  Host-free and serial apart from the dense BLAS product; operands
// are checked by the caller (sparse_view.hpp) before these run.
#pragma once

#include <cstdint>

#include "spardyn/sparse_view.hpp"

namespace spardyn {

// A column-major matrix with an optional imaginary part (null: real).
// Data may be null when the matrix has no element.
struct DenseMatrix {
  const double* re = nullptr;
  const double* im = nullptr;
  int64_t rows = 0;
  int64_t cols = 0;
};

// c = aᵀ·S, assigned: c(i, j) = Σ pr[k]·a(ir[k], i) over the entries k of
// stored column j, for i < na and j < s.storedCols().  a is m × na with
// m = s.storedRows(); c is na × s.storedCols(), column-major.  Each entry is
// summed in the order of its column's entries.
void AtS(const double* a, int64_t m, int64_t na, const SparseView& s,
         double* c);

// out = TAᵀ·K·TB without conjugation, K the stored array of k
// (storedRows × storedCols), TA storedRows × na, TB storedCols × nb, out
// na × nb.  K·TB is formed first, in blocks of TB's columns, then one dense
// product per block and part goes through the BLAS.  With outIm null the
// imaginary inputs are not read (as in phi1tmphi2_mkl) and out = TAᵣᵀ·K·TBᵣ;
// otherwise outRe = TAᵣᵀ·K·TBᵣ − TAᵢᵀ·K·TBᵢ and
// outIm = TAᵣᵀ·K·TBᵢ + TAᵢᵀ·K·TBᵣ, an absent part counting as zero.
void TAtKTB(const DenseMatrix& ta, const SparseView& k, const DenseMatrix& tb,
            double* outRe, double* outIm);

}  // namespace spardyn
