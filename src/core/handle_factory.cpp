#include "spardyn/handle_factory.hpp"

#include "spardyn/error.hpp"
#include "spardyn/newmark.hpp"
#include "spardyn/nl_inout.hpp"
#include "spardyn/sparse_terms.hpp"

namespace spardyn {

std::unique_ptr<chandle> chandleInitByType(int32_t type) {
  switch (type) {
    case kTypeStiffness: return std::make_unique<chandleSparseStiffness>();
    case kTypeMass: return std::make_unique<chandleSparseMass>();
    case kTypeDamping: return std::make_unique<chandleSparseDamping>();
    case kTypeNlInOut: return makeNlInOut();
    case kTypeStepper: return std::make_unique<chandleDiagNewmark>();
    default: fail(Reason::NonHandle, "Not a valid chandle type");
  }
}

}  // namespace spardyn
