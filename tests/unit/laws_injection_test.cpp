// The observation of a non-linear term in one pass over c, and the injection
// of its outputs over the support of b: the same results, bit for bit, as
// the separate products and the scatter over every entry of y.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "spardyn/kernels.hpp"
#include "spardyn/sparse_view.hpp"
#include "views_fixture.hpp"

namespace spardyn {
namespace {

TEST(Injection, SupportScatterEqualsTheFullScatter) {
  std::mt19937 gen(11);
  std::uniform_real_distribution<double> val(-1, 1);
  const int32_t rows = 40, cols = 5000;  // M is rows x cols, stored as Mᵀ
  std::vector<int32_t> ir, jc{0};
  std::vector<double> pr;
  std::uniform_int_distribution<int32_t> col(0, cols - 1), count(0, 4);
  for (int32_t j = 0; j < rows; ++j) {
    for (int32_t k = count(gen); k > 0; --k) {
      ir.push_back(col(gen) % 300);  // few distinct columns, some repeated
      pr.push_back(val(gen));
    }
    jc.push_back(static_cast<int32_t>(ir.size()));
  }
  const SparseView v = storedView(ir, jc, pr, rows, cols, 1);

  std::vector<double> u(rows), y0(cols);
  for (double& x : u) x = val(gen);
  for (double& x : y0) x = val(gen);
  std::vector<int32_t> support(ir);
  std::sort(support.begin(), support.end());
  support.erase(std::unique(support.begin(), support.end()), support.end());

  std::vector<double> full(y0), scratch(cols, 7.0);
  Add_Mt_ub(v, u.data(), full.data(), scratch.data());
  std::fill(scratch.begin(), scratch.end(), 7.0);  // stale scratch is fine
  for (int rep = 0; rep < 2; ++rep) {
    std::vector<double> part(y0);
    Add_Mt_ub_support(v, u.data(), part.data(), scratch.data(), support.data(),
                      static_cast<int32_t>(support.size()));
    EXPECT_EQ(part, full);
  }
  EXPECT_NE(full, y0);
}

TEST(Observation, PairedProductEqualsTwoProducts) {
  std::mt19937 gen(12);
  std::uniform_real_distribution<double> val(-1, 1);
  const int32_t rows = 60, cols = 700;  // rows of up to 9 entries
  std::vector<int32_t> ir, jc{0};
  std::vector<double> pr;
  std::uniform_int_distribution<int32_t> col(0, cols - 1), count(0, 9);
  for (int32_t j = 0; j < rows; ++j) {
    for (int32_t k = count(gen); k > 0; --k) {
      ir.push_back(col(gen));
      pr.push_back(val(gen));
    }
    jc.push_back(static_cast<int32_t>(ir.size()));
  }
  SparseView c;
  c.rows = rows;
  c.cols = cols;
  c.trans = 1;
  c.sparse = true;
  c.ir = ir.data();
  c.jc = jc.data();
  c.pr = pr.data();
  std::vector<double> u(cols), v(cols), y0(rows);
  for (double& x : u) x = val(gen);
  for (double& x : v) x = val(gen);
  for (double& x : y0) x = val(gen);
  std::vector<double> yu(y0), yv(y0), pu(y0), pv(y0);
  Prod_Mt_ub(c, v.data(), yv.data());
  Prod_Mt_ub(c, u.data(), yu.data());
  Prod_Mt_ub_pair(c, v.data(), pv.data(), u.data(), pu.data());
  EXPECT_EQ(pv, yv);
  EXPECT_EQ(pu, yu);
  EXPECT_NE(pu, y0);
}

}  // namespace
}  // namespace spardyn
