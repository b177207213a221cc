// The diagonal Newmark stepper (type code 2000).
#pragma once

#include <memory>

#include "spardyn/chandle.hpp"

namespace spardyn {

std::unique_ptr<chandle> makeDiagNewmark();

}  // namespace spardyn
