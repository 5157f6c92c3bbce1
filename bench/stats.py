#!/usr/bin/env python3
"""Times the statistics against --count of the same range, in one run.

    statistics.py BUILD_DIR RUNS [THREADS ...]

Over the first 10^9 decimal digits of BUILD_DIR/bench-data/billion (random
words, made once by bench_files), warm: each form and --count run in one
hyperfine call, so that they share the machine's state, RUNS runs each
after two warm-up runs. Prints the median of each, its ratio to --count's
median and the goal, and the peak resident memory of one more run of each
(/usr/bin/time). THREADS (default: 2, then 1) are --threads values.
"""
import json
import os
import re
import subprocess
import sys
import tempfile

build, runs = sys.argv[1], int(sys.argv[2])
thread_counts = sys.argv[3:] or ["2", "1"]
tool = os.path.join(build, "rovurer")
data = os.path.join(build, "bench-data")
os.makedirs(data, exist_ok=True)
subprocess.run([os.path.join(build, "bench", "bench_files"), "statistics", data], check=True)
billion = os.path.join(data, "billion")
where = [billion, "10", "1", "1000000000"]

forms = [
    ("--stats", ["--stats"], 2.0),
    ("--blocks 1000000", ["--blocks", "1000000"], 1.2),
    ("--runs 7", ["--runs", "7"], 1.2),
    ("--missing 8", ["--missing", "8"], 3.0),
    ("--self-locating", ["--self-locating"], None),
    ("--walk", ["--walk", os.devnull], None),
]


def medians(commands):
    with tempfile.NamedTemporaryFile(suffix=".json") as out:
        subprocess.run(["hyperfine", "-N", "--runs", str(runs), "--warmup", "2", "--output=null",
                        "--export-json", out.name, "--style", "none"] + commands,
                       check=True, stdout=subprocess.DEVNULL)
        return [r["median"] for r in json.load(open(out.name))["results"]]


def peak_kib(args):
    timed = subprocess.run(["/usr/bin/time", "-f", "%M", tool] + args, stdout=subprocess.DEVNULL,
                           stderr=subprocess.PIPE, text=True, check=True)
    return int(timed.stderr.strip().splitlines()[-1])


cpu = re.search(r"model name\s*:\s*(.*)", open("/proc/cpuinfo").read()).group(1)
version = subprocess.run([tool, "--version"], check=True, capture_output=True, text=True).stdout
kernel_set = re.search(r"kernel set: (\S+)", version).group(1)
print(f"CPU: {cpu}; {os.cpu_count()} processors; kernel set {kernel_set}")
print(f"10^9 decimal digits of {billion}, warm; median of {runs} runs; ratio to --count in the same hyperfine call")
for threads in thread_counts:
    print(f"\n--threads {threads}")
    print(f"  {'form':<18} {'median':>10} {'--count':>10} {'ratio':>7} {'goal':>6} {'peak memory':>12}")
    count_args = ["--threads", threads, "--count"] + where
    for label, args, goal in forms:
        form_args = ["--threads", threads] + args + where
        count_s, form_s = medians([" ".join([tool] + count_args), " ".join([tool] + form_args)])
        memory = peak_kib(form_args)
        goal_text = f"{goal:.1f}" if goal else "-"
        print(f"  {label:<18} {form_s * 1000:8.1f} ms {count_s * 1000:7.1f} ms {form_s / count_s:7.2f} {goal_text:>6}"
              f" {memory / 1024:9.1f} MiB", flush=True)
    print(f"  {'--count':<18} peak memory {peak_kib(count_args) / 1024:.1f} MiB")
