// The command table and the answers given by the dispatcher itself.
#include <string>

#include "call.hpp"
#include "host.hpp"
#include "spardyn/error.hpp"
#include "spardyn/mapped_memory.hpp"
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

const Command kIsMex{"ismex", cmdIsMex, 1};
const Command kNlv1{"nlv1", cmdNlv1, 1};
const Command kCvs{"cvs", cmdCvs, 1};
const Command kOmp{"omp", cmdOmp, 1};

// Scanned in this order; the first word equal to the command runs.
const Command* const kCommands[] = {
    &kIsMex,    &kResidual, &kChandleSet, &kChandleGet, &kChandleClear,
    &kChandleDiagNewmark,   &kNlv1,       &kSetSparse,  &kCAtB,
    &kDtkt,     &kAbc,      &kTaKTb,      &kDirectZr,   &kIgsm,
    &kCvs,      &kTbbp,     &kOmp,
};

// The command word; anything that is not text reads as "" and matches
// nothing.  Comparison is on the whole string, so an embedded zero byte
// ends the word as the host's own string copy would.
std::string commandWord(const host::Value* v) {
  const std::string w = host::text(v);
  return w.substr(0, w.find('\0'));
}

// Objects still registered are destroyed with their values, as a clear of
// all would; then the worker threads end and the table of mappings closes.
void unload() {
  cIndex.releaseAll();
  shutdownWorkers();
  releaseMappingTable();
}

void dispatch(Call& call) {
  host::atExit(unload);
  if (call.inputs() == 0) {  // version query: output 1 even when not asked
    call.setOut(1, host::newScalar(kVersion));
    return;
  }
  call.setWord(commandWord(call.inSlots()[0]));
  for (const Command* cmd : kCommands) {
    if (call.word() != cmd->word) continue;
    if (call.inputs() < cmd->minInputs)
      fail(Reason::WrongSize,
           "spardyn " + call.word() + " : " +
               std::to_string(cmd->minInputs - 1) + " arguments expected, " +
               std::to_string(call.inputs() - 1) + " given");
    cmd->run(call);
    return;
  }
  fail("spardyn : Unknown command");
}

}  // namespace

}  // namespace spardyn

void host::runCommand(int nlhs, Value** plhs, int nrhs,
                      const Value* const* prhs) {
  spardyn::Call call(nlhs, plhs, nrhs, prhs);
  spardyn::dispatch(call);
}
