#!/usr/bin/env python3
"""Times rovurer against its baselines with hyperfine, in one run.

    report.py BUILD_DIR RUNS SVG_PATH [KERNEL_SET ...]

Each KERNEL_SET (default: every set this CPU supports, as --version lists
them) is timed end to end on the warm dumps as well, forced with --kernels. Every figure is the median of RUNS runs (hyperfine's warm-up runs apart) and
its ratio to a baseline measured in the same run. Cold runs evict the files
from the page cache first. Prints a table and draws the ratios as an SVG.
"""
import json
import os
import random
import re
import subprocess
import sys
import tempfile

build, runs, svg_path = sys.argv[1], int(sys.argv[2]), sys.argv[3]
tool = os.path.join(build, "rovurer")
version = subprocess.run([tool, "--version"], check=True, capture_output=True, text=True).stdout
kernel_sets = sys.argv[4:] or re.search(r"supports: ([^)]*)\)", version).group(1).split()
files_tool = os.path.join(build, "bench", "bench_files")
data = os.path.join(build, "bench-data")  # on the build's disk, not a tmpfs
os.makedirs(data, exist_ok=True)
digits, cold, zeros, small, huge = (os.path.join(data, n) for n in ("digits", "cold", "zeros", "small", "huge"))
if not os.path.exists(huge):
    subprocess.run([files_tool, "make", data], check=True)
evict = f"{files_tool} evict"
bench_digits = 200_000_000
rows = []  # (group, measure, rovurer ms, baseline name, baseline ms, ratio, goal)


def hyperfine(commands, prepare=None, warmup=2, shell=False, output="null"):
    """Median seconds of each command, and all its times. Output "pipe" makes
    hyperfine read the output through a pipe (GNU grep stops at its first
    match when its output is /dev/null)."""
    with tempfile.NamedTemporaryFile(suffix=".json") as out:
        args = ["hyperfine", "--runs", str(runs), "--warmup", str(warmup if prepare is None else 0),
                f"--output={output}", "--export-json", out.name, "--style", "none"]
        if not shell:
            args.append("-N")
        if prepare:
            args += ["--prepare", prepare]
        subprocess.run(args + commands, check=True, stdout=subprocess.DEVNULL)
        results = json.load(open(out.name))["results"]
    return [r["times"] for r in results]


def median(values):
    values = sorted(values)
    middle = len(values) // 2
    return values[middle] if len(values) % 2 else (values[middle - 1] + values[middle]) / 2


def record(group, measure, tool_times, baseline, baseline_times, goal):
    tool_ms, base_ms = 1000 * median(tool_times), 1000 * median(baseline_times)
    rows.append((group, measure, tool_ms, baseline, base_ms, tool_ms / base_ms, goal))
    print(f"  {measure:<44} {tool_ms:9.2f} ms  {baseline:<26} {base_ms:9.2f} ms  ratio {tool_ms / base_ms:5.2f}"
          f"  (goal <= {goal})", flush=True)


# Positions for the 50-digit lookups: random, spread over the whole file.
words = os.path.getsize(digits) // 8 - 512
rng = random.Random(2026)
positions = [rng.randrange(1, 19 * (words - 1)) for _ in range(7)]


def page_of(position):
    """The file page holding the first digit at a base-10 position."""
    word = words - 1 - (position - 1) // 19
    return (4096 + 8 * word) // 4096


print(f"machine: {open('/proc/cpuinfo').read().split('model name')[1].split(':')[1].splitlines()[0].strip()},"
      f" {os.cpu_count()} cores; {runs} runs each, medians")

print("50 digits at 7 random positions of a 128 MB file:")
text = os.path.join(data, "text")
with open(text, "w") as out:
    out.write("".join(str(i) for i in range(100000)))
