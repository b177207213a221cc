// The residual options record: the state of one evaluation, passed by value
// to every residual, step and force-law operation.  It points into host
// arrays of the current call and owns nothing.
#pragma once

#include <cstddef>
#include <cstdint>

namespace spardyn {

struct _ROr {
  int32_t Ndof = 0;    // entries of every vector loop: rows of u
  double rayM = 0.0;   // Rayleigh damping force rayM·M·v
  double rayK = 0.0;   // Rayleigh damping force rayK·K·v
  double t = 0.0;      // current time
  double* u = nullptr;
  double* v = nullptr;
  double* a = nullptr;    // null when the acceleration holds no data
  double* FNL = nullptr;  // the model's "FNL", null when absent

  // Element counts behind the pointers (0 when null), for the checks made
  // before anything is written.
  std::size_t nU = 0, nV = 0, nA = 0, nFNL = 0;
};

}  // namespace spardyn
