// The transposed product aᵀ·S and the projection TAᵀ·K·TB, against dense
// triple loops and against the entry-by-entry bilinear form phi1tmphi2_mkl.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "spardyn/algebra.hpp"
#include "spardyn/kernels.hpp"
#include "views_fixture.hpp"

namespace spardyn {
namespace {

// A sparse stored array with its dense twin, made from random entries:
// row indices unsorted within a column, some repeated, some columns empty.
struct Csc {
  int32_t m = 0, n = 0;
  std::vector<int32_t> ir, jc;
  std::vector<double> pr;
  std::vector<double> dense;  // m × n column-major, repeated entries summed

  SparseView view() const { return storedView(ir, jc, pr, m, n); }
  double at(int32_t r, int32_t c) const { return dense[r + int64_t(c) * m]; }
};

Csc randomCsc(int32_t m, int32_t n, int perColumn, unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_int_distribution<int32_t> row(0, m > 0 ? m - 1 : 0);
  std::uniform_real_distribution<double> val(-1.0, 1.0);
  Csc s;
  s.m = m;
  s.n = n;
  s.dense.assign(int64_t(m) * n, 0.0);
  s.jc.push_back(0);
  for (int32_t c = 0; c < n; ++c) {
    const int count = (c % 5 == 3 || m == 0) ? 0 : perColumn;  // empty columns
    for (int e = 0; e < count; ++e) {
      const int32_t r = row(gen);
      const double v = val(gen);
      s.ir.push_back(r);
      s.pr.push_back(v);
      s.dense[r + int64_t(c) * m] += v;
    }
    s.jc.push_back(static_cast<int32_t>(s.ir.size()));
  }
  return s;
}

std::vector<double> randomDense(int64_t m, int64_t n, unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> val(-1.0, 1.0);
  std::vector<double> a(m * n);
  for (double& x : a) x = val(gen);
  return a;
}

// Relative agreement: |x − y| ≤ tol·scale, scale the sum of absolute terms.
void expectClose(double x, double y, double scale, double tol = 1e-14) {
  EXPECT_LE(std::fabs(x - y), tol * (scale > 1.0 ? scale : 1.0))
      << x << " vs " << y;
}

// --- aᵀ·S ---------------------------------------------------------------------

TEST(AtS, HandCheckedThreeByTwo) {
  // a = [1 4; 2 5; 3 6], S = [1 0 0 2; 0 3 0 0; 0 0 0 4] (column 2 empty).
  Csc s;
  s.m = 3;
  s.n = 4;
  s.jc = {0, 1, 2, 2, 4};
  s.ir = {0, 1, 2, 0};  // column 3 stored unsorted
  s.pr = {1, 3, 4, 2};
  const std::vector<double> a = {1, 2, 3, 4, 5, 6};
  std::vector<double> c(8, std::nan(""));
  AtS(a.data(), 3, 2, s.view(), c.data());
  const std::vector<double> expected = {1, 4, 6, 15, 0, 0, 14, 32};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(c[i], expected[i]) << i;
}

TEST(AtS, MatchesDenseProductAcrossBlockWidths) {
  const Csc s = randomCsc(40, 23, 6, 7);
  for (int64_t na : {1, 2, 15, 16, 17, 33, 50}) {
    const std::vector<double> a = randomDense(s.m, na, 11 + na);
    std::vector<double> c(na * s.n, std::nan(""));
    AtS(a.data(), s.m, na, s.view(), c.data());
    for (int64_t i = 0; i < na; ++i)
      for (int32_t j = 0; j < s.n; ++j) {
        double sum = 0, scale = 0;
        for (int32_t r = 0; r < s.m; ++r) {
          sum += a[r + i * s.m] * s.at(r, j);
          scale += std::fabs(a[r + i * s.m] * s.at(r, j));
        }
        expectClose(c[i + j * na], sum, scale);
      }
  }
}

TEST(AtS, TouchesNothingWithoutColumnsOrRows) {
  const Csc s = randomCsc(5, 0, 3, 1);
  std::vector<double> c(4, 7.0);
  const std::vector<double> a(10, 1.0);
  AtS(a.data(), 5, 2, s.view(), c.data());  // no stored column
  AtS(a.data(), 5, 0, randomCsc(5, 2, 3, 2).view(), c.data());  // no column of a
  for (double x : c) EXPECT_EQ(x, 7.0);

  // a without rows: every product is an empty sum.
  const Csc e = randomCsc(0, 3, 0, 3);
  AtS(nullptr, 0, 1, e.view(), c.data());
  EXPECT_EQ(c[0], 0.0);
  EXPECT_EQ(c[2], 0.0);
}

// --- TAᵀ·K·TB -----------------------------------------------------------------

struct Basis {
  std::vector<double> re, im;
  std::vector<double> pairs;  // (re, im) interleaved, for complex bases

