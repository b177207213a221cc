#include "spardyn/nl_inout.hpp"

#include "spardyn/error.hpp"

namespace spardyn {
std::unique_ptr<chandle> makeNlInOut() {
  fail(Reason::NonHandle, "non-linear terms are not available yet");
}
}  // namespace spardyn
