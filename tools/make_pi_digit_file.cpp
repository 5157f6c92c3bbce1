// make_pi_digit_file: writes pi as a digit file.
//
//   make_pi_digit_file BASE WORDS OUTPUT
//
// BASE is 10 or 16. The file holds WORDS + 1 data words: the integer part 3 as
// the one lead word on top, then WORDS words of the fraction (19 decimal or 16
// hexadecimal digits each), most significant highest. pi comes from Machin's
// formula, pi = 16 atan(1/5) - 4 atan(1/239), in binary fixed point with guard
// limbs, so every digit written is exact.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// Fixed point: limb 0 is the integer part, limb i (i >= 1) weighs 2^(-32 i).
using fixed = std::vector<std::uint32_t>;

void divide(fixed& x, std::uint32_t divisor) {
    std::uint64_t remainder = 0;
    for (std::uint32_t& limb : x) {
        const std::uint64_t current = (remainder << 32) | limb;
        limb = static_cast<std::uint32_t>(current / divisor);
        remainder = current % divisor;
    }
}

// Multiplies by `factor`; the integer part must stay below 2^32.
void multiply(fixed& x, std::uint32_t factor) {
    std::uint64_t carry = 0;
    for (std::size_t i = x.size(); i-- > 0;) {
        const std::uint64_t product = static_cast<std::uint64_t>(x[i]) * factor + carry;
        x[i] = static_cast<std::uint32_t>(product);
        carry = product >> 32;
    }
}

void add(fixed& x, const fixed& y) {
    std::uint64_t carry = 0;
    for (std::size_t i = x.size(); i-- > 0;) {
        const std::uint64_t sum = static_cast<std::uint64_t>(x[i]) + y[i] + carry;
        x[i] = static_cast<std::uint32_t>(sum);
        carry = sum >> 32;
    }
}

void subtract(fixed& x, const fixed& y) {
    std::uint64_t borrow = 0;
    for (std::size_t i = x.size(); i-- > 0;) {
        const std::uint64_t difference = static_cast<std::uint64_t>(x[i]) - y[i] - borrow;
        x[i] = static_cast<std::uint32_t>(difference);
        borrow = (difference >> 32) != 0 ? 1 : 0;
    }
}

bool is_zero(const fixed& x) {
    for (const std::uint32_t limb : x) {
        if (limb != 0) {
            return false;
        }
    }
    return true;
}

// atan(1/k) = sum over n of (-1)^n / ((2n + 1) k^(2n + 1)).
fixed arctan_inverse(std::uint32_t k, std::size_t limbs) {
    fixed power(limbs, 0);
    power[0] = 1;
    divide(power, k);
    fixed sum = power;
    for (std::uint32_t n = 1; !is_zero(power); ++n) {
        divide(power, k * k);
        fixed term = power;
        divide(term, 2 * n + 1);
        if (n % 2 == 1) {
            subtract(sum, term);
        } else {
            add(sum, term);
        }
    }
    return sum;
}

fixed compute_pi(std::size_t fraction_bits) {
    const std::size_t limbs = 1 + fraction_bits / 32 + 4;  // 4 guard limbs
    fixed pi = arctan_inverse(5, limbs);
    multiply(pi, 16);
    fixed small = arctan_inverse(239, limbs);
    multiply(small, 4);
    subtract(pi, small);
    return pi;
}

void put_le64(std::string& bytes, std::uint64_t value) {
    for (int i = 0; i < 8; ++i) {
        bytes.push_back(static_cast<char>(value >> (8 * i)));
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        (void)std::fprintf(stderr, "usage: make_pi_digit_file BASE WORDS OUTPUT\n");
        return 1;
    }
    const long base = std::strtol(argv[1], nullptr, 10);
    const long word_arg = std::strtol(argv[2], nullptr, 10);
    if ((base != 10 && base != 16) || word_arg < 1 || word_arg > 100000) {
        (void)std::fprintf(stderr, "make_pi_digit_file: BASE must be 10 or 16, WORDS 1 to 100000\n");
        return 1;
    }
    const auto fraction_words = static_cast<std::size_t>(word_arg);

    // Fraction words, most significant first.
    std::vector<std::uint64_t> fraction;
    if (base == 16) {
        fixed pi = compute_pi(64 * fraction_words);
        for (std::size_t i = 0; i < fraction_words; ++i) {
            fraction.push_back((static_cast<std::uint64_t>(pi[1 + 2 * i]) << 32) | pi[2 + 2 * i]);
        }
    } else {
        // Each word takes the next 19 digits: 63.2 bits of the fraction.
        fixed pi = compute_pi(64 * fraction_words);
        const auto next_digits = [&pi](std::uint32_t factor) {
            pi[0] = 0;
            multiply(pi, factor);
            return static_cast<std::uint64_t>(pi[0]);
        };
        for (std::size_t i = 0; i < fraction_words; ++i) {
            std::uint64_t word = next_digits(1000000000);
            word = word * 1000000000 + next_digits(1000000000);
            word = word * 10 + next_digits(10);
            fraction.push_back(word);
        }
    }

    std::string bytes(4096, '\0');
    const char magic[8] = {'M', 'P', 'T', 1, 'F', 'I', 'L', 'E'};
    bytes.replace(0, 8, magic, 8);
    const auto put_at = [&bytes](std::size_t at, std::uint64_t value) {
        std::string field;
        put_le64(field, value);
        bytes.replace(at, 8, field);
    };
    put_at(8, fraction_words + 1);  // word_count
    put_at(24, 2);                  // kind
    put_at(48, 1);                  // lead_words: the integer part
    for (std::size_t i = fraction_words; i-- > 0;) {
        put_le64(bytes, fraction[i]);
    }
    put_le64(bytes, 3);

    std::FILE* file = std::fopen(argv[3], "wb");
    if (file == nullptr) {
        std::perror(argv[3]);
        return 1;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    if (std::fclose(file) != 0 || !written) {
        std::perror(argv[3]);
        return 1;
    }
    return 0;
}
