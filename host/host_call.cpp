// Call-backs into the host.  The Windows x64 module calls through
// mexCallMATLABWithObject where the host offers it (it also passes objects
// as arguments); the others through mexCallMATLAB.
#include <mex.h>

#include "call_with_object.hpp"
#include "host.hpp"
#include "spardyn/flavor.hpp"

namespace host {

int call(int nout, Value** out, int nin, Value** in, const char* name) {
  constexpr bool withObject = spardyn::kFlavor == spardyn::Flavor::win64;
  return callback::run<withObject>(nout, reinterpret_cast<mxArray**>(out),
                                   nin, reinterpret_cast<mxArray**>(in), name);
}

}  // namespace host
