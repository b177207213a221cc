// The handle base class.
#include "spardyn/chandle.hpp"

#include <string>

#include "spardyn/error.hpp"

namespace spardyn {

void chandle::set_val(int32_t code, std::unique_ptr<StoredValue> value) {
  type_ = code;
  val_ = std::move(value);
}

// Terms made from copies of one host structure share its arrays until one
// is changed; the same object listed twice is one state.
void requireKeptStatesApart(chandle* const* objects, std::size_t n,
                            std::size_t firstNumber) {
  std::vector<Span> mine, theirs;
  for (std::size_t i = 0; i < n; ++i) {
    if (!objects[i]) continue;
    mine.clear();
    objects[i]->keptState(mine);
    for (std::size_t j = i + 1; j < n && !mine.empty(); ++j) {
      if (!objects[j] || objects[j] == objects[i])
        continue;
      theirs.clear();
      objects[j]->keptState(theirs);
      for (const Span& a : mine)
        for (const Span& b : theirs)
          if (overlap(a, b))
            fail(Reason::Invalid,
                 "handles " + std::to_string(i + firstNumber) + " and " +
                     std::to_string(j + firstNumber) +
                     " keep their states in the same memory (" + a.name +
                     ")");
    }
  }
}

}  // namespace spardyn
