// The host function that runs a call-back: mexCallMATLABWithObject where the
// host's header declares it, mexCallMATLAB otherwise.  Header-only, with no
// host header of its own, so that the choice can be tested without a host.
#pragma once

namespace host::callback {

// Stands in for a mexCallMATLABWithObject the host does not declare.  The
// call below is unqualified and depends on the array type, so the host's
// own declaration (found through the array type, a host type) takes part in
// overload resolution, and wins over this template wherever it exists.
template <class Array>
int mexCallMATLABWithObject(int nout, Array** out, int nin, Array** in,
                            const char* name) {
  return mexCallMATLAB(nout, out, nin, in, name);
}

// Runs the host function name; withObject asks for mexCallMATLABWithObject.
template <bool withObject, class Array>
int run(int nout, Array** out, int nin, Array** in, const char* name) {
  if constexpr (withObject)
    return mexCallMATLABWithObject(nout, out, nin, in, name);
  else
    return mexCallMATLAB(nout, out, nin, in, name);
}

}  // namespace host::callback
