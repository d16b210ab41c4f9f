#pragma once

#include <cstdint>

// Four floats or four 32-bit integers worked on at once (GCC and Clang vector types: plain
// arithmetic and comparisons work lane by lane, a comparison giving -1 where true and 0 where
// not). Each lane rounds exactly as the same scalar expression would.
using Lanes = float __attribute__((vector_size(16)));
using IntLanes = int32_t __attribute__((vector_size(16)));

inline Lanes splat(float v) { return Lanes{v, v, v, v}; }
