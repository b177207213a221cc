#include "spardyn/newmark.hpp"

#include "spardyn/command.hpp"
#include "spardyn/error.hpp"

namespace spardyn {
std::unique_ptr<chandle> makeDiagNewmark() {
  fail(Reason::NonHandle, "the stepper is not available yet");
}
void cmdChandleDiagNewmark(Call&) { fail(Reason::Invalid, "spardyn chandlediagnewmark : not available yet"); }
}  // namespace spardyn
