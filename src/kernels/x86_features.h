// The x86-64 CPU features the vector kernel sets need, asked of the CPU once,
// with three CPUID instructions. Not __builtin_cpu_supports: its start-up
// code asks a score of CPUID leaves in every run, and under a hypervisor each
// CPUID traps (7 microseconds each measured on the machine this was written
// on), which cost a tenth of a 50-digit lookup.
// Plain code: it runs before anything is known about the CPU.
#pragma once

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))

#include <cpuid.h>

namespace rovurer::kernels {

struct x86_features {
    bool popcnt = false;
    bool avx2 = false;    // and the system saves the 256-bit registers
    bool avx512 = false;  // F, BW, DQ, VL, VBMI and VBMI2, and the system saves the 512-bit and mask registers
};

inline const x86_features& x86_cpu() {
    static const x86_features features = [] {
        x86_features found;
        const unsigned highest_leaf = __get_cpuid_max(0, nullptr);
        if (highest_leaf < 1) {
            return found;
        }
        unsigned eax = 0;
        unsigned ebx = 0;
        unsigned ecx = 0;
        unsigned edx = 0;
        __cpuid(1, eax, ebx, ecx, edx);
        found.popcnt = (ecx >> 23 & 1) != 0;
        const bool os_saves_vectors = (ecx >> 27 & 1) != 0;  // OSXSAVE: XGETBV tells which
        if (!os_saves_vectors || highest_leaf < 7) {
            return found;
        }
        unsigned saved_low = 0;
        unsigned saved_high = 0;
        __asm__("xgetbv" : "=a"(saved_low), "=d"(saved_high) : "c"(0));
        const bool saves_256 = (saved_low & 0x6) == 0x6;    // SSE and AVX state
        const bool saves_512 = (saved_low & 0xE6) == 0xE6;  // and mask, ZMM high halves, ZMM16-31
        __cpuid_count(7, 0, eax, ebx, ecx, edx);
        found.avx2 = saves_256 && (ebx >> 5 & 1) != 0;
        constexpr unsigned avx512_ebx = 1U << 16 | 1U << 17 | 1U << 30 | 1U << 31;  // F, DQ, BW, VL
        constexpr unsigned avx512_ecx = 1U << 1 | 1U << 6;                          // VBMI, VBMI2
        found.avx512 = saves_512 && (ebx & avx512_ebx) == avx512_ebx && (ecx & avx512_ecx) == avx512_ecx;
        return found;
    }();
    return features;
}

}  // namespace rovurer::kernels

#endif
