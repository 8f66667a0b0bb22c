#!/usr/bin/env bash
# Builds and runs the whole test suite twice: a normal build and an
# AddressSanitizer + UndefinedBehaviorSanitizer build (the code under test
# and the fakes instrumented, the test sources themselves not). Warnings
# are errors.
# A throwaway PostgreSQL server (scripts/pg-test-cluster.sh) runs for the
# length of the suites, so that the store tests run against PostgreSQL as
# well; an APPMGR_TEST_PG already set names a server to use instead.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh

if [ -z "${APPMGR_TEST_PG:-}" ]; then
  trap './scripts/pg-test-cluster.sh stop' EXIT
  pg_env="$(./scripts/pg-test-cluster.sh start)"  # fails the run when the server cannot start
  eval "$pg_env"
fi
export APPMGR_TEST_PG
echo "PostgreSQL for the store tests: $APPMGR_TEST_PG"

jobs="${APPMGR_JOBS:-2}"

run_suite() {
  local dir="$1"; shift
  cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
  ninja -C "$dir" -j"$jobs"
  (cd "$dir" && ctest --output-on-failure -j"$jobs")
}

echo "== normal build =="
# Line tables only (-g1): enough for a failure's backtrace, and a quarter
# less compile time than full debug information.
run_suite build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG"

echo "== sanitizer build (address, undefined) =="
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
run_suite build-asan -DCMAKE_BUILD_TYPE=Debug -DAPPMGR_SANITIZE=ON -DAPPMGR_BUILD_TOOLS=OFF

# The shared-memory request id must leave no segment behind.
if command -v ipcs >/dev/null 2>&1; then
  left=$(ipcs -m -c 2>/dev/null | awk -v me="$(id -un)" 'NR>3 && $3==me' | wc -l || true)
  echo "shared-memory segments owned by $(id -un) after the suites: $left"
fi
