// Native handle objects: a stored host value that describes the object, and
// three operations through which the residual command and the stepper drive
// any mix of objects.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "spardyn/disjoint.hpp"
#include "spardyn/ror.hpp"

namespace host {
struct Value;
}

namespace spardyn {

// Type codes.
enum : int32_t {
  kTypeStiffness = 1,
  kTypeMass = 2,
  kTypeDamping = 3,
  kTypeNlInOut = 1003,
  kTypeStepper = 2000,
  kTypeFreed = -1,
};

class chandle {
 public:
  chandle() = default;
  chandle(const chandle&) = delete;
  chandle& operator=(const chandle&) = delete;
  virtual ~chandle();

  // Called every time the object is gathered for a command, before any
  // other operation of that command: derives the working data from val.
  // Must give the same result when repeated.
  virtual void initCpt() {}
  // Called once per command after initCpt, with the record the command will
  // evaluate, before anything is written: refuses an object whose reads or
  // writes would leave the arrays of that record (or its own).
  virtual void checkBounds(const _ROr& ro) {}
  // Called by the stepper once per time step, after the residuals of all
  // terms of that step.
  virtual void EndStep() {}
  // Adds the object's contribution for the state in ro to r[0 … ro.Ndof−1];
  // never clears r.
  virtual void Residual(_ROr ro, double* r) {}
  // One past the last entry of the displacement vector that the object
  // writes its internal states into; 0 when it writes none.  The stepper
  // keeps it within the state it carries.
  virtual int64_t stateEnd() const { return 0; }
  // The memory, outside the record's arrays, in which the object keeps
  // values from one evaluation to the next; none by default.
  virtual void keptState(std::vector<Span>& out) const {}

  // Stores the type code and the value itself (no copy; a previous value is
  // neither copied nor destroyed).
  void set_val(int32_t type, host::Value* value);
  // The stored value; when none is stored, prints "Empty value\n" and stores
  // (and returns) a persistent empty matrix.
  host::Value* get_val();
  // Releases the stored value when the object owns it, then val = null and
  // type = −1.
  void doFree();
  // Marks val as the caller's (a cell element): doFree never destroys it.
  void borrow() { owned_ = false; }
  // Whether val is the object's own persistent copy, which nothing outside
  // the module can change.
  bool ownsVal() const { return owned_; }

  host::Value* val = nullptr;
  int32_t type = 0;

 private:
  bool owned_ = true;
};

// Refuses ("VRK:spardyn:Invalid") two different objects of one command
// that keep state in the same memory: each would advance the other's.
// Messages number the objects from firstNumber.
void requireKeptStatesApart(chandle* const* objects, std::size_t n,
                            std::size_t firstNumber = 1);

}  // namespace spardyn
