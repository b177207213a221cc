// The rotating-centre joint against its physics: a rigid rotation of both
// points about the centre moves nothing relative to the joint, a relative
// displacement along one axis gives the table's force at B and its reaction,
// rotated by Aᵀ, at A; both ways of giving the points agree.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "nl_test_views.hpp"
#include "spardyn/error.hpp"
#include "spardyn/rotcenter.hpp"

namespace spardyn {
namespace {

using testing_nl::SparseMatrix;
using Vec3 = std::vector<double>;

// 3×3 column-major helpers for the expected values.
std::vector<double> rotZ(double t) {
  return {std::cos(t), std::sin(t), 0, -std::sin(t), std::cos(t), 0, 0, 0, 1};
}
std::vector<double> rotX(double t) {
  return {1, 0, 0, 0, std::cos(t), std::sin(t), 0, -std::sin(t), std::cos(t)};
}
std::vector<double> product(const std::vector<double>& a,
                            const std::vector<double>& b) {
  std::vector<double> c(9, 0.0);
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      for (int k = 0; k < 3; ++k) c[i + 3 * j] += a[i + 3 * k] * b[k + 3 * j];
  return c;
}
Vec3 turnedBy(const std::vector<double>& a, const Vec3& x) {
  Vec3 y(3, 0.0);
  for (int i = 0; i < 3; ++i)
    for (int k = 0; k < 3; ++k) y[i] += a[i + 3 * k] * x[k];
  return y;
}
Vec3 zCross(const Vec3& x) { return {-x[1], x[0], 0.0}; }  // ẑ × x

// The joint on a model of 8 degrees of freedom: the rotation at DOF 1,
// point A's local components 1, 2, 3 at DOFs 2, 3, 4 and point B's at DOFs
// 5, 6, 7, both listed out of order; DOF 8 belongs to neither.
struct Joint {
  static constexpr int kNdof = 8;
  std::vector<double> u = std::vector<double>(kNdof, 0.0);
  std::vector<double> v = std::vector<double>(kNdof, 0.0);
  std::vector<double> P = rotZ(0.0);
  Vec3 D{0.5, -0.2, 0.1}, E{0.5, -0.2, 0.1}, Q{0, 0, 0};
  std::vector<double> dofA{3, 4, 2}, compA{2, 3, 1};
  std::vector<double> dofB{7, 5, 6}, compB{3, 1, 2};
  SparseMatrix obsA{3, kNdof, {0, 1, 0, 0, 0, 0, 0, 0,
                               0, 0, 1, 0, 0, 0, 0, 0,
                               0, 0, 0, 1, 0, 0, 0, 0}};
  SparseMatrix obsB{3, kNdof, {0, 0, 0, 0, 1, 0, 0, 0,
                               0, 0, 0, 0, 0, 1, 0, 0,
                               0, 0, 0, 0, 0, 0, 1, 0}};
  // Fu(x) = 10·x, Fv(x) = 2·x: abscissa column, then the force column.
  std::vector<double> Fu{-1, 1, -10, 10}, Fv{-1, 1, -2, 2};
  std::vector<double> curU{0, 0, 0}, curV{0, 0, 0};
  std::vector<int32_t> fnlAt{4, 0, 2};
  std::vector<double> fnl = std::vector<double>(5, -1.0);

  // A's local components and B's displacement, velocity.
  void setA(const Vec3& x, const Vec3& w) {
    for (int c = 0; c < 3; ++c) u[1 + c] = x[c], v[1 + c] = w[c];
  }
  void setB(const Vec3& x, const Vec3& w) {
    for (int c = 0; c < 3; ++c) u[4 + c] = x[c], v[4 + c] = w[c];
  }
  Vec3 at(const std::vector<double>& r, int first) const {
    return {r[first], r[first + 1], r[first + 2]};
  }

