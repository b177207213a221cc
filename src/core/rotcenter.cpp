#include "spardyn/rotcenter.hpp"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>

#include "spardyn/interp.hpp"
#include "spardyn/kernels.hpp"

namespace spardyn {

namespace {

// y = M·x for a 3×3 column-major M.
void times(const double* M, const double* x, double* y) {
  for (int i = 0; i < 3; ++i)
    y[i] = M[i] * x[0] + M[i + 3] * x[1] + M[i + 6] * x[2];
}

// y = Mᵀ·x for a 3×3 column-major M.
void timesTransposed(const double* M, const double* x, double* y) {
  for (int j = 0; j < 3; ++j)
    y[j] = M[3 * j] * x[0] + M[3 * j + 1] * x[1] + M[3 * j + 2] * x[2];
}

// A = P·Rz(θ): the rotation about the local z axis turns P's first two
// columns into each other and leaves the third.
void orientation(const double* P, double theta, double* A) {
  const double s = std::sin(theta), c = std::cos(theta);
  for (int i = 0; i < 3; ++i) {
    A[i] = c * P[i] + s * P[i + 3];
    A[i + 3] = c * P[i + 3] - s * P[i];
    A[i + 6] = P[i + 6];
  }
}

// An index read as a double, truncated toward zero; values no int32 holds
// (NaN included) come out as a position that every range check refuses.
int64_t truncated(double x) {
  if (!(x > -2147483649.0 && x < 2147483648.0)) return INT64_MIN;
  return static_cast<int32_t>(x);
}

// x[component] = state[dof] for each pair of a point's index lists.
void gather(const RotCenterPoint& p, const double* state, double* x) {
  for (std::size_t k = 0; k < p.nComponents; ++k)
    x[truncated(p.components[k]) - 1] = state[truncated(p.dofs[k]) - 1];
}

// r[dof] += F[component] for each pair of a point's index lists.
void scatter(const RotCenterPoint& p, const double* F, double* r) {
  for (std::size_t k = 0; k < p.nComponents; ++k)
    r[truncated(p.dofs[k]) - 1] += F[truncated(p.components[k]) - 1];
}

// The three components of q, each through the table (value column 1).
void interpolate(const ForceTable& t, const double* q, double* cursor,
                 double* out) {
  qz_time_LinInterp(t.values, q, cursor, out, static_cast<int32_t>(t.rows),
                    1, 3, 1, nullptr, nullptr);
}

}  // namespace

std::string cellRowField(int k) {
  return "\"Cell\" row " + std::to_string(k);
}

RotCenterMotion rotCenterForces(const RotCenter& rc, const _ROr& ro) {
  RotCenterMotion m{};
  const int32_t k = rc.rotationDof - 1;
  orientation(rc.P, ro.u[k], m.A);

  if (rc.byMatrices()) {
    Prod_Mt_ub(rc.A.obs, ro.u, m.xA);
    Prod_Mt_ub(rc.A.obs, ro.v, m.vA);
    Prod_Mt_ub(rc.B.obs, ro.u, m.xB);
    Prod_Mt_ub(rc.B.obs, ro.v, m.vB);
  } else {
    gather(rc.A, ro.u, m.xA);
    gather(rc.A, ro.v, m.vA);
    gather(rc.B, ro.u, m.xB);
    gather(rc.B, ro.v, m.vB);
  }

  const double omega = ro.v[k];
  double turned[3], yA[3], wA[3];
  for (int i = 0; i < 3; ++i) m.vA[i] += omega * rc.Q[i];
  times(m.A, m.vA, wA);
  for (int i = 0; i < 3; ++i) turned[i] = rc.D[i] + m.xA[i];
  times(m.A, turned, yA);
  for (int i = 0; i < 3; ++i) {
    m.d[i] = rc.E[i] + m.xB[i] - yA[i];
    m.e[i] = m.vB[i] - wA[i];
  }

  interpolate(rc.Fu, m.d, rc.curU, m.Fd);
  interpolate(rc.Fv, m.e, rc.curV, m.Fe);
  for (int i = 0; i < 3; ++i) m.F[i] = m.Fd[i] + m.Fe[i];
  timesTransposed(m.A, m.F, m.G);
  for (int i = 0; i < 3; ++i) m.G[i] = -m.G[i];
  return m;
}

void rotCenterResidual(const RotCenter& rc, const _ROr& ro, double* r,
                       InjectScratch& scratch) {
  const RotCenterMotion m = rotCenterForces(rc, ro);
  if (rc.copiesForce() && ro.FNL)
    for (int i = 0; i < 3; ++i) ro.FNL[rc.fnlPositions[i]] = m.F[i];
  if (rc.byMatrices()) {
    injectForce(rc.B.obs, m.F, r, scratch);
    injectForce(rc.A.obs, m.G, r, scratch);
  } else {
    scatter(rc.B, m.F, r);
    scatter(rc.A, m.G, r);
  }
}

// --- checks ------------------------------------------------------------------------

namespace {

// An index as the caller wrote it (7, 2.5, NaN).
std::string number(double x) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", x);
  return text;
}


void requireCount(std::size_t have, std::size_t need, int64_t row,
                  int cell, const char* shape) {
  if (have != need)
    failEntry(Reason::WrongSize, row, cellRowField(cell),
              "holds " + std::to_string(have) + " values, " + shape +
                  " expected");
}

void checkIndexLists(const RotCenterPoint& p, int32_t ndof, int64_t row,
                     int dofCell) {
  const int compCell = dofCell + 1;
  if (p.nDofs != p.nComponents)
    failEntry(Reason::WrongSize, row, cellRowField(dofCell),
              std::to_string(p.nDofs) + " degrees of freedom for the " +
                  std::to_string(p.nComponents) + " components of " +
                  cellRowField(compCell));
  for (std::size_t k = 0; k < p.nDofs; ++k) {
    const int64_t dof = truncated(p.dofs[k]);
    if (dof < 1 || dof > ndof)
      failEntry(Reason::Invalid, row, cellRowField(dofCell),
                "degree of freedom " + number(p.dofs[k]) +
                    " outside u, v and r (1 … " + std::to_string(ndof) + ")");
    const int64_t comp = truncated(p.components[k]);
    if (comp < 1 || comp > 3)
      failEntry(Reason::Invalid, row, cellRowField(compCell),
                "component " + number(p.components[k]) +
                    " outside 1 … 3");
  }
}

// The point's matrix observes u and v into 3 values and injects 3 values
// into r.
void checkObservationMatrix(const RotCenterPoint& p, int32_t ndof,
                            int64_t row, int cell) {
  const std::string what = entryWhere(row, cellRowField(cell));
  checkProdUse(p.obs, ndof, 3, what.c_str());
  checkAddUse(p.obs, 3, ndof, what.c_str());
}

void checkTable(const ForceTable& t, int64_t row, const char* field) {
  if (t.cols != 2 || t.rows < 1)
    failEntry(Reason::WrongSize, row, field,
              "a table of two columns (abscissa, force) and at least one "
              "row expected, not " + std::to_string(t.rows) + "×" +
                  std::to_string(t.cols));
  if (t.rows > static_cast<std::size_t>(INT32_MAX))
    failEntry(Reason::WrongSize, row, field, "too many rows");
  for (std::size_t i = 0; i + 1 < t.rows; ++i)
    if (!(t.values[i] <= t.values[i + 1]))
      failEntry(Reason::Invalid, row, field,
                "the abscissa must not decrease (row " +
                    std::to_string(i + 2) + ")");
}

void checkCursor(std::size_t n, int64_t row, const char* field) {
  if (n != 3)
    failEntry(Reason::WrongSize, row, field,
              "an interpolation cursor of 3 values expected, it holds " +
                  std::to_string(n));
}

void checkFnlPositions(const RotCenter& rc, const _ROr& ro, int64_t row) {
  if (!rc.copiesForce() || !ro.FNL) return;
  if (!rc.fnlPositions || rc.nFnlPositions != 3)
    failEntry(Reason::WrongSize, row, cellRowField(11),
              "3 positions in FNL expected, it holds " +
                  std::to_string(rc.nFnlPositions));
  for (int i = 0; i < 3; ++i) {
    const int32_t at = rc.fnlPositions[i];
    if (at < 0 || static_cast<std::size_t>(at) >= ro.nFNL)
      failEntry(Reason::Invalid, row, cellRowField(11),
                "position " + std::to_string(at) +
                    " (counted from 0) outside FNL (" +
                    std::to_string(ro.nFNL) + " values)");
  }
}

// What the joint writes (the cursors, r, FNL, the entry's observations)
// against each other and against everything it reads.
void checkMemory(const RotCenter& rc, const _ROr& ro, const double* r,
                 int64_t row, const ObservationWrites& vnl,
                 const ObservationWrites& unl) {
  requireApart(
      entryWhere(row, "rotating centre"),
      {span(rc.curU, rc.nCurU, "\"cur_u\""), span(rc.curV, rc.nCurV, "\"cur_v\""),
       span(r, ro.Ndof, "r"), span(ro.FNL, ro.nFNL, "FNL"), vnl.slice1,
       vnl.slice3, unl.slice1, unl.slice3},
      {span(ro.u, ro.nU, "u"), span(ro.v, ro.nV, "v"),
       span(rc.P, rc.nP, "P (\"Cell\" row 2)"),
       span(rc.D, rc.nD, "D (\"Cell\" row 3)"),
       span(rc.E, rc.nE, "E (\"Cell\" row 4)"),
       span(rc.Q, rc.nQ, "Q (\"Cell\" row 10)"),
       span(rc.A.dofs, rc.A.nDofs, "\"Cell\" row 5"),
       span(rc.A.components, rc.A.nComponents, "\"Cell\" row 6"),
       span(rc.B.dofs, rc.B.nDofs, "\"Cell\" row 7"),
       span(rc.B.components, rc.B.nComponents, "\"Cell\" row 8"),
       span(rc.A.obs.pr, rc.A.obs.nPr, "\"Cell\" row 15"),
       span(rc.B.obs.pr, rc.B.obs.nPr, "\"Cell\" row 17"),
       span(rc.Fu.values, rc.Fu.count, "\"Fu\""),
       span(rc.Fv.values, rc.Fv.count, "\"Fv\"")});
}

}  // namespace

