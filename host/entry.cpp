// The host entry point: runs one command and turns the module's own errors
// into host errors.  Exceptions of the host (raised inside call-backs) are
// not caught here and reach the host unchanged.
#include <mex.h>

#include <cstdio>
#include <new>

#include "export.hpp"
#include "host.hpp"
#include "spardyn/error.hpp"

namespace {

// The error leaves the module from these buffers, so that no object with a
// destructor is alive when the host takes over the unwinding.
char gIdentifier[64];
char gMessage[1024];

void keep(const std::string& id, const std::string& message) {
  std::snprintf(gIdentifier, sizeof gIdentifier, "%s", id.c_str());
  std::snprintf(gMessage, sizeof gMessage, "%s", message.c_str());
}

bool runCommand(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  try {
    host::runCommand(nlhs, reinterpret_cast<host::Value**>(plhs), nrhs,
                     reinterpret_cast<const host::Value* const*>(prhs));
    return true;
  } catch (const spardyn::Error& e) {
    keep(e.identifier(), e.message());
  } catch (const std::bad_alloc&) {
    keep("VRK:spardyn:OutOfMemory", "spardyn : out of memory");
  }
  return false;
}

}  // namespace

#if MX_HAS_INTERLEAVED_COMPLEX
// Octave hands complex arrays to a module as (re, im) pairs, its own data,
// only when the module carries this symbol (what "mkoctfile --mex -R2018a"
// adds); a module built for pairs without it makes Octave abort.  The
// build's export list decides whether it leaves the module (MATLAB reads
// mexfilerequiredapiversion instead).
extern "C" SPARDYN_EXPORT const int __mx_has_interleaved_complex__ = 1;
#endif

extern "C" SPARDYN_EXPORT void mexFunction(
    int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  if (runCommand(nlhs, plhs, nrhs, prhs)) return;
  if (gIdentifier[0])
    mexErrMsgIdAndTxt(gIdentifier, "%s", gMessage);
  else
    mexErrMsgTxt(gMessage);
}
