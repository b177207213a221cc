// The steps the force laws share, whatever their form: the time increment
// of the stateful laws, one explicit Dahl step, and the contact table.
#pragma once

#include <algorithm>
#include <cmath>

#include "spardyn/interp.hpp"
#include "spardyn/laws.hpp"

namespace spardyn {

// The time increment of the stateful laws: a p[2] of exactly zero takes the
// time of the first evaluation and keeps it for the later ones.
inline double timeIncrement(NlState& s, const _ROr& ro) {
  if (s.opt[2] == 0.0) s.opt[2] = ro.t;
  return s.opt[2];
}

// One explicit step of a Dahl element: dz = k·(1 − sgn(w)·z/Fs)^e · w·h while
// the bracket is positive, then z is held within ±Fs.  ratio is z/Fs as the
// caller forms it; a zero slip rate counts as negative.
inline double dahlStep(double z, double ratio, double w, double h, double k,
                       double e, double Fs) {
  const double g = w > 0 ? 1.0 : -1.0;
  const double B = 1.0 - g * ratio;
  // B^1 is B: the common exponent skips the power function.
  if (B > 0) z = z + w * h * k * (e == 1.0 ? B : std::pow(B, e));
  return std::max(-Fs, std::min(Fs, z));
}

// The two value columns of the contact table at one normal coordinate:
// normal force and tangential stiffness.
struct ContactValues {
  double normal, stiffness;
};

inline ContactValues contactTable(NlState& s, const double* gap) {
  const int32_t* q = s.iopt;
  double T[2];
  qz_time_LinInterp(s.opt + q[5], gap, s.opt + q[6], T, q[7], 2, 1, 1,
                    nullptr, nullptr);
  return {T[0], T[1]};
}

// One contact element at o (two tangential displacements, the normal
// coordinate, two friction states): the table at its normal coordinate,
// and each tangential direction's Dahl step of stiffness T1 and exponent
// p4, saturating at p5·T0.  Reads only; the forms differ in what they
// write.
struct ContactStep {
  ContactValues T;
  double z1, z2;  // the friction states after the step
};

inline ContactStep contactStep(NlState& s, int32_t o, double h) {
  const double* p = s.opt;
  const double *U = s.unl, *V = s.vnl;
  const ContactValues T = contactTable(s, U + o + 2);
  const double Fm = p[5] * T.normal;
  const double z1 = U[o + 3], z2 = U[o + 4];
  return {T, dahlStep(z1, z1 / Fm, V[o], h, T.stiffness, p[4], Fm),
          dahlStep(z2, (z2 / p[5]) / T.normal, V[o + 1], h, T.stiffness,
                   p[4], Fm)};
}

}  // namespace spardyn