warm_tool, warm_head = [], []
cold_tool, cold_dd = [], []
for position in positions:
    tool_times, head_times = hyperfine([f"{tool} {digits} 10 {position}", f"head -c 60 {text}"], warmup=3)
    warm_tool += tool_times
    warm_head += head_times
    tool_times, dd_times = hyperfine(
        [f"{tool} {digits} 10 {position}", f"dd if={digits} bs=4096 count=1 skip={page_of(position)} status=none"],
        prepare=f"{evict} {digits}")
    cold_tool += tool_times
    cold_dd += dd_times
record("lookup", "50 digits, warm", warm_tool, "head -c 60 of a text file", warm_head, 1.2)
record("lookup", "50 digits, cold", cold_tool, "dd of one page, cold", cold_dd, 1.5)

most_read = 0
for position in positions:
    with tempfile.NamedTemporaryFile(suffix=".strace") as log:
        subprocess.run(["strace", "-f", "-qq", "-e", "trace=pread64", "-o", log.name, tool, digits, "10",
                        str(position)], check=True, stdout=subprocess.DEVNULL)
        calls = re.findall(r"pread64\(\d+, .*, (\d+), (\d+)\) = (\d+)", open(log.name).read())
    most_read = max(most_read, sum(int(got) for _, offset, got in calls if int(offset) >= 4096))
print(f"  bytes of the data region read for 50 digits: at most {most_read} (goal <= 8192)")

print("50 digits at position 1 of a sparse 1 TiB file against a 10 MiB file, warm:")
huge_times, small_times = hyperfine([f"{tool} {huge} 10 1", f"{tool} {small} 10 1"], warmup=3)
record("lookup", "50 digits of a 1 TiB file", huge_times, "the same of a 10 MiB file", small_times, 1.2)

print(f"{bench_digits:,} digits from position 1:")
texts = {}
for base in ("10", "16", "2"):
    texts[base] = os.path.join(data, f"text{base}")
    with open(texts[base], "wb") as out:
        subprocess.run([tool, digits, base, "1", str(bench_digits)], check=True, stdout=out)
cold_tool_times, cold_cat_times = hyperfine([f"{tool} {cold} 10 1 {bench_digits}", f"cat {cold}"],
                                            prepare=f"{evict} {cold}")
record("dump", "base 10, cold 84 MB file, to /dev/null", cold_tool_times, "cat of the binary file, cold",
       cold_cat_times, 1.3)
goals = {("10", "null"): 1.0, ("10", "pipe"): 0.8}
for base in ("10", "16", "2"):
    tool_times, cat_times = hyperfine([f"{tool} {digits} {base} 1 {bench_digits}", f"cat {texts[base]}"])
    record("dump", f"base {base}, warm, to /dev/null", tool_times, "cat of the same text", cat_times,
           goals.get((base, "null"), 1.0))
    tool_times, cat_times = hyperfine([f"{tool} {digits} {base} 1 {bench_digits} | cat", f"cat {texts[base]} | cat"],
                                      shell=True)
    record("dump", f"base {base}, warm, through a pipe", tool_times, "cat of the same text", cat_times,
           goals.get((base, "pipe"), 0.8))

print(f"{bench_digits:,} digits, warm, to /dev/null, by kernel set (--kernels):")
# The AVX2 and portable goals are those set for AVX2-only machines; the
# others stay as first set.
kernel_goals = {"portable": {"10": 2.2, "16": 1.3, "2": 1.1}, "sse2": {"10": 2.0}, "avx2": {"10": 1.4, "16": 0.9, "2": 0.9}}
for name in kernel_sets:
    for base in ("10", "16", "2"):
        tool_times, cat_times = hyperfine([f"{tool} --threads 1 --kernels {name} {digits} {base} 1 {bench_digits}",
                                           f"cat {texts[base]}"])
        goal = kernel_goals.get(name, {}).get(base, 1.5 if name in ("portable", "sse2") else 1.0)
        record("kernels", f"--kernels {name}, base {base}, warm, to /dev/null", tool_times, "cat of the same text",
               cat_times, goal)

