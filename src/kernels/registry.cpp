#include "kernels/registry.h"

#include <array>
#include <cstring>

namespace rovurer::kernels {

// The kernel sets, one a line, from the baseline up: each is the
// `NAME_set` that sets/NAME.cpp defines.
#define ROVURER_KERNEL_SETS(set) set(portable) set(sse2) set(neon) set(avx2) set(avx512)

#define ROVURER_DECLARE_SET(name) extern const kernel_set name##_set;
ROVURER_KERNEL_SETS(ROVURER_DECLARE_SET)
#undef ROVURER_DECLARE_SET

namespace {

#define ROVURER_LIST_SET(name) &name##_set,
constexpr std::array sets = {ROVURER_KERNEL_SETS(ROVURER_LIST_SET)};
#undef ROVURER_LIST_SET

struct supported_list {
    std::array<const digit_kernels*, sets.size()> functions{};
    std::size_t count = 0;
};

const supported_list& supported() {
    static const supported_list list = [] {
        supported_list found;
        for (const kernel_set* set : sets) {
            if (set->supported()) {
                found.functions[found.count++] = set->functions;
            }
        }
        return found;
    }();
    return list;
}

const digit_kernels* chosen = nullptr;

}  // namespace

std::span<const kernel_set* const> all_sets() {
    return sets;
}

std::span<const digit_kernels* const> supported_sets() {
    return {supported().functions.data(), supported().count};
}

const digit_kernels* find_supported(std::string_view name) {
    for (const digit_kernels* set : supported_sets()) {
        if (name == set->name) {
            return set;
        }
    }
    return nullptr;
}

const digit_kernels& active() {
    static const digit_kernels* const fastest = supported_sets().back();
    return chosen != nullptr ? *chosen : *fastest;
}

void use(const digit_kernels& set) {
    chosen = &set;
}

}  // namespace rovurer::kernels
