// Sparse level-1 routines and the view kernels, against dense arithmetic
// worked out independently of the column machinery.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "spardyn/blas1.hpp"
#include "spardyn/error.hpp"
#include "spardyn/kernels.hpp"
#include "spardyn/sparse_view.hpp"
#include "views_fixture.hpp"

namespace spardyn {
namespace {

// A small matrix kept both as a dense array and as compressed columns with
// unsorted and repeated row indices and an empty column.
struct Fixture {
  // Dense 3×4 (column-major): column 2 is empty.
  //  [ 1  0  0  4 ]
  //  [ 2  5  0  0 ]
  //  [ 0 -3  0  7 ]
  std::vector<double> dense{1, 2, 0, 0, 5, -3, 0, 0, 0, 4, 0, 7};
  // Column 0: rows 1, 0 (unsorted); column 1: row 2 split as -1 and -2
  // (repeated), row 1; column 3: rows 2, 0.
  std::vector<int32_t> ir{1, 0, 2, 1, 2, 2, 0};
  std::vector<int32_t> jc{0, 2, 5, 5, 7};
  std::vector<double> pr{2, 1, -1, 5, -2, 7, 4};

  // Stored array 3×4.  trans = 0: M is it; trans = 1: M is 4×3.
  SparseView view(int32_t trans) {
    return storedView(ir, jc, pr, trans ? 4 : 3, trans ? 3 : 4, trans);
  }
  double at(int i, int j) const { return dense[i + 3 * j]; }
};

TEST(SparseBlas1, DotAndScatterFollowTheirDefinition) {
  const std::vector<double> x{1.5, -2, 3, 0.25, 8, -1, 2, 3, 4};
  const std::vector<int32_t> idx{3, 0, 3, 7, 1, 2, 5, 6, 0};
  const std::vector<double> y{10, 20, 30, 40, 50, 60, 70, 80};
  for (int nz = -1; nz <= 9; ++nz) {
    double expected = 0;
    for (int k = 0; k < nz; ++k) expected += x[k] * y[idx[k]];
    EXPECT_NEAR(spd_ddoti(nz, x.data(), idx.data(), y.data()), expected,
                1e-12 * std::fabs(expected) + 1e-15)
        << "nz=" << nz;

    std::vector<double> z(y), w(y);
    spd_daxpyi(nz, -0.5, x.data(), idx.data(), z.data());
    for (int k = 0; k < nz; ++k) w[idx[k]] += -0.5 * x[k];
    EXPECT_EQ(z, w) << "nz=" << nz;  // same additions in the same order
  }
}

TEST(ViewKernels, GatherAndScatterGiveTheTransposedProduct) {
  Fixture f;
  const std::vector<double> u3{0.5, -1, 2};
  // Mᵀ·u for M = stored array (3×4): y_j = Σ_i S(i,j)·u_i.
  std::vector<double> expected(4);
  for (int j = 0; j < 4; ++j)
    for (int i = 0; i < 3; ++i) expected[j] += f.at(i, j) * u3[i];

  std::vector<double> y(4, 1.0), scratch(4, 99.0);
  Add_Mt_ub(f.view(0), u3.data(), y.data(), scratch.data());
  for (int j = 0; j < 4; ++j) EXPECT_DOUBLE_EQ(y[j], 1.0 + expected[j]);

  // The same matrix stored transposed: M = Sᵀ is 4×3, so Mᵀ·u with u of 4
  // values is S·u.
  const std::vector<double> u4{1, -2, 0.5, 3};
  std::vector<double> sx(3);
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 4; ++j) sx[i] += f.at(i, j) * u4[j];
  std::vector<double> y2(3, -1.0);
  Add_Mt_ub(f.view(1), u4.data(), y2.data(), scratch.data());
  for (int i = 0; i < 3; ++i) EXPECT_DOUBLE_EQ(y2[i], -1.0 + sx[i]);
}

TEST(ViewKernels, ScatterEqualsGatherOfTheSameLogicalMatrix) {
  // M (5×6) random sparse; store it once as is and once transposed.
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> val(-1, 1);
  const int m = 5, n = 6;
  std::vector<double> M(m * n);
  for (double& x : M)
    if (rng() % 3 == 0) x = val(rng);
  auto compress = [](const std::vector<double>& A, int rows, int cols,
                     std::vector<int32_t>& ir, std::vector<int32_t>& jc,
                     std::vector<double>& pr) {
    jc.assign(1, 0);
    for (int j = 0; j < cols; ++j) {
      for (int i = rows - 1; i >= 0; --i)  // deliberately unsorted
        if (A[i + rows * j] != 0) {
          ir.push_back(i);
          pr.push_back(A[i + rows * j]);
        }
      jc.push_back(static_cast<int32_t>(ir.size()));
    }
  };
  std::vector<double> Mt(n * m);
  for (int i = 0; i < m; ++i)
    for (int j = 0; j < n; ++j) Mt[j + n * i] = M[i + m * j];
  std::vector<int32_t> ir0, jc0, ir1, jc1;
  std::vector<double> pr0, pr1;
  compress(M, m, n, ir0, jc0, pr0);
  compress(Mt, n, m, ir1, jc1, pr1);
  SparseView direct, stored;
  direct.sparse = stored.sparse = true;
  direct.rows = stored.rows = m;
  direct.cols = stored.cols = n;
  direct.ir = ir0.data(); direct.jc = jc0.data(); direct.pr = pr0.data();
  stored.ir = ir1.data(); stored.jc = jc1.data(); stored.pr = pr1.data();
  stored.trans = 1;

  std::vector<double> u(m);
  for (double& x : u) x = val(rng);
  std::vector<double> ya(n, 0.0), yb(n, 0.0), scratch(n);
  Add_Mt_ub(direct, u.data(), ya.data(), scratch.data());
  Add_Mt_ub(stored, u.data(), yb.data(), scratch.data());
  for (int j = 0; j < n; ++j) EXPECT_NEAR(ya[j], yb[j], 1e-14);

  // And Prod on the transposed storage is M·x.
  std::vector<double> x(n), y(m, 2.0);
  for (double& e : x) e = val(rng);
  Prod_Mt_ub(stored, x.data(), y.data());
  for (int i = 0; i < m; ++i) {
    double s = 2.0;
    for (int j = 0; j < n; ++j) s += M[i + m * j] * x[j];
    EXPECT_NEAR(y[i], s, 1e-14);
  }
}

TEST(ViewKernels, DenseForms) {
  // Dense 2×3: Prod overwrites y with A·u.
  std::vector<double> A{1, 4, 2, 5, 3, 6};
  SparseView d;
  d.pr = A.data(); d.nPr = 6; d.rows = 2; d.cols = 3;
  const std::vector<double> u{1, -1, 2};
  std::vector<double> y{1, 1};
  Prod_Mt_ub(d, u.data(), y.data());
  EXPECT_EQ(y, (std::vector<double>{1 - 2 + 6, 4 - 5 + 12}));

  // Dense transposed 1×3: Add adds pr·u[0] to the first 3 entries of y.
  std::vector<double> row{1, 2, 3};
  SparseView t;
  t.pr = row.data(); t.nPr = 3; t.rows = 1; t.cols = 3; t.trans = 1;
  std::vector<double> y3{10, 10, 10, 10}, scratch(3);
  const double u0[] = {2, 100};
  Add_Mt_ub(t, u0, y3.data(), scratch.data());
  EXPECT_EQ(y3, (std::vector<double>{12, 14, 16, 10}));

  // Dense, not transposed: refused when it has rows, a no-op when it has none.
  EXPECT_THROW(requireAddForm(d), Error);
  SparseView empty;
  empty.pr = A.data(); empty.rows = 0; empty.cols = 3;
  EXPECT_NO_THROW(requireAddForm(empty));
}

TEST(ViewKernels, ProdRefusesSparseNotTransposed) {
  Fixture f;
  try {
    requireProdForm(f.view(0));
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.message(), "Prod_Mt_u implemented for transposed sparse matrices");
    EXPECT_EQ(e.identifier(), "");
  }
  EXPECT_NO_THROW(requireProdForm(f.view(1)));
}

