// The kernel sets built into rovurer, and the one in use.
//
// Every set is listed once (registry.cpp), from the portable one up to the
// fastest; the set in use is the last one this CPU supports, chosen once,
// unless use() names another.
#pragma once

#include <span>
#include <string_view>

#include "kernels/kernel_set.h"

namespace rovurer::kernels {

// Every set built in, supported here or not, in order of preference (the
// last is the fastest).
std::span<const kernel_set* const> all_sets();

// The sets this CPU supports, in the same order: portable first.
std::span<const digit_kernels* const> supported_sets();

// The set named `name` when this CPU supports it, else nullptr.
const digit_kernels* find_supported(std::string_view name);

// The set in use: the fastest supported set unless use() chose another.
const digit_kernels& active();

// Makes `set` (one of supported_sets()) the set in use. Call it before
// other threads use kernels: the choice is not synchronised.
void use(const digit_kernels& set);

}  // namespace rovurer::kernels
