#include "spardyn/laws.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "law_steps.hpp"
#include "spardyn/error.hpp"
#include "spardyn/interp.hpp"
#include "spardyn/numbers.hpp"

namespace spardyn {

// ---------------------------------------------------------------------------
// Exports

void exportFNL(const NlState& s, const _ROr& ro) {
  if (!s.iopt || !ro.FNL || s.iopt[0] < 0) return;
  std::copy_n(s.snl, s.Nnl, ro.FNL + s.iopt[0]);
}

void StoreState(const NlState& s, _ROr ro) {
  const int32_t* q = s.iopt;
  if (ro.FNL && q[0] >= 0) std::copy_n(s.snl, s.Nnl, ro.FNL + q[0]);
  const int64_t iu = q[1], before = q[2], nState = q[3], blocks = q[4];
  if (iu <= 0 || blocks <= 0 || nState <= 0) return;
  // Block k goes to its own place, after the states of the blocks before it.
  for (int64_t k = 0; k < blocks; ++k)
    std::copy_n(s.unl + (k + 1) * before + k * nState, nState,
                ro.u + iu + k * nState);
}

void endStepCopy(NlState& s) {
  if (s.Nslice < 3) return;
  const int64_t N = s.Nnl;
  if (s.unl) std::copy_n(s.unl + 2 * N, N, s.unl);
  if (s.vnl) std::copy_n(s.vnl + 2 * N, N, s.vnl);
}

// ---------------------------------------------------------------------------
// Memoryless laws

// S = p1·U^p2 (a negative U with a non-integer exponent gives NaN)
void FuPower(NlState& s, _ROr ro) {
  const double c = s.opt[1], e = s.opt[2];
  for (int32_t i = 0; i < s.Nnl; ++i) s.snl[i] = c * std::pow(s.unl[i], e);
  exportFNL(s, ro);
}

// S = p1·p2^U
void FuExpon(NlState& s, _ROr ro) {
  const double c = s.opt[1], base = s.opt[2];
  for (int32_t i = 0; i < s.Nnl; ++i) s.snl[i] = c * std::pow(base, s.unl[i]);
  exportFNL(s, ro);
}

// S[k + j·N] = value column j+1 of the table at U[k]
void FuTable(NlState& s, _ROr ro) {
  const int32_t* q = s.iopt;
  qz_time_LinInterp(s.opt + q[5], s.unl, s.opt + q[6], s.snl, q[7], q[8],
                    s.Nnl, 1, nullptr, nullptr);
  exportFNL(s, ro);
}

// ---------------------------------------------------------------------------
// Laws with internal state

// Pairs (U[2k], U[2k+1]) = (observed value, friction state z), V[2k] the
// slip rate; the friction force z goes to S[2k].  Fs = p5·p6.
void FuDahlC(NlState& s, _ROr ro) {
  const double h = timeIncrement(s, ro);
  const double* p = s.opt;
  const double Fs = p[5] * p[6];
  for (int32_t k = 0; 2 * k < s.Nnl; ++k) {
    const double z = s.unl[2 * k + 1];
    const double zNew = dahlStep(z, z / Fs, s.vnl[2 * k], h, p[3], p[4], Fs);
    s.snl[2 * k] = zNew;
    s.unl[2 * k + 1] = zNew;
  }
  StoreState(s, ro);
}

// Pairs (U[2k], U[2k+1]) = (displacement x, slider position y).  The slider
// carries w = (y − x)·p4 + y·p6, the pull of the series spring p4 and the
// ground spring p6; it sticks while |w| stays below the threshold p5, and
// otherwise slides to where w equals the threshold with the sign of w, for
// the displacement predicted one step ahead.  Each pair is its own slider.
// S[0] = p4·(x − y) + p3·x of the first pair is the only output.
void STS(NlState& s, _ROr ro) {
  const double h = timeIncrement(s, ro);
  const double* p = s.opt;
  double* U = s.unl;
  for (int32_t k = 0; 2 * k < s.Nnl; ++k) {
    const double x = U[2 * k], y = U[2 * k + 1];
    const double w = (y - x) * p[4] + y * p[6];
    if (p[5] > std::fabs(w)) continue;  // sticks
    const double f = w > 0 ? p[5] : -p[5];
    U[2 * k + 1] = (p[4] * (x + h * s.vnl[2 * k]) + f) / (p[4] + p[6]);
  }
  s.snl[0] = (U[0] - U[1]) * p[4] + p[3] * U[0];
  StoreState(s, ro);
}

// Elements of five values: two tangential displacements, the normal
// coordinate, two tangential friction states.  The table gives the normal
// force T0 and the tangential stiffness T1 at the normal coordinate; each
// tangential direction is a Dahl element saturating at p5·T0, less the
// spring p3; the normal force is T0 − p3·gap − p6.
void Clima2(NlState& s, _ROr ro) {
  const double h = timeIncrement(s, ro);
  const double* p = s.opt;
  double *U = s.unl, *S = s.snl;
  for (int32_t o = 0; o < s.Nnl; o += 5) {
    const ContactStep c = contactStep(s, o, h);
    S[o] = c.z1 - p[3] * U[o];
    S[o + 1] = c.z2 - p[3] * U[o + 1];
    S[o + 2] = c.T.normal - p[3] * U[o + 2] - p[6];
    // The friction states stay free of the spring term: folding −p3·U into
    // them would drift the friction force at every evaluation under a
    // constant displacement.
    U[o + 3] = c.z1;
    U[o + 4] = c.z2;
  }
  StoreState(s, ro);
}

namespace {

// Offsets inside opt of the coefficient arrays of Maxw, for d rows and b
// states: Cu, Cv (d+1 values each), P1 (d), P2 (read as P2[r + i·b]), P3 (d).
struct MaxwLayout {
  int64_t cu, cv, p1, p2, p3;
};

MaxwLayout maxwLayout(int64_t d, int64_t b) {
  MaxwLayout m;
  m.cu = 5;
  m.cv = 5 + d * (d + b);
  m.p1 = 5 + 2 * d * (d + b);
  m.p2 = m.p1 + d * b;
  m.p3 = m.p2 + b * b;
  return m;
}

// nsub explicit Euler steps of length h of one block's b states x, with
// x' = P1·q + P2·x + P3·q' and the observation (q, q') moving linearly from
// its slice-3 value to its slice-1 value; then S[o] = Σ Cu·U + Cv·V over the
// observation and the states.
void maxwBlock(NlState& s, const MaxwLayout& m, int64_t o, int32_t d,
               int32_t b, int32_t nsub, double h) {
  const double* p = s.opt;
  const int64_t N = s.Nnl;
  double *U1 = s.unl, *V1 = s.vnl, *U3 = s.unl + 2 * N, *V3 = s.vnl + 2 * N;
  for (int32_t j = 1; j <= nsub; ++j) {
    for (int32_t i = 0; i < b; ++i)
      U1[o + 1 + i] = U3[o + 1 + i] + h * V3[o + 1 + i];
    const double alpha = static_cast<double>(j) / nsub, beta = 1.0 - alpha;
    const double x = beta * U3[o] + alpha * U1[o];
    const double y = beta * V3[o] + alpha * V1[o];
    for (int32_t r = 0; r < d; ++r) {
      double rate = p[m.p1 + r] * x;
      for (int32_t i = 0; i < b; ++i)
        rate += p[m.p2 + r + int64_t(i) * b] * U1[o + 1 + i];
      rate += p[m.p3 + r] * y;
      V1[o + 1 + r] = rate;
      V3[o + 1 + r] = rate;
      U3[o + 1 + r] = U1[o + 1 + r];
    }
  }
  double out = 0.0;  // summed aside: S may share its buffer with U
  for (int32_t i = 0; i <= d; ++i)
    out += p[m.cv + i] * V1[o + i] + p[m.cu + i] * U1[o + i];
  // This evaluation's observation is where the next one starts from (taken
  // before the output, which may overwrite it).
  U3[o] = U1[o];
  V3[o] = V1[o];
  s.snl[o] = out;
}

}  // namespace

// Blocks of stride d = iopt[2], each an observation followed by b = iopt[3]
// states, nb = iopt[4] blocks; slice 1 holds the end-of-step values, slice 3
// the start-of-step values.  p2 is the sub-step length, p3 the number of
// sub-steps per evaluation.
void Maxw(NlState& s, _ROr ro) {
  if (s.Nslice <= 1) fail("Need unlj1 as last dim");
  const double h = timeIncrement(s, ro);
  const int32_t nsub = truncInt32(s.opt[3]);
  const int32_t d = s.iopt[2], b = s.iopt[3], nb = s.iopt[4];
  if (nsub > 0) {
    const MaxwLayout m = maxwLayout(d, b);
    for (int32_t kb = 0; kb < nb; ++kb)
      maxwBlock(s, m, int64_t(kb) * d, d, b, nsub, h);
  }
  StoreState(s, ro);
}

}  // namespace spardyn
