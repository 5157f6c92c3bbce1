// Vector kernels, compiled for instruction sets the build machine's compiler
// knows but the running CPU may lack.
#pragma once

#include "digit_format.h"

// The vector kernels when the running CPU supports them, else nullptr.
const digit_kernels* simd_kernels_if_supported();
