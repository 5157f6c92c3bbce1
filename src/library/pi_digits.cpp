#include "library/pi_digits.h"

#include <algorithm>
#include <array>
#include <bit>

namespace rovurer {

namespace {

// The high and low halves of a * b.
struct wide {
    std::uint64_t high;
    std::uint64_t low;
};

inline wide multiply(std::uint64_t a, std::uint64_t b) {
#ifdef __SIZEOF_INT128__
    __extension__ using product_type = unsigned __int128;  // GCC's and clang's, where there is one
    const product_type product = static_cast<product_type>(a) * b;
    return {static_cast<std::uint64_t>(product >> 64), static_cast<std::uint64_t>(product)};
#else
    const std::uint64_t a_low = a & 0xFFFFFFFFU;
    const std::uint64_t a_high = a >> 32;
    const std::uint64_t b_low = b & 0xFFFFFFFFU;
    const std::uint64_t b_high = b >> 32;
    const std::uint64_t low_low = a_low * b_low;
    const std::uint64_t high_low = a_high * b_low;
    const std::uint64_t low_high = a_low * b_high;
    const std::uint64_t middle = (low_low >> 32) + (high_low & 0xFFFFFFFFU) + (low_high & 0xFFFFFFFFU);
    return {a_high * b_high + (high_low >> 32) + (low_high >> 32) + (middle >> 32),
            (middle << 32) | (low_low & 0xFFFFFFFFU)};
#endif
}

// Arithmetic modulo an odd m below 2^63 in Montgomery form (x held as
// x 2^64 mod m).
class montgomery {
public:
    explicit montgomery(std::uint64_t m) : m_(m) {
        std::uint64_t inverse = m;  // m^-1 mod 2^64, by Newton's iteration: 5, 10, 20, 40, 80 bits
        for (int k = 0; k < 5; ++k) {
            inverse *= 2 - m * inverse;
        }
        negated_inverse_ = 0 - inverse;
        one_ = (0 - m) % m;  // 2^64 mod m
    }

    std::uint64_t one() const { return one_; }

    std::uint64_t multiply(std::uint64_t a, std::uint64_t b) const {
        const wide t = rovurer::multiply(a, b);
        const wide u = rovurer::multiply(t.low * negated_inverse_, m_);
        // t + u is a multiple of 2^64 (its low half 0, a carry out of it
        // unless t.low is 0); the sum of the high halves stays below 2m.
        const std::uint64_t carry = t.low != 0 ? 1 : 0;
        std::uint64_t result = t.high + u.high + carry;
        return result >= m_ ? result - m_ : result;
    }

    std::uint64_t twice(std::uint64_t a) const {
        const std::uint64_t doubled = a << 1;
        return doubled >= m_ ? doubled - m_ : doubled;
    }

    // 2^e, in Montgomery form.
    std::uint64_t power_of_two(std::uint64_t e) const {
        std::uint64_t result = one_;
        for (int bit = 63 - std::countl_zero(e); bit >= 0; --bit) {
            result = multiply(result, result);
            if (((e >> bit) & 1) != 0) {
                result = twice(result);
            }
        }
        return result;
    }

    // floor(2^64 x / m) for the x whose Montgomery form is `held`: x 2^64 -
    // held is a multiple of m below 2^64 m, and modulo 2^64 it is -held.
    std::uint64_t fraction(std::uint64_t held) const { return held * negated_inverse_; }

    // Out of Montgomery form.
    std::uint64_t value(std::uint64_t held) const { return multiply(held, 1); }

private:
    std::uint64_t m_;
    std::uint64_t negated_inverse_ = 0;
    std::uint64_t one_ = 0;
};

// The terms' denominators a n + b and numerators' signs and powers of two.
struct series {
    std::uint64_t a;
    std::uint64_t b;
    int shift;
    bool negative;
};
constexpr std::array<series, 7> bellard = {{
    {4, 1, 5, true},
    {4, 3, 0, true},
    {10, 1, 8, false},
    {10, 3, 6, true},
    {10, 5, 2, true},
    {10, 7, 2, true},
    {10, 9, 0, false},
}};

}  // namespace

std::uint64_t power_of_two_mod(std::uint64_t e, std::uint64_t m) {
    if (m == 1) {
        return 0;
    }
    const montgomery modulo(m);
    return modulo.value(modulo.power_of_two(e));
}

std::uint64_t pi_term_count(std::int64_t pos) {
    // The exponent of term n is 4(pos - 1) - 6 - 10n + shift (at most 8):
    // once it is below -72 every later term adds below 2^-64 together.
    const auto shifted = static_cast<std::uint64_t>(pos - 1) * 4;
    return (shifted + 72) / 10 + 1;
}

pi_fraction pi_terms(std::int64_t pos, std::uint64_t first, std::uint64_t last) {
    const auto shifted = static_cast<std::int64_t>(static_cast<std::uint64_t>(pos - 1) * 4);
    constexpr std::size_t count = bellard.size();
    pi_fraction sum;
    for (std::uint64_t n = first; n < last; ++n) {
        // The seven powers of one n side by side: seven chains of
        // multiplications that the processor runs at once.
        std::array<std::uint64_t, count> m{};
        std::array<std::uint64_t, count> e{};
        std::array<std::uint64_t, count> inverse{};
        std::array<std::uint64_t, count> result{};
        std::array<bool, count> modular{};
        int top = -1;
        for (std::size_t j = 0; j < count; ++j) {
            m[j] = bellard[j].a * n + bellard[j].b;
            const std::int64_t exponent = shifted - 6 - 10 * static_cast<std::int64_t>(n) + bellard[j].shift;
            modular[j] = exponent >= 0 && m[j] != 1;
            if (!modular[j]) {
                continue;
            }
            e[j] = static_cast<std::uint64_t>(exponent);
            std::uint64_t inverted = m[j];
            for (int k = 0; k < 5; ++k) {
                inverted *= 2 - m[j] * inverted;
            }
            inverse[j] = 0 - inverted;
            result[j] = (0 - m[j]) % m[j];
            top = std::max(top, 63 - std::countl_zero(e[j]));
        }
        for (int bit = top; bit >= 0; --bit) {
            for (std::size_t j = 0; j < count; ++j) {
                const wide t = multiply(result[j], result[j]);
                const wide u = multiply(t.low * inverse[j], m[j]);
                std::uint64_t squared = t.high + u.high + (t.low != 0 ? 1 : 0);
                squared = squared >= m[j] ? squared - m[j] : squared;
                const std::uint64_t doubled = squared << 1;
                const std::uint64_t twice = doubled >= m[j] ? doubled - m[j] : doubled;
                result[j] = ((e[j] >> bit) & 1) != 0 ? twice : squared;
            }
        }
        for (std::size_t j = 0; j < count; ++j) {
            const std::int64_t exponent = shifted - 6 - 10 * static_cast<std::int64_t>(n) + bellard[j].shift;
            std::uint64_t part = 0;
            if (modular[j]) {
                part = result[j] * inverse[j];  // floor(2^64 (2^e mod m) / m), from the Montgomery form
            } else if (exponent >= 0) {
                part = 0;  // m is 1: a whole number
            } else if (exponent > -64) {
                part = (std::uint64_t{1} << (64 + exponent)) / m[j];
            } else {
                continue;
            }
            // (-1)^n and the term's own sign.
            const bool negative = bellard[j].negative != ((n & 1) != 0);
            sum.sum = negative ? sum.sum - part : sum.sum + part;
            ++sum.terms;
        }
    }
    return sum;
}

}  // namespace rovurer
