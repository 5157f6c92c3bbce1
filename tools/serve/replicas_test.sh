#!/usr/bin/env bash
# Two rovurer --serve replicas behind HAProxy (haproxy.cfg) on loopback:
# both answer, and while one of them ends (SIGTERM) and is gone, every
# request through the balancer is answered.
#   tools/serve/replicas_test.sh ROVURER DIGIT_FILE
set -euo pipefail
tool=$1
file=$2
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

for port in 18081 18082; do
  "$tool" --serve --listen "127.0.0.1:$port" "$file" 2>"$work/replica-$port.log" &
  pids+=($!)
done
haproxy -f "$here/haproxy.cfg" -db >"$work/haproxy.log" 2>&1 &
pids+=($!)
name=$(basename "$file")
url="http://127.0.0.1:18080/v1/digits?file=$name&base=10&pos=1&n=10"

# Until the balancer answers: a few seconds at most.
ready=no
for _ in $(seq 100); do
  curl -fsS "http://127.0.0.1:18080/healthz" >/dev/null 2>&1 && { ready=yes; break; }
  sleep 0.1
done
[ "$ready" = yes ] || { cat "$work/haproxy.log"; echo "the balancer never answered"; exit 1; }
for _ in $(seq 20); do curl -fsS "$url" >/dev/null; done
for port in 18081 18082; do
  grep -q '"GET /v1/digits' "$work/replica-$port.log" || { echo "replica $port answered nothing"; exit 1; }
done
echo "-- both replicas answer through the balancer"

# Requests go on while replica 1 ends and stays gone: none may fail.
requests=0
failed=0
kill -TERM "${pids[0]}"
for _ in $(seq 300); do
  requests=$((requests + 1))
  answer=$(curl -sS -o /dev/null -w '%{http_code}' "$url" 2>/dev/null || echo 000)
  [ "$answer" = 200 ] || failed=$((failed + 1))
done
wait "${pids[0]}" && ended=0 || ended=$?
[ "$ended" = 0 ] || { echo "replica 1 ended with status $ended after SIGTERM"; exit 1; }
[ "$failed" = 0 ] || { echo "$failed of $requests requests failed while a replica was gone"; exit 1; }
echo "-- $requests requests while replica 1 ended and was gone: all answered"
