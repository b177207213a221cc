// The flavour of module being built.  One source makes three modules that
// differ in a few behaviours (docs/flavors.md):
//   linux64  Linux x86-64: the whole command set; exports mexFunction only
//   win64    Windows x64: other forms of the laws FuDahlC, STS and Clima2;
//            also exports mexfilerequiredapiversion and qz_time_LinInterp
//   win32    Windows x86: the earlier command set (no handle objects, the
//            earlier forms of "residual" and "c<-a'*b")
// Only the files that choose between the flavours include this header: the
// build compiles each of them once per flavour, with SPARDYN_FLAVOR set, and
// shares every other object between the modules.  Each choice is made in one
// place: the law table (flavor_laws.cpp), the command table (dispatch.cpp),
// the host call-back (host_call.cpp) and the exports (exports_<flavour>.cpp).
#pragma once

namespace spardyn {

enum class Flavor { linux64, win64, win32 };

#ifndef SPARDYN_FLAVOR
#error "SPARDYN_FLAVOR (linux64, win64 or win32) is set for the files compiled per flavour only"
#endif
inline constexpr Flavor kFlavor = Flavor::SPARDYN_FLAVOR;

}  // namespace spardyn
