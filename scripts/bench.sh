#!/usr/bin/env bash
# Builds the benchmarks (Release, in build-bench), runs them and prints one
# table: path, our figure, the reference's figure (same run), the ratio and
# the goal. Figures are CPU time per operation of the benchmark thread
# (wall time for the store rows, where the database server works too); the
# machine is shared, so compare ratios, not absolute times.
#
#   speedup rows: ratio = reference / ours, goal a minimum
#   cost rows:    ratio = ours / reference (file logging over discarded
#                 logging), goal a maximum
#   time rows:    our time per request against an absolute goal
#   info rows:    a figure without a goal (the store reads)
#
# Environment: APPMGR_JOBS (build jobs, default 2), BENCH_MIN_TIME (seconds
# per benchmark, default 0.2), BENCH_KEEP (directory to keep the raw CSV).
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh

jobs="${APPMGR_JOBS:-2}"
min_time="${BENCH_MIN_TIME:-0.2}"
dir=build-bench
out="$(mktemp -d)"
trap 'rm -rf "$out"' EXIT

cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DAPPMGR_BUILD_BENCHMARKS=ON \
  -DAPPMGR_BUILD_TESTS=OFF -DAPPMGR_BUILD_TOOLS=OFF >/dev/null
ninja -C "$dir" -j"$jobs" unicode_bench stream_bench lookup_bench store_bench >/dev/null

# The store rows over PostgreSQL need a server: a throwaway one unless
# APPMGR_TEST_PG names one.
if [ -z "${APPMGR_TEST_PG:-}" ]; then
  trap 'rm -rf "$out"; ./scripts/pg-test-cluster.sh stop' EXIT
  pg_env="$(./scripts/pg-test-cluster.sh start)"
  eval "$pg_env"
fi
export APPMGR_TEST_PG

for b in unicode_bench stream_bench lookup_bench store_bench; do
  echo "running $b ..." >&2
  "$dir/bench/$b" --benchmark_format=csv --benchmark_min_time="$min_time" >"$out/$b.csv" 2>/dev/null
done
if [ -n "${BENCH_KEEP:-}" ]; then mkdir -p "$BENCH_KEEP" && cp "$out"/*.csv "$BENCH_KEEP"/; fi

# label | our benchmark | reference benchmark | kind | goal
spec() {
  local path dir mix
  for path in utf8ToUtf16 utf16ToUtf8 utf8ToUnicode unicodeToUtf8; do
    for mix in ascii latin cjk emoji; do
      echo "$path $mix vs ICU|$path/$mix/ours|$path/$mix/ref|speedup|1.0"
    done
  done
  echo "decode property list vs in >> token|BM_decodeProps_ours|BM_decodeProps_ref|speedup|3.0"
  echo "decode content list vs in >> token|BM_decodeContent_ours|BM_decodeContent_ref|speedup|3.0"
  echo "encode property list vs out << token|BM_encodeProps_ours|BM_encodeProps_ref|speedup|2.5"
  echo "encode content list vs out << token|BM_encodeContent_ours|BM_encodeContent_ref|speedup|2.5"
  echo "getComponents 1 MB/10k vs rescanning|BM_getComponents_ours|BM_getComponents_ref/iterations:1|speedup|100"
  echo "Velmora by id, logs discarded|BM_velmoraById_discard||time|500"
  echo "subclient lookup, logs discarded|BM_subclientById_discard||time|3000"
  echo "Velmora by id, log file vs discarded|BM_velmoraById_file|BM_velmoraById_discard|cost|1.3"
  echo "subclient lookup, log file vs discarded|BM_subclientById_file|BM_subclientById_discard|cost|1.3"
  # Store reads of one subclient lookup (row, 20 properties, 10 entries),
  # wall time per read: the server's work counts too.
  echo "store read, SQLite on disk|BM_SubclientWithPropertiesAndContent/store:2@||info|-"
  echo "store read, PostgreSQL, one host|BM_SubclientWithPropertiesAndContent/store:3@||info|-"
  echo "store read, PostgreSQL, two hosts, 2 threads|BM_SubclientTwoStores/real_time/threads:2@||info|-"
  echo "store read, PostgreSQL, two hosts, 4 threads|BM_SubclientTwoStores/real_time/threads:4@||info|-"
}

# CSV: name,iterations,real_time,cpu_time,time_unit,... -> "name ns"
cat "$out"/*.csv | awk -F, '
  $1 ~ /^"/ && $4 != "" {
    name = $1; gsub(/"/, "", name)
    f = ($5 == "ns") ? 1 : ($5 == "us") ? 1e3 : ($5 == "ms") ? 1e6 : 1e9
    printf "%s %.6f\n", name, $4 * f
    printf "%s@ %.6f\n", name, $3 * f  # wall time, for rows that name it
  }' >"$out/times"

spec | awk -F'|' -v times="$out/times" '
  function fmt(ns) {
    if (ns == "") return "-"
    if (ns >= 1e6) return sprintf("%.2f ms", ns / 1e6)
    if (ns >= 1e3) return sprintf("%.2f us", ns / 1e3)
    return sprintf("%.0f ns", ns)
  }
  BEGIN {
    while ((getline line < times) > 0) { split(line, p, " "); t[p[1]] = p[2] }
    printf "%-44s %12s %12s %9s %8s  %s\n", "path", "ours", "reference", "ratio", "goal", "met"
  }
  {
    ours = t[$2]; ref = ($3 != "") ? t[$3] : ""
    ratio = "-"; met = "?"; goal = "-"
    if ($4 == "speedup" && ours > 0 && ref > 0) { r = ref / ours; ratio = sprintf("%.2fx", r); met = (r >= $5) ? "yes" : "NO"; goal = ">= " $5 "x" }
    if ($4 == "cost" && ours > 0 && ref > 0) { r = ours / ref; ratio = sprintf("%.2fx", r); met = (r <= $5) ? "yes" : "NO"; goal = "<= " $5 "x" }
    if ($4 == "time" && ours > 0) { met = (ours <= $5) ? "yes" : "NO"; goal = "<= " fmt($5) }
    if ($4 == "info") met = "-"
    printf "%-44s %12s %12s %9s %8s  %s\n", $1, fmt(ours), fmt(ref), ratio, goal, met
  }'
echo
echo "Network rows (appmgrd vs redis-benchmark) are not measured: the host is not in this tree yet."
