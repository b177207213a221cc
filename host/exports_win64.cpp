// What the Windows x64 module exports beside mexFunction: the array
// interface version it was built for, and the interpolation for other
// native modules of the toolbox, under its plain C name.
#include "export.hpp"
#include "spardyn/interp.hpp"

// The host reads the release the module was built by (131466, 0x0002018A)
// and the array interface it needs (0x07300000: 64-bit sizes and indices).
extern "C" SPARDYN_EXPORT void mexfilerequiredapiversion(
    unsigned int* builtByRelease, unsigned int* targetApiVersion) {
  *builtByRelease = 131466;
  *targetApiVersion = 0x07300000;
}

// spardyn::qz_time_LinInterp for callers outside the module (interp.hpp:
// table X of NX rows and 1 + NC columns, N queries x, state s of three
// values, outputs y and, when X2 and y2 are given, y2).
extern "C" SPARDYN_EXPORT void qz_time_LinInterp(double* X, double* x,
                                                 double* s, double* y, int NX,
                                                 int NC, int N, int mode,
                                                 double* X2, double* y2) {
  spardyn::qz_time_LinInterp(X, x, s, y, NX, NC, N, mode, X2, y2);
}
