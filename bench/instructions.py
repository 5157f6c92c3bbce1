#!/usr/bin/env python3
"""Instructions each of bench/run's requests costs, against a baseline build.

    instructions.py ROVURER BASELINE_ROVURER [DATA_FOLDER]

Counts the instructions of each request, on one thread, with valgrind's
callgrind: repeatable for the same binary and input, whatever else the
machine is doing, where times are not. The requests are bench/run's, on
10^7 digits rather than 2 x 10^8 (callgrind runs some fifty times slower);
valgrind hides AVX-512, so the kernel set is the fastest without it. Prints
each count, the baseline's, and their ratio.
"""
import os
import re
import struct
import subprocess
import sys
import tempfile

tool, baseline = sys.argv[1], sys.argv[2]
data = sys.argv[3] if len(sys.argv) > 3 else tempfile.mkdtemp(prefix="rovurer-instructions-")
os.makedirs(data, exist_ok=True)
digits = os.path.join(data, "digits")
if not os.path.exists(digits):
    words = 1_000_000
    state = 2026
    with open(digits, "wb") as out:
        out.write(b"MPT\x01FILE" + struct.pack("<qqQqqq", words, 0, 2, 0, 0, 0) + bytes(4040))
        chunk = bytearray()
        for _ in range(words):
            state = (state * 6364136223846793005 + 1442695040888963407) % 2**64
            chunk += struct.pack("<Q", (state ^ (state >> 29)) % 10**19)
        out.write(chunk)

requests = [
    ("50 digits, plain", [digits, "10", "12345678"]),
    ("dump, plain, base 10", [digits, "10", "1", "10000000"]),
    ("dump, plain, base 2", [digits, "2", "1", "10000000"]),
    ("dump --group 0", ["--threads", "1", "--group", "0", digits, "10", "1", "10000000"]),
    ("dump --per-line 100, base 16", ["--threads", "1", "--per-line", "100", digits, "16", "1", "10000000"]),
    ("--count", ["--threads", "1", "--count", digits, "10", "1", "10000000"]),
    ("--find 999999", ["--threads", "1", "--find", "999999", digits, "10", "1", "10000000"]),
    ("--compare", ["--threads", "1", "--compare", digits, digits, "10", "1", "10000000"]),
    ("--info", ["--info", digits]),
]


def instructions(binary, args):
    with tempfile.NamedTemporaryFile(suffix=".out") as log:
        run = subprocess.run(["valgrind", "--tool=callgrind", f"--callgrind-out-file={log.name}", binary] + args,
                             stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        if run.returncode not in (0, 1):
            raise SystemExit(f"{binary} {' '.join(args)}: status {run.returncode}\n{run.stderr}")
        return int(re.search(r"Collected : (\d+)", run.stderr).group(1))


print(f"{'request':<32} {'instructions':>14} {'baseline':>14} {'ratio':>7}")
for name, args in requests:
    now = instructions(tool, args)
    before = instructions(baseline, args)
    print(f"{name:<32} {now:>14,} {before:>14,} {now / before:>7.4f}", flush=True)
