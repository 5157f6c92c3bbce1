// Picks the kernel sets this CPU can run, once.
//
// On AArch64 the NEON set is always there, on x86-64 the SSE2 set.
// ROVURER_KERNELS_LEVEL, set by the build option ROVURER_KERNELS, caps the
// x86-64 sets taken: 0 the baseline (SSE2) only, 1 up to AVX2, 2 (default) up
// to AVX-512. It exists so that each set can be run end to end on one machine.
#include <array>

#include "kernels/digit_format.h"
#include "kernels/kernel_sets.h"

#ifndef ROVURER_KERNELS_LEVEL
#define ROVURER_KERNELS_LEVEL 2
#endif

std::span<const digit_kernels* const> supported_kernels() {
    static const auto kernels = [] {
        std::array<const digit_kernels*, 5> sets{};
        std::size_t count = 0;
        sets[count++] = &scalar_kernels;
        const std::array<const digit_kernels*, 4> vector_sets = {
            neon_kernels_if_supported(), sse2_kernels_if_supported(),
            ROVURER_KERNELS_LEVEL >= 1 ? avx2_kernels_if_supported() : nullptr,
            ROVURER_KERNELS_LEVEL >= 2 ? avx512_kernels_if_supported() : nullptr};
        for (const digit_kernels* set : vector_sets) {
            if (set != nullptr) {
                sets[count++] = set;
            }
        }
        return std::pair{sets, count};
    }();
    return {kernels.first.data(), kernels.second};
}

const digit_kernels& best_kernels() {
    static const digit_kernels* const best = supported_kernels().back();
    return *best;
}
