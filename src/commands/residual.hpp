// The parts of "residual" its two forms share: the whole form of the
// Linux x86-64 and Windows x64 modules (residual.cpp) and the earlier form
// of the Windows x86 module (residual_win32.cpp).
#pragma once

#include "call.hpp"
#include "host.hpp"
#include "spardyn/ror.hpp"

namespace spardyn {

enum class ResidualForm {
  Current,  // handle vectors, the "NL" walk with slices
  Earlier,  // no handle vectors, the earlier "NL" walk
};

// The record of inputs 2 to 7 after the complex tests, Ndof being the rows
// of ndofFrom: u, v, a (inputs 4 to 6, each holding at least Ndof values
// unless empty), the Rayleigh coefficients (input 7), FNL (the model's).
// The time is left at 0.
_ROr readRecord(const Call& call, const host::Value* ndofFrom);

// The residual vector: the caller's array, or the buffer an object shares,
// whose length only its owner knows (checked against the process's mappings
// just before the first write).
struct Target {
  double* r = nullptr;
  bool shared = false;
};

// The residual vector (input 2): at least Ndof values, sharing no data with
// the state it is computed from (it is written while they are read).
Target residualVector(const Call& call, const _ROr& ro);

// r ← r + M·a + C·v + K·u (with Rayleigh and modal damping) for the model's
// matrix cell (input 3, or its field "K"), the energies when two outputs
// are asked for, then the model's "NL" list in the form's walk, whose host
// functions receive modelAlias in place of input 3.
void residualOfMatrices(const Call& call, const _ROr& ro, const Target& t,
                        host::Value* modelAlias, ResidualForm form);

}  // namespace spardyn
