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

// The two forms of the walk.  The earlier one, of the Windows x86 module:
// observation arrays have no slices (each is set to its reference "vnl0" /
// "unl0", as many values as the reference holds, or to zero, then c·v or
// c·u is added) and "opt" and input 7 are not read; a force function's
// force is the field "unl" of its output structure only (anything else
// ends the entry); a callable "type" injects "unl"; "snl" is read nowhere;
// and a dense command matrix is refused whatever its storage.
enum class WalkForm { Current, Earlier };

// r ← r + the force of every entry of the list, rows in order.  Each entry
// is checked before it writes anything (its force after the host function
// that gives it); an error of a host function passes through unchanged,
// the entries before it keeping what they added.  rShared: r is a buffer
// shared by an object, checked against the process's mappings again before
// each write (a host function called back may have released it).
void addNonLinearities(const host::Value* list, const HandOver& hand,
                       const _ROr& ro, double* r, bool rShared,
                       WalkForm form);

}  // namespace spardyn
