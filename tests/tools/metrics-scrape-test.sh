#!/usr/bin/env bash
# appmgrd's metrics as a Prometheus server and Prometheus's own Python
# parser see them: starts appmgrd on a store made from the sample tree with
# --metrics, sends requests that end each way (answered, listener error,
# malformed), parses /metrics with prometheus_client and checks the counts,
# then lets a real Prometheus server scrape the host and reads
# appmgrd_requests_total back through its query API.
# Usage: metrics-scrape-test.sh APPMGRD APPMGR SOURCE_DIR
set -euo pipefail
appmgrd="$1"
appmgr="$2"
source="$3"
work=$(mktemp -d "${TMPDIR:-/tmp}/appmgr-metrics-XXXXXX")
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "metrics test: $*" >&2; exit 1; }
# Debian's Python, which has Debian's python3-prometheus-client.
py=python3
[ -x /usr/bin/python3 ] && py=/usr/bin/python3
command -v prometheus >/dev/null || { echo "prometheus is not installed: skipped"; exit 77; }
$py -c 'import prometheus_client' 2>/dev/null || { echo "python3-prometheus-client is not installed: skipped"; exit 77; }

"$appmgr" store import "$work/store.db" "$source/examples/sample-tree.json" >/dev/null
"$appmgrd" --store "$work/store.db" --listen 127.0.0.1:0 --metrics localhost:0 --handler-threads 2 \
  >"$work/out" 2>"$work/err" &
pids+=($!)
for _ in $(seq 100); do grep -q "^appmgrd " "$work/out" 2>/dev/null && break; sleep 0.1; done
address=$(sed -n 's/^listening on //p' "$work/out")
metrics=$(sed -n 's/^metrics on //p' "$work/out")
[ -n "$address" ] && [ -n "$metrics" ] || fail "no listening and metrics lines: $(cat "$work/out" "$work/err")"
export APPMGR_ADDRESS="$address"
"$appmgr" velmora get 2 >/dev/null
"$appmgr" velmora get 2 >/dev/null
"$appmgr" velmora get 77 >/dev/null 2>&1 && fail "velmora 77 exists"
$py - "$address" <<'PY'
# A request record one byte short: a malformed-request error frame.
import socket, struct, sys
host, port = sys.argv[1].rsplit(":", 1)
s = socket.create_connection((host, int(port)))
def frame(kind, code, record):
    return struct.pack("<IHHQQII", 0x52474D41, kind, 0, code, 1, len(record), 0) + record
s.sendall(frame(1, 0, struct.pack("<HHIII", 1, 0, 0, 0, 0)))
s.recv(4096)
s.sendall(frame(3, 0x1a001011, b"\0" * 39))
s.recv(4096)
PY

$py - "http://$metrics/metrics" <<'PY'
import sys, urllib.request
from prometheus_client.parser import text_string_to_metric_families
text = urllib.request.urlopen(sys.argv[1]).read().decode()
samples = {}
for family in text_string_to_metric_families(text):
    for s in family.samples:
        samples[(s.name, tuple(sorted(s.labels.items())))] = s.value
def value(name, **labels):
    return samples.get((name, tuple(sorted(labels.items()))))
def check(what, got, want):
    if got != want:
        sys.exit(f"metrics test: {what}: {got!r}, expected {want!r}\n{text}")
velmora = "0x1a001011"
check("velmora lookups answered", value("appmgrd_requests_total", code=velmora, result="ok"), 2)
check("velmora lookups refused", value("appmgrd_requests_total", code=velmora, result="error"), 2)
check("malformed requests", value("appmgrd_frame_errors_total", error="malformed_request"), 1)
check("malformed frames", value("appmgrd_frame_errors_total", error="malformed_frame"), 0)
check("library calls timed", value("appmgrd_request_duration_seconds_count", code=velmora, stage="library"), 3)
check("requests timed", value("appmgrd_request_duration_seconds_count", code=velmora, stage="total"), 4)
check("last bucket holds every request",
      value("appmgrd_request_duration_seconds_bucket", code=velmora, stage="total", le="+Inf"), 4)
check("store lookups", value("appmgrd_store_operations_total", op="find_velmora", result="ok"), 2)
check("connections accepted", value("appmgrd_connections_accepted_total"), 4)
served = (value("appmgrd_inline_requests_total") or 0) + (value("appmgrd_handed_off_requests_total") or 0)
check("requests served inline or handed off", served, 3)
for name in ("process_resident_memory_bytes", "process_open_fds", "process_start_time_seconds", "appmgrd_connections"):
    if value(name) is None or value(name) < 0:
        sys.exit(f"metrics test: no {name}\n{text}")
PY

# A Prometheus server scrapes the host every second; its query API answers
# with the host's counter.
port=$($py -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
cat >"$work/prometheus.yml" <<YML
global:
  scrape_interval: 1s
scrape_configs:
  - job_name: appmgrd
    static_configs:
      - targets: ["$metrics"]
YML
prometheus --config.file="$work/prometheus.yml" --storage.tsdb.path="$work/tsdb" \
  --web.listen-address="127.0.0.1:$port" >"$work/prometheus.log" 2>&1 &
pids+=($!)
query="http://127.0.0.1:$port/api/v1/query?query=appmgrd_requests_total%7Bresult%3D%22ok%22%7D"
for _ in $(seq 300); do
  answer=$(curl -sf "$query" || true)
  if echo "$answer" | grep -q '"code":"0x1a001011"'; then
    echo "$answer" | $py -c 'import json,sys; r=json.load(sys.stdin)["data"]["result"]; sys.exit(0 if r[0]["value"][1]=="2" else "query answered "+str(r))'
    echo "metrics test: parsed and scraped"
    exit 0
  fi
  sleep 0.1
done
fail "Prometheus did not scrape appmgrd_requests_total within 30 s: $answer $(tail -5 "$work/prometheus.log")"
