// The handle registry, the making of objects from type codes, the gathering
// of handle vectors, and the commands "chandleset", "chandleget" and
// "chandleclear".
#include "spardyn/registry.hpp"

#include <string>

#include "host.hpp"
#include "spardyn/command.hpp"
#include "spardyn/error.hpp"
#include "spardyn/newmark.hpp"
#include "spardyn/nl_inout.hpp"
#include "spardyn/sparse_terms.hpp"

namespace spardyn {

hindex cIndex;

// --- the registry ------------------------------------------------------------

chandle* hindex::getStack(int32_t number) const {
  const auto it = stack.find(number);
  return it == stack.end() ? nullptr : it->second.get();
}

void hindex::setStack(int32_t number, std::unique_ptr<chandle> object) {
  stack.emplace(number, std::move(object));
}

void hindex::free_index(int32_t number) {
  if (holders_ > 0)
    fail(Reason::Invalid,
         "spardyn chandleclear : handles are in use by the running command");
  // A number at or above nextFree was never issued: nothing to clear, and
  // nextFree stays, so that no number in use is ever issued again.
  if (number != -1) {
    stack.erase(number);
    return;
  }
  releaseAll();
}

std::vector<int32_t> hindex::numbers() const {
  std::vector<int32_t> out;
  out.reserve(stack.size());
  for (const auto& entry : stack) out.push_back(entry.first);
  return out;
}

// Ascending order: each object runs doFree as it goes.
void hindex::releaseAll() noexcept {
  while (!stack.empty()) stack.erase(stack.begin());
}

std::unique_ptr<chandle> chandleInitByType(int32_t type) {
  switch (type) {
    case kTypeStiffness: return std::make_unique<chandleSparseStiffness>();
    case kTypeMass: return std::make_unique<chandleSparseMass>();
    case kTypeDamping: return std::make_unique<chandleSparseDamping>();
    case kTypeNlInOut: return makeNlInOut();
    case kTypeStepper: return makeDiagNewmark();
    default: fail(Reason::NonHandle, "Not a valid chandle type");
  }
}

// --- gathering ---------------------------------------------------------------

namespace {

[[noreturn]] void noHandle() { fail(Reason::NonHandle, "Handle does not exist"); }

// The registered object a host handle number names.
chandle* registered(const host::Value* number, const char* what) {
  chandle* h = cIndex.getStack(host::int32Of(number, what));
  if (!h) noHandle();
  return h;
}

// Element i of a cell handle vector: a structure with a numeric "type".
std::unique_ptr<chandle> fromCellElement(const host::Value* handles,
                                         std::size_t i) {
  const host::Value* e = host::cell(handles, i);
  const std::string where = "handle vector element " + std::to_string(i + 1);
  if (!e || !host::isStruct(e) || host::numel(e) == 0)
    fail(Reason::NonHandle, where + " is not a structure");
  const host::Value* type = host::field(e, "type");
  if (!type || !host::isNumeric(type) || host::isSparse(type) ||
      host::numel(type) == 0)
    fail(Reason::NonHandle, where + " has no numeric field \"type\"");
  const int32_t code = host::int32Of(type, "type");
  std::unique_ptr<chandle> h = chandleInitByType(code);
  // The element is the caller's: used in place, never copied or destroyed.
  h->set_val(code, const_cast<host::Value*>(e));
  h->borrow();
  return h;
}

// Element i (0-based) of a host "chandle" vector, through the host method
// "remi"(handles, i + 1).
chandle* fromObjectElement(const host::Value* handles, std::size_t i) {
  host::Value* in[2] = {const_cast<host::Value*>(handles),
                        host::newScalar(static_cast<double>(i + 1))};
  host::Value* out[1] = {nullptr};
  host::call(1, out, 2, in, "remi");
  host::destroy(in[1]);
  if (!out[0]) noHandle();
  const bool isNumber = host::isNumeric(out[0]) && !host::isSparse(out[0]) &&
                        host::numel(out[0]) > 0;
  if (!isNumber) {
    host::destroy(out[0]);
    fail(Reason::NonHandle, "remi returned no handle number for element " +
                                std::to_string(i + 1));
  }
  const int32_t number = host::int32Of(out[0], "handle number");
  host::destroy(out[0]);
  chandle* h = cIndex.getStack(number);
  if (!h) noHandle();
  return h;
}

}  // namespace

HandleList fillVectP(const host::Value* handles) {
  HandleList list;
  const bool isCell = host::isCell(handles);
  if (!isCell && !host::isClass(handles, "chandle"))
    fail(Reason::NonHandle,
         "handle vector expected (a chandle object or a cell of structures), "
         "got " + host::className(handles));
  const std::size_t n = host::numel(handles);
  list.items_.reserve(n);
  for (std::size_t i = 0; i < n; ++i) {
    chandle* h;
    if (isCell) {
      list.temporaries_.push_back(fromCellElement(handles, i));
      h = list.temporaries_.back().get();
    } else {
      h = fromObjectElement(handles, i);
    }
    list.items_.push_back(h);
    h->initCpt();
  }
  return list;
}

// --- commands ----------------------------------------------------------------

namespace {

enum { IN_TYPE = 2, IN_VALUE = 3 };  // "chandleset"
enum { IN_NUMBER = 2 };              // "chandleget", "chandleclear"
enum { IN_FUNCTION = 2, IN_FNUMBER = 3 };  // "chandleget" with a function

// Inputs of "chandleget" that are handed to "feval": the function, the
// stored value and up to seven further arguments.
constexpr int kMaxGetInputs = 9;

host::Value* numberList() {
  const std::vector<int32_t> numbers = cIndex.numbers();
  host::Value* out = host::newDouble(numbers.size(), 1);
  double* p = host::realData(out);
  for (std::size_t k = 0; k < numbers.size(); ++k) p[k] = numbers[k];
  return out;
}

// "chandleget", f, number, args…: [outputs] = feval(f, copy of value, args…)
void callOnValue(Call& c) {
  chandle* h = registered(c.in(IN_FNUMBER), "handle number");
  if (c.inputs() > kMaxGetInputs) fail(Reason::WrongSize, "varargin too large");
  host::Value* args[kMaxGetInputs - 1];
  int nin = 0;
  args[nin++] = const_cast<host::Value*>(c.in(IN_FUNCTION));
  args[nin++] = host::duplicate(h->get_val());
  for (int k = IN_FNUMBER + 1; k <= c.inputs(); ++k)
    args[nin++] = const_cast<host::Value*>(c.in(k));
  host::call(c.outputs(), c.outSlots(), nin, args, "feval");
}

}  // namespace

void cmdChandleSet(Call& c) {
  const int32_t type = host::int32Of(c.in(IN_TYPE), "type code");
  std::unique_ptr<chandle> object = chandleInitByType(type);
  const int32_t number = cIndex.get_free_index();
  c.setOut(1, host::newScalar(number));
  const host::Value* value = c.in(IN_VALUE);
  if (host::isClass(value, "v_handle")) fail(Reason::NonHandle, "xxx");
  host::Value* copy = host::duplicate(value);
  host::makePersistent(copy);
  object->set_val(type, copy);
  cIndex.setStack(number, std::move(object));
}

void cmdChandleGet(Call& c) {
  if (c.inputs() == 1) {
    c.setOut(1, numberList());
    return;
  }
  if (c.inputs() == 2) {
    chandle* h = registered(c.in(IN_NUMBER), "handle number");
    c.setOut(1, host::duplicate(h->get_val()));
    return;
  }
  callOnValue(c);
}

void cmdChandleClear(Call& c) {
  const host::Value* number = c.optional(IN_NUMBER);
  if (!number || host::rows(number) == 0) {
    cIndex.free_index(-1);
    return;
  }
  cIndex.free_index(host::int32Of(number, "handle number"));
}

}  // namespace spardyn
