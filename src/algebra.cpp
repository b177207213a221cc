#include "spardyn/command.hpp"
#include "spardyn/error.hpp"

namespace spardyn {
namespace {
[[noreturn]] void notYet(const Call& c) { fail(Reason::Invalid, "spardyn " + c.word() + " : not available yet"); }
}
void cmdSetSparse(Call& c) { notYet(c); }
void cmdCAtB(Call& c) { notYet(c); }
void cmdDtkt(Call& c) { notYet(c); }
void cmdAbc(Call& c) { notYet(c); }
void cmdTaKTb(Call& c) { notYet(c); }
void cmdDirectZr(Call& c) { notYet(c); }
void cmdIgsm(Call& c) { notYet(c); }
}  // namespace spardyn
