// The gathering of a host handle vector into the objects of one command.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "host.hpp"
#include "spardyn/chandle.hpp"
#include "spardyn/registry.hpp"

namespace spardyn {

// The registered object a host handle number names; "Handle does not
// exist" otherwise.
chandle* registeredHandle(const host::Value* number, const char* what);

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
