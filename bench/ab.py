#!/usr/bin/env python3
"""Times two builds of rovurer on the same requests, in one run.

    ab.py BEFORE_BUILD AFTER_BUILD RUNS

Each request runs under both binaries in one hyperfine call (warm, output
to /dev/null), on the data files of bench/report.py (under AFTER_BUILD's
bench-data/). Prints the median of RUNS runs of each, and after / before.
"""
import json
import os
import subprocess
import sys
import tempfile

before, after, runs = sys.argv[1], sys.argv[2], int(sys.argv[3])
data = os.path.join(after, "bench-data")
digits, cold, copy = (os.path.join(data, n) for n in ("digits", "cold", "cold-copy"))
requests = [
    ("50 digits at a position", f"{digits} 10 123456789 50"),
    ("base-10 dump, 2e8 digits", f"{digits} 10 1 200000000"),
    ("base-16 dump, 2e8 digits", f"{digits} 16 1 200000000"),
    ("--per-line 100, 1e8 digits, in place", f"--per-line 100 {digits} 10 1 100000000"),
    ("--count base 10, one thread", f"--threads 1 --count {digits} 10 1 200000000"),
    ("--count base 10, two threads", f"--count {digits} 10 1 200000000"),
    ("--find 999999, one thread", f"--threads 1 --find 999999 {digits} 10 1 200000000"),
    ("--find 999999, two threads", f"--find 999999 {digits} 10 1 200000000"),
    ("--compare of two equal 84 MB files", f"--compare {cold} {copy} 10"),
]
print(f"{'request':40} {'before':>10} {'after':>10} {'after/before':>13}")
for label, args in requests:
    with tempfile.NamedTemporaryFile(suffix=".json") as out:
        commands = [f"{os.path.join(build, 'rovurer')} {args}" for build in (before, after)]
        subprocess.run(["hyperfine", "-N", "--runs", str(runs), "--warmup", "3", "--output=null",
                        "--export-json", out.name, "--style", "none"] + commands,
                       check=True, stdout=subprocess.DEVNULL)
        medians = [result["median"] * 1000 for result in json.load(open(out.name))["results"]]
    print(f"{label:40} {medians[0]:8.2f} ms {medians[1]:8.2f} ms {medians[1] / medians[0]:13.3f}")
