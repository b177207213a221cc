// The host values handle objects are made from: how an object keeps one,
// and the reader that turns it into the plain records the object computes
// on.
#pragma once

#include "host.hpp"
#include "spardyn/chandle.hpp"
#include "spardyn/descriptions.hpp"

namespace spardyn {

// A host value held by an object: the object's own persistent copy
// (released with the object), or a caller's value it only borrows for one
// command (a cell element, never released by the module).
class HostValue final : public StoredValue {
 public:
  HostValue(host::Value* value, bool owned) : value_(value), owned_(owned) {}
  ~HostValue() override {
    if (owned_) host::destroy(value_);
  }
  host::Value* value() const { return value_; }
  bool owned() const { return owned_; }

 private:
  host::Value* value_;
  bool owned_;
};

// The value h stores; null when none.
host::Value* storedValue(const chandle& h);
// The value h stores; when none is stored, prints "Empty value\n" and
// stores (and returns) a persistent empty matrix.
host::Value* get_val(chandle& h);

// Reads what an object computes on from the value it stores; every read
// is checked, in the order the object asks for it.
class HostDescription final : public DescriptionReader {
 public:
  explicit HostDescription(chandle& object) : object_(object) {}
  bool privateCopy() const override;
  SparseView termMatrix() override;
  NlTermDescription nlTerm() override;
  StepperTables stepperTables() override;

 private:
  chandle& object_;
};

}  // namespace spardyn
