// The Windows x64 forms of the laws FuDahlC, STS and Clima2, their checks,
// and the law table of that flavour.  Callers of the Windows x64 module rely
// on these forms as they are, the slider chain included (see STS).
#include <cmath>
#include <cstdint>
#include <iterator>
#include <string>

#include "law_checks.hpp"
#include "law_steps.hpp"
#include "spardyn/error.hpp"
#include "spardyn/laws.hpp"

namespace spardyn {

namespace win64 {

// Blocks of b + 1 values, b = iopt[3]: U[o] is not read, U[o+1 … o+b] are
// the states z_i of b Dahl branches sharing the slip rate w = V[o]; branch i
// has stiffness p[3i+3], exponent p[3i+4] and saturation F_i = p[3i+5].
// S[o] = Σ z_i.
void FuDahlC(NlState& s, _ROr ro) {
  const double h = timeIncrement(s, ro);
  const double* p = s.opt;
  const int64_t b = s.iopt[3];
  for (int64_t o = 0; o < s.Nnl; o += b + 1) {
    const double w = s.vnl[o];
    double sum = 0.0;
    for (int64_t i = 0; i < b; ++i) {
      const double Fi = p[3 * i + 5];
      double& z = s.unl[o + 1 + i];
      z = dahlStep(z, z / Fi, w, h, p[3 * i + 3], p[3 * i + 4], Fi);
      sum += z;
    }
    s.snl[o] = sum;
  }
  StoreState(s, ro);
}

// Blocks of b + 1 values, b = iopt[3]: U[o] the observed displacement,
// U[o+1 … o+b] the positions of a chain of sliders.  Link i pulls with
// f = p[4+2i]·U[o+i] − p[6+2i]·U[o+i+1] against the threshold p[5+2i]; the
// first n links from the start that are at their threshold and pulled in
// the direction of V[o] move together by the compliance-weighted increment
// e = V[o]·h / (1/p[4] + Σ 1/p[6+2i]).  S[o] = p[4]·U[o+1] + p[3]·U[o].
//
// Kept as the Windows module computes it.  The slip direction is right,
// but neither f nor S is the force of the chain it describes: a
// displacement cycle runs the loop backwards, and the element returns more
// work than it receives (docs/flavors.md).  It is no dissipative element.
void STS(NlState& s, _ROr ro) {
  const double h = timeIncrement(s, ro);
  const double* p = s.opt;
  double* U = s.unl;
  const int64_t b = s.iopt[3];
  for (int64_t o = 0; o < s.Nnl; o += b + 1) {
    const double V = s.vnl[o];
    double cs = 1.0 / p[4];
    int64_t n = 0;
    for (int64_t i = 0; i < b; ++i) {
      const double f = U[o + i] * p[4 + 2 * i] - p[6 + 2 * i] * U[o + i + 1];
      if (p[5 + 2 * i] > std::fabs(f) || f * V < 0) break;
      cs += 1.0 / p[6 + 2 * i];
      ++n;
    }
    const double e = V * h / cs;
    for (int64_t j = 1; j <= n; ++j) U[o + j] += e / p[4 + 2 * j];
    s.snl[o] = U[o + 1] * p[4] + U[o] * p[3];
  }
  StoreState(s, ro);
}

// Elements of five values as in the Linux form, whose states are the
// clipped friction forces themselves: the outputs z1, z2, T0 are exported
// and the states written back first, and only then does each output lose
// the spring p[7] times its observation (and the normal one the offset
// p[6]).  p[3] is not read.
void Clima2(NlState& s, _ROr ro) {
  const double h = timeIncrement(s, ro);
  const double* p = s.opt;
  double *U = s.unl, *S = s.snl;
  for (int32_t o = 0; o < s.Nnl; o += 5) {
    const ContactStep c = contactStep(s, o, h);
    S[o] = c.z1;
    S[o + 1] = c.z2;
    S[o + 2] = c.T.normal;
    U[o + 3] = c.z1;
    U[o + 4] = c.z2;
  }
  StoreState(s, ro);
  for (int32_t o = 0; o < s.Nnl; o += 5) {
    S[o] = S[o] - p[7] * U[o];
    S[o + 1] = S[o + 1] - p[7] * U[o + 1];
    S[o + 2] = S[o + 2] - (p[7] * U[o + 2] + p[6]);
  }
}

}  // namespace win64

namespace {

using std::to_string;

// Blocks of iopt[3] + 1 values, at least `least` states each, filling the
// slice; returns the number of states per block.
int64_t checkBlocks(const NlState& s, const char* law, int64_t least) {
  needIopt(s, law, 5);
  const int64_t b = s.iopt[3];
  if (b < least)
    invalid(law, "iopt[3] (states per block) must be at least " +
                     to_string(least) + ", is " + to_string(b));
  if (s.Nnl % (b + 1) != 0)
    invalid(law, "Nnl must be a multiple of the block length iopt[3] + 1 = " +
                     to_string(b + 1) + ", is " + to_string(s.Nnl));
  return b;
}

// Branch i reads p[3i+3 … 3i+5].
void checkDahlBranches(const NlState& s) {
  if (s.Nslice == 1) fail(Reason::Empty, "Incorrect unl");
  const int64_t b = checkBlocks(s, "FuDahlC", 0);
  needOpt(s, "FuDahlC", 3 * b + 3);
  needRates(s, "FuDahlC");
  checkBuffers(s, "FuDahlC", s.Nnl);
  checkStateBlocks(s, "FuDahlC");
}

// Link i reads p[4+2i … 6+2i]; the output reads U[o+1], so a block holds a
// slider at least.
void checkSliderChain(const NlState& s) {
  const int64_t b = checkBlocks(s, "STS", 1);
  needOpt(s, "STS", 2 * b + 5);
  needRates(s, "STS");
  checkBuffers(s, "STS", s.Nnl);
  checkStateBlocks(s, "STS");
}

// Parameters up to the spring p[7]; the outputs are written before the
// spring reads the observations, so they need a buffer of their own.
void checkContactStates(const NlState& s) {
  checkContactLaw(s, 8);
  if (s.snl == s.unl)
    invalid("Clima2", "needs an \"snl\" of its own: the spring reads the "
                      "observations after the outputs are written");
}

const LawForm kWin64Laws[] = {
    {"Power", FuPower, false, checkPower, perValue},
    {"Maxw", Maxw, true, checkMaxw, perValue},
    {"Table", FuTable, false, checkTableLaw, perTableColumn},
    {"Expon", FuExpon, false, checkExpon, perValue},
    {"DahlC", win64::FuDahlC, true, checkDahlBranches, perValue},
    {"Clima2", win64::Clima2, true, checkContactStates, perValue},
    {"sts", win64::STS, true, checkSliderChain, perValue},
};

}  // namespace

LawTable win64Laws() {
  return {kWin64Laws, static_cast<int>(std::size(kWin64Laws))};
}

}  // namespace spardyn
