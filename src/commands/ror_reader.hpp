// The residual record of a call, read from the inputs that "residual" and
// "chandlediagnewmark" share.
#pragma once

#include "call.hpp"
#include "spardyn/ror.hpp"

namespace spardyn {

// Inputs 2 to 7 of both commands: the residual (or handle vector), the
// model, u, v, a, and the Rayleigh coefficients or options.
enum { ROR_CMD = 1, ROR_R, ROR_MODEL, ROR_U, ROR_V, ROR_A, ROR_OPT };

// The record of inputs 2 to 7: u, v, a from inputs 4 to 6 (Ndof = rows of
// u; v and a, when not empty, hold at least Ndof values), the Rayleigh
// coefficients from input 7 ([rayM rayK] or its field "Rayleigh"; none when
// absent or empty), t from the field "tc" of an options structure input 7
// (else 0), FNL from the model (input 3).  Refuses complex inputs, and u,
// v, a or FNL that are not real full double arrays.
_ROr getROr(const Call& call);

}  // namespace spardyn
