// "chandlediagnewmark": the handle vector gathered, the call's arrays read
// into the stepper's input/output record, then the whole run in the core.
#include <string>

#include "call.hpp"
#include "gather.hpp"
#include "ror_reader.hpp"
#include "spardyn/error.hpp"
#include "spardyn/newmark.hpp"

namespace spardyn {

namespace {

// "chandlediagnewmark", handles, model, u, v, a, Rayleigh [, step output
// [, storage]]
enum {
  IN_CMD = ROR_CMD, IN_HANDLES = ROR_R, IN_MODEL = ROR_MODEL, IN_U = ROR_U,
  IN_V = ROR_V, IN_A = ROR_A, IN_RAYLEIGH = ROR_OPT, IN_STEP_OUTPUT,
  IN_STORAGE, IN_END
};

// A field of s that may be absent (s itself may be null).
RealArray optionalArray(const host::Value* s, const char* name,
                        const char* what) {
  const host::Value* f = s ? host::field(s, name) : nullptr;
  return f ? host::realFull(f, std::string("Newmark stepper: ") + what)
           : RealArray{};
}

// The step output, the model's forces and the storage, read in this order;
// the stepper's checks that depend on one array alone run as soon as it is
// read.
StepperIO readStepperIO(const Call& call, int32_t N) {
  StepperIO io;
  const host::Value* out = call.optional(IN_STEP_OUTPUT);
  if (const host::Value* s = out ? host::field(out, "uva") : nullptr) {
    io.uva = optionalArray(s, "uva", "step output uva.uva");
    checkStepOutputRoom(io.uva, N);
    io.uvaFnl = optionalArray(s, "FNL", "step output uva.FNL");
  }
  io.modelFnl = optionalArray(call.in(IN_MODEL), "FNL", "model FNL");
  const host::Value* store = call.optional(IN_STORAGE);
  io.saveTimes = optionalArray(store, "data", "storage data");
  io.saveDef = optionalArray(store, "def", "storage def");
  checkSnapshotRows(io.saveDef, N);
  const host::Value* f = store ? host::field(store, "FNL") : nullptr;
  io.fnlSaveTimes = optionalArray(f, "data", "storage FNL.data");
  io.fnlSaveDef = optionalArray(f, "def", "storage FNL.def");
  return io;
}

void cmdChandleDiagNewmark(Call& call) {
  const _ROr ro = getROr(call);
  const host::Value* handles = call.in(IN_HANDLES);
  if (!host::isCell(handles) && !host::isClass(handles, "chandle"))
    fail(Reason::Invalid, "Expecting chandle vector");
  const HandleList list = fillVectP(handles);
  if (list.size() == 0)
    fail(Reason::NonHandle,
         "spardyn chandlediagnewmark : empty handle vector (the first "
         "element must be the stepper)");
  auto* stepper = dynamic_cast<chandleDiagNewmark*>(list[0]);
  if (!stepper)
    fail(Reason::NonHandle,
         "spardyn chandlediagnewmark : the first handle must be a Newmark "
         "stepper (type 2000)");
  const int32_t nTerms = static_cast<int32_t>(list.size() - 1);
  chandle* const* terms = list.data() + 1;
  stepper->initCb(readStepperIO(call, stepper->stepped()), ro, terms, nTerms);
  stepper->run(terms, nTerms, ro);
}

}  // namespace

const Command kChandleDiagNewmark{"chandlediagnewmark", cmdChandleDiagNewmark,
                                  IN_A};

}  // namespace spardyn
