// Numbers, decided once: every stored value is a 32-bit float, every intermediate is Wide.
#pragma once

using Wide = double;

#include <cmath>
#include <limits>

// A value that would be stored subnormal is stored as 0: subnormals cost many times a normal
// operation on most processors and carry nothing audible.
inline float FlushSubnormal(float x) {
    return (x != 0.0f && std::fabs(x) < std::numeric_limits<float>::min()) ? 0.0f : x;
}
