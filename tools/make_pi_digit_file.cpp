// make_pi_digit_file: writes pi as a digit file.
//
//   make_pi_digit_file BASE DIGITS OUTPUT
//
// BASE is 10 or 16. The file holds the integer part 3 as its one lead word,
// then DIGITS digits of the fraction, rounded up to whole words (19 decimal
// or 16 hexadecimal digits each), every one exact: no word is padded.
//
// pi comes from the Chudnovsky series,
//   1/pi = 12 sum_k (-1)^k (6k)! (13591409 + 545140134 k) / ((3k)! (k!)^3 640320^(3k + 3/2)),
// summed by binary splitting on GMP, in fixed point with guard digits; the
// digits are made by GMP and packed by the library's writer. A result whose
// guard digits come too near a carry is refused rather than written.
#include <gmp.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "rovurer/pack.h"

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
    // The two halves of the whole range on two threads: GMP is reentrant.
    if (two_threads && b - a > 1000) {
        std::thread left([&] { binary_split(a, m, out, true); });
        binary_split(m, b, right, need_p);
        left.join();
    } else {
        binary_split(a, m, out, true);
        binary_split(m, b, right, need_p);
    }
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
    std::thread helper([&] { write_digits(high.get(), base, count - low_count, into, false); });
    write_digits(low.get(), base, low_count, into + (count - low_count), false);
    helper.join();
}

double seconds_since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        (void)std::fprintf(stderr, "usage: make_pi_digit_file BASE DIGITS OUTPUT\n");
        return 1;
    }
    char* end = nullptr;
    const long base = std::strtol(argv[1], &end, 10);
    const bool base_ok = *end == '\0' && (base == 10 || base == 16);
    const long long asked = std::strtoll(argv[2], &end, 10);
    if (!base_ok || *end != '\0' || asked < 1 || asked > 10000000000LL) {
        (void)std::fprintf(stderr, "make_pi_digit_file: BASE must be 10 or 16, DIGITS 1 to 10^10\n");
        return 1;
    }
    const auto start = std::chrono::steady_clock::now();
    const std::uint64_t per_word = base == 10 ? 19 : 16;
    const std::uint64_t digits = (static_cast<std::uint64_t>(asked) + per_word - 1) / per_word * per_word;
    const std::uint64_t guard = 24;
    // Digits of the scale, and the terms: each adds log10(151931373056000)
    // = 14.18 decimal digits.
    const double decimal_digits = static_cast<double>(digits + guard) * (base == 10 ? 1.0 : 1.2041199826559248);
    const auto terms = static_cast<std::uint64_t>(decimal_digits / 14.181647462725477) + 2;

    split sum;
    mpz_set_ui(sum.p.get(), 1);
    mpz_set_ui(sum.q.get(), 1);
    mpz_set_ui(sum.r.get(), 0);
    if (terms > 1) {
        binary_split(1, terms, sum, false, std::thread::hardware_concurrency() > 1);
    }
    const double series = seconds_since(start);
    // pi = 426880 sqrt(10005) Q / (13591409 Q + R), scaled by base^(digits + guard).
    integer scale;
    integer root;
    integer pi;
    integer denominator;
    if (base == 10) {
        mpz_ui_pow_ui(scale.get(), 10, digits + guard);
        mpz_mul(root.get(), scale.get(), scale.get());
    } else {
        mpz_set_ui(root.get(), 1);
        mpz_mul_2exp(root.get(), root.get(), 8 * (digits + guard));
    }
    mpz_mul_ui(root.get(), root.get(), 10005);
    mpz_sqrt(root.get(), root.get());
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
        (void)std::fprintf(stderr,
                           "make_pi_digit_file: the last digits are too near a carry to be sure of; "
                           "ask for a few digits more or fewer\n");
        return 1;
    }
    const double divided = seconds_since(start);
    if (mpz_sizeinbase(pi.get(), static_cast<int>(base)) > digits + 1) {
        (void)std::fprintf(stderr, "make_pi_digit_file: computed more than %llu digits\n",
                           static_cast<unsigned long long>(digits) + 1);
        return 1;
    }
    std::string text(digits + 2, '\0');
    write_digits(pi.get(), static_cast<int>(base), digits + 1, text.data() + 1,
                 std::thread::hardware_concurrency() > 1);
    if (text[1] != '3') {
        (void)std::fprintf(stderr, "make_pi_digit_file: computed %c, not 3, before the point\n", text[1]);
        return 1;
    }
    // "3." and the fraction.
    text[0] = '3';
    text[1] = '.';
    const double computed = seconds_since(start);

    rovurer::pack_options options;
    options.replace = true;
    options.threads = 0;
    const rovurer::result<rovurer::packed> written = rovurer::pack_text(text, argv[3], static_cast<int>(base), options);
    if (!written) {
        (void)std::fprintf(stderr, "make_pi_digit_file: %s: %s\n", argv[3], written.error().message.c_str());
        return 1;
    }
    // What was written, and where the time went.
    (void)std::fprintf(stderr,
                       "make_pi_digit_file: %s: %lld base-%ld digits of pi after the point, %lld words, in %.2f s "
                       "(series %.2f s, root and division %.2f s, digits %.2f s, written %.2f s)\n",
                       argv[3], static_cast<long long>(written->digits), base,
                       static_cast<long long>(written->word_count), seconds_since(start), series, divided - series,
                       computed - divided, seconds_since(start) - computed);
    return 0;
}
