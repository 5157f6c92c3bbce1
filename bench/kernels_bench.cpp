// Microbenchmarks of each kernel this machine supports, on a
// block of random words already in memory (no file, no output).
#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include "kernels/digit_format.h"
#include "kernels/registry.h"
#include "reader/digit_run.h"

using namespace rovurer::kernels;

namespace {

// The digits the front end converts and scans at a time.
constexpr auto chunk = static_cast<std::size_t>(rovurer::digit_run::chunk_digits);

constexpr std::size_t words_per_run = 4096;  // 32 KiB of words, in cache

const std::vector<std::uint64_t>& words() {
    static const std::vector<std::uint64_t> values = [] {
        std::mt19937_64 random(1);
        std::vector<std::uint64_t> result(words_per_run);
        for (std::uint64_t& value : result) {
            value = random() % 10000000000000000000ULL;
        }
        return result;
    }();
    return values;
}

void format_words(benchmark::State& state, const digit_kernels* kernels, int base) {
    const format_words_function format = base == 10 ? kernels->decimal : base == 16 ? kernels->hex : kernels->binary;
    const std::size_t per_word = base == 10 ? 19 : base == 16 ? 16 : 64;
    std::string out(words_per_run * per_word, '\0');
    for (auto _ : state) {
        format(words().data(), words_per_run, out.data());
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(out.size()));
}

void group_digits(benchmark::State& state, const digit_kernels* kernels) {
    const std::string digits(chunk + group_slack, '7');
    std::string out(digits.size() * 11 / 10 + group_slack, '\0');
    for (auto _ : state) {
        benchmark::DoNotOptimize(kernels->group(digits.data(), chunk, 3, out.data()));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(chunk));
}

// A chunk of random decimal digits, as --find and --count scan them.
const std::string& digit_text() {
    static const std::string text = [] {
        std::mt19937 random(2);
        std::string result(chunk + 64, '0');
        for (char& digit : result) {
            digit = static_cast<char>('0' + random() % 10);
        }
        return result;
    }();
    return text;
}

void match_candidates(benchmark::State& state, const digit_kernels* kernels) {
    std::vector<std::uint64_t> masks(chunk / 64);
    for (auto _ : state) {
        kernels->match_candidates(digit_text().data(), masks.size(), {'9', '9', '9', 2, 5}, masks.data());
        benchmark::DoNotOptimize(masks.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(chunk));
}

void tally_decimal(benchmark::State& state, const digit_kernels* kernels) {
    std::vector<std::uint64_t> counts(10);
    for (auto _ : state) {
        kernels->tally(digit_text().data(), chunk, "0123456789", 9, counts.data());
        benchmark::DoNotOptimize(counts.data());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(chunk));
}

// Digit counts taken from the words, without their text, as the front end
// takes them: a read's 256 KiB of words at a time.
void count_words(benchmark::State& state, const digit_kernels* kernels, int base) {
    const count_digits_function count = base == 10 ? kernels->count_decimal : kernels->count_hex;
    constexpr std::size_t words_per_count = 32768;
    std::vector<std::uint64_t> many_words;
    while (many_words.size() < words_per_count) {
        many_words.insert(many_words.end(), words().begin(), words().end());
    }
    std::vector<std::uint64_t> counts(16);
    for (auto _ : state) {
        count(many_words.data(), words_per_count, counts.data());
        benchmark::DoNotOptimize(counts.data());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(words_per_count * (base == 10 ? 19 : 16)));
}

const int registered = [] {
    for (const digit_kernels* kernels : supported_sets()) {
        const std::string name = kernels->name;
        benchmark::RegisterBenchmark((name + "/decimal").c_str(), format_words, kernels, 10);
        benchmark::RegisterBenchmark((name + "/hex").c_str(), format_words, kernels, 16);
        benchmark::RegisterBenchmark((name + "/binary").c_str(), format_words, kernels, 2);
        benchmark::RegisterBenchmark((name + "/group").c_str(), group_digits, kernels);
        benchmark::RegisterBenchmark((name + "/match").c_str(), match_candidates, kernels);
        benchmark::RegisterBenchmark((name + "/tally10").c_str(), tally_decimal, kernels);
        benchmark::RegisterBenchmark((name + "/count10").c_str(), count_words, kernels, 10);
        benchmark::RegisterBenchmark((name + "/count16").c_str(), count_words, kernels, 16);
    }
    return 0;
}();

}  // namespace
