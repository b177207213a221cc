#include "spardyn/registry.hpp"

#include <string>

#include "spardyn/error.hpp"

namespace spardyn {

hindex cIndex;

int32_t hindex::get_free_index() {
  if (nextFree_ >= numberLimit_)
    fail(Reason::NonHandle,
         "spardyn chandleset : all " + std::to_string(numberLimit_) +
             " handle numbers have been issued; clear the module (clear "
             "spardyn) to number from 0 again");
  return static_cast<int32_t>(nextFree_++);
}

chandle* hindex::getStack(int32_t number) const {
  const auto it = stack_.find(number);
  return it == stack_.end() ? nullptr : it->second.get();
}

void hindex::setStack(int32_t number, std::unique_ptr<chandle> object) {
  stack_.emplace(number, std::move(object));
}

void hindex::free_index(int32_t number) {
  if (holders_ > 0)
    fail(Reason::Invalid,
         "spardyn chandleclear : handles are in use by the running command");
  // A number at or above nextFree was never issued: nothing to clear, and
  // nextFree stays, so that no number in use is ever issued again.
  if (number != -1) {
    stack_.erase(number);
    return;
  }
  releaseAll();
}

std::vector<int32_t> hindex::numbers() const {
  std::vector<int32_t> out;
  out.reserve(stack_.size());
  for (const auto& entry : stack_) out.push_back(entry.first);
  return out;
}

// Ascending order: each object releases its value as it goes.
void hindex::releaseAll() noexcept {
  while (!stack_.empty()) stack_.erase(stack_.begin());
}

}  // namespace spardyn
