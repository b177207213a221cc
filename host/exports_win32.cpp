// What the Windows x86 module exports beside mexFunction: the interpolation
// for other native modules of the toolbox, with C++ linkage (cdecl, the
// default), in the global namespace and with exactly this signature, so
// that its name is the one those modules bind to: under MSVC on x86
// "?qz_time_LinInterp@@YAXPAN000HHHH00@Z", the platform's own C++ name
// elsewhere.
#include "export.hpp"
#include "spardyn/interp.hpp"

// spardyn::qz_time_LinInterp for callers outside the module (interp.hpp).
SPARDYN_EXPORT void qz_time_LinInterp(double* X, double* x, double* s,
                                      double* y, int NX, int NC, int N,
                                      int mode, double* X2, double* y2) {
  spardyn::qz_time_LinInterp(X, x, s, y, NX, NC, N, mode, X2, y2);
}
