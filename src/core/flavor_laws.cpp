// The law forms of the flavour being built.
#include "spardyn/flavor.hpp"
#include "spardyn/laws.hpp"

namespace spardyn {

LawTable flavorLaws() {
  return kFlavor == Flavor::win64 ? win64Laws() : linux64Laws();
}

}  // namespace spardyn
