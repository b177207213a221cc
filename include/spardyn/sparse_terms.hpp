// The linear handle terms: a sparse (or diagonal) mass, stiffness or
// damping matrix held in the object's stored value, which adds its product
// with the current state to a residual.
//
// The matrix is a sparse description (or any form pw_mkl_get_sparse reads).
// A matrix with exactly one stored entry per column is diagonal: initCpt
// writes −1 into its first row index (in the stored value itself, so a term
// made from a caller's cell element leaves the mark in the caller's array),
// and its k-th stored value is then the entry of row k.
#pragma once

#include <cstddef>
#include <cstdint>

#include "spardyn/chandle.hpp"
#include "spardyn/descriptions.hpp"
#include "spardyn/sparse_view.hpp"

namespace spardyn {

// The matrix of a term, as initCpt derives it from the stored value.
struct TermMatrix {
  SparseView view;
  bool diagonal = false;  // first row index is the marker −1
  bool empty = false;     // a damping without stored entries: adds nothing

  // The last (columns, index limit) the arrays were checked for; only kept
  // for a private copy, which nothing but the object can change.
  bool privateCopy = false;
  int64_t checkedCols = -1;
  int64_t checkedLimit = -1;
};

// What the three terms share: the arrays of the stored matrix (pointing into
// the stored value; nothing is copied) and their checks and products.
class chandleSparseTerm : public chandle {
 protected:
  // Takes the matrix the reader makes of the stored value; refuses row
  // indices without column pointers.
  void readValue(DescriptionReader& read, const char* what);
  // Marks a matrix of one entry per column diagonal (when it has a row
  // index to hold the marker).
  void markDiagonal();
  // Checks, for ro.Ndof columns, the arrays read to add the product with x
  // (nX values, named xName) and, when ray ≠ 0 and v is given, ray times
  // the product with v.
  void checkProducts(const _ROr& ro, const double* x, std::size_t nX,
                     const char* xName, double ray, const char* what);
  // r += S·x (+ ray·S·v when ray ≠ 0 and v is given), or the diagonal form.
  void addProducts(const _ROr& ro, const double* x, double ray, double* r);

  bool hasValues() const { return m_.view.pr != nullptr; }

  TermMatrix m_;
};

// r += M·a (+ rayM·M·v); nothing at all without accelerations.
class chandleSparseMass : public chandleSparseTerm {
 public:
  void initCpt(DescriptionReader& read) override;
  void checkBounds(const _ROr& ro) override;
  void Residual(_ROr ro, double* r) override;
};

// r += K·u (+ rayK·K·v).
class chandleSparseStiffness : public chandleSparseTerm {
 public:
  void initCpt(DescriptionReader& read) override;
  void checkBounds(const _ROr& ro) override;
  void Residual(_ROr ro, double* r) override;
};

// r += C·v; nothing when the matrix has no stored entry.
class chandleSparseDamping : public chandleSparseTerm {
 public:
  void initCpt(DescriptionReader& read) override;
  void checkBounds(const _ROr& ro) override;
  void Residual(_ROr ro, double* r) override;
};

}  // namespace spardyn
