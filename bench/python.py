#!/usr/bin/env python3
"""Times the Python module against the library and the command line, in one run.

    python.py BUILD_DIR RUNS

BUILD_DIR is the bench preset's build (its module in BUILD_DIR/python). On
the 10^9 random decimal digits of BUILD_DIR/bench-data/billion, warm, every
processor:
  - f.array(1, 10**8) (into an array given, and allocating one) against the
    library's read of the same range into a buffer (bench/read_bench.cpp),
    both timed in process, RUNS runs after one warm-up;
  - f.count() of 10^9 digits, in process, against `rovurer --count` of the
    same range under hyperfine (process start included).
Prints medians and ratios.
"""
import json
import os
import re
import statistics
import subprocess
import sys
import tempfile
import time

build, runs = sys.argv[1], int(sys.argv[2])
sys.path.insert(0, os.path.join(build, "python"))
import numpy  # noqa: E402

import rovurer  # noqa: E402

data = os.path.join(build, "bench-data")
os.makedirs(data, exist_ok=True)
subprocess.run([os.path.join(build, "bench", "bench_files"), "statistics", data], check=True)
billion = os.path.join(data, "billion")
cpu = re.search(r"model name\s*:\s*(.*)", open("/proc/cpuinfo").read()).group(1)
print(f"CPU: {cpu}; {os.cpu_count()} processors; kernel set {rovurer.active_kernel_set()}; "
      f"Python {sys.version.split()[0]}, numpy {numpy.__version__}")


def timed(call):
    call()
    times = []
    for _ in range(runs):
        started = time.perf_counter()
        call()
        times.append(time.perf_counter() - started)
    return statistics.median(times) * 1000


reads = subprocess.run([os.path.join(build, "bench", "read_bench"), billion, "10", "1", str(10**8), str(runs)],
                       check=True, capture_output=True, text=True).stdout.split()
read_ms = statistics.median(float(ms) for ms in reads)
with rovurer.open(billion) as f:
    out = numpy.empty(10**8, dtype=numpy.uint8)
    into_ms = timed(lambda: f.array(1, 10**8, out=out))
    fresh_ms = timed(lambda: f.array(1, 10**8))
    count_ms = timed(lambda: f.count(10, 1, 10**9))
with tempfile.NamedTemporaryFile(suffix=".json") as exported:
    subprocess.run(["hyperfine", "-N", "--runs", str(runs), "--warmup", "1", "--output=null", "--style", "none",
                    "--export-json", exported.name,
                    f"{os.path.join(build, 'rovurer')} --count {billion} 10 1 1000000000"],
                   check=True, stdout=subprocess.DEVNULL)
    tool_ms = json.load(open(exported.name))["results"][0]["median"] * 1000
print(f"\n10^8 digits to values, median of {runs} runs:")
print(f"  library read into a buffer (C++)   {read_ms:8.2f} ms")
print(f"  f.array(1, 10**8, out=array)       {into_ms:8.2f} ms   speed {read_ms / into_ms:.3f} of the C++ read (goal >= 0.8)")
print(f"  f.array(1, 10**8)                  {fresh_ms:8.2f} ms   speed {read_ms / fresh_ms:.3f} of the C++ read")
print(f"\n--count of 10^9 digits, median of {runs} runs:")
print(f"  rovurer --count (hyperfine)        {tool_ms:8.2f} ms")
print(f"  f.count(10, 1, 10**9)              {count_ms:8.2f} ms   {count_ms / tool_ms:.3f} of the command line's time "
      f"(goal within 5%)")