TEST(Phi1tPhi2, ComplexBilinearFormWithoutConjugation) {
  Fixture f;  // K = the 3×4 stored array; φ1 has 3 entries, φ2 has 4
  const double p1r[] = {1, -2, 0.5}, p1i[] = {0.25, 1, -1};
  const double p2r[] = {2, 0, -1, 3}, p2i[] = {-1, 0.5, 2, 1};
  double er = 0, ei = 0;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 4; ++j) {
      const double k = f.at(i, j);
      er += k * (p1r[i] * p2r[j] - p1i[i] * p2i[j]);
      ei += k * (p1r[i] * p2i[j] + p1i[i] * p2r[j]);
    }
  double rr = 7, ri = 7;
  phi1tmphi2_mkl(p1r, p1i, p2r, p2i, f.pr.data(), f.ir.data(), f.jc.data(), 4,
                 &rr, &ri);
  EXPECT_NEAR(rr, er, 1e-13);
  EXPECT_NEAR(ri, ei, 1e-13);

  // Without an imaginary result only p1rᵀ K p2r, whatever imaginary parts
  // are given (a null result pointer means they are never read).
  double real_only = 0;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 4; ++j) real_only += f.at(i, j) * p1r[i] * p2r[j];
  phi1tmphi2_mkl(p1r, p1i, p2r, p2i, f.pr.data(), f.ir.data(), f.jc.data(), 4,
                 &rr, nullptr);
  EXPECT_NEAR(rr, real_only, 1e-13);

  // One imaginary part only; and n = 0 gives zeros.
  phi1tmphi2_mkl(p1r, nullptr, p2r, p2i, f.pr.data(), f.ir.data(),
                 f.jc.data(), 4, &rr, &ri);
  double ei2 = 0;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 4; ++j) ei2 += f.at(i, j) * p1r[i] * p2i[j];
  EXPECT_NEAR(rr, real_only, 1e-13);
  EXPECT_NEAR(ri, ei2, 1e-13);
  phi1tmphi2_mkl(p1r, p1i, p2r, p2i, f.pr.data(), f.ir.data(), f.jc.data(), 0,
                 &rr, &ri);
  EXPECT_EQ(rr, 0.0);
  EXPECT_EQ(ri, 0.0);
}

