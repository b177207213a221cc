// The injection of a non-linear term's outputs over the support of b: the
// same result, bit for bit, as the scatter over every entry of y.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "spardyn/kernels.hpp"
#include "spardyn/sparse_view.hpp"

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
  SparseView v;
  v.rows = rows;
  v.cols = cols;
  v.trans = 1;
  v.sparse = true;
  v.ir = ir.data();
  v.jc = jc.data();
  v.pr = pr.data();
  v.nIr = ir.size();
  v.nJc = jc.size();
  v.nPr = pr.size();

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

}  // namespace
}  // namespace spardyn
