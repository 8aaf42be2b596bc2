#pragma once

#include <cmath>

inline bool IsSubnormal(float v) { return std::fpclassify(v) == FP_SUBNORMAL; }
