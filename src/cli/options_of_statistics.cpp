// The options of the statistics: the forms that ask what the digits look
// like, --json, and --merge of their parts' answers.
#include <array>
#include <cstdint>

#include "cli/options.h"

namespace rovurer {

namespace {

constexpr form_set statistics_forms = forms_of(command_form::stats) | forms_of(command_form::blocks) |
                                      forms_of(command_form::runs) | forms_of(command_form::missing) |
                                      forms_of(command_form::self_locating);

constexpr std::array<known_option, 11> rows = {{
    {
        .name = "--stats",
        .form = command_form::stats,
        .takes_value = false,
        .usage = "--stats",
        .description = "print the statistics of a run: counts and tests, the longest\n"
                       "runs, a walk: rovurer --stats filename base [pos [nb_digits]]",
        .operands = "filename base [pos [nb_digits]]",
        .manual = "Print the statistics of the run, as a table (or one JSON object with\n"
                  ".BR \\-\\-json ):\n"
                  "the count of each digit and their chi-square against equal frequencies\n"
                  "(base \\- 1 degrees of freedom); Good's serial test of overlapping pairs and\n"
                  "triples (the tuples of the run, not wrapped: psi2(m) is the sum over the\n"
                  "m-tuples of (count \\- E)^2/E with E = (n \\- m + 1)/base^m; serial2 is\n"
                  "psi2(2) \\- psi2(1) with base^2 \\- base degrees of freedom, serial3\n"
                  "psi2(3) \\- 2 psi2(2) + psi2(1) with base^3 \\- 2 base^2 + base); the poker\n"
                  "test of hands of five digits from the first, by their seven patterns; the\n"
                  "gap test of each digit (the digits between two of it, against a geometric\n"
                  "law, in classes up to the one that holds about 5% of the gaps); each\n"
                  "digit's longest run and where it first occurs; and a walk in the plane,\n"
                  "its end and its extremes (a step a base-4 digit: 0 +x, 1 +y, 2 \\-x, 3 \\-y;\n"
                  "two binary digits a step, two steps a hexadecimal digit, and in base 10 the\n"
                  "digits 0 to 7 step as d mod 4, 8 and 9 not at all).\n"
                  "P-values come from the regularized incomplete gamma function; a test whose\n"
                  "expected counts fall below 5 says the run is too short, with no p-value.\n",
    },
    {
        .name = "--blocks",
        .form = command_form::blocks,
        .takes_value = true,
        .usage = "--blocks N",
        .description = "print each block of N digits' counts and chi-square:\n"
                       "rovurer --blocks N filename base [pos [nb_digits]]",
        .operands = "filename base [pos [nb_digits]]",
        .number = &command_line::block,
        .lowest = 1,
        .highest = INT64_MAX,
        .wanted = "a number of digits, 1 or more",
        .manual = "Print, for each block of\n"
                  ".I N\n"
                  "digits from the run's first, a line\n"
                  ".IR POS , DIGITS , C0 , C1 ,\\&... , CHI_SQUARE :\n"
                  "its first position, its digits (fewer than\n"
                  ".I N\n"
                  "for a short last block), the count of each digit of the base and the\n"
                  "block's chi-square against equal frequencies.\n",
    },
    {
        .name = "--runs",
        .form = command_form::runs,
        .takes_value = true,
        .usage = "--runs L",
        .description = "print every run of L or more equal digits:\n"
                       "rovurer --runs L filename base [pos [nb_digits]]",
        .operands = "filename base [pos [nb_digits]]",
        .number = &command_line::run_least,
        .lowest = 1,
        .highest = INT64_MAX,
        .wanted = "a number of digits, 1 or more",
        .manual = "Print every run of\n"
                  ".I L\n"
                  "or more equal digits that starts in the run, as\n"
                  ".I \"POS DIGIT LENGTH\"\n"
                  "lines in order; a run is read to its end, past the run's if need be.\n",
    },
    {
        .name = "--missing",
        .form = command_form::missing,
        .takes_value = true,
        .usage = "--missing K",
        .description = "print how many strings of 1 to K digits occur, and the\n"
                       "smallest number that does not occur:\n"
                       "rovurer --missing K filename base [pos [nb_digits]]",
        .operands = "filename base [pos [nb_digits]]",
        .number = &command_line::missing_length,
        .lowest = 1,
        .highest = 63,
        .wanted = "a number of digits, from 1 to 63",
        .manual = "Print, for each length from 1 to\n"
                  ".IR K ,\n"
                  "how many distinct strings of that many digits occur in the run, then the\n"
                  "smallest number, written in the base without leading zeros, that does not\n"
                  "occur as a string. It holds a bit for each string of\n"
                  ".I K\n"
                  "digits: base^K at most 2^30 (128 MiB), so\n"
                  ".I K\n"
                  "is at most 9 in base 10, 7 in base 16 and 30 in base 2.\n",
    },
    {
        .name = "--first",
        .form = command_form::dump,
        .takes_value = false,
        .usage = "--first",
        .description = "with --missing: the first position of every string of K digits",
        .given_with = forms_of(command_form::missing),
        .conflict_order = 17,
        .needs_its_form = true,
        .flag = &command_line::first,
        .manual = "With\n"
                  ".BR \\-\\-missing :\n"
                  "print instead the first position of every string of\n"
                  ".I K\n"
                  "digits, as\n"
                  ".I \"STRING POS\"\n"
                  "lines in the strings' order (0 where it does not occur). It holds eight\n"
                  "bytes a string: base^K at most 2^27 (1 GiB), so\n"
                  ".I K\n"
                  "is at most 8 in base 10.\n",
    },
    {
        .name = "--self-locating",
        .form = command_form::self_locating,
        .takes_value = false,
        .usage = "--self-locating",
        .description = "print every position whose digits spell it:\n"
                       "rovurer --self-locating filename base [pos [nb_digits]]",
        .operands = "filename base [pos [nb_digits]]",
        .manual = "Print every position\n"
                  ".I p\n"
                  "of the run at which the digits from\n"
                  ".I p\n"
                  "spell\n"
                  ".I p\n"
                  "in the base (without leading zeros; all of them in the run), one a line.\n",
    },
    {
        .name = "--walk",
        .form = command_form::walk,
        .takes_value = true,
        .usage = "--walk OUT.svg",
        .description = "draw the digits as a walk in the plane into OUT.svg:\n"
                       "rovurer --walk OUT.svg filename base [pos [nb_digits]]",
        .operands = "filename base [pos [nb_digits]]",
        .text = &command_line::walk_path,
        .manual = "Draw the run as a walk in the plane (the steps of\n"
                  ".BR \\-\\-stats )\n"
                  "into the SVG picture\n"
                  ".IR OUT.svg ,\n"
                  "of a fixed size however many digits there are: at most 20000 points along\n"
                  "it, its colour running from blue at the first step to red at the last.\n"
                  "Prints the steps, the end and the extremes.\n",
    },
    {
        .name = "--json",
        .form = command_form::dump,
        .takes_value = false,
        .usage = "--json",
        .description = "with the statistics: the answer as JSON",
        .given_with = statistics_forms | forms_of(command_form::merge),
        .conflict_order = 18,
        .needs_its_form = true,
        .flag = &command_line::json,
        .manual = "With\n"
                  ".BR \\-\\-stats ,\n"
                  ".BR \\-\\-blocks ,\n"
                  ".BR \\-\\-runs ,\n"
                  ".B \\-\\-missing\n"
                  "or\n"
                  ".BR \\-\\-self\\-locating :\n"
                  "print the answer as JSON: one object, or one a line. With\n"
                  ".BR \\-\\-shard ,\n"
                  "the object of\n"
                  ".B \\-\\-stats\n"
                  "and of\n"
                  ".B \\-\\-missing\n"
                  "also holds what\n"
                  ".B \\-\\-merge\n"
                  "needs.\n",
    },
    {
        .name = "--merge",
        .form = command_form::merge,
        .takes_value = true,
        .usage = "--merge FORM",
        .description = "merge the answers of a job's shards, in order:\n"
                       "rovurer --merge FORM PARTS...",
        .operands = "PARTS...",
        .text = &command_line::merge_form,
        .manual = "Merge the answers of the shards of one job, given in their order as the\n"
                  "files\n"
                  ".IR PARTS ,\n"
                  "into the answer of the whole run:\n"
                  ".I FORM\n"
                  "is stats or missing (their JSON with\n"
                  ".BR \\-\\-shard ),\n"
                  "first (the lines of\n"
                  ".BR \"\\-\\-missing K \\-\\-first\" ),\n"
                  "or blocks, runs and self-locating, whose lines follow one another. With\n"
                  ".B \\-\\-max\\-count\n"
                  "the first\n"
                  ".I N\n"
                  "lines.\n",
    },
    {
        .name = "--check-pi",
        .form = command_form::check_pi,
        .takes_value = false,
        .usage = "--check-pi",
        .description = "check a base-16 or base-2 file of pi with no second file:\n"
                       "rovurer --check-pi filename",
        .trouble_status = 2,
        .operands = "filename",
        .manual = "Check that\n"
                  ".I filename\n"
                  "holds pi in base 16 (or base 2: the same words) without a second file: compute\n"
                  "pi's hexadecimal digits at positions spread over the file (the first, the last\n"
                  "and evenly between; 4 unless\n"
                  ".B \\-\\-samples\n"
                  "says otherwise), each without the digits before it by Bellard's\n"
                  "digit-extraction formula, and compare them with the file's. An error anywhere\n"
                  "in a computation shows in its last digits, which are always checked. Prints a\n"
                  "line a position, then how many digits matched; status 0 when every one does,\n"
                  "1 and the first position that differs when one does not, 2 for any trouble.\n"
                  "A position costs time in proportion to how far it is: about 5 seconds a core\n"
                  "at 10^8.\n",
    },
    {
        .name = "--samples",
        .form = command_form::dump,
        .takes_value = true,
        .usage = "--samples K",
        .description = "with --check-pi: compute K positions (default 4)",
        .trouble_status = 1,
        .given_with = forms_of(command_form::check_pi),
        .conflict_order = 19,
        .needs_its_form = true,
        .number = &command_line::samples,
        .lowest = 1,
        .highest = 10000,
        .wanted = "a number of positions, from 1 to 10000",
        .manual = "With\n"
                  ".BR \\-\\-check\\-pi :\n"
                  "compute\n"
                  ".I K\n"
                  "positions, the first and the last among them.\n",
    },
}};

}  // namespace

std::span<const known_option> options_of_statistics() {
    return rows;
}

}  // namespace rovurer
