// The command table and the answers given by the dispatcher itself.
#include <string>

#include "host.hpp"
#include "spardyn/command.hpp"
#include "spardyn/error.hpp"
#include "spardyn/parallel.hpp"
#include "spardyn/registry.hpp"

namespace spardyn {

const host::Value* Call::in(int k) const {
  if (!has(k))
    fail(Reason::WrongSize, "spardyn " + word_ + " : input " +
                                std::to_string(k) + " is missing (" +
                                std::to_string(nrhs_) + " given)");
  return prhs_[k - 1];
}

void Call::setOut(int k, host::Value* v) const {
  if (k > 1 && k > nlhs_) return;  // the caller did not ask for it
  plhs_[k - 1] = v;
}

namespace {

constexpr double kVersion = 1.0001;
constexpr const char* kRevision =
    "$Revision: 1.38 $  $Date: 2018/05/15 16:21:58 $";

void cmdIsMex(Call& c) { c.setOut(1, host::newScalar(1.0)); }
void cmdCvs(Call& c) { c.setOut(1, host::newString(kRevision)); }
void cmdOmp(Call& c) { c.setOut(1, host::newScalar(-1.0)); }
void cmdNlv1(Call&) {}

struct Command {
  const char* word;
  void (*run)(Call&);
  int minInputs;  // inputs the handler always reads, the command word included
};

// Scanned in this order; the first word equal to the command runs.
constexpr Command kCommands[] = {
    {"ismex", cmdIsMex, 1},
    {"residual", cmdResidual, 6},
    {"chandleset", cmdChandleSet, 3},
    {"chandleget", cmdChandleGet, 1},
    {"chandleclear", cmdChandleClear, 1},
    {"chandlediagnewmark", cmdChandleDiagNewmark, 6},
    {"nlv1", cmdNlv1, 1},
    {"setsparse", cmdSetSparse, 2},
    {"c<-a'*b", cmdCAtB, 3},
    {"dtkt", cmdDtkt, 3},
    {"abc", cmdAbc, 5},
    {"ta'*k*tb", cmdTaKTb, 4},
    {"directzr", cmdDirectZr, 5},
    {"igsm", cmdIgsm, 1},  // checks its own input count
    {"cvs", cmdCvs, 1},
    {"tbbp", cmdTbbp, 4},
    {"omp", cmdOmp, 1},
};

// The command word; anything that is not text reads as "" and matches
// nothing.  Comparison is on the whole string, so an embedded zero byte
// ends the word as the host's own string copy would.
std::string commandWord(const host::Value* v) {
  const std::string w = host::text(v);
  return w.substr(0, w.find('\0'));
}

}  // namespace

// Objects still registered are destroyed with their values, as a clear of
// all would; then the worker threads end.
void unload() {
  cIndex.releaseAll();
  shutdownWorkers();
}

void dispatch(Call& call) {
  host::atExit(unload);
  if (call.inputs() == 0) {  // version query: output 1 even when not asked
    call.setOut(1, host::newScalar(kVersion));
    return;
  }
  call.setWord(commandWord(call.inSlots()[0]));
  for (const Command& cmd : kCommands) {
    if (call.word() != cmd.word) continue;
    if (call.inputs() < cmd.minInputs)
      fail(Reason::WrongSize,
           "spardyn " + call.word() + " : " +
               std::to_string(cmd.minInputs - 1) + " arguments expected, " +
               std::to_string(call.inputs() - 1) + " given");
    cmd.run(call);
    return;
  }
  fail("spardyn : Unknown command");
}

}  // namespace spardyn