void checkRotCenter(const RotCenter& rc, const _ROr& ro, const double* r,
                    int64_t row, const ObservationWrites& vnl,
                    const ObservationWrites& unl) {
  if (!ro.v)
    failEntry(Reason::WrongSize, row, "rotating centre",
              "the joint reads the velocity v, which is empty");
  if (rc.rotationDof < 1 || rc.rotationDof > ro.Ndof)
    failEntry(Reason::Invalid, row, cellRowField(1),
              "rotation degree of freedom " + std::to_string(rc.rotationDof) +
                  " outside u and v (1 … " + std::to_string(ro.Ndof) + ")");
  requireCount(rc.nP, 9, row, 2, "9 (P, 3×3)");
  requireCount(rc.nD, 3, row, 3, "3 (D)");
  requireCount(rc.nE, 3, row, 4, "3 (E)");
  requireCount(rc.nQ, 3, row, 10, "3 (Q)");
  if (rc.byMatrices()) {
    checkObservationMatrix(rc.A, ro.Ndof, row, 15);
    checkObservationMatrix(rc.B, ro.Ndof, row, 17);
  } else {
    checkIndexLists(rc.A, ro.Ndof, row, 5);
    checkIndexLists(rc.B, ro.Ndof, row, 7);
  }
  checkFnlPositions(rc, ro, row);
  checkTable(rc.Fu, row, "\"Fu\"");
  checkTable(rc.Fv, row, "\"Fv\"");
  checkCursor(rc.nCurU, row, "\"cur_u\"");
  checkCursor(rc.nCurV, row, "\"cur_v\"");
  checkMemory(rc, ro, r, row, vnl, unl);
}

}  // namespace spardyn