  DenseMatrix matrix(int64_t rows, int64_t cols) const {
    DenseMatrix d;
    d.re = re.data();
    d.im = im.empty() ? nullptr : im.data();
    d.rows = rows;
    d.cols = cols;
    return d;
  }
  // The same basis as interleaved pairs (a real basis stays as it is).
  DenseMatrix pairMatrix(int64_t rows, int64_t cols) const {
    if (im.empty()) return matrix(rows, cols);
    return DenseMatrix{pairs.data(), pairs.data() + 1, rows, cols, 2};
  }
};

Basis randomBasis(int64_t rows, int64_t cols, bool complex, unsigned seed) {
  Basis b;
  b.re = randomDense(rows, cols, seed);
  if (complex) {
    b.im = randomDense(rows, cols, seed + 1000);
    for (size_t e = 0; e < b.re.size(); ++e) {
      b.pairs.push_back(b.re[e]);
      b.pairs.push_back(b.im[e]);
    }
  }
  return b;
}

// Which operands and result are interleaved pairs (the host's layout under
// the interleaved interface) rather than separate parts.
struct Layout {
  bool taPairs = false, tbPairs = false, outPairs = false;
  int64_t groupBytes = kProjectionGroupBytes;
};

// Largest deviation of TAtKTB from phi1tmphi2_mkl, entry by entry, relative
// to the size of the entry's terms |TA|ᵀ·|K|·|TB|.
double worstDeviationFromDefinition(const Csc& k, int64_t na, int64_t nb,
                                    bool aComplex, bool bComplex,
                                    Layout layout = Layout()) {
  const Basis ta = randomBasis(k.m, na, aComplex, 3);
  const Basis tb = randomBasis(k.n, nb, bComplex, 5);
  const bool complex = aComplex || bComplex;
  std::vector<double> re(na * nb, std::nan("")), im(na * nb, std::nan(""));
  std::vector<double> pairs(2 * na * nb, std::nan(""));
  const DenseTarget out =
      !complex ? DenseTarget{re.data(), nullptr, 1}
      : layout.outPairs ? DenseTarget{pairs.data(), pairs.data() + 1, 2}
                        : DenseTarget{re.data(), im.data(), 1};
  TAtKTB(layout.taPairs ? ta.pairMatrix(k.m, na) : ta.matrix(k.m, na),
         k.view(),
         layout.tbPairs ? tb.pairMatrix(k.n, nb) : tb.matrix(k.n, nb), out,
         layout.groupBytes);
  if (complex && layout.outPairs)
    for (int64_t e = 0; e < na * nb; ++e) {
      re[e] = pairs[2 * e];
      im[e] = pairs[2 * e + 1];
    }

  std::vector<double> absK(k.pr.size());
  for (size_t e = 0; e < absK.size(); ++e) absK[e] = std::fabs(k.pr[e]);
  double worst = 0;
  for (int64_t i = 0; i < na; ++i)
    for (int64_t j = 0; j < nb; ++j) {
      const double* p1r = ta.re.data() + i * k.m;
      const double* p1i = aComplex ? ta.im.data() + i * k.m : nullptr;
      const double* p2r = tb.re.data() + j * k.n;
      const double* p2i = bComplex ? tb.im.data() + j * k.n : nullptr;
      double dr = 0, di = 0;
      phi1tmphi2_mkl(p1r, p1i, p2r, p2i, k.pr.data(), k.ir.data(),
                     k.jc.data(), k.n, &dr, complex ? &di : nullptr);
      // Scale: the same form on absolute values, parts summed.
      std::vector<double> a1(k.m), a2(k.n);
      for (int32_t r = 0; r < k.m; ++r)
        a1[r] = std::fabs(p1r[r]) + (p1i ? std::fabs(p1i[r]) : 0.0);
      for (int32_t c = 0; c < k.n; ++c)
        a2[c] = std::fabs(p2r[c]) + (p2i ? std::fabs(p2i[c]) : 0.0);
      double scale = 0;
      phi1tmphi2_mkl(a1.data(), nullptr, a2.data(), nullptr, absK.data(),
                     k.ir.data(), k.jc.data(), k.n, &scale, nullptr);
      scale = scale > 0 ? scale : 1.0;
      // NaN (an entry never written) must not pass for agreement.
      auto note = [&](double d) { if (!(d <= worst)) worst = d; };
      const int64_t at = i + j * na;
      note(std::fabs(re[at] - dr) / scale);
      if (complex) note(std::fabs(im[at] - di) / scale);
    }
  return worst;
}

TEST(TAtKTB, AgreesWithTheBilinearFormEntryByEntry) {
  const double eps = std::numeric_limits<double>::epsilon();
  const Csc square = randomCsc(60, 60, 7, 21);
  const Csc wide = randomCsc(35, 48, 5, 22);  // TA 35 rows, TB 48 rows
  Layout oneSweepPerGroup;
  oneSweepPerGroup.groupBytes = 1;
  for (const Csc* k : {&square, &wide})
    for (int64_t nb : {1, 16, 17, 40})
      for (bool aC : {false, true})
        for (bool bC : {false, true})
          for (const Layout& layout : {Layout(), oneSweepPerGroup}) {
            const double dev =
                worstDeviationFromDefinition(*k, 5, nb, aC, bC, layout);
            EXPECT_LE(dev, 16 * eps) << "nb " << nb << " complex " << aC << bC
                                     << " group " << layout.groupBytes;
          }
}

// Interleaved pairs, as the host hands them over under the interleaved
// interface, in every mix with separate parts: TA in pairs takes the complex
// product, a result in pairs is written in place or through a buffer; with
// a budget of one sweep per group W is formed and projected in pieces.
TEST(TAtKTB, InterleavedPairsAgreeWithTheBilinearForm) {
  const double eps = std::numeric_limits<double>::epsilon();
  const Csc wide = randomCsc(35, 48, 5, 23);
  for (int64_t nb : {1, 15, 16, 17, 40})
    for (int mix = 1; mix < 8; ++mix) {
      for (int64_t groupBytes : {int64_t(1), kProjectionGroupBytes}) {
        const Layout layout{(mix & 1) != 0, (mix & 2) != 0, (mix & 4) != 0,
                            groupBytes};
        for (bool aC : {false, true})
          for (bool bC : {false, true}) {
            if (!aC && !bC) continue;
            const double dev =
                worstDeviationFromDefinition(wide, 7, nb, aC, bC, layout);
            EXPECT_LE(dev, 16 * eps) << "nb " << nb << " layout " << mix
                                     << " complex " << aC << bC << " group "
                                     << groupBytes;
          }
      }
    }
}

// TA of 4500 rows: W is projected in slabs of rows (of 1 MB: 1638 rows of
// 40 pairs, 3276 rows of 40 reals), the slabs' products summed; a real W
// is widened to pairs for TA in pairs.
TEST(TAtKTB, SlabsOfRowsAddUp) {
  const double eps = std::numeric_limits<double>::epsilon();
  const Csc tall = randomCsc(4500, 30, 6, 24);
  for (int mix = 0; mix < 8; ++mix)
    for (bool aC : {false, true})
      for (bool bC : {false, true}) {
        const Layout layout{(mix & 1) != 0, (mix & 2) != 0, (mix & 4) != 0};
        EXPECT_LE(worstDeviationFromDefinition(tall, 3, 40, aC, bC, layout),
                  16 * eps) << "layout " << mix << " complex " << aC << bC;
      }
}

TEST(TAtKTB, IdentityBasesGiveK) {
  const Csc k = randomCsc(9, 7, 3, 4);
  std::vector<double> ia(9 * 9, 0.0), ib(7 * 7, 0.0);
  for (int i = 0; i < 9; ++i) ia[i * 10] = 1.0;
  for (int i = 0; i < 7; ++i) ib[i * 8] = 1.0;
  const DenseMatrix ta{ia.data(), nullptr, 9, 9};
  const DenseMatrix tb{ib.data(), nullptr, 7, 7};
  std::vector<double> out(63, std::nan(""));
  TAtKTB(ta, k.view(), tb, DenseTarget{out.data(), nullptr, 1});
  for (int j = 0; j < 63; ++j) EXPECT_DOUBLE_EQ(out[j], k.dense[j]) << j;
}

TEST(TAtKTB, ComplexPartsFollowTheTransposeWithoutConjugation) {
  // TA = (1 + 2i)·e1, TB = (3 − i)·e1, K(0,0) = 2:
  // TAᵀ·K·TB = (1 + 2i)·2·(3 − i) = 10 + 10i (conjugating TA would give −2 − 14i).
  Csc k;
  k.m = k.n = 1;
  k.jc = {0, 1};
  k.ir = {0};
  k.pr = {2.0};
  const double ar = 1, ai = 2, br = 3, bi = -1;
  double re = 0, im = 0;
  TAtKTB({&ar, &ai, 1, 1}, k.view(), {&br, &bi, 1, 1}, {&re, &im});
  EXPECT_EQ(re, 10.0);
  EXPECT_EQ(im, 10.0);

  // The same in pairs, into pairs: the complex product of the BLAS must not
  // conjugate either.
  const double a[2] = {ar, ai}, b[2] = {br, bi};
  double c[2] = {0, 0};
  TAtKTB({a, a + 1, 1, 1, 2}, k.view(), {b, b + 1, 1, 1, 2}, {c, c + 1, 2});
  EXPECT_EQ(c[0], 10.0);
  EXPECT_EQ(c[1], 10.0);

  // Without an imaginary result, only the real parts enter, whatever the
  // layout of TA.
  TAtKTB({&ar, &ai, 1, 1}, k.view(), {&br, &bi, 1, 1}, {&re, nullptr});
  EXPECT_EQ(re, 6.0);
  re = 0;
  TAtKTB({a, a + 1, 1, 1, 2}, k.view(), {b, b + 1, 1, 1, 2}, {&re, nullptr});
  EXPECT_EQ(re, 6.0);

  // Real bases with a complex result: the imaginary part is zero.
  im = 5.0;
  TAtKTB({&ar, nullptr, 1, 1}, k.view(), {&br, nullptr, 1, 1}, {&re, &im});
  EXPECT_EQ(re, 6.0);
  EXPECT_EQ(im, 0.0);
}

TEST(TAtKTB, EmptySumsAreZero) {
  // Bases without rows, into separate parts and into pairs.
  Csc none;
  none.jc = {0};
  std::vector<double> re(6, 1.0), im(6, 1.0), pairs(12, 1.0);
  TAtKTB({nullptr, nullptr, 0, 2}, none.view(), {nullptr, nullptr, 0, 3},
         {re.data(), im.data()});
  for (int j = 0; j < 6; ++j) EXPECT_EQ(re[j] + im[j], 0.0);
  TAtKTB({nullptr, nullptr, 0, 2}, none.view(), {nullptr, nullptr, 0, 3},
         {pairs.data(), pairs.data() + 1, 2});
  for (double x : pairs) EXPECT_EQ(x, 0.0);

  // A K without entries.
  const Csc zero = randomCsc(4, 4, 0, 9);
  const Basis ta = randomBasis(4, 2, true, 1), tb = randomBasis(4, 3, true, 2);
  std::fill(re.begin(), re.end(), 1.0);
  TAtKTB(ta.matrix(4, 2), zero.view(), tb.matrix(4, 3), {re.data(), im.data()});
  for (int j = 0; j < 6; ++j) EXPECT_EQ(std::fabs(re[j]) + std::fabs(im[j]), 0.0);
  std::fill(pairs.begin(), pairs.end(), 1.0);
  TAtKTB(ta.pairMatrix(4, 2), zero.view(), tb.pairMatrix(4, 3),
         {pairs.data(), pairs.data() + 1, 2});
  for (double x : pairs) EXPECT_EQ(std::fabs(x), 0.0);
}

}  // namespace
}  // namespace spardyn
