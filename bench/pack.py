#!/usr/bin/env python3
"""Packing text into a digit file, against cat of the same text, in one run.

    python3 bench/pack.py ROVURER [RUNS] [DIGITS]

Makes DIGITS (default 10^9) random decimal digits of text twice, on one line
and in lines of 100, in build/bench/bench-data/, then times with hyperfine,
warm: `cat TEXT > /dev/null`, `cat TEXT > FILE` (the same bytes written to
a new file on the same disk), `rovurer --pack` on one thread and on every
processor, and `dd if=OUT of=COPY bs=8M conv=fsync` of --pack's own output
(writing and flushing the digit file: what packing cannot beat). Prints
each median, and each ratio to cat > /dev/null, cat > FILE and the dd.
Needs hyperfine.
"""
import json
import os
import subprocess
import sys
import tempfile


def make_text(path, digits, line):
    if os.path.exists(path) and os.path.getsize(path) >= digits:
        return
    table = bytes(ord("0") + b % 10 for b in range(256))
    with open(path, "wb") as out:
        left = digits
        carry = b""
        while left > 0:
            chunk = carry + os.urandom(min(left, 1 << 24) - len(carry)).translate(table)
            left -= len(chunk)
            if line:
                usable = len(chunk) // line * line
                carry = chunk[usable:] if left > 0 else b""
                rows = [chunk[k:k + line] for k in range(0, usable, line)]
                out.write(b"\n".join(rows) + b"\n")
                if left <= 0 and usable < len(chunk):
                    out.write(chunk[usable:] + b"\n")
            else:
                out.write(chunk)
        if not line:
            out.write(b"\n")


def main():
    rovurer = os.path.abspath(sys.argv[1])
    runs = sys.argv[2] if len(sys.argv) > 2 else "5"
    digits = int(float(sys.argv[3])) if len(sys.argv) > 3 else 10**9
    data = os.path.join("build", "bench", "bench-data")
    os.makedirs(data, exist_ok=True)
    out = os.path.join(data, "pack-out")
    copy = os.path.join(data, "pack-copy")
    for name, line in (("one line", 0), ("lines of 100", 100)):
        text = os.path.join(data, "pack-text-%d" % line)
        make_text(text, digits, line)
        commands = [
            ("cat > /dev/null", "cat %s > /dev/null" % text),
            ("cat > FILE", "rm -f %s; cat %s > %s" % (copy, text, copy)),
            ("--pack, 1 thread", "%s --pack --force --threads 1 %s %s 10 2>/dev/null" % (rovurer, text, out)),
            ("--pack, every processor", "%s --pack --force %s %s 10 2>/dev/null" % (rovurer, text, out)),
            ("dd of its output, fsync", "rm -f %s; dd if=%s of=%s bs=8M conv=fsync status=none" % (copy, out, copy)),
        ]
        with tempfile.NamedTemporaryFile(suffix=".json") as report:
            argv = ["hyperfine", "--warmup", "1", "--runs", runs, "--export-json", report.name]
            for _, command in commands:
                argv.append(command)
            subprocess.run(argv, check=True, stdout=subprocess.DEVNULL)
            results = json.load(open(report.name))["results"]
        medians = [r["median"] for r in results]
        print("%s, %s bytes of text, %s runs:" % (name, format(os.path.getsize(text), ","), runs))
        for (label, _), median in zip(commands, medians):
            print("  %-26s %8.3f s   %5.2f x cat>/dev/null   %5.2f x cat>FILE   %5.2f x dd   %6.2f GB/s" %
                  (label, median, median / medians[0], median / medians[1], median / medians[4],
                   os.path.getsize(text) / median / 1e9))
    for path in (out, copy):
        if os.path.exists(path):
            os.remove(path)


if __name__ == "__main__":
    main()
