// The statistics of a run of digits, gathered as they are read, into a
// state that merges with the state of the run that follows (rovurer/stats.h
// says what each field holds), and the other jobs of the statistics: the
// strings of a length that occur, their first positions, runs of equal
// digits, positions that spell themselves, counts per block and the walk.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "parallel/command_result.h"
#include "parallel/output.h"
#include "reader/digit_run.h"
#include "rovurer/stats.h"

namespace rovurer {

// An empty state of `base` for a stretch whose first digit is at `pos`.
statistics_state empty_statistics(int base, std::int64_t pos);

// Gathers the digits of `run` (its base's) into `state`, which must be
// empty.
command_result gather_statistics(digit_run& run, statistics_state& state);

// An empty strings state of `base` and `length`, its bits cleared.
strings_state empty_strings(int base, int length);

// Sets in `seen` (a bit a string, this thread's alone) the strings of
// state.length digits that lie whole in `run`, and records the run's head
// and tail in `state`; `state.seen` stays empty.
command_result gather_strings(digit_run& run, std::uint64_t* seen, strings_state& state);

// Lowers first[v] (shared, atomic) to the position of the first occurrence
// of each string v of `length` digits that starts in the first `starts`
// digits of `run` (which reads on length - 1 more).
command_result first_positions(digit_run& run, int length, std::int64_t starts, std::atomic<std::uint64_t>* first);

// Writes every run of `least` or more equal digits that starts in the first
// `starts` digits of `run` (after its first, which is the digit before them,
// when `has_before`), reading on until it ends: a run that goes on from the
// digit before started before. Lines "POS DIGIT LENGTH", or JSON objects.
command_result write_runs(output_buffer& out, digit_run& run, std::int64_t starts, bool has_before, std::int64_t least,
                          bool json, std::uint64_t* written);

// Writes every position p among the first `starts` digits of `run` at which
// the digits from p spell p in the run's base.
command_result write_self_locating(output_buffer& out, digit_run& run, std::int64_t starts, bool json,
                                   std::uint64_t* written);

// Writes the counts of each block of `block` digits of `run` (the last may
// be shorter): "POS,DIGITS,C0,...,CHI_SQUARE" lines, or JSON objects.
command_result write_blocks(output_buffer& out, digit_run& run, std::int64_t block, bool json);

// The walk of `run`'s digits from (0, 0), whose first digit is digit
// `first` of the whole range: its extent, and its position after each digit
// k of the range with (k + 1) a multiple of `stride`, appended to `points`
// as x, y pairs. The run holds an even number of digits in base 2.
command_result trace_walk(digit_run& run, std::int64_t first, std::int64_t stride, walk_extent& extent,
                          std::vector<std::int64_t>& points);

}  // namespace rovurer
