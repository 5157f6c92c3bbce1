// Picks the kernel sets this CPU can run, once.
#include <array>

#include "kernels/digit_format.h"
#include "kernels/kernel_sets.h"

std::span<const digit_kernels* const> supported_kernels() {
    static const digit_kernels* const avx512 = avx512_kernels_if_supported();
    static const std::array<const digit_kernels*, 2> kernels = {&scalar_kernels, avx512};
    return {kernels.data(), avx512 != nullptr ? 2U : 1U};
}

const digit_kernels& best_kernels() {
    static const digit_kernels* const best = supported_kernels().back();
    return *best;
}
