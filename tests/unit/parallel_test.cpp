// The parallel product against its serial twin and a plain loop.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "spardyn/parallel.hpp"

namespace spardyn {
namespace {

struct RandomColumns {
  std::vector<int32_t> ir, jc{0};
  std::vector<double> pr;
  RandomColumns(int n, int rows, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> val(-1, 1);
    for (int j = 0; j < n; ++j) {
      const int count = rng() % 9;  // some columns empty
      for (int k = 0; k < count; ++k) {
        ir.push_back(rng() % rows);  // unsorted, possibly repeated
        pr.push_back(val(rng));
      }
      jc.push_back(static_cast<int32_t>(ir.size()));
    }
  }
};

TEST(SparseMatVec, EveryColumnOnceAndBitwiseEqualToTheSerialLoop) {
  const int n = 2500, rows = 3000;
  RandomColumns S(n, rows, 1);
  std::vector<double> x(rows);
  std::mt19937 rng(2);
  for (double& e : x) e = std::uniform_real_distribution<double>(-2, 2)(rng);

  // Entries from n onward must stay untouched.
  std::vector<double> par(n + 10, 0.5), ser(n + 10, 0.5);
  SparseMatVec(par.data(), x.data(), S.pr.data(), S.ir.data(), S.jc.data(), n);
  SparseMatVecSerial(ser.data(), x.data(), S.pr.data(), S.ir.data(),
                     S.jc.data(), n);
  EXPECT_EQ(par, ser);
  for (int i = n; i < n + 10; ++i) EXPECT_EQ(par[i], 0.5);

  // Against a plain loop, summed in order (equal up to rounding).
  for (int i = 0; i < n; ++i) {
    double s = 0.5;
    for (int k = S.jc[i]; k < S.jc[i + 1]; ++k) s += S.pr[k] * x[S.ir[k]];
    EXPECT_NEAR(par[i], s, 1e-13) << i;
  }

  // Run many times: the split among threads varies, the result does not.
  for (int rep = 0; rep < 20; ++rep) {
    std::vector<double> again(n + 10, 0.5);
    SparseMatVec(again.data(), x.data(), S.pr.data(), S.ir.data(),
                 S.jc.data(), n);
    ASSERT_EQ(again, ser);
  }
}

TEST(SparseMatVec, NothingForNoValuesOrNoColumns) {
  RandomColumns S(10, 10, 3);
  std::vector<double> x(10, 1.0), y(10, 3.0);
  SparseMatVec(y.data(), x.data(), nullptr, S.ir.data(), S.jc.data(), 10);
  SparseMatVec(y.data(), x.data(), S.pr.data(), S.ir.data(), S.jc.data(), 0);
  SparseMatVec(y.data(), x.data(), S.pr.data(), S.ir.data(), S.jc.data(), -4);
  EXPECT_EQ(y, std::vector<double>(10, 3.0));
}

TEST(SparseMatVec, AtMostEightThreads) {
  EXPECT_GE(productThreads(), 1);
  EXPECT_LE(productThreads(), 8);
}

TEST(ParallelBlocks, CoversTheRangeOnce) {
  const int64_t n = 100000;
  std::vector<int> hits(n, 0);
  parallelBlocks(n, 1000, [&](int64_t b, int64_t e) {
    for (int64_t i = b; i < e; ++i) ++hits[i];
  });
  for (int64_t i = 0; i < n; ++i) ASSERT_EQ(hits[i], 1);
}

}  // namespace
}  // namespace spardyn
