#!/usr/bin/env bash
# Builds the benchmarks and the host tools (Release, in build-bench), runs
# every benchmark, then appmgrd under appmgr-bench next to Debian's redis
# under redis-benchmark, and prints one table: path, our figure, the
# reference's figure (same run), the ratio and the goal. Figures are CPU
# time per operation of the benchmark thread (wall time for the store rows,
# where the database server works too), and requests/s for the network
# rows; the machine is shared, so compare ratios, not absolute figures.
#
#   speedup rows: ratio = reference / ours, goal a minimum
#   cost rows:    ratio = ours / reference (file logging over discarded
#                 logging, CPU per request), goal a maximum
#   time rows:    our time per request against an absolute goal
#   rate rows:    our requests/s over redis GET's, goal a minimum
#   info rows:    a figure without a goal (the store reads, PostgreSQL hosts),
#                 or a ratio without one (speedinfo, costinfo, rateinfo)
#
# The network rows: redis-server and appmgrd (an SQLite store imported from
# examples/sample-tree.json) on free loopback ports, 50 connections each,
# one request in flight per connection, and again with 16 in flight
# (redis-benchmark -P 16); the reference rows use redis-benchmark, and an
# info row puts redis under appmgr-bench too, the same load generator. The CPU row offers both servers the same fixed
# load (appmgr-bench --rate, GET of one key for redis) and divides the
# server process's user+sys time (/proc/PID/stat) by the requests answered.
# With PostgreSQL (a throwaway server
# started here), the subclient lookup also runs against one and two appmgrd
# hosts sharing one catalog; with APPMGR_TEST_PG naming a server of yours,
# those rows are skipped, so its contents are never replaced.
#
# Environment: APPMGR_JOBS (build jobs, default 2), BENCH_MIN_TIME (seconds
# per benchmark, default 0.1), BENCH_REPETITIONS (runs of each benchmark,
# default 3; the table takes their median, as a shared machine's neighbours
# slow single runs by up to half), BENCH_NET_SECONDS (seconds per network run,
# default 3), BENCH_CPU_RATE (requests/s offered in the CPU row, default
# 10000), BENCH_KEEP (directory to keep the raw CSV and JSON),
# BENCH_NET_ONLY=1 (only the network rows over SQLite: builds only the host
# tools, no library benchmarks, no PostgreSQL), BENCH_DIR (build directory,
# default build-bench).
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh --bench

jobs="${APPMGR_JOBS:-2}"
min_time="${BENCH_MIN_TIME:-0.1}"
repetitions="${BENCH_REPETITIONS:-3}"
net_seconds="${BENCH_NET_SECONDS:-3}"
cpu_rate="${BENCH_CPU_RATE:-10000}"
dir="${BENCH_DIR:-build-bench}"
net_only="${BENCH_NET_ONLY:-}"
out="$(mktemp -d)"
pids=()
own_pg=""
cleanup() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  if [ -n "$own_pg" ]; then ./scripts/pg-test-cluster.sh stop 2>/dev/null || true; fi
  rm -rf "$out"
}
trap cleanup EXIT

cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DAPPMGR_BUILD_BENCHMARKS=ON \
  -DAPPMGR_BUILD_TESTS=OFF -DAPPMGR_BUILD_TOOLS=ON >/dev/null
if [ -n "$net_only" ]; then
  ninja -C "$dir" -j"$jobs" appmgrd appmgr appmgr-bench >/dev/null
else
  ninja -C "$dir" -j"$jobs" unicode_bench stream_bench lookup_bench store_bench appmgrd appmgr appmgr-bench \
    >/dev/null
fi

# The store rows over PostgreSQL need a server: a throwaway one unless
# APPMGR_TEST_PG names one. Without a server those rows stay empty.
# Its state file is private to this run, so a test server of the same work
# tree is neither reused nor stopped.
notes=()
export APPMGR_PG_STATE="$out/pg.state"
if [ -n "$net_only" ]; then
  :
elif [ -z "${APPMGR_TEST_PG:-}" ]; then
  if pg_env="$(./scripts/pg-test-cluster.sh start 2>"$out/pg.err")"; then
    own_pg=1
    eval "$pg_env"
  else
    notes+=("PostgreSQL rows skipped: no server could be started ($(tail -n1 "$out/pg.err"))")
  fi
else
  notes+=("PostgreSQL network rows skipped: APPMGR_TEST_PG names a server of yours, not replaced")
fi
export APPMGR_TEST_PG="${APPMGR_TEST_PG:-}"

