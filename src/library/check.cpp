// rovurer::pi_hex_digits and check_pi: each position's sum cut into parts
// that the call's threads take in turn, added in order (modulo 1, exactly).
#include "rovurer/check.h"

#include <algorithm>
#include <atomic>
#include <thread>

#include "library/calls.h"
#include "library/pi_digits.h"

namespace rovurer {

namespace {

constexpr std::uint64_t terms_a_part = 1 << 16;  // a few milliseconds: a stop is seen within one

struct part {
    std::size_t position;  // index into the positions
    std::uint64_t first;
    std::uint64_t last;
};

// The sums of every position's terms, on `threads` threads; false when
// asked to stop.
bool sum_positions(const std::vector<std::int64_t>& positions, int threads, const std::stop_token& stop,
                   std::vector<pi_fraction>& sums) {
    std::vector<part> parts;
    for (std::size_t k = 0; k < positions.size(); ++k) {
        const std::uint64_t count = pi_term_count(positions[k]);
        for (std::uint64_t first = 0; first < count; first += terms_a_part) {
            parts.push_back({k, first, std::min(count, first + terms_a_part)});
        }
    }
    // The most costly parts first (the far positions' first terms), so that
    // the threads end together.
    std::stable_sort(parts.begin(), parts.end(), [&](const part& one, const part& other) {
        return positions[one.position] - static_cast<std::int64_t>(one.first / 4) >
               positions[other.position] - static_cast<std::int64_t>(other.first / 4);
    });
    std::vector<pi_fraction> done(parts.size());
    std::atomic<std::size_t> next{0};
    std::atomic<bool> stopped{false};
    const auto work = [&] {
        for (std::size_t k = next++; k < parts.size(); k = next++) {
            if (stop.stop_requested()) {
                stopped = true;
                return;
            }
            done[k] = pi_terms(positions[parts[k].position], parts[k].first, parts[k].last);
        }
    };
    std::vector<std::thread> helpers;
#ifndef ROVURER_NO_THREADS
    for (int t = 1; t < threads && static_cast<std::size_t>(t) < parts.size(); ++t) {
        helpers.emplace_back(work);
    }
#else
    static_cast<void>(threads);
#endif
    work();
    for (std::thread& helper : helpers) {
        helper.join();
    }
    if (stopped) {
        return false;
    }
    sums.assign(positions.size(), {});
    for (std::size_t k = 0; k < parts.size(); ++k) {
        pi_fraction& sum = sums[parts[k].position];
        sum.sum += done[k].sum;  // modulo 1
        sum.terms += done[k].terms;
    }
    return true;
}

// The hexadecimal digits of a sum that are certain: those that its lowest
// and highest values share (each term off by less than a unit, and what
// the terms left out add, less than 2).
std::string certain_digits(const pi_fraction& sum) {
    const std::uint64_t off = sum.terms + 2;
    if (sum.sum < off || sum.sum > UINT64_MAX - off) {
        return {};  // the interval holds a whole number: not even the first digit is sure
    }
    const std::uint64_t low = sum.sum - off;
    const std::uint64_t high = sum.sum + off;
    std::string digits;
    for (int shift = 60; shift >= 0; shift -= 4) {
        const std::uint64_t nibble = (low >> shift) & 15;
        if (nibble != ((high >> shift) & 15)) {
            break;
        }
        digits += "0123456789ABCDEF"[nibble];
    }
    return digits;
}

}  // namespace

result<std::string> pi_hex_digits(std::int64_t pos, const scan_options& options) {
    if (pos < 1) {
        return error{errc::bad_position, "positions start at 1, not " + std::to_string(pos)};
    }
    if (options.threads < 0) {
        return error{errc::bad_option, "threads below 0 (" + std::to_string(options.threads) + ")"};
    }
    std::vector<pi_fraction> sums;
    if (!sum_positions({pos}, threads_for(options.threads), options.stop, sums)) {
        return error{errc::stopped, "stopped"};
    }
    return certain_digits(sums[0]);
}

result<pi_check> check_pi(const file& source, int samples, const scan_options& options) {
    return guarded<pi_check>([&]() -> result<pi_check> {
        if (samples < 1) {
            return error{errc::bad_option, "fewer than 1 sample (" + std::to_string(samples) + ")"};
        }
        if (options.threads < 0) {
            return error{errc::bad_option, "threads below 0 (" + std::to_string(options.threads) + ")"};
        }
        std::string none;
        const result<std::int64_t> opened = read(source, {16, 1, 0}, none);
        if (!opened) {
            return opened.error();
        }
        const std::int64_t total = source.facts().digits(16);
        if (total < 1) {
            return error{errc::past_end, "position 1 is past the end of the data (0 base-16 digits)"};
        }
        // The first digits, the last ones, and positions evenly between.
        const std::int64_t last = std::max<std::int64_t>(1, total - 7);
        std::vector<std::int64_t> positions;
        for (int k = 0; k < samples; ++k) {
            const std::int64_t pos =
                samples == 1 ? last : 1 + static_cast<std::int64_t>(static_cast<double>(last - 1) * k / (samples - 1));
            if (positions.empty() || positions.back() != pos) {
                positions.push_back(pos);
            }
        }
        std::vector<pi_fraction> sums;
        if (!sum_positions(positions, threads_for(options.threads), options.stop, sums)) {
            return error{errc::stopped, "stopped"};
        }
        pi_check answer;
        for (std::size_t k = 0; k < positions.size(); ++k) {
            pi_sample sample;
            sample.pos = positions[k];
            sample.computed = certain_digits(sums[k]);
            sample.computed.resize(
                std::min<std::size_t>(sample.computed.size(), static_cast<std::size_t>(total - sample.pos + 1)));
            sample.read.assign(sample.computed.size(), '\0');
            const result<std::int64_t> got =
                read(source, {16, sample.pos, static_cast<std::int64_t>(sample.computed.size())}, sample.read);
            if (!got) {
                return got.error();
            }
            sample.read.resize(static_cast<std::size_t>(*got));
            if (answer.difference == 0 && sample.read != sample.computed) {
                const auto differ = std::mismatch(sample.read.begin(), sample.read.end(), sample.computed.begin());
                answer.difference = sample.pos + (differ.first - sample.read.begin());
            }
            answer.samples.push_back(std::move(sample));
        }
        return answer;
    });
}

}  // namespace rovurer
