// Host-free measurements the Octave benchmarks compare against:
//   spardyn_bench triad              two-thread STREAM triad bandwidth, GB/s
//   spardyn_bench stencil <m>        product and view checks on the 7-point
//                                    stencil of an m×m×m grid
// Each prints "name value" lines that the Octave scripts parse.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "spardyn/parallel.hpp"
#include "best_seconds.hpp"
#include "spardyn/sparse_view.hpp"

namespace {

// a = b + s·c on two threads, each on its half; 24 bytes per element
// (STREAM's count: two reads and a write).
double triadGBs() {
  const std::size_t n = 40u << 20;  // 3 × 320 MB: far beyond any cache
  std::vector<double> a(n), b(n, 1.0), c(n, 2.0);
  const int threads = 2;
  auto run = [&] {
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t)
      pool.emplace_back([&, t] {
        const std::size_t lo = n * t / threads, hi = n * (t + 1) / threads;
        for (std::size_t i = lo; i < hi; ++i) a[i] = b[i] + 3.0 * c[i];
      });
    for (auto& th : pool) th.join();
  };
  run();  // first touch
  const double s = bestSeconds(10, run);
  return 24.0 * n / s / 1e9;
}

struct Stencil {
  int n;
  std::vector<int32_t> ir, jc;
  std::vector<double> pr;
  explicit Stencil(int m) : n(m * m * m) {
    jc.reserve(n + 1);
    jc.push_back(0);
    auto id = [m](int i, int j, int k) { return i + m * (j + m * k); };
    for (int k = 0; k < m; ++k)
      for (int j = 0; j < m; ++j)
        for (int i = 0; i < m; ++i) {
          auto add = [&](int r, double v) { ir.push_back(r); pr.push_back(v); };
          if (k > 0) add(id(i, j, k - 1), -1);
          if (j > 0) add(id(i, j - 1, k), -1);
          if (i > 0) add(id(i - 1, j, k), -1);
          add(id(i, j, k), 6);
          if (i < m - 1) add(id(i + 1, j, k), -1);
          if (j < m - 1) add(id(i, j + 1, k), -1);
          if (k < m - 1) add(id(i, j, k + 1), -1);
          jc.push_back(static_cast<int32_t>(ir.size()));
        }
  }
};

void stencil(int m) {
  Stencil S(m);
  std::vector<double> x(S.n, 1.0), y(S.n, 0.0);
  spardyn::SparseView v;
  v.sparse = true;
  v.rows = v.cols = S.n;
  v.ir = S.ir.data(); v.jc = S.jc.data(); v.pr = S.pr.data();
  v.nIr = S.ir.size(); v.nJc = S.jc.size(); v.nPr = S.pr.size();
  const double nnz = static_cast<double>(S.ir.size());
  const double product = bestSeconds(30, [&] {
    spardyn::SparseMatVec(y.data(), x.data(), S.pr.data(), S.ir.data(),
                          S.jc.data(), S.n);
  });
  const double serial = bestSeconds(10, [&] {
    spardyn::SparseMatVecSerial(y.data(), x.data(), S.pr.data(), S.ir.data(),
                                S.jc.data(), S.n);
  });
  const double check = bestSeconds(30, [&] {
    spardyn::checkSparseColumns(v, S.n, S.n, "K");
  });
  const double both = bestSeconds(30, [&] {
    spardyn::checkSparseColumns(v, S.n, S.n, "K");
    spardyn::SparseMatVec(y.data(), x.data(), S.pr.data(), S.ir.data(),
                          S.jc.data(), S.n);
  });
  // Values and row indices once, column pointers, x once, y read and written.
  const double bytes = 12.0 * nnz + 4.0 * (S.n + 1) + 8.0 * S.n + 16.0 * S.n;
  std::printf("dofs %d\nnnz %.0f\nbytes %.0f\n", S.n, nnz, bytes);
  std::printf("product_ms %.4f\nserial_ms %.4f\ncheck_ms %.4f\n", product * 1e3,
              serial * 1e3, check * 1e3);
  std::printf("checked_product_ms %.4f\n", both * 1e3);
  std::printf("product_GBs %.2f\nthreads %d\n", bytes / product / 1e9,
              spardyn::productThreads());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && !std::strcmp(argv[1], "triad")) {
    std::printf("triad_GBs %.2f\n", triadGBs());
    return 0;
  }
  if (argc >= 3 && !std::strcmp(argv[1], "stencil")) {
    stencil(std::atoi(argv[2]));
    return 0;
  }
  std::fprintf(stderr, "usage: spardyn_bench triad | stencil <m>\n");
  return 2;
}
