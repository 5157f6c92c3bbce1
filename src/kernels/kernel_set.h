// What a kernel set's source provides: its registry entry. Each set lives in
// one file of sets/, named in the list in registry.cpp.
#pragma once

#include "kernels/digit_format.h"

namespace rovurer::kernels {

struct kernel_set {
    const char* name;                // as --kernels takes it
    bool (*supported)();             // whether this CPU can run it (false where it is not built)
    const digit_kernels* functions;  // the kernels; used only when supported
};

// `supported` for a set that every CPU of its architecture runs, and for a
// set whose source is not built for this architecture.
inline bool always_supported() {
    return true;
}
inline bool not_built_here() {
    return false;
}

}  // namespace rovurer::kernels

// Marks the body of a kernel's main loop for llvm-mca (bench/mca), in a
// build with ROVURER_MCA_REGIONS only; nothing otherwise.
#ifdef ROVURER_MCA_REGIONS
#define ROVURER_MCA_BEGIN(name) __asm__ volatile("# LLVM-MCA-BEGIN " name)
#define ROVURER_MCA_END(name) __asm__ volatile("# LLVM-MCA-END " name)
#else
#define ROVURER_MCA_BEGIN(name) static_cast<void>(0)
#define ROVURER_MCA_END(name) static_cast<void>(0)
#endif
