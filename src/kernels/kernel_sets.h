// The vector kernel sets, each compiled for an instruction set that the
// running CPU may lack, so each is reached only through its check.
#pragma once

#include "kernels/digit_format.h"

// Marks the body of a kernel's main loop for llvm-mca (bench/mca), in a
// build with ROVURER_MCA_REGIONS only; nothing otherwise.
#ifdef ROVURER_MCA_REGIONS
#define ROVURER_MCA_BEGIN(name) __asm__ volatile("# LLVM-MCA-BEGIN " name)
#define ROVURER_MCA_END(name) __asm__ volatile("# LLVM-MCA-END " name)
#else
#define ROVURER_MCA_BEGIN(name) static_cast<void>(0)
#define ROVURER_MCA_END(name) static_cast<void>(0)
#endif

// The AVX-512 kernels when the running CPU has AVX-512 F, BW, DQ, VL, VBMI
// and VBMI2; nullptr on other CPUs and on builds for other architectures.
const digit_kernels* avx512_kernels_if_supported();

// The SSE2 kernels on x86-64, where SSE2 is always present; nullptr on
// builds for other architectures.
const digit_kernels* sse2_kernels_if_supported();

// The AVX2 kernels when the running CPU has AVX2; nullptr on other CPUs and
// on builds for other architectures.
const digit_kernels* avx2_kernels_if_supported();

// The NEON kernels on AArch64, where NEON is always present; nullptr on
// builds for other architectures.
const digit_kernels* neon_kernels_if_supported();
