// The residual kernels: the fused sweep against the passes run one after the
// other, its serial twin, the diagonal terms and modal damping.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "spardyn/blas1.hpp"
#include "spardyn/parallel.hpp"
#include "spardyn/residual_kernel.hpp"

namespace spardyn {
namespace {

struct Columns {
  std::vector<int32_t> ir, jc{0};
  std::vector<double> pr;
  Columns(int n, int rows, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> val(-1, 1);
    for (int j = 0; j < n; ++j) {
      const int count = rng() % 10;  // some columns empty
      for (int k = 0; k < count; ++k) {
        ir.push_back(rng() % rows);  // unsorted, possibly repeated
        pr.push_back(val(rng));
      }
      jc.push_back(static_cast<int32_t>(ir.size()));
    }
  }
};

std::vector<double> randomVector(int n, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> val(-3, 3);
  std::vector<double> x(n);
  for (double& e : x) e = val(rng);
  return x;
}

// The evaluation as a sequence of whole passes: each matrix product through
// the parallel product, each Rayleigh pass as its own serial loop of scaled
// column sums.
void sequentialPasses(const Columns& M, const Columns& C, const Columns& K,
                      const double* a, const double* v, const double* u,
                      double rayM, double rayK, double* r, int n) {
  SparseMatVec(r, a, M.pr.data(), M.ir.data(), M.jc.data(), n);
  for (int j = 0; j < n; ++j) {
    const int b = M.jc[j];
    r[j] += rayM * spd_ddoti(M.jc[j + 1] - b, M.pr.data() + b, M.ir.data() + b, v);
  }
  SparseMatVec(r, v, C.pr.data(), C.ir.data(), C.jc.data(), n);
  SparseMatVec(r, u, K.pr.data(), K.ir.data(), K.jc.data(), n);
  for (int j = 0; j < n; ++j) {
    const int b = K.jc[j];
    r[j] += rayK * spd_ddoti(K.jc[j + 1] - b, K.pr.data() + b, K.ir.data() + b, v);
  }
}

PassList modelPasses(const Columns& M, const Columns& C, const Columns& K,
                     const double* a, const double* v, const double* u,
                     double rayM, double rayK) {
  PassList p;
  p.add(M.pr.data(), M.ir.data(), M.jc.data(), a, 1.0, v, rayM);
  p.add(C.pr.data(), C.ir.data(), C.jc.data(), v, 1.0);
  p.add(K.pr.data(), K.ir.data(), K.jc.data(), u, 1.0, v, rayK);
  return p;
}

TEST(ColumnPasses, OneSweepIsBitwiseTheSequenceOfPasses) {
  for (int n : {1, 255, 256, 257, 4095, 4096, 4097, 20011}) {
    const int rows = n + 7;  // gathered vectors longer than the sweep
    Columns M(n, rows, 1), C(n, rows, 2), K(n, rows, 3);
    const auto a = randomVector(rows, 4), v = randomVector(rows, 5),
               u = randomVector(rows, 6);
    const double rayM = 0.37, rayK = 1.3e-3;
    // Entries from n onward are never touched.
    std::vector<double> seq = randomVector(n + 5, 7);
    std::vector<double> fused = seq, serial = seq;
    sequentialPasses(M, C, K, a.data(), v.data(), u.data(), rayM, rayK,
                     seq.data(), n);
    const PassList p =
        modelPasses(M, C, K, a.data(), v.data(), u.data(), rayM, rayK);
    addColumnPasses(p, fused.data(), n);
    addColumnPassesSerial(p, serial.data(), n);
    EXPECT_EQ(fused, seq) << "n = " << n;
    EXPECT_EQ(serial, seq) << "n = " << n;
  }
}

TEST(ColumnPasses, ASecondVectorAloneIsASinglePass) {
  // Without accelerations the mass reads v alone: r += rayM·Mᵀv.
  const int n = 9000;
  Columns M(n, n, 15);
  const auto v = randomVector(n, 16);
  std::vector<double> seq(n, 2.0), fused(n, 2.0);
  for (int j = 0; j < n; ++j) {
    const int b = M.jc[j];
    seq[j] += 0.7 * spd_ddoti(M.jc[j + 1] - b, M.pr.data() + b, M.ir.data() + b, v.data());
  }
  PassList p;
  p.add(M.pr.data(), M.ir.data(), M.jc.data(), nullptr, 1.0, v.data(), 0.7);
  EXPECT_EQ(p.size(), 1);
  addColumnPasses(p, fused.data(), n);
  EXPECT_EQ(fused, seq);
  PassList none;
  none.add(M.pr.data(), M.ir.data(), M.jc.data(), nullptr, 1.0, nullptr, 0.7);
  EXPECT_TRUE(none.empty());
}

TEST(ColumnPasses, RepeatedSweepsGiveTheSameBits) {
  const int n = 50000;
  Columns K(n, n, 8);
  const auto u = randomVector(n, 9), v = randomVector(n, 10);
  PassList p;
  p.add(K.pr.data(), K.ir.data(), K.jc.data(), u.data(), 1.0, v.data(), 0.25);
  std::vector<double> first(n, 1.0);
  addColumnPassesSerial(p, first.data(), n);
  for (int rep = 0; rep < 10; ++rep) {
    std::vector<double> again(n, 1.0);
    addColumnPasses(p, again.data(), n);
    ASSERT_EQ(again, first);
  }
}

TEST(ColumnPasses, HandCheckedColumns) {
  // S = [2 0; 1 3] stored by columns: column 0 holds rows 0, 1; column 1
  // holds row 1.  r += Sᵀx: r0 += 2·x0 + 1·x1, r1 += 3·x1.
  const std::vector<int32_t> ir{0, 1, 1}, jc{0, 2, 3};
  const std::vector<double> pr{2, 1, 3}, x{10, 100}, y{1, 2};
  PassList p;
  p.add(pr.data(), ir.data(), jc.data(), x.data(), 1.0, y.data(), -0.5);
  std::vector<double> r{1, 1};
  addColumnPasses(p, r.data(), 2);
  EXPECT_EQ(r, (std::vector<double>{1 + 120 - 0.5 * 4, 1 + 300 - 0.5 * 6}));
}

TEST(ColumnPasses, NothingWithoutPassesColumnsOrValues) {
  const std::vector<int32_t> ir{0}, jc{0, 1};
  const std::vector<double> pr{2}, x{5};
  std::vector<double> r{1};
  PassList none;
  addColumnPasses(none, r.data(), 1);
  PassList withoutValues;
  EXPECT_TRUE(withoutValues.add(nullptr, ir.data(), jc.data(), x.data(), 1.0));
  EXPECT_TRUE(withoutValues.empty());
  addColumnPasses(withoutValues, r.data(), 1);
  PassList p;
  p.add(pr.data(), ir.data(), jc.data(), x.data(), 1.0);
  addColumnPasses(p, r.data(), 0);
  addColumnPasses(p, r.data(), -3);
  EXPECT_EQ(r[0], 1.0);
}

TEST(ColumnPasses, CapacityIsBoundedAndReported) {
  const std::vector<int32_t> ir{0}, jc{0, 1};
  const std::vector<double> pr{1}, x{1};
  PassList p;
  for (int k = 0; k < PassList::kCapacity; ++k)
    EXPECT_TRUE(p.add(pr.data(), ir.data(), jc.data(), x.data(), 1.0));
  EXPECT_FALSE(p.add(pr.data(), ir.data(), jc.data(), x.data(), 1.0));
  EXPECT_EQ(p.size(), PassList::kCapacity);
}

TEST(Diagonal, FoldedRayleighAndPlainForms) {
  const std::vector<double> d{2, -1, 0.5}, x{1, 2, 3}, y{10, 20, 30};
  std::vector<double> r{1, 1, 1, 7};
  addDiagonal(d.data(), x.data(), 0.1, y.data(), r.data(), 3);
  EXPECT_EQ(r, (std::vector<double>{1 + 2 * (1 + 1.0), 1 - (2 + 2.0),
                                    1 + 0.5 * (3 + 3.0), 7}));
  std::vector<double> q{0, 0, 0};
  addDiagonal(d.data(), x.data(), 5.0, nullptr, q.data(), 3);
  EXPECT_EQ(q, (std::vector<double>{2, -2, 1.5}));
}

TEST(Diagonal, ParallelIsBitwiseTheSerialTwin) {
  const int n = 300001;
  const auto d = randomVector(n, 11), x = randomVector(n, 12),
             y = randomVector(n, 13);
  std::vector<double> par = randomVector(n, 14), ser = par;
  addDiagonal(d.data(), x.data(), 0.3, y.data(), par.data(), n);
  addDiagonalSerial(d.data(), x.data(), 0.3, y.data(), ser.data(), n);
  EXPECT_EQ(par, ser);
}

TEST(ModalDamping, MatchesTheDenseFormula) {
  // Φ 3 × 2 (column-major), c = [2 3], v = [1 2 3].
  const int n = 3, m = 2;
  const std::vector<double> phi{1, 0, 1,   // mode 1
                                0, 1, 2};  // mode 2
  const std::vector<double> c{2, 3}, v{1, 2, 3};
  // Φᵀv = [1 + 3, 2 + 6] = [4, 8]; y = [8, 24]; Φy = [8, 24, 8 + 48].
  std::vector<double> y(m, -1.0), r{1, 1, 1};
  addModalDamping(phi.data(), n, m, c.data(), y.data(), v.data(), r.data());
  EXPECT_EQ(y, (std::vector<double>{8, 24}));
  EXPECT_EQ(r, (std::vector<double>{9, 25, 57}));
  std::vector<double> untouched{4, 4, 4};
  addModalDamping(phi.data(), n, 0, c.data(), y.data(), v.data(),
                  untouched.data());
  EXPECT_EQ(untouched, (std::vector<double>{4, 4, 4}));
}

}  // namespace
}  // namespace spardyn
