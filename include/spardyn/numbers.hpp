// Numbers read from host data.
#pragma once

#include <cstdint>

namespace spardyn {

// A handle number, type code, count or position given as a double:
// truncated toward zero.  NaN and values outside the int32 range give
// INT32_MIN, which every count and position treats as "none" or refuses.
constexpr int32_t truncInt32(double x) {
  return x > -2147483649.0 && x < 2147483648.0 ? static_cast<int32_t>(x)
                                               : INT32_MIN;
}

}  // namespace spardyn
