// The handle commands: "chandleset", "chandleget" and "chandleclear".
#include <memory>
#include <string>
#include <vector>

#include "call.hpp"
#include "gather.hpp"
#include "handle_values.hpp"
#include "spardyn/error.hpp"
#include "spardyn/handle_factory.hpp"
#include "spardyn/registry.hpp"

namespace spardyn {

namespace {

host::Value* numberList() {
  const std::vector<int32_t> numbers = cIndex.numbers();
  host::Value* out = host::newDouble(numbers.size(), 1);
  double* p = host::realData(out);
  for (std::size_t k = 0; k < numbers.size(); ++k) p[k] = numbers[k];
  return out;
}

// "chandleset", type, value
namespace chandleset {

enum { IN_CMD = 1, IN_TYPE, IN_VALUE, IN_END };

void run(Call& c) {
  const int32_t type = host::int32Of(c.in(IN_TYPE), "type code");
  std::unique_ptr<chandle> object = chandleInitByType(type);
  const int32_t number = cIndex.get_free_index();
  c.setOut(1, host::newScalar(number));
  const host::Value* value = c.in(IN_VALUE);
  if (host::isClass(value, "v_handle")) fail(Reason::NonHandle, "xxx");
  host::Value* copy = host::duplicate(value);
  host::makePersistent(copy);
  object->set_val(type, std::make_unique<HostValue>(copy, true));
  cIndex.setStack(number, std::move(object));
}

}  // namespace chandleset

// "chandleget" [, number]; or "chandleget", function, number, arguments…
namespace chandleget {

enum { IN_CMD = 1, IN_NUMBER, IN_END };
enum { IN_FUNCTION = 2, IN_FNUMBER, IN_FIRST_ARG };

// Inputs handed to "feval": the function, the stored value and up to seven
// further arguments.
constexpr int kMaxInputs = 9;

// [outputs] = feval(f, copy of value, args…)
void callOnValue(Call& c) {
  chandle* h = registeredHandle(c.in(IN_FNUMBER), "handle number");
  if (c.inputs() > kMaxInputs) fail(Reason::WrongSize, "varargin too large");
  host::Value* args[kMaxInputs - 1];
  int nin = 0;
  args[nin++] = const_cast<host::Value*>(c.in(IN_FUNCTION));
  args[nin++] = host::duplicate(get_val(*h));
  for (int k = IN_FIRST_ARG; k <= c.inputs(); ++k)
    args[nin++] = const_cast<host::Value*>(c.in(k));
  host::call(c.outputs(), c.outSlots(), nin, args, "feval");
}

void run(Call& c) {
  if (c.inputs() == IN_CMD) {
    c.setOut(1, numberList());
    return;
  }
  if (c.inputs() == IN_NUMBER) {
    chandle* h = registeredHandle(c.in(IN_NUMBER), "handle number");
    c.setOut(1, host::duplicate(get_val(*h)));
    return;
  }
  callOnValue(c);
}

}  // namespace chandleget

// "chandleclear" [, number]
namespace chandleclear {

enum { IN_CMD = 1, IN_NUMBER, IN_END };

void run(Call& c) {
  const host::Value* number = c.optional(IN_NUMBER);
  if (!number || host::rows(number) == 0) {
    cIndex.free_index(-1);
    return;
  }
  cIndex.free_index(host::int32Of(number, "handle number"));
}

}  // namespace chandleclear

}  // namespace

const Command kChandleSet{"chandleset", chandleset::run, chandleset::IN_VALUE};
const Command kChandleGet{"chandleget", chandleget::run, chandleget::IN_CMD};
const Command kChandleClear{"chandleclear", chandleclear::run,
                            chandleclear::IN_CMD};

}  // namespace spardyn
