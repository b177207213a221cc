// The residual record of a call, and the residual of a model's matrices.
#pragma once

#include "spardyn/ror.hpp"

namespace host {
struct Value;
}

namespace spardyn {

class Call;

// The record of inputs 2 to 7 of "residual" and "chandlediagnewmark": u, v,
// a from inputs 4 to 6 (Ndof = rows of u), the Rayleigh coefficients from
// input 7, FNL from the model (input 3).  t = 0.
_ROr getROr(const Call& call);

}  // namespace spardyn
