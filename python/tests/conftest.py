"""What the Python tests share: the built tool, digit files written on
demand, and a slow reference decoder of words to digits."""
import os
import struct
import subprocess
from pathlib import Path

import numpy
import pytest

SOURCE = Path(os.environ.get("ROVURER_SOURCE_DIR", Path(__file__).resolve().parents[2]))
TOOL = os.environ.get("ROVURER_TOOL", str(SOURCE / "build" / "release" / "rovurer"))
MAKE_PI = os.environ.get("ROVURER_MAKE_PI", "")
PI10 = str(SOURCE / "examples" / "pi_base10")
PI16 = str(SOURCE / "examples" / "pi_base16")
PER_WORD = {10: 19, 16: 16, 2: 64}


def write_digit_file(path, words, lead_words, word_count=None):
    """A digit file: the header, then `words` in file order (word 0 first)."""
    count = len(words) if word_count is None else word_count
    with open(path, "wb") as out:
        out.write(b"MPT\x01FILE" + struct.pack("<qqQqqq", count, 0, 2, 0, 0, lead_words) + bytes(4040))
        out.write(numpy.asarray(words, dtype="<u8").tobytes())
    return str(path)


def random_words(count, seed):
    return numpy.random.default_rng(seed).integers(0, 10**19, size=count, dtype=numpy.uint64)


def reference_digits(words, lead_words, base, pos, n):
    """The n digits from pos, a word at a time, the plain way: the fraction's
    words, most significant (the last before the lead words) first."""
    per = PER_WORD[base]
    fraction = len(words) - lead_words
    form = {10: "019d", 16: "016X", 2: "064b"}[base]
    first, last = (pos - 1) // per, (pos - 1 + n - 1) // per
    text = "".join(format(int(words[fraction - 1 - k]), form) for k in range(first, min(last + 1, fraction)))
    start = (pos - 1) % per
    return text[start:start + n]


def tool(*args, check=True):
    """The command line's standard output for args."""
    run = subprocess.run([TOOL, *map(str, args)], capture_output=True, text=True)
    if check and run.returncode != 0:
        raise AssertionError(f"rovurer {' '.join(map(str, args))}: status {run.returncode}: {run.stderr}")
    return run.stdout


@pytest.fixture(scope="session")
def mixed(tmp_path_factory):
    """A file of a little more than a block of random words (8 MiB), one lead word."""
    words = random_words((1 << 20) + 300, 7)
    path = write_digit_file(tmp_path_factory.mktemp("files") / "mixed", words, 1)
    return path, words
