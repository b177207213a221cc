#include "spardyn/command.hpp"
#include "spardyn/error.hpp"

namespace spardyn {
void cmdChandleSet(Call&) { fail(Reason::Invalid, "spardyn chandleset : not available yet"); }
void cmdChandleGet(Call&) { fail(Reason::Invalid, "spardyn chandleget : not available yet"); }
void cmdChandleClear(Call&) { fail(Reason::Invalid, "spardyn chandleclear : not available yet"); }
}  // namespace spardyn