// Interleaved (re, im) pairs, read at stride 2, give the bits of the
// separate parts: the sums run in the same order.
TEST(Phi1tPhi2, InterleavedPairsGiveTheBitsOfSeparateParts) {
  Fixture f;
  const double p1r[] = {1, -2, 0.5}, p1i[] = {0.25, 1, -1};
  const double p2r[] = {2, 0, -1, 3}, p2i[] = {-1, 0.5, 2, 1};
  double q1[6], q2[8];
  for (int r = 0; r < 3; ++r) q1[2 * r] = p1r[r], q1[2 * r + 1] = p1i[r];
  for (int c = 0; c < 4; ++c) q2[2 * c] = p2r[c], q2[2 * c + 1] = p2i[c];
  double sr, si, ir_, ii;
  phi1tmphi2_mkl(p1r, p1i, p2r, p2i, f.pr.data(), f.ir.data(), f.jc.data(), 4,
                 &sr, &si);
  phi1tmphi2_mkl(q1, q1 + 1, q2, q2 + 1, f.pr.data(), f.ir.data(),
                 f.jc.data(), 4, &ir_, &ii, 2);
  EXPECT_EQ(sr, ir_);
  EXPECT_EQ(si, ii);
  // φ1 without its imaginary part: its real parts are still read at stride 2.
  phi1tmphi2_mkl(q1, nullptr, q2, q2 + 1, f.pr.data(), f.ir.data(),
                 f.jc.data(), 4, &ir_, &ii, 2);
  phi1tmphi2_mkl(p1r, nullptr, p2r, p2i, f.pr.data(), f.ir.data(),
                 f.jc.data(), 4, &sr, &si);
  EXPECT_EQ(sr, ir_);
  EXPECT_EQ(si, ii);
}

TEST(ViewChecks, RefuseEveryDescriptionThatWouldLeaveItsArrays) {
  Fixture f;
  SparseView v = f.view(0);
  EXPECT_NO_THROW(checkSparseColumns(v, 4, 3, "K"));
  EXPECT_THROW(checkSparseColumns(v, 5, 3, "K"), Error);  // jc too short
  EXPECT_THROW(checkSparseColumns(v, 4, 2, "K"), Error);  // row index 2

  f.jc = {0, 2, 1, 5, 7};  // decreasing
  v = f.view(0);
  EXPECT_THROW(checkSparseColumns(v, 4, 3, "K"), Error);

  f.jc = {0, 2, 5, 5, 8};  // beyond ir and pr
  v = f.view(0);
  EXPECT_THROW(checkSparseColumns(v, 4, 3, "K"), Error);

  Fixture g;
  g.ir[3] = -1;  // negative row index
  EXPECT_THROW(checkSparseColumns(g.view(0), 4, 3, "K"), Error);

  Fixture h;
  SparseView noJc = h.view(0);
  noJc.jc = nullptr;
  noJc.nJc = 0;
  try {
    checkSparseColumns(noJc, 4, 3, "K");
    FAIL();
  } catch (const Error& e) {
    EXPECT_EQ(e.identifier(), "VRK:spardyn:Invalid");
  }
}

TEST(ViewChecks, OperandLengths) {
  Fixture f;
  std::vector<double> scratch(4);
  // Add on the direct 3×4 view: u of 3, y of 4.
  EXPECT_NO_THROW(checkAddUse(f.view(0), 3, 4, "b"));
  EXPECT_THROW(checkAddUse(f.view(0), 2, 4, "b"), Error);
  EXPECT_THROW(checkAddUse(f.view(0), 3, 3, "b"), Error);
  // Prod on the transposed view (M is 4×3): u of 3, y of 4.
  EXPECT_NO_THROW(checkProdUse(f.view(1), 3, 4, "c"));
  EXPECT_THROW(checkProdUse(f.view(1), 3, 2, "c"), Error);
  // A dense view whose dims ask for more values than it holds.
  std::vector<double> A(5);
  SparseView d;
  d.pr = A.data(); d.nPr = 5; d.rows = 2; d.cols = 3;
  EXPECT_THROW(checkProdUse(d, 3, 2, "c"), Error);
}

}  // namespace
}  // namespace spardyn
