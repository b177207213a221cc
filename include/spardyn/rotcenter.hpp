// The rotating-centre joint of a model's "NL" list: two points A and B, A
// carried by a body that turns about the local z axis by the angle of one
// degree of freedom, B fixed to the other body, and a force that depends on
// their relative displacement and velocity through two tables.
//
// With θ = u[k−1] and ω = v[k−1] (k the rotation degree of freedom),
// A = P·Rz(θ), xA, vA, xB, vB the observed motion of the points:
//   d = E + xB − A·(D + xA)            relative displacement
//   e = vB − A·(vA + ω·Q)              relative velocity
//   F = Fu(d) + Fv(e)                  table by table, component by component
// F acts at B and −Aᵀ·F at A.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "spardyn/nl_entry.hpp"
#include "spardyn/ror.hpp"
#include "spardyn/sparse_view.hpp"

namespace spardyn {

// One point of the joint, by index lists (global degrees of freedom, 1-based,
// and the matching local components 1…3, both truncated toward zero) or by
// an observation matrix of logical size 3 × Ndof.
struct RotCenterPoint {
  const double* dofs = nullptr;
  std::size_t nDofs = 0;
  const double* components = nullptr;
  std::size_t nComponents = 0;
  SparseView obs;
};

// A table of two columns (abscissa, value), column-major.
struct ForceTable {
  const double* values = nullptr;
  std::size_t rows = 0, cols = 0, count = 0;
};

struct RotCenter {
  int32_t cellRows = 0;      // m, the rows of "Cell": selects the forms
  int32_t rotationDof = 0;   // R(1), 1-based
  const double* P = nullptr;  // R(2), 3×3 column-major
  std::size_t nP = 0;
  const double* D = nullptr;  // R(3), offset of A before the rotation
  std::size_t nD = 0;
  const double* E = nullptr;  // R(4), offset of B
  std::size_t nE = 0;
  const double* Q = nullptr;  // R(10), velocity of A per unit of ω
  std::size_t nQ = 0;
  RotCenterPoint A, B;        // R(5), R(6) / R(7), R(8), or R(15) / R(17)
  const int32_t* fnlPositions = nullptr;  // R(11), 0-based positions in FNL
  std::size_t nFnlPositions = 0;
  ForceTable Fu, Fv;
  double* curU = nullptr;  // the tables' cursors, written back
  std::size_t nCurU = 0;
  double* curV = nullptr;
  std::size_t nCurV = 0;

  // Points by observation matrices from 15 rows on, by index lists below.
  bool byMatrices() const { return cellRows >= 15; }
  // The force is copied into FNL from 11 rows on (when the model has FNL).
  bool copiesForce() const { return cellRows >= 11; }
};

// The joint's intermediate quantities, all 3-vectors but A (3×3,
// column-major).
struct RotCenterMotion {
  double A[9];
  double xA[3], vA[3], xB[3], vB[3];
  double d[3], e[3];   // relative displacement and velocity
  double Fd[3], Fe[3];  // the two tables' forces
  double F[3];          // force at B
  double G[3];          // −Aᵀ·F, force at A
};

// How messages name row k of the joint's "Cell": "\"Cell\" row 5".
std::string cellRowField(int k);

// Steps of one evaluation, after checkRotCenter: the motion and the forces,
// the tables' cursors updated in place.
RotCenterMotion rotCenterForces(const RotCenter& rc, const _ROr& ro);

// The whole evaluation: the forces, their copy into FNL when the joint
// copies it and the model has FNL, and r ← r + (F at B) + (G at A).
void rotCenterResidual(const RotCenter& rc, const _ROr& ro, double* r,
                       InjectScratch& scratch);

// Everything the evaluation of entry row addresses, checked before anything
// is written: the rotation degree of freedom inside u and v; P of 9 values,
// D, E and Q of 3; the index lists of equal counts, degrees of freedom
// inside u, v and r, components 1…3; the observation matrices 3 × Ndof in
// a storage both products take (compressed rows); the FNL positions (when
// used): three
// int32 values inside FNL; the tables two columns of at least one row
// with a non-decreasing abscissa; the cursors three values each.  The
// cursors, r, FNL and the observation arrays of the entry (written) share no
// memory with each other nor with what the joint reads.
void checkRotCenter(const RotCenter& rc, const _ROr& ro, const double* r,
                    int64_t row, const ObservationWrites& vnl,
                    const ObservationWrites& unl);

}  // namespace spardyn
