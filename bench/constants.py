#!/usr/bin/env python3
"""Making digit files of the constants, and checking a file of pi, timed.

    python3 bench/constants.py BUILD [RUNS] [DIGITS] [FAR]

BUILD is a build directory with make_digit_file, rovurer and pi_position
(the bench preset: build/bench). For each constant (pi, e, sqrt2, phi) in
bases 10 and 16, runs `make_digit_file CONSTANT BASE DIGITS FILE` (DIGITS
default 10^7) RUNS times (default 3), checks that every run wrote the same
bytes, and prints the median wall time with the generator's own account
of where it went (series, root and division, digits, writing) from the
median run. Then `rovurer --check-pi` of the base-16 pi file with 4 and
16 samples, and pi_position (one position of pi's hexadecimal digits on
every processor) at 10^6, 10^7, 10^8 and FAR (default 10^9, run once).
"""
import hashlib
import os
import re
import statistics
import subprocess
import sys
import time


def cpu_name():
    with open("/proc/cpuinfo") as info:
        for line in info:
            if line.startswith("model name"):
                return line.split(":", 1)[1].strip()
    return "unknown CPU"


def timed(command):
    started = time.perf_counter()
    done = subprocess.run(command, capture_output=True, text=True)
    took = time.perf_counter() - started
    if done.returncode != 0:
        sys.exit("%s: status %d: %s" % (" ".join(command), done.returncode, done.stderr.strip()))
    return took, done


def digest(path):
    hashed = hashlib.sha256()
    with open(path, "rb") as f:
        for chunk in iter(lambda: f.read(1 << 24), b""):
            hashed.update(chunk)
    return hashed.hexdigest()


def main():
    build = os.path.abspath(sys.argv[1])
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 3
    digits = int(float(sys.argv[3])) if len(sys.argv) > 3 else 10**7
    far = int(float(sys.argv[4])) if len(sys.argv) > 4 else 10**9
    data = os.path.join(build, "bench-data")
    os.makedirs(data, exist_ok=True)
    print("CPU: %s; %d processors; %d digits, median of %d runs" % (cpu_name(), os.cpu_count(), digits, runs))
    print("\n%-6s %4s %10s %10s %14s %10s %10s  %s" % ("const", "base", "wall s", "series s", "root+div s",
                                                   "digits s", "write s", "runs (s)"))
    accounts = re.compile(r"series ([0-9.]+) s, root and division ([0-9.]+) s, digits ([0-9.]+) s, "
                          r"written ([0-9.]+) s")
    pi16 = None
    for name in ("pi", "e", "sqrt2", "phi"):
        for base in (10, 16):
            out = os.path.join(data, "constant-%s-%d" % (name, base))
            rows = []
            digests = set()
            for _ in range(runs):
                took, done = timed([os.path.join(build, "make_digit_file"), name, str(base), str(digits), out])
                found = accounts.search(done.stderr)
                rows.append((took, [float(x) for x in found.groups()] if found else [0, 0, 0, 0]))
                digests.add(digest(out))
            if len(digests) != 1:
                sys.exit("make_digit_file %s %d: the runs wrote different files" % (name, base))
            rows.sort(key=lambda row: row[0])
            middle = rows[len(rows) // 2]
            print("%-6s %4d %10.2f %10.2f %14.2f %10.2f %10.2f  %s" % (
                name, base, statistics.median(r[0] for r in rows), *middle[1],
                " ".join("%.2f" % r[0] for r in rows)))
            if name == "pi" and base == 16:
                pi16 = out
    tool = os.path.join(build, "rovurer")
    print("\nrovurer --check-pi of the base-16 file of pi (%d digits):" % digits)
    for samples in (4, 16):
        times = []
        for _ in range(runs):
            took, done = timed([tool, "--check-pi", "--samples", str(samples), pi16])
            times.append(took)
        print("  --samples %-3d %8.3f s  (runs: %s)  %s" % (samples, statistics.median(times),
                                                        " ".join("%.3f" % t for t in times),
                                                        done.stdout.strip().splitlines()[-1]))
    print("\npi_position (one position's hexadecimal digits, every processor):")
    for pos in (10**6, 10**7, 10**8, far):
        count = runs if pos < far else 1
        _, done = timed([os.path.join(build, "bench", "pi_position"), str(pos), str(count)])
        lines = done.stdout.split()
        times = [float(x) for x in lines[1:]]
        print("  position %-12d %10.1f ms  digits %s  (runs: %s)" % (pos, statistics.median(times), lines[0],
                                                                  " ".join("%.1f" % t for t in times)))


if __name__ == "__main__":
    main()