benches=(unicode_bench stream_bench lookup_bench store_bench)
[ -z "$net_only" ] || benches=()
for b in "${benches[@]}"; do
  echo "running $b ..." >&2
  "$dir/bench/$b" --benchmark_format=csv --benchmark_min_time="$min_time" \
    --benchmark_repetitions="$repetitions" --benchmark_report_aggregates_only=true >"$out/$b.csv" 2>/dev/null
done

# ---- Network rows ----
chmod 600 config/dev-only-password.key  # git keeps no permission bits; the platform wants a private key
export APPMGR_PLATFORM_CONFIG="${APPMGR_PLATFORM_CONFIG:-$PWD/config/platform.ini}"

# A loopback TCP port nobody listens on, below the range the kernel hands
# out to outgoing connections when there is room: a port in that range can
# be taken by some client socket between this check and the server's bind.
free_port() {
  local low=32768 first=10000 count=40000 port
  read -r low _ </proc/sys/net/ipv4/ip_local_port_range 2>/dev/null || true
  if [ "$low" -gt 11024 ]; then count=$((low - first)); else first=20000; fi
  for _ in $(seq 50); do
    port=$((first + RANDOM % count))
    if ! (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
      echo "$port"
      return
    fi
  done
  echo "bench: no free port found" >&2
  exit 1
}

# Starts appmgrd on a free port with the store argument $1 (log in $2, more
# appmgrd arguments after) and sets host_addr to its address. Not run in a
# subshell, so that the server's pid stays in pids.
start_host() {
  local store="$1" log="$2" addr=""
  shift 2
  : >"$log.out"  # exists before the first look for the address
  "$dir/tools/appmgrd" --store "$store" --listen 127.0.0.1:0 --log "$log" "$@" >"$log.out" 2>&1 &
  pids+=($!)
  for _ in $(seq 100); do
    addr=$(sed -n 's/^listening on \(127\.0\.0\.1:[0-9]*\).*/\1/p' "$log.out" | head -n1)
    [ -n "$addr" ] && break
    kill -0 "${pids[-1]}" 2>/dev/null || { cat "$log.out" >&2; exit 1; }
    sleep 0.1
  done
  [ -n "$addr" ] || { echo "bench: appmgrd did not start" >&2; exit 1; }
  host_addr="$addr"
}

# Stops every server started since the last call.
stop_servers() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  pids=()
}

# appmgr-bench with 50 connections; writes its JSON to $out/$1.json.
load() {
  local name="$1"
  shift
  echo "running appmgr-bench $name ..." >&2
  "$dir/tools/appmgr-bench" -c 50 -d "$net_seconds" --warmup 0.5 --json "$@" >"$out/$name.json"
}

# User+sys CPU time of process $1 so far, in clock ticks (the fields after
# the command name, which ends with the last parenthesis).
cpu_ticks() {
  sed 's/.*) //' "/proc/$1/stat" | awk '{ print $12 + $13 }'
}

# appmgr-bench at the fixed offered load against the server with pid $2
# (appmgr-bench arguments after); writes $out/cpu_$1.json and adds
# "cpu_$1 NS" to $out/cpu: the server's CPU time per answered request.
cpu_load() {
  local name="$1" pid="$2" before after requests
  shift 2
  echo "running appmgr-bench $name at $cpu_rate/s ..." >&2
  before=$(cpu_ticks "$pid")
  "$dir/tools/appmgr-bench" -c 50 -d "$net_seconds" --rate "$cpu_rate" --json "$@" >"$out/cpu_$name.json"
  after=$(cpu_ticks "$pid")
  requests=$(sed -n 's/.*"requests":\([0-9]*\).*/\1/p' "$out/cpu_$name.json")
  awk -v n="$name" -v t=$((after - before)) -v hz="$(getconf CLK_TCK)" -v r="${requests:-0}" \
    'BEGIN { if (r > 0) printf "cpu_%s %.1f\n", n, t * 1e9 / hz / r }' >>"$out/cpu"
}
: >"$out/cpu"

echo "running redis-benchmark ..." >&2
# redis-server on a free port; another port if it cannot bind the first.
# redis-benchmark retries for ever against a server that is not there, so
# it runs only once the server has answered.
redis_up=""
for _ in 1 2 3 4 5; do
  redis_port=$(free_port)
  redis-server --port "$redis_port" --bind 127.0.0.1 --save "" --appendonly no --daemonize no \
    --logfile "$out/redis.log" &
  pids+=($!)
  for _ in $(seq 100); do
    if redis-cli -p "$redis_port" ping >/dev/null 2>&1; then redis_up=1; break; fi
    kill -0 "${pids[-1]}" 2>/dev/null || break
    sleep 0.1
  done
  [ -n "$redis_up" ] && break
  stop_servers
