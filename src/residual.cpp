#include "spardyn/command.hpp"
#include "spardyn/error.hpp"

namespace spardyn {
void cmdResidual(Call&) { fail(Reason::Invalid, "spardyn residual : not available yet"); }
}  // namespace spardyn