print(f"--find and --count over {bench_digits:,} digits, warm, one thread:")
lines = os.path.join(data, "lines10")  # the same digits, 100 a line, no spaces
with open(texts["10"]) as text, open(lines, "w") as out:
    joined = text.read().replace(" ", "").strip()
    out.write("".join(joined[i:i + 100] + "\n" for i in range(0, len(joined), 100)))
    twelve = joined[123_456_700:123_456_712]  # occurs, within one line (grep fails on none)
    del joined
for pattern in ("999999", twelve):
    tool_times, grep_times = hyperfine([f"{tool} --threads 1 --find {pattern} {digits} 10 1 {bench_digits}",
                                        f"grep -o -b -F {pattern} {lines}"], output="pipe")
    record("search", f"--find {len(pattern)} digits, base 10", tool_times, "grep -o -b -F, 100 a line", grep_times, 0.5)
for base in ("10", "16", "2"):
    tool_times, cat_times = hyperfine([f"{tool} --threads 1 --count {digits} {base} 1 {bench_digits}",
                                       f"cat {texts[base]}"])
    record("search", f"--count, base {base}", tool_times, "cat of the grouped text", cat_times,
           1.5 if base == "10" else 1.0)

print(f"--count and --find over {bench_digits:,} digits, warm, one thread, by kernel set (--kernels):")
kernel_count_goals = {"avx2": {"10": 1.0, "16": 0.7, "2": 0.3}, "portable": {"10": 2.0, "16": 1.5, "2": 0.5}}
for name in kernel_sets:
    for base in ("10", "16", "2"):
        tool_times, cat_times = hyperfine([f"{tool} --threads 1 --kernels {name} --count {digits} {base} 1 {bench_digits}",
                                           f"cat {texts[base]}"])
        goal = kernel_count_goals.get(name, kernel_count_goals["avx2"])[base]
        record("kernels", f"--kernels {name} --count, base {base}", tool_times, "cat of the grouped text", cat_times,
               goal)
    tool_times, grep_times = hyperfine([f"{tool} --threads 1 --kernels {name} --find 999999 {digits} 10 1 {bench_digits}",
                                        f"grep -o -b -F 999999 {lines}"], output="pipe")
    record("kernels", f"--kernels {name} --find 999999", tool_times, "grep -o -b -F, 100 a line", grep_times,
           0.6 if name in ("portable", "sse2") else 0.3)

threads = os.cpu_count() or 1
print(f"every core ({threads}): --threads {threads} against --threads 1, {bench_digits:,} digits, warm:")
many = f"--threads {threads}"
for label, arguments, goal, shell in (
        ("--count, base 10", f"--count {digits} 10 1 {bench_digits}", 0.6, False),
        ("--count, base 16", f"--count {digits} 16 1 {bench_digits}", 0.6, False),
        ("--find 999999", f"--find 999999 {digits} 10 1 {bench_digits}", 0.6, False),
        ("dump, base 10, to /dev/null", f"--group 10 {digits} 10 1 {bench_digits}", 0.6, False),
        ("dump, base 10, through a pipe", f"--group 10 {digits} 10 1 {bench_digits} | cat", 1.0, True)):
    many_times, one_times = hyperfine([f"{tool} {many} {arguments}", f"{tool} --threads 1 {arguments}"], shell=shell)
    record("cores", f"{label}, {many}", many_times, "--threads 1", one_times, goal)
copy = os.path.join(data, "cold-copy")
if not os.path.exists(copy):
    subprocess.run(["cp", cold, copy], check=True)
compare_times, cmp_times = hyperfine([f"{tool} --compare {cold} {copy} 10", f"cmp {cold} {copy}"])
record("cores", "--compare of two equal 84 MB files", compare_times, "cmp of the same files", cmp_times, 0.5)
cold_times, warm_times = hyperfine([f"{tool} {digits} 10 1 {bench_digits}"], prepare=f"{evict} {digits}"), \
    hyperfine([f"{tool} {digits} 10 1 {bench_digits}"])