  RotCenter record(bool matrices, int32_t cellRows = -1) {
    RotCenter rc;
    rc.cellRows = cellRows > 0 ? cellRows : (matrices ? 17 : 14);
    rc.rotationDof = 1;
    rc.P = P.data(), rc.nP = P.size();
    rc.D = D.data(), rc.nD = D.size();
    rc.E = E.data(), rc.nE = E.size();
    rc.Q = Q.data(), rc.nQ = Q.size();
    if (matrices) {
      rc.A.obs = obsA.transposedView();
      rc.B.obs = obsB.transposedView();
    } else {
      rc.A.dofs = dofA.data(), rc.A.nDofs = dofA.size();
      rc.A.components = compA.data(), rc.A.nComponents = compA.size();
      rc.B.dofs = dofB.data(), rc.B.nDofs = dofB.size();
      rc.B.components = compB.data(), rc.B.nComponents = compB.size();
    }
    rc.fnlPositions = fnlAt.data(), rc.nFnlPositions = fnlAt.size();
    rc.Fu = {Fu.data(), Fu.size() / 2, 2, Fu.size()};
    rc.Fv = {Fv.data(), Fv.size() / 2, 2, Fv.size()};
    rc.curU = curU.data(), rc.nCurU = curU.size();
    rc.curV = curV.data(), rc.nCurV = curV.size();
    return rc;
  }

  _ROr ro() {
    _ROr ro;
    ro.Ndof = kNdof;
    ro.u = u.data(), ro.nU = u.size();
    ro.v = v.data(), ro.nV = v.size();
    ro.FNL = fnl.data(), ro.nFNL = fnl.size();
    return ro;
  }