done
if [ -z "$redis_up" ]; then
  echo "bench: redis-server did not start:" >&2
  tail -n3 "$out/redis.log" >&2
  exit 1
fi
# About as many requests as appmgr-bench's run lasts at the same rate.
timeout 300 redis-benchmark -h 127.0.0.1 -p "$redis_port" -t get -c 50 -n 100000 --csv >"$out/redis.csv"
timeout 300 redis-benchmark -h 127.0.0.1 -p "$redis_port" -t get -c 50 -P 16 -n 1000000 --csv \
  >"$out/redis_p16.csv"
redis-cli -p "$redis_port" set bench:velmora "$(printf 'v%.0s' $(seq 64))" >/dev/null
cpu_load redis "${pids[-1]}" -H "127.0.0.1:$redis_port" --redis bench:velmora
# redis under appmgr-bench as well: the same load generator on both sides
# (redis-benchmark itself costs more CPU per request than appmgr-bench, and
# on two cores the generator's cost bounds the closed-loop rates).
load redis_same -H "127.0.0.1:$redis_port" --redis bench:velmora
stop_servers

"$dir/tools/appmgr" store import "$out/config.db" examples/sample-tree.json >/dev/null
start_host "$out/config.db" "$out/appmgrd-sqlite.log"
addr=$host_addr
load velmora -H "$addr" -r velmora --tree examples/sample-tree.json
load subclient_sqlite -H "$addr" -r subclient --tree examples/sample-tree.json
load velmora_p16 -H "$addr" -r velmora --tree examples/sample-tree.json -P 16
cpu_load velmora "${pids[-1]}" -H "$addr" -r velmora --tree examples/sample-tree.json
stop_servers
# The same host calling the library on its network threads (no hand-offs).
start_host "$out/config.db" "$out/appmgrd-inline.log" --handler-threads 0
addr=$host_addr
load velmora_inline -H "$addr" -r velmora --tree examples/sample-tree.json
stop_servers
# The same host with one network thread: no second event loop to wake.
start_host "$out/config.db" "$out/appmgrd-t1.log" --threads 1
load velmora_t1 -H "$host_addr" -r velmora --tree examples/sample-tree.json
cpu_load velmora_t1 "${pids[-1]}" -H "$host_addr" -r velmora --tree examples/sample-tree.json
stop_servers
# The same host counting every request for its metrics endpoint.
start_host "$out/config.db" "$out/appmgrd-metrics.log" --metrics 127.0.0.1:0
addr=$host_addr
load velmora_metrics -H "$addr" -r velmora --tree examples/sample-tree.json
stop_servers

if [ -n "$own_pg" ]; then
  "$dir/tools/appmgr" store import --force "$APPMGR_TEST_PG" examples/sample-tree.json >/dev/null
  start_host "$APPMGR_TEST_PG" "$out/appmgrd-pg1.log"
  addr=$host_addr
  load subclient_pg1 -H "$addr" -r subclient --tree examples/sample-tree.json
  start_host "$APPMGR_TEST_PG" "$out/appmgrd-pg2.log"
  addr2=$host_addr
  load subclient_pg2 -H "$addr" -H "$addr2" -r subclient --tree examples/sample-tree.json
  stop_servers
fi

if [ -n "${BENCH_KEEP:-}" ]; then
  mkdir -p "$BENCH_KEEP" && cp "$out"/*.csv "$out"/*.json "$BENCH_KEEP"/
fi

# "name value" lines: requests/s and p99 (ns) of each run.
{
  awk -F, '$1 == "\"GET\"" { gsub(/"/, ""); printf "net_redis %s\nnet_redis_p99 %.0f\n", $2, $7 * 1e6 }' \
    "$out/redis.csv"
  awk -F, '$1 == "\"GET\"" { gsub(/"/, ""); printf "net_redis_p16 %s\n", $2 }' "$out/redis_p16.csv"
  cat "$out/cpu"
  for f in "$out"/*.json; do
    name=$(basename "$f" .json)
    rate=$(sed -n 's/.*"requestsPerSecond":\([0-9.e+-]*\).*/\1/p' "$f")
    p99=$(sed -n 's/.*"p99":\([0-9.e+-]*\).*/\1/p' "$f")
    errors=$(sed -n 's/.*"errors":\([0-9]*\).*/\1/p' "$f")
    [ "${errors:-0}" = 0 ] || notes+=("appmgr-bench $name: $errors errors")
    awk -v n="$name" -v r="$rate" -v p="$p99" 'BEGIN { printf "net_%s %s\nnet_%s_p99 %.0f\n", n, r, n, p * 1e6 }'
  done
} >"$out/rates"

