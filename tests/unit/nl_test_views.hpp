// Small matrices for the tests of the "NL" walk, kept dense for the
// expected values and as views in the storage the walk reads.
#pragma once

#include <cstdint>
#include <vector>

#include "spardyn/sparse_view.hpp"
#include "views_fixture.hpp"

namespace spardyn {
namespace testing_nl {

// A rows × cols matrix M given densely (row-major, as written in a test),
// stored as compressed rows of M (transposed storage) or compressed columns,
// skipping zeros.
struct SparseMatrix {
  int32_t rows = 0, cols = 0;
  std::vector<double> dense;  // row-major

  SparseMatrix(int32_t m, int32_t n, std::vector<double> rowMajor)
      : rows(m), cols(n), dense(std::move(rowMajor)) {
    byRows_.jc.assign(1, 0);
    for (int32_t i = 0; i < rows; ++i) {
      for (int32_t j = 0; j < cols; ++j) byRows_.add(j, at(i, j));
      byRows_.jc.push_back(static_cast<int32_t>(byRows_.ir.size()));
    }
    byCols_.jc.assign(1, 0);
    for (int32_t j = 0; j < cols; ++j) {
      for (int32_t i = 0; i < rows; ++i) byCols_.add(i, at(i, j));
      byCols_.jc.push_back(static_cast<int32_t>(byCols_.ir.size()));
    }
  }

  double at(int32_t i, int32_t j) const { return dense[i * cols + j]; }

  // Compressed rows of M ("trans" = 1) or compressed columns.
  SparseView transposedView() { return view(byRows_, 1); }
  SparseView columnView() { return view(byCols_, 0); }

  // M·x and Mᵀ·x, densely.
  std::vector<double> times(const std::vector<double>& x) const {
    std::vector<double> y(rows, 0.0);
    for (int32_t i = 0; i < rows; ++i)
      for (int32_t j = 0; j < cols; ++j) y[i] += at(i, j) * x[j];
    return y;
  }
  std::vector<double> transposedTimes(const std::vector<double>& x) const {
    std::vector<double> y(cols, 0.0);
    for (int32_t i = 0; i < rows; ++i)
      for (int32_t j = 0; j < cols; ++j) y[j] += at(i, j) * x[i];
    return y;
  }

 private:
  struct Stored {
    std::vector<int32_t> ir, jc;
    std::vector<double> pr;
    void add(int32_t index, double value) {
      if (value == 0.0) return;
      ir.push_back(index);
      pr.push_back(value);
    }
  };
  Stored byRows_, byCols_;

  SparseView view(Stored& s, int32_t trans) const {
    return storedView(s.ir, s.jc, s.pr, rows, cols, trans);
  }
};

}  // namespace testing_nl
}  // namespace spardyn
