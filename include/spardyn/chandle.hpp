// Native handle objects: the base class through which the residual command
// and the stepper drive any mix of terms, and the stored value an object is
// made from.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "spardyn/disjoint.hpp"
#include "spardyn/ror.hpp"

namespace spardyn {

// Type codes.
enum : int32_t {
  kTypeStiffness = 1,
  kTypeMass = 2,
  kTypeDamping = 3,
  kTypeNlInOut = 1003,
  kTypeStepper = 2000,
};

// The value an object describes itself by: a host value the commands layer
// stores, reads and releases.  The objects never look inside it; they keep
// it alive and release it with themselves.
class StoredValue {
 public:
  virtual ~StoredValue() = default;
};

class DescriptionReader;  // descriptions.hpp

class chandle {
 public:
  chandle() = default;
  chandle(const chandle&) = delete;
  chandle& operator=(const chandle&) = delete;
  virtual ~chandle() = default;

  // Called every time the object is gathered for a command, before any
  // other operation of that command: derives the working data from the
  // plain records the reader makes of the stored value.  Must give the same
  // result when repeated.
  virtual void initCpt(DescriptionReader& read) = 0;
  // Called once per command after initCpt, with the record the command will
  // evaluate, before anything is written: refuses an object whose reads or
  // writes would leave the arrays of that record (or its own).
  virtual void checkBounds(const _ROr& ro) {}
  // Called by the stepper once per time step, after the residuals of all
  // terms of that step.
  virtual void EndStep() {}
  // Adds the object's contribution for the state in ro to r[0 … ro.Ndof−1];
  // never clears r.  Called once per evaluation, after checkBounds.
  virtual void Residual(_ROr ro, double* r) {}
  // One past the last entry of the displacement vector that the object
  // writes its internal states into; 0 when it writes none.  The stepper
  // keeps it within the state it carries.
  virtual int64_t stateEnd() const { return 0; }
  // The memory, outside the record's arrays, in which the object keeps
  // values from one evaluation to the next; none by default.
  virtual void keptState(std::vector<Span>& out) const {}

  // Stores the type code and the value, which the object now owns and
  // releases when it is destroyed.
  void set_val(int32_t code, std::unique_ptr<StoredValue> value);
  // The stored value; null when none is stored.
  StoredValue* get_val() const { return val_.get(); }

  int32_t type() const { return type_; }

 private:
  std::unique_ptr<StoredValue> val_;
  int32_t type_ = 0;
};

// Refuses ("VRK:spardyn:Invalid") two different objects of one command
// that keep state in the same memory: each would advance the other's.
// Messages number the objects from firstNumber.
void requireKeptStatesApart(chandle* const* objects, std::size_t n,
                            std::size_t firstNumber = 1);

}  // namespace spardyn
