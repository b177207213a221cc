// The command tables of the flavours and the answers given by the
// dispatcher itself.
#include <cstddef>
#include <string>

#include "call.hpp"
#include "host.hpp"
#include "spardyn/error.hpp"
#include "spardyn/flavor.hpp"
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
// The source revisions: of the whole command set, and of the earlier one.
constexpr const char* kRevision =
    "$Revision: 1.38 $  $Date: 2018/05/15 16:21:58 $";
constexpr const char* kEarlierRevision =
    "$Revision: 1.20 $  $Date: 2016/06/03 08:28:07 $";

void cmdIsMex(Call& c) { c.setOut(1, host::newScalar(1.0)); }
void cmdOmp(Call& c) { c.setOut(1, host::newScalar(-1.0)); }
void cmdNlv1(Call&) {}
void cmdCvs(Call& c) { c.setOut(1, host::newString(kRevision)); }
void cmdCvsEarlier(Call& c) { c.setOut(1, host::newString(kEarlierRevision)); }

const Command kIsMex{"ismex", cmdIsMex, 1};
const Command kNlv1{"nlv1", cmdNlv1, 1};
const Command kCvs{"cvs", cmdCvs, 1};
const Command kCvsEarlier{"cvs", cmdCvsEarlier, 1};
const Command kOmp{"omp", cmdOmp, 1};

// A command table: scanned in its order; the first word equal to the
// command runs.
struct CommandTable {
  const Command* const* rows;
  std::size_t count;
};

template <std::size_t N>
constexpr CommandTable tableOf(const Command* const (&rows)[N]) {
  return {rows, N};
}

// The Linux x86-64 and Windows x64 modules.
constexpr const Command* kCommands[] = {
    &kIsMex,    &kResidual, &kChandleSet, &kChandleGet, &kChandleClear,
    &kChandleDiagNewmark,   &kNlv1,       &kSetSparse,  &kCAtB,
    &kDtkt,     &kAbc,      &kTaKTb,      &kDirectZr,   &kIgsm,
    &kCvs,      &kTbbp,     &kOmp,
};

// The earlier command set of the Windows x86 module, in the same order: no
// handle commands, no "nlv1" (all unknown there), and the earlier forms of
// "residual" (no handle vectors, the earlier walk of the "NL" list),
// "c<-a'*b" (size errors without identifier) and "cvs".
constexpr const Command* kEarlierCommands[] = {
    &kIsMex, &kResidualEarlier, &kSetSparse, &kCAtBEarlier, &kDtkt, &kAbc,
    &kTaKTb, &kDirectZr,        &kIgsm,      &kCvsEarlier,  &kTbbp, &kOmp,
};

// The command table of the flavour being built.
constexpr CommandTable kTable = kFlavor == Flavor::win32
                                    ? tableOf(kEarlierCommands)
                                    : tableOf(kCommands);

// The command word; anything that is not text reads as "" and matches
// nothing.  Comparison is on the whole string, so an embedded zero byte
// ends the word as the host's own string copy would.
std::string commandWord(const host::Value* v) {
  const std::string w = host::text(v);
  return w.substr(0, w.find('\0'));
}

// Objects still registered are destroyed with their values, as a clear of
// all would; then the worker threads end and the table of mappings closes.
// The registry starts afresh, its numbering from 0: Octave 7 runs this on
// "clear spardyn" but keeps a module built for the interleaved array
// interface loaded, statics and all, and calls the same image at the next
// use.
void unload() {
  cIndex.releaseAll();
  cIndex = hindex();
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
  for (std::size_t k = 0; k < kTable.count; ++k) {
    const Command* cmd = kTable.rows[k];
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
