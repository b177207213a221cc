// The force laws of the non-linear input/output term, and the exports they
// end with.  Host-free: a law sees the term's buffers through an NlState and
// the evaluation through the residual record.
//
// Buffer layout.  "unl" and "vnl" hold Nslice slices of Nnl values; slice 1
// (entries 0 … Nnl−1) is the current observation, written by the term before
// the law runs.  The stateful laws keep their internal states inside unl and,
// through StoreState, inside the displacement vector, from where the
// observation reads them back at the next evaluation.  opt[0] is the packed
// law name; iopt holds the integer options:
//   iopt[0]  position in FNL of the exported outputs (negative: none)
//   iopt[1]  position in u of the first internal state (≤ 0: none written)
//   iopt[2]  values before the states in one block of unl (Maxw: stride)
//   iopt[3]  internal states per block
//   iopt[4]  number of blocks
//   iopt[5]  position in opt of an interpolation table
//   iopt[6]  position in opt of its three-value cursor
//   iopt[7]  rows of the table, iopt[8] its value columns
#pragma once

#include <cstddef>
#include <cstdint>

#include "spardyn/ror.hpp"

namespace spardyn {

// Element count of a buffer whose size only its owner knows (an object's
// shared buffer): it passes every length check.
constexpr std::size_t kOwnerSized = static_cast<std::size_t>(-1);

struct NlState {
  double* unl = nullptr;  // observations and internal states
  double* vnl = nullptr;  // observed rates; null when the term has none
  double* snl = nullptr;  // outputs; the unl buffer when "snl" is absent
  double* opt = nullptr;  // opt[0] the law code, then the law's parameters
  const int32_t* iopt = nullptr;  // null when the term has no integer options
  int32_t Nnl = 0;     // values in one slice of unl
  int32_t nOpt = 0;    // elements of opt
  int32_t nIopt = 0;   // elements of iopt
  int32_t Nslice = 0;  // slices of unl
  // Element counts behind unl, vnl, snl (kOwnerSized when unknown).
  std::size_t nUnl = 0, nVnl = 0, nSnl = 0;
};

// A law reads the observations, writes the outputs snl and may advance
// internal states; the record is the evaluation's (time, u, FNL).
using Law = void (*)(NlState& s, _ROr ro);

// Memoryless laws; they end with the FNL export.
void FuPower(NlState& s, _ROr ro);  // S = p1·U^p2
void FuExpon(NlState& s, _ROr ro);  // S = p1·p2^U
void FuTable(NlState& s, _ROr ro);  // S = table(U), linear interpolation
// Laws with internal state; they end with StoreState.
void FuDahlC(NlState& s, _ROr ro);  // Dahl friction, one per pair of values
void STS(NlState& s, _ROr ro);      // spring in series with a slider
void Clima2(NlState& s, _ROr ro);   // tabulated contact, two Dahl directions
void Maxw(NlState& s, _ROr ro);     // linear state-space law in sub-steps

// Copies the Nnl outputs into ro.FNL from iopt[0], when the term has integer
// options, the record a force vector and iopt[0] ≥ 0.
void exportFNL(const NlState& s, const _ROr& ro);
// The FNL export (iopt required), then block k of the internal states
// (iopt[3] values from (k+1)·iopt[2] + k·iopt[3] in unl) into
// u[iu + k·iopt[3]] onward, for k < iopt[4], when iu = iopt[1] > 0.
void StoreState(const NlState& s, _ROr ro);
// End of a time step: slice 3 of unl and vnl into slice 1, when there are at
// least three slices.
void endStepCopy(NlState& s);

// The Windows x64 forms of three laws, selected by the same codes there.
namespace win64 {
// Blocks of b = iopt[3] + 1 values: U[o] unread, U[o+1 … o+b] the states of
// b Dahl branches (stiffness p[3i+3], exponent p[3i+4], saturation p[3i+5]),
// all slipping at V[o]; S[o] = the sum of the branch forces.
void FuDahlC(NlState& s, _ROr ro);
// Blocks of iopt[3] + 1 values: U[o] the displacement, U[o+1 …] a chain of
// sliders.  Kept in its Windows form, which is not dissipative: a
// displacement cycle does negative work on it (docs/flavors.md).
void STS(NlState& s, _ROr ro);
// As the Linux form, but the states are the friction forces without the
// spring, exported and written back before the spring p[7] and the offset
// p[6] are subtracted from the outputs.
void Clima2(NlState& s, _ROr ro);
}  // namespace win64

// The table of laws, looked up by the packed name in opt[0].  Each entry
// names its function, whether it keeps state, and the check of every size
// and position it relies on.  Another form of a law is another table.
struct LawForm {
  const char* name;  // packed into the code: first character least significant
  Law run;
  bool keepsState;   // ends with StoreState
  void (*check)(const NlState& s);
  int64_t (*outputs)(const NlState& s);  // values the law writes into snl
};

// The laws of one flavour of the module, in the order of their codes.
struct LawTable {
  const LawForm* forms;
  int count;
};
LawTable linux64Laws();  // also the Windows x86 module's (it has no terms)
LawTable win64Laws();
// The table of the flavour being built: the one switch between the forms.
LawTable flavorLaws();

// The name's bytes as the digits of a base-256 number, first character
// least significant ("Power" = 0x50 + 0x6F·256 + …).
constexpr int64_t packLawName(const char* name) {
  int64_t code = 0, weight = 1;
  for (; *name; ++name, weight *= 256)
    code += static_cast<int64_t>(static_cast<unsigned char>(*name)) * weight;
  return code;
}

// The law opt[0] names (truncated to a 64-bit integer) in the table, after
// the checks of its sizes and positions against the term's own buffers.
// Refuses an unknown code with "Unknown .opt(1) choice".  opt must hold a
// value.  Without a table: the flavour's.
const LawForm& selectLaw(const NlState& s, LawTable laws);
const LawForm& selectLaw(const NlState& s);

// The positions the law writes into the record's arrays (FNL, u) lie inside
// them.
void checkExports(const NlState& s, const LawForm& law, const _ROr& ro);

// One past the last entry of u that StoreState writes; 0 when none.
int64_t stateEnd(const NlState& s, const LawForm& law);

// How many values of each buffer a command reads or writes: the slices in
// use, the state blocks, the outputs (in unl when snl is unl).
struct BufferReach {
  int64_t unl = 0, vnl = 0, snl = 0;
};
BufferReach bufferReach(const NlState& s, const LawForm& law);

// A buffer shared by an object (element count kOwnerSized) is refused
// unless its reach is mapped readable and writable.
void checkSharedBuffers(const NlState& s, const LawForm& law);

}  // namespace spardyn
