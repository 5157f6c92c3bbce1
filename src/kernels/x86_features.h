// What an x86-64 CPU says about itself, asked once with three CPUID
// instructions, for the vector kernel sets to test the bits they need. Not
// __builtin_cpu_supports: its start-up code asks a score of CPUID leaves in
// every run, and under a hypervisor each CPUID traps (7 microseconds each
// measured on the machine this was written on), which cost a tenth of a
// 50-digit lookup.
// Plain code: it runs before anything is known about the CPU.
#pragma once

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))

#include <cpuid.h>

namespace rovurer::kernels {

// The CPUID bits the kernel sets test, by register.
namespace cpuid_bit {
inline constexpr unsigned leaf1_ecx_popcnt = 1U << 23;
inline constexpr unsigned leaf1_ecx_osxsave = 1U << 27;
inline constexpr unsigned leaf7_ebx_avx2 = 1U << 5;
inline constexpr unsigned leaf7_ebx_avx512f = 1U << 16;
inline constexpr unsigned leaf7_ebx_avx512dq = 1U << 17;
inline constexpr unsigned leaf7_ebx_avx512ifma = 1U << 21;
inline constexpr unsigned leaf7_ebx_avx512bw = 1U << 30;
inline constexpr unsigned leaf7_ebx_avx512vl = 1U << 31;
inline constexpr unsigned leaf7_ecx_avx512vbmi = 1U << 1;
inline constexpr unsigned leaf7_ecx_avx512vbmi2 = 1U << 6;
}  // namespace cpuid_bit

// The XCR0 bits of the register state the system saves.
namespace saved_state {
inline constexpr unsigned sse_and_avx = 0x6;  // XMM and YMM upper halves
inline constexpr unsigned avx512 = 0xE6;      // and the opmask, ZMM upper halves and ZMM16-31
}  // namespace saved_state

struct x86_features {
    unsigned leaf1_ecx = 0;  // CPUID leaf 1
    unsigned leaf7_ebx = 0;  // leaf 7, subleaf 0
    unsigned leaf7_ecx = 0;
    bool saves_256 = false;  // the system saves the 256-bit registers (XCR0: SSE and AVX state)
    bool saves_512 = false;  // and the 512-bit and mask registers (XCR0: opmask, ZMM halves, ZMM16-31)

    // Whether every bit of `mask` is set in `bits`.
    static bool all(unsigned bits, unsigned mask) { return (bits & mask) == mask; }
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
        found.leaf1_ecx = ecx;
        if (highest_leaf < 7) {
            return found;
        }
        if ((ecx & cpuid_bit::leaf1_ecx_osxsave) != 0) {  // XGETBV tells which registers the system saves
            unsigned saved_low = 0;
            unsigned saved_high = 0;
            __asm__("xgetbv" : "=a"(saved_low), "=d"(saved_high) : "c"(0));
            found.saves_256 = x86_features::all(saved_low, saved_state::sse_and_avx);
            found.saves_512 = x86_features::all(saved_low, saved_state::avx512);
        }
        __cpuid_count(7, 0, eax, ebx, ecx, edx);
        found.leaf7_ebx = ebx;
        found.leaf7_ecx = ecx;
        return found;
    }();
    return features;
}

}  // namespace rovurer::kernels

#endif
