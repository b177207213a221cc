#include "spardyn/command.hpp"
#include "spardyn/error.hpp"

namespace spardyn {
void cmdChandleDiagNewmark(Call&) { fail(Reason::Invalid, "spardyn chandlediagnewmark : not available yet"); }
}  // namespace spardyn