record("cores", "dump, base 10, file evicted", cold_times[0], "the same dump, warm", warm_times[0], 1.15)

print("peak resident memory at 10^9 digits (a sparse file of zero words), by GNU time:")
for label in ("", "--find", "--count"):
    for base in ("10", "16", "2"):
        for threads_option, goal in (("--threads=1", 12 * 1024), (f"--threads={threads}", (12 + 10 * (threads - 1)) * 1024)):
            options = {"": [], "--count": ["--count"],
                       "--find": ["--find", {"10": "999999", "16": "FFFFFF", "2": "111111"}[base]]}[label]
            if label or threads_option != "--threads=1":
                options = [threads_option] + options
            measured = subprocess.run(["/usr/bin/time", "-q", "-f", "%M", tool] + options + [zeros, base, "1", "1000000000"],
                                      stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
            if measured.returncode not in ((0, 1) if label == "--find" else (0,)):  # --find: 1 when none found
                raise RuntimeError(f"{options} failed: {measured.stderr}")
            print(f"  {' '.join(options)}{' ' if options else ''}base {base}: {measured.stderr.strip()} KiB "
                  f"(goal <= {goal})")


def draw(path):
    """Horizontal bars: each ratio, with its goal as a tick."""
    bar_height, left, width = 26, 330, 420
    top = 40
    height = top + bar_height * len(rows) + 40
    scale = width / max(2.5, max(r[5] for r in rows) * 1.1)
    out = [f'<svg xmlns="http://www.w3.org/2000/svg" width="{left + width + 60}" height="{height}" '
           'font-family="sans-serif" font-size="12">',
           '<rect width="100%" height="100%" fill="white"/>',
           f'<text x="10" y="20" font-size="14">rovurer against its baselines (ratio of medians, lower is '
           f'better; | marks the goal)</text>']
    for i, (group, measure, _, baseline, _, ratio, goal) in enumerate(rows):
        y = top + i * bar_height
        colour = "#3a7" if ratio <= goal else "#d64"
        out.append(f'<text x="{left - 8}" y="{y + 16}" text-anchor="end">{measure} / {baseline}</text>')
        out.append(f'<rect x="{left}" y="{y + 4}" width="{ratio * scale:.1f}" height="{bar_height - 8}" '
                   f'fill="{colour}"/>')
        out.append(f'<text x="{left + ratio * scale + 4:.1f}" y="{y + 16}">{ratio:.2f}</text>')
        out.append(f'<line x1="{left + goal * scale:.1f}" x2="{left + goal * scale:.1f}" y1="{y + 1}" '
                   f'y2="{y + bar_height - 1}" stroke="black" stroke-width="2"/>')
    axis_y = top + bar_height * len(rows) + 6
    for tick in (0, 0.5, 1, 1.5, 2, 2.5):
        x = left + tick * scale
        if x <= left + width:
            out.append(f'<line x1="{x:.1f}" x2="{x:.1f}" y1="{top}" y2="{axis_y}" stroke="#ccc"/>')
            out.append(f'<text x="{x:.1f}" y="{axis_y + 14}" text-anchor="middle">{tick}</text>')
    out.append("</svg>")
    with open(path, "w") as file:
        file.write("\n".join(out) + "\n")


draw(svg_path)
print(f"chart: {svg_path}")
print()
print("| measure | rovurer | baseline | baseline time | ratio | goal |")
print("|---|---:|---|---:|---:|---:|")
for group, measure, tool_ms, baseline, base_ms, ratio, goal in rows:
    print(f"| {measure} | {tool_ms:.2f} ms | {baseline} | {base_ms:.2f} ms | {ratio:.2f} | {goal} |")
