// The registry of handle objects that live between calls: the module's only
// state from one call to the next.
#pragma once

#include <climits>
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "spardyn/chandle.hpp"

namespace spardyn {

class hindex {
 public:
  // Every number from 0 to INT32_MAX: a handle number travels as an int32,
  // and −1 is the number that clears everything.
  static constexpr int64_t kAllNumbers = int64_t(INT32_MAX) + 1;

  // numberLimit: how many numbers the registry may ever issue (tests give
  // a small one to reach the end without 2^31 registrations).
  explicit hindex(int64_t numberLimit = kAllNumbers)
      : numberLimit_(numberLimit < kAllNumbers ? numberLimit : kAllNumbers) {}

  // The number the next registration receives; then counts on.  Numbers are
  // never issued twice, so that a number kept by the host after its handle
  // was cleared can only ever name nothing: when all of them have been
  // issued, a registration is refused ("VRK:spardyn:NonHandle") until the
  // module is loaded again.
  int32_t get_free_index();
  // The object registered under number, or null; never adds an entry.
  chandle* getStack(int32_t number) const;
  // Registers an object under a number get_free_index issued; the registry
  // owns it from now on.
  void setStack(int32_t number, std::unique_ptr<chandle> object);
  // −1: destroys every object; otherwise the one under number, if any.
  // Refused while a command holds gathered objects (a host function called
  // back during that command could otherwise destroy them under it).
  void free_index(int32_t number);
  // The registered numbers in ascending order.
  std::vector<int32_t> numbers() const;
  // Destroys every object, whatever holds them; for the module's unload.
  void releaseAll() noexcept;

  // Counts the commands that hold gathered objects.
  void hold() { ++holders_; }
  void unhold() { --holders_; }

 private:
  int64_t nextFree_ = 0;
  int64_t numberLimit_;
  std::map<int32_t, std::unique_ptr<chandle>> stack_;
  int holders_ = 0;
};

// The module's one registry, from load to unload.
extern hindex cIndex;

}  // namespace spardyn
