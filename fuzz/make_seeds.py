#!/usr/bin/env python3
"""Writes the seed corpus of fuzz_rovurer into fuzz/corpus/: the test
fixtures and the sample files, each with a few argument sets.

A seed is one byte choosing the form (low two bits: 1 three arguments, 2
four; times 4 above them: 4 --find with the count text as DIGITS, 5 --count,
6 --info, 7 --per-line=20; 12 and 13 a form on two threads, 14 in shards, 15
--compare, each followed by a byte that picks the details), the base,
position and count texts each ended by a newline, then the file."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
MAGIC = b"MPT\x01FILE"


def digit_file(words, lead_words, word_count=None, kind=2, magic=MAGIC):
    header = bytearray(4096)
    header[0:8] = magic
    struct.pack_into("<q", header, 8, len(words) if word_count is None else word_count)
    struct.pack_into("<Q", header, 24, kind)
    struct.pack_into("<q", header, 48, lead_words)
    return bytes(header) + b"".join(struct.pack("<Q", w) for w in words)


def seed(args, file, form=0, selector=None):
    choice = (2 if len(args) == 3 else 1) + 4 * form
    texts = list(args) + [""] * (3 - len(args))
    picked = b"" if selector is None else bytes([selector])
    return bytes([choice]) + picked + "".join(t + "\n" for t in texts).encode() + file


def main():
    pi3 = digit_file([6264338327950288419, 1415926535897932384, 3], 1)
    hex2 = digit_file([0x243F6A8885A308D3, 3], 1)
    values = digit_file([0, 2**64 - 1, 10**19, 3], 0)
    with open(os.path.join(HERE, "..", "examples", "pi_base10"), "rb") as f:
        pi_base10 = f.read()
    seeds = {
        "pi3-default": seed(["10", "1"], pi3),
        "pi3-19": seed(["10", "19", "50"], pi3),
        "pi3-exponent": seed(["10", "1e1", "20"], pi3),
        "pi3-fraction": seed(["10", "12.9", "3"], pi3),
        "hex2-16": seed(["16", "2", "50"], hex2),
        "hex2-2": seed(["2", "3", "8"], hex2),
        "hex2-nolead": seed(["16abc", "1", "40"], digit_file([0x243F6A8885A308D3, 3], 0)),
        "values": seed(["10", "1", "80"], values),
        "values-2": seed(["2", "100", "200"], values),
        "pi-sample": seed(["10", "755", "30"], pi_base10),
        "kind1": seed(["10", "1", "5"], digit_file([1, 2], 0, kind=1)),
        "bad-magic": seed(["10", "1", "5"], digit_file([1, 2], 0, magic=b"MPT\x01FILF")),
        "short-header": seed(["10", "1", "5"], digit_file([], 0)[:55]),
        "declared-more": seed(["16", "1", "5"], digit_file([1, 2], 0, word_count=5)),
        "huge-count": seed(["16", "9223372036854775807", "5"], digit_file([1, 2], 0, word_count=2**62)),
        "usage": bytes([0]) + b"10\n1\n\n" + pi3,
        "find-feynman": seed(["10", "700", "999999"], pi_base10, form=4),
        "find-hex": seed(["16", "1", "a3"], hex2, form=4),
        "find-bad-digits": seed(["2", "1", "012"], hex2, form=4),
        "count-pi3": seed(["10", "5", "30"], pi3, form=5),
        "count-binary": seed(["2", "3", "100"], values, form=5),
        "info-pi3": seed(["10", "1", "5"], pi3, form=6),
        "info-kind1": seed(["10", "1", "5"], digit_file([1, 2], 0, kind=1), form=6),
        "per-line-pi": seed(["10", "11", "95"], pi_base10, form=7),
        "per-line-declared-more": seed(["16", "1", "50"], digit_file([1, 2], 0, word_count=5), form=7),
        "threads-find": seed(["10", "1", "4000000"], pi_base10, form=12, selector=0),
        "threads-max-count": seed(["10", "3", "4000000"], pi_base10, form=12, selector=9),
        "threads-count": seed(["16", "7", "3000000"], pi_base10, form=13, selector=2),
        "threads-per-line": seed(["10", "1", "4000000"], pi_base10, form=13, selector=7),
        "shards-find": seed(["10", "1", "3800"], pi_base10, form=14, selector=12),
        "shards-max-count": seed(["10", "5", "3000"], pi_base10, form=14, selector=13),
        "shards-count": seed(["2", "3", "1000"], pi_base10, form=14, selector=10),
        "shards-per-line": seed(["16", "2", "2000"], pi_base10, form=14, selector=15),
        "compare-changed": seed(["10", "1", "3800"], pi_base10, form=15, selector=40),
        "compare-shorter": seed(["16", "9", "3000"], pi_base10, form=15, selector=3),
    }
    os.makedirs(os.path.join(HERE, "corpus"), exist_ok=True)
    for name, data in seeds.items():
        with open(os.path.join(HERE, "corpus", name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
