// The registry of handle objects that live between calls, and the gathering
// of a host handle vector into objects for one command.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "spardyn/chandle.hpp"

namespace host {
struct Value;
}

namespace spardyn {

class hindex {
 public:
  // The number the next registration receives; then counts on.
  int32_t get_free_index() { return nextFree++; }
  // The object registered under number, or null; never adds an entry.
  chandle* getStack(int32_t number) const;
  // Registers a new object under a fresh number; the registry owns it.
  void setStack(int32_t number, std::unique_ptr<chandle> object);
  // −1: destroys every object; otherwise the one under number, if any.
  // Refused while a command holds gathered objects (a host function called
  // back during that command could otherwise destroy them under it).
  void free_index(int32_t number);
  // The registered numbers in ascending order.
  std::vector<int32_t> numbers() const;
  // Destroys every object, whatever holds them; for the module's unload.
  void releaseAll() noexcept;

  // Counts the commands that hold gathered objects (see HandleList).
  void hold() { ++holders_; }
  void unhold() { --holders_; }

 private:
  int32_t nextFree = 0;
  std::map<int32_t, std::unique_ptr<chandle>> stack;
  int holders_ = 0;
};

// The module's one registry, from load to unload.
extern hindex cIndex;

// A new, unregistered object of the class a type code names; refuses
// unknown codes with "Not a valid chandle type".
std::unique_ptr<chandle> chandleInitByType(int32_t type);

// The objects of a host handle vector (a cell of structures with a field
// "type", or a "chandle" object vector), each prepared by initCpt, in vector
// order.  Objects made from cell elements live as long as the list and
// never destroy their values, which are the caller's.  While a list lives,
// registered objects cannot be cleared.
class HandleList {
 public:
  HandleList() { cIndex.hold(); }
  ~HandleList() { cIndex.unhold(); }
  HandleList(HandleList&& other) noexcept
      : items_(std::move(other.items_)),
        temporaries_(std::move(other.temporaries_)) {
    cIndex.hold();
  }
  HandleList(const HandleList&) = delete;
  HandleList& operator=(const HandleList&) = delete;
  HandleList& operator=(HandleList&&) = delete;

  std::size_t size() const { return items_.size(); }
  chandle* operator[](std::size_t i) const { return items_[i]; }
  chandle* const* data() const { return items_.data(); }

 private:
  friend HandleList fillVectP(const host::Value* handles);
  std::vector<chandle*> items_;
  std::vector<std::unique_ptr<chandle>> temporaries_;
};

HandleList fillVectP(const host::Value* handles);

}  // namespace spardyn