# label | our benchmark | reference benchmark | kind | goal
spec() {
  local path dir mix
  for path in utf8ToUtf16 utf16ToUtf8 utf8ToUnicode unicodeToUtf8; do
    for mix in ascii latin cjk emoji; do
      echo "$path $mix vs ICU|$path/$mix/ours|$path/$mix/ref|speedup|1.0"
    done
  done
  echo "decode property list vs in >> token|BM_decodeProps_ours|BM_decodeProps_ref|speedinfo|-"
  echo "decode content list vs in >> token|BM_decodeContent_ours|BM_decodeContent_ref|speedinfo|-"
  echo "  property list vs a plain >> decoder|BM_decodeProps_ours|BM_decodeProps_plain|speedup|2.0"
  echo "  content list vs a plain >> decoder|BM_decodeContent_ours|BM_decodeContent_plain|speedup|2.0"
  echo "decode property list in place vs in >> token|BM_decodeProps_view|BM_decodeProps_ref|speedup|3.0"
  echo "decode content list in place vs in >> token|BM_decodeContent_view|BM_decodeContent_ref|speedup|3.0"
  echo "encode property list vs out << token|BM_encodeProps_ours|BM_encodeProps_ref|speedup|2.5"
  echo "encode content list vs out << token|BM_encodeContent_ours|BM_encodeContent_ref|speedup|2.5"
  echo "getComponents 1 MB/10k vs rescanning|BM_getComponents_ours|BM_getComponents_ref/iterations:1|speedup|100"
  echo "Velmora by id, logs discarded|BM_velmoraById_discard||time|300"
  echo "subclient lookup, logs discarded|BM_subclientById_discard||time|2000"
  echo "Velmora by id, log file vs discarded|BM_velmoraById_file|BM_velmoraById_discard|cost|1.2"
  echo "subclient lookup, log file vs discarded|BM_subclientById_file|BM_subclientById_discard|cost|1.3"
  echo "Velmora by id, lines filtered by level|BM_velmoraById_filtered|BM_velmoraById_discard|costinfo|-"
  echo "Velmora by id, log file with level marks|BM_velmoraById_marked|BM_velmoraById_file|costinfo|-"
  # Store reads of one subclient lookup (row, 20 properties, 10 entries),
  # wall time per read: the server's work counts too.
  echo "store read, SQLite on disk|BM_SubclientWithPropertiesAndContent/store:2@||info|-"
  echo "store read, PostgreSQL, one host|BM_SubclientWithPropertiesAndContent/store:3@||info|-"
  # One property write per commit on an SQLite file: synced (the default) and,
  # for comparison, not synced; the ratio is what durability costs.
  echo "store write, SQLite, synchronous=FULL|BM_SqlitePropertyWrite/durable:1/real_time@||info|-"
  echo "store write, SQLite, synchronous=NORMAL|BM_SqlitePropertyWrite/durable:0/real_time@||info|-"
  echo "  FULL vs NORMAL, time per write|BM_SqlitePropertyWrite/durable:1/real_time@|BM_SqlitePropertyWrite/durable:0/real_time@|costinfo|-"
  # The same write with its audit entry against one without (the trail off).
  echo "store write with vs without its audit entry|BM_SqlitePropertyWriteAudit/durable:1/audit:1/real_time@|BM_SqlitePropertyWriteAudit/durable:1/audit:0/real_time@|cost|1.3"
  echo "  same, synchronous=NORMAL|BM_SqlitePropertyWriteAudit/durable:0/audit:1/real_time@|BM_SqlitePropertyWriteAudit/durable:0/audit:0/real_time@|costinfo|-"
  echo "store read, PostgreSQL, two hosts, 2 threads|BM_SubclientTwoStores/real_time/threads:2@||info|-"
  echo "store read, PostgreSQL, two hosts, 4 threads|BM_SubclientTwoStores/real_time/threads:4@||info|-"
  echo "appmgrd Velmora by id vs redis GET, 50 conn|net_velmora|net_redis|rate|1.3"
  echo "appmgrd Velmora by id p99 vs redis GET p99|net_velmora_p99|net_redis_p99|cost|1.0"
  echo "  same, --handler-threads 0 (no hand-offs)|net_velmora_inline|net_redis|rateinfo|-"
  echo "  same, --threads 1 (one event loop, as redis)|net_velmora_t1|net_redis|rateinfo|-"
  echo "  p99 of that vs redis GET p99|net_velmora_t1_p99|net_redis_p99|costinfo|-"
  echo "  same, --metrics on vs off|net_velmora_metrics|net_velmora|rateinfo|-"
  echo "  same, redis GET under appmgr-bench too|net_velmora|net_redis_same|rateinfo|-"
  echo "  p99 of that|net_velmora_p99|net_redis_same_p99|costinfo|-"
  echo "  --threads 1, redis GET under appmgr-bench|net_velmora_t1|net_redis_same|rateinfo|-"
  echo "appmgrd Velmora by id -P 16 vs redis GET -P 16|net_velmora_p16|net_redis_p16|rate|1.0"
  echo "CPU per request at ${cpu_rate}/s, appmgrd vs redis|cpu_velmora|cpu_redis|cost|1.5"
  echo "  same, appmgrd --threads 1|cpu_velmora_t1|cpu_redis|costinfo|-"
  echo "appmgrd subclient lookup, SQLite vs redis GET|net_subclient_sqlite|net_redis|rate|1.0"
  echo "subclient lookup p99, SQLite|net_subclient_sqlite_p99||info|-"
  echo "subclient lookup over PostgreSQL, 1 host|net_subclient_pg1|net_redis|rateinfo|-"
  echo "subclient lookup over PostgreSQL, 2 hosts|net_subclient_pg2|net_redis|rateinfo|-"
}

