// Host-free measurement of the rotating-centre joint, for bench_nl_walk.m:
//   spardyn_bench_nl rotcenter <n>
// evaluates n joints on plain records (points by index lists, tables of 5
// and 4 rows, the force copied into FNL) as one residual does, and prints
//   rotcenter_ns  <ns per joint, evaluation only>
//   checked_ns    <ns per joint, checks and evaluation>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "best_seconds.hpp"
#include "spardyn/rotcenter.hpp"

namespace {

// The data of one joint, owned here; the record points into it.
struct JointData {
  double P[9], D[3], E[3], Q[3];
  double dofA[3], compA[3] = {1, 2, 3}, dofB[3], compB[3] = {1, 2, 3};
  int32_t fnlAt[3];
  double Fu[10] = {-1, -0.01, 0, 0.01, 1, -300, -2, 0, 2, 300};
  double Fv[8] = {-2, -0.1, 0.1, 2, -8, -0.5, 0.5, 8};
  double curU[3] = {0, 0, 0}, curV[3] = {0, 0, 0};
};

spardyn::RotCenter record(JointData& j) {
  spardyn::RotCenter rc;
  rc.cellRows = 11;
  rc.rotationDof = 1;
  rc.P = j.P, rc.nP = 9;
  rc.D = j.D, rc.nD = 3;
  rc.E = j.E, rc.nE = 3;
  rc.Q = j.Q, rc.nQ = 3;
  rc.A.dofs = j.dofA, rc.A.nDofs = 3, rc.A.components = j.compA, rc.A.nComponents = 3;
  rc.B.dofs = j.dofB, rc.B.nDofs = 3, rc.B.components = j.compB, rc.B.nComponents = 3;
  rc.fnlPositions = j.fnlAt, rc.nFnlPositions = 3;
  rc.Fu = {j.Fu, 5, 2, 10};
  rc.Fv = {j.Fv, 4, 2, 8};
  rc.curU = j.curU, rc.nCurU = 3;
  rc.curV = j.curV, rc.nCurV = 3;
  return rc;
}

void rotcenter(int n) {
  const int ndof = 1 + 6 * n;
  std::vector<double> u(ndof), v(ndof), r(ndof, 0.0), fnl(3 * n, 0.0);
  std::srand(5);
  auto rnd = [] { return std::rand() / double(RAND_MAX) - 0.5; };
  for (int i = 0; i < ndof; ++i) u[i] = 0.02 * rnd(), v[i] = 0.5 * rnd();
  std::vector<JointData> data(n);
  for (int k = 0; k < n; ++k) {
    JointData& j = data[k];
    const double a = rnd();
    const double P[9] = {std::cos(a), std::sin(a), 0, -std::sin(a), std::cos(a), 0, 0, 0, 1};
    std::memcpy(j.P, P, sizeof P);
    for (int i = 0; i < 3; ++i) {
      j.D[i] = 0.1 * rnd(), j.E[i] = 0.1 * rnd(), j.Q[i] = 0.1 * rnd();
      j.dofA[i] = 2 + 6 * k + i, j.dofB[i] = 5 + 6 * k + i;
      j.fnlAt[i] = 3 * k + i;
    }
  }
  std::vector<spardyn::RotCenter> joints;
  for (JointData& j : data) joints.push_back(record(j));
  spardyn::_ROr ro;
  ro.Ndof = ndof;
  ro.u = u.data(), ro.nU = u.size();
  ro.v = v.data(), ro.nV = v.size();
  ro.FNL = fnl.data(), ro.nFNL = fnl.size();
  spardyn::InjectScratch scratch;

  const double evaluate = bestSeconds(20, [&] {
    for (const auto& rc : joints) spardyn::rotCenterResidual(rc, ro, r.data(), scratch);
  });
  const double checked = bestSeconds(20, [&] {
    for (const auto& rc : joints) {
      spardyn::checkRotCenter(rc, ro, r.data(), 1, {}, {});
      spardyn::rotCenterResidual(rc, ro, r.data(), scratch);
    }
  });
  std::printf("rotcenter_ns %.1f\nchecked_ns %.1f\n", 1e9 * evaluate / n,
              1e9 * checked / n);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 3 && !std::strcmp(argv[1], "rotcenter")) {
    rotcenter(std::atoi(argv[2]));
    return 0;
  }
  std::fprintf(stderr, "usage: spardyn_bench_nl rotcenter <n>\n");
  return 1;
}
