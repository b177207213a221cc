// The walk of a model's "NL" list, a step of "residual" after the model's
// matrices and energies: each entry's observations, its force (from a host
// function, the host function "nl_spring", any callable, or the rotating
// centre computed by the core), and its injection into r.
#pragma once

#include "host.hpp"
#include "spardyn/ror.hpp"

namespace spardyn {

// The inputs every host function of the list receives after the function
// and the entry: inputs 2 to 8 of the call, in order, an empty array for
// those the call did not pass.  The model is handed over as an alias taken
// before the module read it (host::callAlias).
struct HandOver {
  host::Value* inputs[7] = {};
};

// The list of a model structure, or null when it has none (no field "NL",
// or one that is not a cell): nothing to walk.  A list with rows but fewer
// than three columns is refused, before anything is written.
const host::Value* nonLinearityList(const host::Value* model);

// r ← r + the force of every entry of the list, rows in order.  Each entry
// is checked before it writes anything (its force after the host function
// that gives it); an error of a host function passes through unchanged,
// the entries before it keeping what they added.  rShared: r is a buffer
// shared by an object, checked against the process's mappings again before
// each write (a host function called back may have released it).
void addNonLinearities(const host::Value* list, const HandOver& hand,
                       const _ROr& ro, double* r, bool rShared);

}  // namespace spardyn
