// The one place that knows every concrete handle class.
#pragma once

#include <cstdint>
#include <memory>

#include "spardyn/chandle.hpp"

namespace spardyn {

// A new, unregistered object of the class a type code names, holding no
// value yet; refuses unknown codes with "Not a valid chandle type".
std::unique_ptr<chandle> chandleInitByType(int32_t type);

}  // namespace spardyn
