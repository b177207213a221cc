#include "gather.hpp"

#include <string>

#include "handle_values.hpp"
#include "spardyn/error.hpp"
#include "spardyn/handle_factory.hpp"

namespace spardyn {

namespace {

[[noreturn]] void noHandle() { fail(Reason::NonHandle, "Handle does not exist"); }

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
  h->set_val(code,
             std::make_unique<HostValue>(const_cast<host::Value*>(e), false));
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

chandle* registeredHandle(const host::Value* number, const char* what) {
  chandle* h = cIndex.getStack(host::int32Of(number, what));
  if (!h) noHandle();
  return h;
}

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
    HostDescription description(*h);
    h->initCpt(description);
  }
  return list;
}

}  // namespace spardyn
