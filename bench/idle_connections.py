#!/usr/bin/env python3
"""What idle connections cost the server, against a baseline build.

    idle_connections.py ROVURER [BASELINE_ROVURER] [COUNT] [RUNS]

For each build, RUNS times (5): starts `rovurer --serve` on the sample
file, opens COUNT (2,000) connections that send nothing, and reads the
server's resident memory before and after; then checks that a new client
still gets /healthz. Prints the median growth a connection, each run's
figure, and the ratio to the baseline.
"""
import os
import re
import socket
import statistics
import subprocess
import sys
import time

tool = sys.argv[1]
baseline = sys.argv[2] if len(sys.argv) > 2 and sys.argv[2] else None
count = int(sys.argv[3]) if len(sys.argv) > 3 else 2000
runs = int(sys.argv[4]) if len(sys.argv) > 4 else 5
sample = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "examples", "pi_base10")


def resident_kib(pid):
    with open(f"/proc/{pid}/status") as status:
        return int(re.search(r"VmRSS:\s+(\d+) kB", status.read()).group(1))


def settled(pid):
    """The resident memory once it stops changing (the server has taken every connection)."""
    last = -1
    for _ in range(100):
        now = resident_kib(pid)
        if now == last:
            return now
        last = now
        time.sleep(0.1)
    return last


def one_run(binary):
    server = subprocess.Popen([binary, "--serve", "--quiet", "--listen", "127.0.0.1:0",
                               "--max-connections", str(count + 100), sample],
                              stderr=subprocess.PIPE, text=True)
    port = int(server.stderr.readline().rsplit(":", 1)[1].strip().rstrip("/"))
    before = settled(server.pid)
    idle = [socket.create_connection(("127.0.0.1", port)) for _ in range(count)]
    after = settled(server.pid)
    with socket.create_connection(("127.0.0.1", port)) as client:
        client.sendall(b"GET /healthz HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n")
        answer = client.recv(64)
    assert answer.startswith(b"HTTP/1.1 200"), answer
    for connection in idle:
        connection.close()
    server.terminate()
    server.wait()
    return (after - before) * 1024 / count


def measure(name, binary):
    figures = [one_run(binary) for _ in range(runs)]
    median = statistics.median(figures)
    print(f"{name}: {median:.0f} bytes a connection, median of {runs} "
          f"({', '.join(f'{f:.0f}' for f in figures)}); {count} idle connections: {median * count / 2**20:.1f} MiB")
    return median


this = measure("rovurer", tool)
if baseline:
    base = measure("baseline", baseline)
    print(f"ratio to the baseline: {this / base:.3f}")
