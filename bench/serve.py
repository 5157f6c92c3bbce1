#!/usr/bin/env python3
"""The server under load, with wrk on loopback, against nginx in the same run.

    serve.py ROVURER DATA_FOLDER [SECONDS]

Makes a digit file of 10^9 random decimal digits and the same digits as a
text file (in DATA_FOLDER, once), then measures, with keep-alive, 64
connections, five runs of SECONDS (6) each, taken in turn with the
baseline's:
  - lookups: 1,000 digits at random positions, from rovurer --serve, and
    from nginx as a 1,000-byte Range of the text file, nginx with one
    worker process and with two, each beside a run of rovurer's;
  - the same lookups while two finds read the whole file;
  - the server's resident memory with 1,000 idle connections open.
Prints requests a second and the 99th percentile of latency.
"""
import atexit
import os
import re
import resource
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import time
import urllib.request

tool, data = sys.argv[1], os.path.abspath(sys.argv[2])
seconds = int(sys.argv[3]) if len(sys.argv) > 3 else 6
digits_total = 10**9
words = (digits_total + 18) // 19
binary = os.path.join(data, "serve-digits")
text = os.path.join(data, "serve-text")
os.makedirs(data, exist_ok=True)
if not os.path.exists(binary):
    with open(binary + ".tmp", "wb") as out:
        out.write(b"MPT\x01FILE" + struct.pack("<qqQqqq", words, 0, 2, 0, 0, 0) + bytes(4040))
        left = words
        while left > 0:
            chunk = min(left, 1 << 20)
            out.write(os.urandom(8 * chunk))
            left -= chunk
    os.rename(binary + ".tmp", binary)
if not os.path.exists(text):
    with open(text + ".tmp", "wb") as out:
        subprocess.run([tool, "--group", "0", "--no-labels", binary, "10", "1", str(digits_total)], stdout=out,
                       check=True)
    os.rename(text + ".tmp", text)

# Open files: 1,000 connections and more.
soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
resource.setrlimit(resource.RLIMIT_NOFILE, (min(hard, 8192), hard))

work = tempfile.mkdtemp()
os.chmod(work, 0o755)  # nginx's workers run as another user
server_port = 18090
server = subprocess.Popen([tool, "--serve", "--quiet", "--listen", f"127.0.0.1:{server_port}",
                           "--max-connections", "2000", binary], stderr=subprocess.PIPE, text=True)
started = server.stderr.readline()
if "serving" not in started:
    sys.exit(f"rovurer --serve did not start: {started.strip()} (a build without the server?)")
nginx_ports = {1: 18091, 2: 18092}  # nginx with one worker process, and with two
nginxes = []
for workers, port in nginx_ports.items():
    folder = os.path.join(work, f"nginx-{workers}")
    os.makedirs(folder)
    os.chmod(folder, 0o755)
    with open(os.path.join(folder, "nginx.conf"), "w") as conf:
        conf.write(f"""daemon off; worker_processes {workers}; pid {folder}/nginx.pid; error_log {folder}/error.log;
events {{ worker_connections 4096; }}
http {{ access_log off; sendfile on; tcp_nopush on; keepalive_requests 1000000;
  client_body_temp_path {folder}; proxy_temp_path {folder}; fastcgi_temp_path {folder}; uwsgi_temp_path {folder};
  scgi_temp_path {folder};
  server {{ listen 127.0.0.1:{port}; location /digits {{ alias {text}; }} }} }}
""")
    nginxes.append(subprocess.Popen(["nginx", "-c", os.path.join(folder, "nginx.conf"), "-e",
                                     os.path.join(folder, "error.log")]))


def stop_servers():
    """Stops every server this script started, however it ends (nginx
    would otherwise keep running, and hold this script's output open)."""
    for process in [server, *nginxes]:
        if process.poll() is None:
            process.terminate()
            process.wait()


atexit.register(stop_servers)
for port in (server_port, *nginx_ports.values()):
    for _ in range(100):
        try:
            socket.create_connection(("127.0.0.1", port), timeout=1).close()
            break
        except OSError:
            time.sleep(0.1)

