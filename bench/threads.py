#!/usr/bin/env python3
"""Every core against one: --threads N against --threads 1, in the same run.

    threads.py ROVURER DATA_DIR [RUNS] [THREADS]

DATA_DIR holds `digits` (bench_files make). For each form: the median of
RUNS runs (warm, after two rounds of warm-up) of --threads THREADS
(default: every core) and of --threads 1, run in turn, their ratio and its
goal, and the spread (lowest and highest) of each, started without a
shell. Dumps through a pipe are read by `cat > /dev/null`, the way a
pipeline reads them.
"""
import os
import subprocess
import sys
import time

tool, data = sys.argv[1], sys.argv[2]
runs = int(sys.argv[3]) if len(sys.argv) > 3 else 11
threads = int(sys.argv[4]) if len(sys.argv) > 4 else (os.cpu_count() or 1)
digits = os.path.join(data, "digits")
count = 200_000_000
out_file = os.path.join(data, "threads-out")


def timed(command, output):
    """Seconds from start to end of `command` (a list), its output to
    /dev/null, through a pipe to cat, or to a new file: no shell."""
    start = time.perf_counter()
    if output == "pipe":
        tool_run = subprocess.Popen(command, stdout=subprocess.PIPE)
        reader = subprocess.Popen(["cat"], stdin=tool_run.stdout, stdout=subprocess.DEVNULL)
        tool_run.stdout.close()
        if reader.wait() != 0 or tool_run.wait() != 0:
            sys.exit(f"failed: {command}")
    else:
        with open(out_file if output == "file" else os.devnull, "wb") as out:
            subprocess.run(command, stdout=out, check=True)
    return time.perf_counter() - start


def alternate(commands, output):
    """Times of each command, run in turn (A B A B ...) so that a drift of
    the machine's speed falls on all of them alike; two rounds to warm up.
    A new output file each time: truncating the last run's would be timed."""
    times = [[] for _ in commands]
    for round in range(runs + 2):
        for i, command in enumerate(commands):
            if output == "file" and os.path.exists(out_file):
                os.remove(out_file)
            took = timed(command, output)
            if round >= 2:
                times[i].append(took)
    return [sorted(t) for t in times]


def median(values):
    middle = len(values) // 2
    return values[middle] if len(values) % 2 else (values[middle - 1] + values[middle]) / 2


def spread(values):
    return f"{1000 * values[0]:.1f}-{1000 * values[-1]:.1f}"


version = subprocess.run([tool, "--version"], check=True, capture_output=True, text=True).stdout.splitlines()
cpu = open("/proc/cpuinfo").read().split("model name")[1].split(":")[1].splitlines()[0].strip()
print(f"machine: {cpu}, {os.cpu_count()} cores; {version[0]}; --threads {threads} against --threads 1,"
      f" {count:,} digits, warm, {runs} runs each, medians (lowest-highest)")
forms = [
    ("dump base 10 --group 10, pipe", f"--group 10 {digits} 10 1 {count}", "pipe", 1.0),
    ("dump base 10 --group 0, pipe", f"--group 0 --no-labels {digits} 10 1 {count}", "pipe", 1.0),
    ("dump base 16, pipe", f"{digits} 16 1 {count}", "pipe", 1.0),
    ("dump base 2, pipe", f"{digits} 2 1 {count}", "pipe", 1.0),
    ("dump --per-line 100, pipe", f"--per-line 100 {digits} 10 1 {count}", "pipe", 1.0),
    ("dump base 10, to /dev/null", f"{digits} 10 1 {count}", "null", 0.6),
    ("--count base 10", f"--count {digits} 10 1 {count}", "null", 0.6),
    ("--count base 16", f"--count {digits} 16 1 {count}", "null", 0.6),
    ("--find 999999", f"--find 999999 {digits} 10 1 {count}", "null", 0.6),
    # Last, as the pages it leaves dirty are written back for a while after.
    ("dump base 10, to a new file", f"{digits} 10 1 {count}", "file", 0.6),
]
for label, arguments, output, goal in forms:
    subprocess.run(["sync"], check=True)
    many, one = alternate([[tool, "--threads", str(threads)] + arguments.split(),
                           [tool, "--threads", "1"] + arguments.split()], output)
    ratio = median(many) / median(one)
    print(f"  {label:<32} {1000 * median(many):8.1f} ms ({spread(many)})  one thread {1000 * median(one):8.1f} ms"
          f" ({spread(one)})  ratio {ratio:.3f}  (goal <= {goal})", flush=True)
if os.path.exists(out_file):
    os.remove(out_file)
