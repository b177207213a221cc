// The non-linear input/output term (type code 1003).
#pragma once

#include <memory>

#include "spardyn/chandle.hpp"

namespace spardyn {

std::unique_ptr<chandle> makeNlInOut();

}  // namespace spardyn