# CSV: name,iterations,real_time,cpu_time,time_unit,... -> "name ns", from
# the median of the repetitions (a single run is reported without suffix).
cat "$out"/*.csv /dev/null | awk -F, '
  $1 ~ /^"/ && $4 != "" && $1 !~ /_(mean|stddev|cv)"$/ {
    name = $1; gsub(/"/, "", name); sub(/_median$/, "", name)
    f = ($5 == "ns") ? 1 : ($5 == "us") ? 1e3 : ($5 == "ms") ? 1e6 : 1e9
    printf "%s %.6f\n", name, $4 * f
    printf "%s@ %.6f\n", name, $3 * f  # wall time, for rows that name it
  }' >"$out/times"
cat "$out/rates" >>"$out/times"

spec | { if [ -n "$net_only" ]; then grep -E '\|(net_velmora|net_subclient_sqlite|cpu_)'; else cat; fi; } | awk -F'|' -v times="$out/times" '
  function fmt(ns) {
    if (ns == "") return "-"
    if (rate) return sprintf("%.0f/s", ns)
    if (ns >= 1e6) return sprintf("%.2f ms", ns / 1e6)
    if (ns >= 1e3) return sprintf("%.2f us", ns / 1e3)
    return sprintf("%.0f ns", ns)
  }
  BEGIN {
    while ((getline line < times) > 0) { split(line, p, " "); t[p[1]] = p[2] }
    printf "%-44s %12s %12s %9s %8s  %s\n", "path", "ours", "reference", "ratio", "goal", "met"
  }
  {
    rate = ($4 == "rate" || $4 == "rateinfo")
    ours = t[$2]; ref = ($3 != "") ? t[$3] : ""
    ratio = "-"; met = "?"; goal = "-"
    if ($4 == "speedup" && ours > 0 && ref > 0) { r = ref / ours; ratio = sprintf("%.2fx", r); met = (r >= $5) ? "yes" : "NO"; goal = ">= " $5 "x" }
    if ($4 == "cost" && ours > 0 && ref > 0) { r = ours / ref; ratio = sprintf("%.2fx", r); met = (r <= $5) ? "yes" : "NO"; goal = "<= " $5 "x" }
    if ($4 == "time" && ours > 0) { met = (ours <= $5) ? "yes" : "NO"; goal = "<= " fmt($5) }
    if (rate && ours > 0 && ref > 0) { r = ours / ref; ratio = sprintf("%.2fx", r) }
    if ($4 == "rate" && ours > 0 && ref > 0) { met = (r >= $5) ? "yes" : "NO"; goal = ">= " $5 "x" }
    if ($4 == "costinfo" && ours > 0 && ref > 0) ratio = sprintf("%.2fx", ours / ref)
    if ($4 == "speedinfo" && ours > 0 && ref > 0) ratio = sprintf("%.2fx", ref / ours)
    if ($4 == "info" || $4 == "rateinfo" || $4 == "costinfo" || $4 == "speedinfo") met = "-"
    printf "%-44s %12s %12s %9s %8s  %s\n", $1, fmt(ours), fmt(ref), ratio, goal, met
  }'
for note in "${notes[@]}"; do echo "note: $note"; done