  // One checked evaluation into a fresh r.
  std::vector<double> residual(bool matrices, int32_t cellRows = -1) {
    std::vector<double> r(kNdof, 0.0);
    InjectScratch scratch;
    const RotCenter rc = record(matrices, cellRows);
    checkRotCenter(rc, ro(), r.data(), 1, {}, {});
    rotCenterResidual(rc, ro(), r.data(), scratch);
    return r;
  }
};

void expectNear(const Vec3& a, const Vec3& b, double tol, const char* what) {
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(a[i], b[i], tol) << what << "[" << i << "]";
}

// Both points turned rigidly about the centre: A, displaced by δ in its
// rotating frame, ends where B is, and moves as B does.
TEST(RotCenter, RigidRotationAboutTheCentreGivesNoRelativeMotionNorForce) {
  for (bool matrices : {false, true}) {
    Joint j;
    j.P = product(rotX(0.3), rotZ(-0.8));
    j.D = {0.4, 0.25, -0.1};
    j.E = {1.0, -2.0, 0.5};
    j.Q = zCross(j.D);
    const double theta = 0.7, omega = 1.3;
    const Vec3 delta{0.01, -0.03, 0.02};
    const std::vector<double> turn = product(j.P, rotZ(theta));
    const Vec3 local{j.D[0] + delta[0], j.D[1] + delta[1], j.D[2] + delta[2]};
    const Vec3 atB = turnedBy(turn, local);
    Vec3 wA = zCross(delta);
    for (double& x : wA) x *= omega;
    Vec3 wB = turnedBy(turn, zCross(local));
    for (double& x : wB) x *= omega;
    j.u[0] = theta, j.v[0] = omega;
    j.setA(delta, wA);
    j.setB({atB[0] - j.E[0], atB[1] - j.E[1], atB[2] - j.E[2]}, wB);

    const RotCenterMotion m = rotCenterForces(j.record(matrices), j.ro());
    for (int i = 0; i < 3; ++i) {
      EXPECT_NEAR(m.d[i], 0.0, 1e-15) << "d, matrices " << matrices;
      EXPECT_NEAR(m.e[i], 0.0, 1e-15) << "e, matrices " << matrices;
    }
    const std::vector<double> r = j.residual(matrices);
    for (double x : r) EXPECT_NEAR(x, 0.0, 1e-13) << "matrices " << matrices;
  }
}

TEST(RotCenter, DisplacementAlongOneAxisGivesTheTableForceAndAnOppositeReaction) {
  for (bool matrices : {false, true}) {
    Joint j;  // θ = 0, P = I, D = E: the points coincide at rest
    const double delta = 0.03, w = 0.4;
    j.setB({delta, 0, 0}, {0, w, 0});
    const std::vector<double> r = j.residual(matrices);
    expectNear(j.at(r, 4), {10 * delta, 2 * w, 0}, 1e-15, "force at B");
    expectNear(j.at(r, 1), {-10 * delta, -2 * w, 0}, 1e-15, "reaction at A");
    EXPECT_EQ(r[0], 0.0);  // the rotation is not loaded
    EXPECT_EQ(r[7], 0.0);
  }
}

// With the body turned by θ, the reaction at A is −Aᵀ·F in A's components:
// rotated back into the global frame it is −F.
TEST(RotCenter, ReactionAtARotatedByTheTransposedOrientation) {
  for (bool matrices : {false, true}) {
    Joint j;
    const double theta = 0.4, delta = 0.05;
    const std::vector<double> A = rotZ(theta);
    const Vec3 yA = turnedBy(A, j.D);
    j.u[0] = theta;
    j.setB({yA[0] - j.E[0] + delta, yA[1] - j.E[1], yA[2] - j.E[2]}, {0, 0, 0});
    const std::vector<double> r = j.residual(matrices);
    const double F = 10 * delta;
    expectNear(j.at(r, 4), {F, 0, 0}, 1e-14, "force at B");
    const Vec3 G = j.at(r, 1);
    expectNear(G, {-std::cos(theta) * F, std::sin(theta) * F, 0}, 1e-14,
               "reaction in A's components");
    expectNear(turnedBy(A, G), {-F, 0, 0}, 1e-14, "reaction in the global frame");
  }
}

// A general state: tables of several rows, the term Q·ω, every component
// loaded.  Index lists and observation matrices give the same forces, the
// same copy into FNL and the same cursors.
TEST(RotCenter, IndexListsAndObservationMatricesAgree) {
  std::vector<double> r[2], fnl[2], curU[2], curV[2];
  for (bool matrices : {false, true}) {
    Joint j;
    j.P = product(rotX(-0.6), rotZ(0.25));
    j.D = {0.3, 0.1, -0.4};
    j.E = {0.2, 0.3, -0.5};
    j.Q = {0.7, -0.2, 0.05};
    j.Fu = {-0.2, -0.05, 0, 0.05, 0.2, -50, -3, 0, 4, 80};
    j.Fv = {-3, 0, 0, 3, -6, -1, 1, 6};  // a step at 0
    j.curU = {4, 0, 0};
    j.u = {0.9, 0.01, -0.02, 0.03, 0.05, -0.04, 0.02, 9};
    j.v = {-2, 0.5, 0.1, -0.3, 0.2, 0.6, -0.1, 9};
    r[matrices] = j.residual(matrices);
    fnl[matrices] = j.fnl;
    curU[matrices] = j.curU;
    curV[matrices] = j.curV;

    const RotCenterMotion m = rotCenterForces(j.record(matrices), j.ro());
    EXPECT_EQ(j.fnl[4], m.F[0]);
    EXPECT_EQ(j.fnl[0], m.F[1]);
    EXPECT_EQ(j.fnl[2], m.F[2]);
    EXPECT_EQ(j.fnl[1], -1.0);  // not a position of the joint
    EXPECT_EQ(j.fnl[3], -1.0);
    // The cursor remembers the first query and the row of the last.
    EXPECT_EQ(j.curU[1], m.d[0]);
    EXPECT_NE(m.F[0], 0.0);
    EXPECT_NE(m.F[2], 0.0);
  }
  for (int i = 0; i < Joint::kNdof; ++i) EXPECT_DOUBLE_EQ(r[0][i], r[1][i]) << i;
  EXPECT_EQ(fnl[0], fnl[1]);
  EXPECT_EQ(curU[0], curU[1]);
  EXPECT_EQ(curV[0], curV[1]);
  EXPECT_EQ(r[0][7], 0.0);
}

TEST(RotCenter, ForceCopiedIntoFnlFromElevenRowsOfCellOn) {
  Joint j;
  j.setB({0.02, -0.01, 0.03}, {0, 0, 0});
  j.residual(false, 10);
  EXPECT_EQ(j.fnl, std::vector<double>(5, -1.0));
  j.residual(false, 11);
  EXPECT_NEAR(j.fnl[4], 0.2, 1e-15);
  EXPECT_NEAR(j.fnl[0], -0.1, 1e-15);
  EXPECT_NEAR(j.fnl[2], 0.3, 1e-15);

  // Without FNL in the model the positions are neither read nor checked.
  Joint k;
  k.fnlAt = {99, 99, 99};
  RotCenter rc = k.record(false, 11);
  _ROr ro = k.ro();
  ro.FNL = nullptr, ro.nFNL = 0;
  std::vector<double> r(Joint::kNdof, 0.0);
  EXPECT_NO_THROW(checkRotCenter(rc, ro, r.data(), 1, {}, {}));
}

// --- refusals ---------------------------------------------------------------------

// The check refuses with this reason and a message naming the row and the
// field, and the joint's arrays are untouched.
template <typename Change>
void expectRefused(Change change, Reason reason, const std::string& part,
                   bool matrices = false) {
  Joint j;
  RotCenter rc = j.record(matrices);
  _ROr ro = j.ro();
  std::vector<double> r(Joint::kNdof, 0.0);
  change(j, rc, ro, r);
  try {
    checkRotCenter(rc, ro, r.data(), 7, {}, {});
    ADD_FAILURE() << "no error for " << part;
  } catch (const Error& e) {
    EXPECT_EQ(e.reason(), reason) << e.message();
    EXPECT_NE(e.message().find("model.NL row 7"), std::string::npos) << e.message();
    EXPECT_NE(e.message().find(part), std::string::npos) << e.message();
  }
}

TEST(RotCenter, PositionsOutsideTheirArraysAreRefused) {
  using J = Joint;
  expectRefused([](J&, RotCenter& rc, _ROr&, auto&) { rc.rotationDof = 0; },
                Reason::Invalid, "\"Cell\" row 1: rotation degree of freedom 0");
  expectRefused([](J&, RotCenter& rc, _ROr&, auto&) { rc.rotationDof = 9; },
                Reason::Invalid, "outside u and v (1 … 8)");
  expectRefused([](J& j, RotCenter&, _ROr&, auto&) { j.dofA[1] = 9; },
                Reason::Invalid, "\"Cell\" row 5: degree of freedom 9 outside u, v and r");
  expectRefused([](J& j, RotCenter&, _ROr&, auto&) { j.dofB[0] = 0.5; },
                Reason::Invalid, "\"Cell\" row 7: degree of freedom 0.5");
  expectRefused([](J& j, RotCenter&, _ROr&, auto&) { j.dofB[2] = NAN; },
                Reason::Invalid, "\"Cell\" row 7: degree of freedom nan");
  expectRefused([](J& j, RotCenter&, _ROr&, auto&) { j.compA[0] = 4; },
                Reason::Invalid, "\"Cell\" row 6: component 4 outside 1 … 3");
  expectRefused([](J& j, RotCenter&, _ROr&, auto&) { j.compB[0] = 0; },
                Reason::Invalid, "\"Cell\" row 8: component 0");
  expectRefused([](J&, RotCenter& rc, _ROr&, auto&) { rc.A.nComponents = 2; },
                Reason::WrongSize, "\"Cell\" row 5: 3 degrees of freedom for the 2 components");
  expectRefused([](J& j, RotCenter&, _ROr&, auto&) { j.fnlAt[2] = 5; },
                Reason::Invalid, "\"Cell\" row 11: position 5 (counted from 0) outside FNL (5 values)");
  expectRefused([](J& j, RotCenter&, _ROr&, auto&) { j.fnlAt[0] = -1; },
                Reason::Invalid, "\"Cell\" row 11: position -1");
  expectRefused([](J&, RotCenter& rc, _ROr&, auto&) { rc.nFnlPositions = 2; },
                Reason::WrongSize, "\"Cell\" row 11: 3 positions in FNL expected");
}

TEST(RotCenter, MalformedDataAreRefused) {
  using J = Joint;
  expectRefused([](J&, RotCenter& rc, _ROr&, auto&) { rc.nP = 3; },
                Reason::WrongSize, "\"Cell\" row 2: holds 3 values, 9 (P, 3×3) expected");
  expectRefused([](J&, RotCenter& rc, _ROr&, auto&) { rc.nD = 2; },
                Reason::WrongSize, "\"Cell\" row 3");
  expectRefused([](J&, RotCenter& rc, _ROr&, auto&) { rc.nE = 0; },
                Reason::WrongSize, "\"Cell\" row 4");
  expectRefused([](J&, RotCenter& rc, _ROr&, auto&) { rc.nQ = 4; },
                Reason::WrongSize, "\"Cell\" row 10");
  expectRefused([](J&, RotCenter& rc, _ROr&, auto&) { rc.Fu.cols = 3; },
                Reason::WrongSize, "\"Fu\": a table of two columns");
  expectRefused([](J&, RotCenter& rc, _ROr&, auto&) { rc.Fv.rows = 0; },
                Reason::WrongSize, "\"Fv\": a table of two columns");
  expectRefused([](J& j, RotCenter&, _ROr&, auto&) { j.Fu[0] = 2; },
                Reason::Invalid, "\"Fu\": the abscissa must not decrease (row 2)");
  expectRefused([](J& j, RotCenter&, _ROr&, auto&) { j.Fv[1] = NAN; },
                Reason::Invalid, "\"Fv\": the abscissa must not decrease");
  expectRefused([](J&, RotCenter& rc, _ROr&, auto&) { rc.nCurU = 2; },
                Reason::WrongSize, "\"cur_u\": an interpolation cursor of 3 values");
  expectRefused([](J&, RotCenter& rc, _ROr&, auto&) { rc.nCurV = 4; },
                Reason::WrongSize, "\"cur_v\"");
  expectRefused([](J&, RotCenter&, _ROr& ro, auto&) { ro.v = nullptr, ro.nV = 0; },
                Reason::WrongSize, "the joint reads the velocity v, which is empty");
}

TEST(RotCenter, ObservationMatricesOfTheWrongShapeAreRefused) {
  using J = Joint;
  expectRefused([](J&, RotCenter& rc, _ROr&, auto&) { rc.B.obs.rows = 4; },
                Reason::WrongSize, "\"Cell\" row 17", true);
  expectRefused([](J&, RotCenter& rc, _ROr&, auto&) { rc.A.obs.cols = 9; },
                Reason::WrongSize, "\"Cell\" row 15", true);
  expectRefused([](J& j, RotCenter& rc, _ROr&, auto&) {
                  j.obsB.transposedView();
                  rc.B.obs.ir[1] = 8;  // past the 8 degrees of freedom
                },
                Reason::Invalid, "\"Cell\" row 17: row index outside [0, 8)", true);
}

// The historical form message carries no identifier and no row.
TEST(RotCenter, ObservationMatrixByColumnsKeepsTheHistoricalMessage) {
  Joint j;
  RotCenter rc = j.record(true);
  rc.A.obs = j.obsA.columnView();
  std::vector<double> r(Joint::kNdof, 0.0);
  try {
    checkRotCenter(rc, j.ro(), r.data(), 1, {}, {});
    ADD_FAILURE() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.message(), "Prod_Mt_u implemented for transposed sparse matrices");
  }
}

// What the joint writes may share memory with nothing it reads: a cursor
// that is D, or an FNL that is u, would be corrupted for the next call.
TEST(RotCenter, WrittenArraysSharingMemoryAreRefused) {
  using J = Joint;
  expectRefused([](J& j, RotCenter& rc, _ROr&, auto&) { rc.curU = j.D.data(); },
                Reason::Invalid, "\"cur_u\" and D (\"Cell\" row 3) share their data");
  expectRefused([](J& j, RotCenter&, _ROr& ro, auto&) { ro.FNL = j.u.data(), ro.nFNL = 8; },
                Reason::Invalid, "FNL and u share their data");
  expectRefused([](J& j, RotCenter& rc, _ROr&, auto&) { rc.curV = j.curU.data(); },
                Reason::Invalid, "\"cur_u\" and \"cur_v\" share their data");
  expectRefused([](J& j, RotCenter& rc, _ROr&, auto&) { rc.curV = j.Fv.data() + 1; },
                Reason::Invalid, "\"cur_v\" and \"Fv\" share their data");
}

}  // namespace
}  // namespace spardyn
