#!/usr/bin/env python3
"""Writes the seed corpus of fuzz_rovurer into fuzz/corpus/: the test
fixtures and the sample files, each with a few argument sets.

A seed is one byte choosing the argument count (1: three arguments, 2: four),
the base, position and count texts each ended by a newline, then the file."""
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


def seed(args, file):
    choice = 2 if len(args) == 3 else 1
    texts = list(args) + [""] * (3 - len(args))
    return bytes([choice]) + "".join(t + "\n" for t in texts).encode() + file


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
    }
    os.makedirs(os.path.join(HERE, "corpus"), exist_ok=True)
    for name, data in seeds.items():
        with open(os.path.join(HERE, "corpus", name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
