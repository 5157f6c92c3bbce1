#include "constants.h"

#include <gmp.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <thread>

#include "rovurer/pack.h"

namespace constants {

namespace {

// An mpz_t that frees itself.
class integer {
public:
    integer() { mpz_init(value_); }
    ~integer() { mpz_clear(value_); }
    integer(const integer&) = delete;
    integer& operator=(const integer&) = delete;
    mpz_ptr get() { return value_; }

private:
    mpz_t value_;
};

// P, Q and R of the terms [a, b): the terms' sum is R / Q, and P carries the
// product of the numerators on to the terms after b.
struct split {
    integer p, q, r;
};

// Runs `first` and `second`, the first on a thread of its own when
// `two_threads`: GMP is reentrant.
template <typename First, typename Second>
void run_both(bool two_threads, const First& first, const Second& second) {
    if (!two_threads) {
        first();
        second();
        return;
    }
    std::thread helper(first);
    second();
    helper.join();
}

constexpr unsigned long c3_over_24 = 10939058860032000UL;  // 640320^3 / 24

void binary_split(std::uint64_t a, std::uint64_t b, split& out, bool need_p, bool two_threads = false) {
    if (b - a == 1) {
        // p = -(6a - 5)(2a - 1)(6a - 1), q = a^3 640320^3 / 24, r = p (13591409 + 545140134 a)
        mpz_set_ui(out.p.get(), 6 * a - 5);
        mpz_mul_ui(out.p.get(), out.p.get(), 2 * a - 1);
        mpz_mul_ui(out.p.get(), out.p.get(), 6 * a - 1);
        mpz_neg(out.p.get(), out.p.get());
        mpz_set_ui(out.q.get(), a);
        mpz_mul_ui(out.q.get(), out.q.get(), a);
        mpz_mul_ui(out.q.get(), out.q.get(), a);
        mpz_mul_ui(out.q.get(), out.q.get(), c3_over_24);
        mpz_set_ui(out.r.get(), 545140134);
        mpz_mul_ui(out.r.get(), out.r.get(), a);
        mpz_add_ui(out.r.get(), out.r.get(), 13591409);
        mpz_mul(out.r.get(), out.r.get(), out.p.get());
        return;
    }
    const std::uint64_t m = a + (b - a) / 2;
    split right;
    // The two halves of the whole range on two threads.
    run_both(
        two_threads && b - a > 1000, [&] { binary_split(a, m, out, true); },
        [&] { binary_split(m, b, right, need_p); });
    // r = q(m, b) r(a, m) + p(a, m) r(m, b); then p and q multiply. The
    // largest products, at the top, on two threads.
    const auto with_p = [&] {
        mpz_mul(right.r.get(), right.r.get(), out.p.get());
        if (need_p) {
            mpz_mul(out.p.get(), out.p.get(), right.p.get());
        }
    };
    std::thread helper;
    if (two_threads) {
        helper = std::thread(with_p);
    } else {
        with_p();
    }
    mpz_mul(out.r.get(), out.r.get(), right.q.get());
    mpz_mul(out.q.get(), out.q.get(), right.q.get());
    if (helper.joinable()) {
        helper.join();
    }
    mpz_add(out.r.get(), out.r.get(), right.r.get());
}

// `count` digits of `value` (below base^count) at `into`, leading zeros
// included; the two halves on two threads when it is long.
void write_digits(mpz_ptr value, int base, std::uint64_t count, char* into, bool two_threads) {
    if (!two_threads || count < 1000000) {
        std::string text(mpz_sizeinbase(value, base) + 2, '\0');
        mpz_get_str(text.data(), base, value);
        const std::size_t length = std::strlen(text.c_str());
        std::memset(into, '0', count - length);
        std::memcpy(into + (count - length), text.data(), length);
        return;
    }
    const std::uint64_t low_count = count / 2;
    integer high;
    integer low;
    integer power;
    mpz_ui_pow_ui(power.get(), static_cast<unsigned long>(base), low_count);
    mpz_tdiv_qr(high.get(), low.get(), value, power.get());
    run_both(
        true, [&] { write_digits(high.get(), base, count - low_count, into, false); },
        [&] { write_digits(low.get(), base, low_count, into + (count - low_count), false); });
}

double seconds_since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// base^count as an integer.
void power_of(mpz_ptr into, int base, std::uint64_t count) {
    if (base == 10) {
        mpz_ui_pow_ui(into, 10, count);
    } else {
        mpz_set_ui(into, 1);
        mpz_mul_2exp(into, into, 4 * count);
    }
}

// The guard digits of `value` (scaled by base^(digits + guard)) dropped;
// false when they lie too near a carry for the digits kept to be sure.
bool drop_guard(mpz_ptr value, int base, std::uint64_t guard) {
    integer guard_scale;
    integer rest;
    mpz_ui_pow_ui(guard_scale.get(), static_cast<unsigned long>(base), guard);
    mpz_fdiv_qr(value, rest.get(), value, guard_scale.get());
    mpz_sub_ui(guard_scale.get(), guard_scale.get(), 1000);
    return mpz_cmp_ui(rest.get(), 1000) >= 0 && mpz_cmp(rest.get(), guard_scale.get()) <= 0;
}

// p / q of the sum over k in [a, b) of 1 / (a (a + 1) ... k): the terms of
// e's series after the one before a.
struct fraction_split {
    integer p, q;
};

void split_e(std::uint64_t a, std::uint64_t b, fraction_split& out, bool two_threads) {
    if (b - a == 1) {
        mpz_set_ui(out.p.get(), 1);
        mpz_set_ui(out.q.get(), a);
        return;
    }
    const std::uint64_t m = a + (b - a) / 2;
    fraction_split right;
    run_both(
        two_threads && b - a > 1000, [&] { split_e(a, m, out, false); }, [&] { split_e(m, b, right, false); });
    // p = p(a, m) q(m, b) + p(m, b), q = q(a, m) q(m, b)
    mpz_mul(out.p.get(), out.p.get(), right.q.get());
    mpz_add(out.p.get(), out.p.get(), right.p.get());
    mpz_mul(out.q.get(), out.q.get(), right.q.get());
}

std::string text_of_value(mpz_ptr value, int base, std::uint64_t digits, const char* integer_part, bool two_threads) {
    std::string text(digits + 2, '\0');
    text[0] = integer_part[0];
    text[1] = '.';
    write_digits(value, base, digits, text.data() + 2, two_threads);
    return text;
}

}  // namespace

bool known(std::string_view name) {
    return name == "pi" || name == "e" || name == "sqrt2" || name == "phi";
}

std::string text_of(std::string_view name, int base, std::uint64_t digits, bool two_threads, timings& spent,
                    std::string& why) {
    const auto start = std::chrono::steady_clock::now();
    if (name == "sqrt2" || name == "phi") {
        // The floor of the root is exact: no guard digits.
        integer scale;
        integer root;
        power_of(scale.get(), base, digits);
        mpz_mul(root.get(), scale.get(), scale.get());
        mpz_mul_ui(root.get(), root.get(), name == "sqrt2" ? 2 : 5);
        mpz_sqrt(root.get(), root.get());
        if (name == "phi") {
            // floor((S + sqrt(5) S) / 2) = floor((S + floor(sqrt(5) S)) / 2)
            mpz_add(root.get(), root.get(), scale.get());
            mpz_fdiv_q_2exp(root.get(), root.get(), 1);
        }
        mpz_sub(root.get(), root.get(), scale.get());  // the integer part, 1, off
        spent.divided = seconds_since(start);
        std::string text = text_of_value(root.get(), base, digits, "1", two_threads);
        spent.digits = seconds_since(start);
        return text;
    }
    const std::uint64_t guard = 24;
    if (name == "e") {
        // Terms until k! passes base^(digits + guard) a hundredfold.
        const double wanted =
            static_cast<double>(digits + guard) * std::log(static_cast<double>(base)) + std::log(100.0);
        std::uint64_t terms = 2;
        for (double logarithm = 0; logarithm < wanted; ++terms) {
            logarithm += std::log(static_cast<double>(terms));
        }
        fraction_split sum;
        split_e(1, terms, sum, two_threads);
        spent.series = seconds_since(start);
        // e = 1 + p / q, scaled.
        integer value;
        power_of(value.get(), base, digits + guard);
        integer numerator;
        mpz_add(numerator.get(), sum.p.get(), sum.q.get());
        mpz_mul(value.get(), value.get(), numerator.get());
        mpz_fdiv_q(value.get(), value.get(), sum.q.get());
        if (!drop_guard(value.get(), base, guard)) {
            why = "the last digits are too near a carry to be sure of; ask for a few digits more or fewer";
            return {};
        }
        integer two;
        power_of(two.get(), base, digits);
        mpz_mul_ui(two.get(), two.get(), 2);
        mpz_sub(value.get(), value.get(), two.get());  // the integer part, 2, off
        spent.divided = seconds_since(start);
        std::string text = text_of_value(value.get(), base, digits, "2", two_threads);
        spent.digits = seconds_since(start);
        return text;
    }
    // pi
    // Digits of the scale, and the terms: each adds log10(151931373056000)
    // = 14.18 decimal digits.
    const double decimal_digits = static_cast<double>(digits + guard) * (base == 10 ? 1.0 : 1.2041199826559248);
    const auto terms = static_cast<std::uint64_t>(decimal_digits / 14.181647462725477) + 2;

    // The root needs nothing of the series: on two threads it is taken
    // beside the series, which then shares the processors with it.
    integer root;
    const auto take_root = [&] {
        if (base == 10) {
            integer scale;
            mpz_ui_pow_ui(scale.get(), 10, digits + guard);
            mpz_mul(root.get(), scale.get(), scale.get());
        } else {
            mpz_set_ui(root.get(), 1);
            mpz_mul_2exp(root.get(), root.get(), 8 * (digits + guard));
        }
        mpz_mul_ui(root.get(), root.get(), 10005);
        mpz_sqrt(root.get(), root.get());
    };
    std::thread root_taker;
    if (two_threads) {
        root_taker = std::thread(take_root);
    }
    split sum;
    mpz_set_ui(sum.p.get(), 1);
    mpz_set_ui(sum.q.get(), 1);
    mpz_set_ui(sum.r.get(), 0);
    if (terms > 1) {
        binary_split(1, terms, sum, false, two_threads);
    }
    spent.series = seconds_since(start);
    if (root_taker.joinable()) {
        root_taker.join();
    } else {
        take_root();
    }
    // pi = 426880 sqrt(10005) Q / (13591409 Q + R), scaled by base^(digits + guard).
    integer pi;
    integer denominator;
    mpz_mul_ui(denominator.get(), sum.q.get(), 13591409);
    mpz_add(denominator.get(), denominator.get(), sum.r.get());
    // Q and the denominator hold far more bits than the digits need: their
    // ratio keeps 64 bits more than the root's, and costs a fraction.
    const std::size_t kept = mpz_sizeinbase(root.get(), 2) + 64;
    const std::size_t bits = mpz_sizeinbase(denominator.get(), 2);
    if (bits > kept) {
        mpz_tdiv_q_2exp(sum.q.get(), sum.q.get(), bits - kept);
        mpz_tdiv_q_2exp(denominator.get(), denominator.get(), bits - kept);
    }
    mpz_mul(pi.get(), root.get(), sum.q.get());
    mpz_mul_ui(pi.get(), pi.get(), 426880);
    mpz_fdiv_q(pi.get(), pi.get(), denominator.get());

    // The sum and the root are each a few units of the last guard digit off
    // at most: the digits kept are exact unless the guard digits are that
    // near a carry.
    integer guard_scale;
    integer rest;
    mpz_ui_pow_ui(guard_scale.get(), static_cast<unsigned long>(base), guard);
    mpz_fdiv_qr(pi.get(), rest.get(), pi.get(), guard_scale.get());
    mpz_sub_ui(guard_scale.get(), guard_scale.get(), 1000);
    if (mpz_cmp_ui(rest.get(), 1000) < 0 || mpz_cmp(rest.get(), guard_scale.get()) > 0) {
        why = "the last digits are too near a carry to be sure of; ask for a few digits more or fewer";
        return {};
    }
    spent.divided = seconds_since(start);
    if (mpz_sizeinbase(pi.get(), static_cast<int>(base)) > digits + 1) {
        why = "computed more than " + std::to_string(digits + 1) + " digits";
        return {};
    }
    std::string text(digits + 2, '\0');
    write_digits(pi.get(), base, digits + 1, text.data() + 1, two_threads);
    if (text[1] != '3') {
        why = std::string("computed ") + text[1] + ", not 3, before the point";
        return {};
    }
    // "3." and the fraction.
    text[0] = '3';
    text[1] = '.';
    spent.digits = seconds_since(start);
    return text;
}

int write_constant_file(const char* program, std::string_view name, int base, long long asked, const char* output) {
    const auto start = std::chrono::steady_clock::now();
    const std::uint64_t per_word = base == 10 ? 19 : 16;
    const std::uint64_t digits = (static_cast<std::uint64_t>(asked) + per_word - 1) / per_word * per_word;
    timings spent;
    std::string why;
    const std::string text = text_of(name, base, digits, std::thread::hardware_concurrency() > 1, spent, why);
    if (text.empty()) {
        (void)std::fprintf(stderr, "%s: %s\n", program, why.c_str());
        return 1;
    }
    rovurer::pack_options options;
    options.replace = true;
    options.threads = 0;
    const rovurer::result<rovurer::packed> written = rovurer::pack_text(text, output, base, options);
    if (!written) {
        (void)std::fprintf(stderr, "%s: %s: %s\n", program, output, written.error().message.c_str());
        return 1;
    }
    // What was written, and where the time went.
    const double all = seconds_since(start);
    (void)std::fprintf(stderr,
                       "%s: %s: %lld base-%d digits of %.*s after the point, %lld words, in %.2f s "
                       "(series %.2f s, root and division %.2f s, digits %.2f s, written %.2f s)\n",
                       program, output, static_cast<long long>(written->digits), base, static_cast<int>(name.size()),
                       name.data(), static_cast<long long>(written->word_count), all, spent.series,
                       spent.divided - spent.series, spent.digits - spent.divided, all - spent.digits);
    return 0;
}

}  // namespace constants