name = os.path.basename(binary)
scripts = {
    "rovurer": f"""math.randomseed(7)
request = function()
  return wrk.format("GET", "/v1/digits?file={name}&base=10&n=1000&pos=" .. math.random(1, {digits_total - 999}))
end
""",
    "nginx": f"""math.randomseed(7)
request = function()
  local at = math.random(0, {digits_total - 1000})
  return wrk.format("GET", "/digits", {{["Range"] = "bytes=" .. at .. "-" .. (at + 999)}})
end
""",
}


def wrk(label, port, duration):
    script = os.path.join(work, label + ".lua")
    with open(script, "w") as out:
        out.write(scripts[label])
    result = subprocess.run(["wrk", "-t2", "-c64", f"-d{duration}s", "--latency", "-s", script,
                             f"http://127.0.0.1:{port}"], capture_output=True, text=True, check=True).stdout
    rate = float(re.search(r"Requests/sec:\s+([\d.]+)", result).group(1))
    p99 = re.search(r"99%\s+([\d.]+)(us|ms|s)", result)
    p99_ms = float(p99.group(1)) * {"us": 0.001, "ms": 1, "s": 1000}[p99.group(2)]
    errors = re.search(r"Non-2xx or 3xx responses: (\d+)", result)
    return rate, p99_ms, int(errors.group(1)) if errors else 0


def median(values):
    values = sorted(values)
    return values[len(values) // 2]


def show(label, runs):
    # Every answer must be a success: a failing baseline would be no baseline.
    rates = sorted(rate for rate, _, _ in runs)
    p99s = sorted(p99 for _, p99, _ in runs)
    print(f"{label:52} {median(rates):10.0f} req/s ({rates[0]:.0f}-{rates[-1]:.0f})   p99 {median(p99s):6.2f} ms"
          f" (highest {p99s[-1]:.2f})   non-2xx {sum(errors for _, _, errors in runs)}")


rounds = 5
print(f"lookups of 1,000 digits at random positions of 10^9, keep-alive, wrk -t2 -c64, {rounds} runs of"
      f" {seconds} s each taken in turn with the baseline's, medians (lowest-highest), rovurer --quiet, nginx with"
      f" access_log off:")
# Each setup in turn, rovurer's runs taken in turn with its baseline's, so
# that a drift of the machine falls on both: with nginx of one worker
# process, then of two (one a core here).
for workers, port in nginx_ports.items():
    rovurer_runs, nginx_runs = [], []
    for _ in range(rounds):
        rovurer_runs.append(wrk("rovurer", server_port, seconds))
        nginx_runs.append(wrk("nginx", port, seconds))
    if any(errors for _, _, errors in rovurer_runs + nginx_runs):
        sys.exit("answers that are not successes: the figures would mean nothing")
    show("rovurer --serve", rovurer_runs)
    show(f"nginx, worker_processes {workers}, a 1,000-byte Range", nginx_runs)
    print(f"ratio of the medians against nginx of {workers} worker(s): "
          f"{median([r[0] for r in rovurer_runs]) / median([r[0] for r in nginx_runs]):.3f}"
          f" (goal 0.8 or more; p99 goal 10 ms)")

# Two finds over the whole file, again and again, while the lookups run.
running = True


def scan():
    while running:
        with urllib.request.urlopen(f"http://127.0.0.1:{server_port}/v1/find?file={name}&digits=31415926535897"
                                    f"&max=1000", timeout=600) as answer:
            answer.read()


scans = [threading.Thread(target=scan) for _ in range(2)]
for thread in scans:
    thread.start()
time.sleep(1)  # both finds under way before the lookups start
during = [wrk("rovurer", server_port, seconds) for _ in range(rounds)]
running = False
for thread in scans:
    thread.join()
show("rovurer --serve, while two finds read the file", during)
print("  (p99 goal while two finds scan: 20 ms)")

# Memory with 1,000 idle connections.
idle = [socket.create_connection(("127.0.0.1", server_port)) for _ in range(1000)]
time.sleep(1)
with open(f"/proc/{server.pid}/status") as status:
    rss = int(re.search(r"VmRSS:\s+(\d+) kB", status.read()).group(1))
print(f"resident memory with 1,000 idle connections: {rss / 1024:.1f} MiB (goal 64 or less)")
for connection in idle:
    connection.close()

stop_servers()
