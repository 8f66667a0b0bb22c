#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer, own build directory build-fuzz) and runs each
# target in turn for the given number of seconds (default 60), one process
# at a time. New inputs are collected in a scratch directory and merged into
# fuzz/corpus/<target> with -merge=1, so only inputs that add coverage are
# kept. A finding stops that target; its input is left in
# build-fuzz/findings/<target>/ and the script fails at the end.
#
#   scripts/fuzz.sh [seconds] [target...]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-60}"
shift || true
targets=("$@")
if [ "${#targets[@]}" -eq 0 ]; then
  targets=(token_roundtrip stream_decode string_parser basic_conversion utf8_to_utf16 utf16_to_utf8
           adapter_text handle_message json_import frame_parser store_differential)
fi

./scripts/install-deps.sh
if ! command -v clang++ >/dev/null 2>&1; then
  echo "fuzz.sh: clang++ is not installed (apt-get install clang)" >&2
  exit 1
fi

dir=build-fuzz
cmake -S . -B "$dir" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DAPPMGR_BUILD_FUZZERS=ON -DAPPMGR_BUILD_TESTS=OFF -DAPPMGR_BUILD_TOOLS=OFF >/dev/null
ninja -C "$dir" -j"${APPMGR_JOBS:-2}" "${targets[@]/%/_fuzzer}"

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:strict_string_checks=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
failed=()
for t in "${targets[@]}"; do
  corpus="fuzz/corpus/$t"
  scratch="$dir/scratch/$t"
  findings="$dir/findings/$t"
  rm -rf "$scratch"
  mkdir -p "$scratch" "$findings" "$corpus"
  before=$(find "$corpus" -type f | wc -l)
  echo "== $t: ${seconds}s"
  start=$(date +%s)
  if ! "$dir/fuzz/${t}_fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="$findings/" "$scratch" "$corpus" >"$dir/$t.log" 2>&1; then
    failed+=("$t")
    echo "   FINDING: see $dir/$t.log and $findings/" >&2
    grep -E "ERROR|property failed|SUMMARY" "$dir/$t.log" | head -5 >&2 || true
  fi
  "$dir/fuzz/${t}_fuzzer" -merge=1 "$corpus" "$scratch" >"$dir/$t.merge.log" 2>&1
  after=$(find "$corpus" -type f | wc -l)
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$dir/$t.log" | tail -1)
  echo "   $(( $(date +%s) - start ))s, ${execs:-?} runs, corpus $before -> $after"
done

if [ "${#failed[@]}" -gt 0 ]; then
  echo "fuzz.sh: findings in: ${failed[*]}" >&2
  exit 1
fi
