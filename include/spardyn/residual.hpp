// The residual record of a call, and the residual of a model's matrices.
#pragma once

#include "spardyn/ror.hpp"

namespace host {
struct Value;
}

namespace spardyn {

class Call;

// The record of inputs 2 to 7 of "residual" and "chandlediagnewmark": u, v,
// a from inputs 4 to 6 (Ndof = rows of u; v and a, when not empty, hold at
// least Ndof values), the Rayleigh coefficients from input 7 ([rayM rayK] or
// its field "Rayleigh"; none when absent or empty), t from the field "tc" of
// an options structure input 7 (else 0), FNL from the model (input 3).
// Refuses complex inputs, and u, v, a or FNL that are not full double
// arrays.
_ROr getROr(const Call& call);

}  // namespace spardyn
