#!/usr/bin/env bash
# Planted-fault check: applies the faults of scripts/mutants.txt one at a
# time to a scratch clone, rebuilds incrementally and runs the tests. A
# fault the tests notice is "killed"; one they miss "survived" (a test is
# missing). Prints one line per fault and the score; exits 1 when a fault
# survived, is stale (its text is no longer in its file) or does not build.
#
#   scripts/mutants.sh [--ref REF] [--dir DIR] [--only ID...] [-j N]
#
#   --ref REF   the commit to test (default: HEAD of this checkout)
#   --dir DIR   the scratch clone (default /tmp/appmgr-mutants), kept between
#               runs so that the next run only rebuilds what changed
#   --only ID   only these faults (any number of ids)
#   -j N        build and ctest jobs (default 2)
#
# Per fault: the text must occur exactly once in its file ("stale"
# otherwise); ninja rebuilds ("build-error" when the fault does not
# compile); the test programs named by the fault's `first:` run (a quick
# kill), then, if they all pass, the whole ctest with --stop-on-failure. A
# run that exceeds its time limit counts as killed (a hang), and says so.
# The file is restored before the next fault.
#
# The store tests need PostgreSQL: without APPMGR_TEST_PG, a throwaway server
# is started with scripts/pg-test-cluster.sh and stopped at the end.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
data="$here/scripts/mutants.txt"

ref=HEAD
dir=/tmp/appmgr-mutants
jobs=2
only=()
quick_limit="${APPMGR_MUTANT_QUICK_TIMEOUT:-300}"  # seconds, one test program
suite_limit="${APPMGR_MUTANT_SUITE_TIMEOUT:-900}"  # seconds, the whole ctest
test_limit=120                                     # seconds, one ctest test without its own limit

usage() {
  sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//' >&2
  exit 2
}

while [ $# -gt 0 ]; do
  case "$1" in
    --ref) ref="${2:?--ref needs a value}"; shift 2 ;;
    --dir) dir="${2:?--dir needs a value}"; shift 2 ;;
    -j) jobs="${2:?-j needs a value}"; shift 2 ;;
    -j*) jobs="${1#-j}"; shift ;;
    --only)
      shift
      while [ $# -gt 0 ] && [ "${1#-}" = "$1" ]; do only+=("$1"); shift; done
      [ ${#only[@]} -gt 0 ] || usage
      ;;
    -h | --help) usage ;;
    *) echo "mutants: unknown argument $1" >&2; usage ;;
  esac
done

started=$(date +%s)
sha="$(git -C "$here" rev-parse --verify "$ref^{commit}")"
logs="$dir/mutant-logs"
build="$dir/build"

# Reads the data file. `list` prints one line per selected fault:
# id TAB file TAB first TAB effect. `apply ID ROOT` writes the fault into
# its file and exits 3 when the text does not occur exactly once.
faults() {
  python3 - "$data" "$@" <<'PY'
import re, sys

def unescape(text):
    return re.sub(r"\\(.)", lambda m: "\n" if m.group(1) == "n" else m.group(1), text)

def read(path):
    faults, current = [], None
    for number, line in enumerate(open(path, encoding="utf-8"), 1):
        line = line.rstrip("\n")
        if not line.strip() or line.startswith("#"):
            continue
        header = re.fullmatch(r"\[([A-Za-z0-9_.-]+)\]", line)
        if header:
            current = {"id": header.group(1), "line": number}
            faults.append(current)
            continue
        field = re.fullmatch(r"(file|find|replace|effect|first):(?: (.*))?", line)
        if current is None or field is None:
            sys.exit(f"{path}:{number}: expected [id] or 'key: value'")
        current[field.group(1)] = field.group(2) or ""
    ids = set()
    for f in faults:
        for key in ("file", "find", "replace", "effect"):
            if key not in f:
                sys.exit(f"{path}:{f['line']}: fault {f['id']} has no {key}:")
        if f["id"] in ids:
            sys.exit(f"{path}:{f['line']}: fault {f['id']} appears twice")
        ids.add(f["id"])
    return faults

faults = read(sys.argv[1])
command = sys.argv[2]
if command == "list":
    wanted = sys.argv[3:]
    known = {f["id"] for f in faults}
    for w in wanted:
        if w not in known:
            sys.exit(f"mutants: no fault {w} in {sys.argv[1]}")
    for f in faults:
        if not wanted or f["id"] in wanted:
            print("\t".join([f["id"], f["file"], f.get("first", ""), f["effect"]]))
elif command == "apply":
    fault = next(f for f in faults if f["id"] == sys.argv[3])
    path = sys.argv[4] + "/" + fault["file"]
    try:
        text = open(path, encoding="utf-8").read()
    except OSError as e:
        print(f"cannot read {fault['file']}: {e.strerror}")
        sys.exit(3)
    find = unescape(fault["find"])
    count = text.count(find)
    if count != 1:
        print(f"the text occurs {count} times in {fault['file']}")
        sys.exit(3)
    with open(path, "w", encoding="utf-8") as out:
        out.write(text.replace(find, unescape(fault["replace"])))
PY
}

# The selected faults (checks the data file before any work is done).
listing="$(faults list "${only[@]}")" || exit 2
mapfile -t selected <<<"$listing"
[ -n "$listing" ] || { echo "mutants: no faults selected" >&2; exit 2; }

# On the way out: the file of a fault in progress is restored, and the
# PostgreSQL server this run started is stopped.
backup="$dir/.mutant-original"
current=""
pg_started=0
restore() {
  if [ -n "$current" ]; then
    # A plain copy gives the file a new time stamp, so ninja rebuilds it.
    cp "$backup" "$dir/$current"
    current=""
  fi
}
cleanup() {
  restore
  if [ "$pg_started" = 1 ]; then "$here/scripts/pg-test-cluster.sh" stop || true; fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# ---- The scratch clone at the ref ----
if [ ! -d "$dir/.git" ]; then
  echo "mutants: cloning into $dir" >&2
  git clone -q --no-checkout "$here" "$dir"
fi
if ! git -C "$dir" cat-file -e "$sha^{commit}" 2>/dev/null; then
  git -C "$dir" fetch -q "$here" "$sha" 2>/dev/null ||
    git -C "$dir" fetch -q "$here" '+refs/heads/*:refs/remotes/source/*' '+refs/tags/*:refs/tags/*'
fi
# --force also undoes a fault left behind by an interrupted run.
git -C "$dir" checkout -q --force --detach "$sha"
mkdir -p "$logs"
echo "mutants: testing $(git -C "$dir" log -1 --format='%h %s') in $dir" >&2

# The throwaway PostgreSQL server, unless one is named already.
if [ -z "${APPMGR_TEST_PG:-}" ]; then
  export APPMGR_PG_STATE="$dir/.pg-test-cluster"
  pg_env="$("$here/scripts/pg-test-cluster.sh" start)"
  pg_started=1
  eval "$pg_env"
fi
export APPMGR_TEST_PG

# ---- The unmutated build and suite ----
cmake -S "$dir" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DAPPMGR_BUILD_TESTS=ON \
  -DAPPMGR_BUILD_TOOLS=ON -DAPPMGR_BUILD_BENCHMARKS=OFF -DAPPMGR_BUILD_FUZZERS=OFF -DAPPMGR_SANITIZE=OFF \
  >"$logs/configure.log" 2>&1 || { cat "$logs/configure.log" >&2; exit 2; }
echo "mutants: building" >&2
ninja -C "$build" -j"$jobs" >"$logs/build.log" 2>&1 || { tail -30 "$logs/build.log" >&2; exit 2; }

run_suite() {  # log file; the ctest result, 124 on a hang
  local rc=0
  (cd "$build" && timeout --kill-after=15 "$suite_limit" ctest --stop-on-failure -j"$jobs" \
    --timeout "$test_limit" --output-on-failure) >"$1" 2>&1 || rc=$?
  return "$rc"
}

run_program() {  # program log; its result, 124 on a hang
  local rc=0
  (cd "$build/tests" && timeout --kill-after=15 "$quick_limit" "./$1" --gtest_brief=1) >"$2" 2>&1 || rc=$?
  return "$rc"
}

echo "mutants: running the unmutated suite" >&2
if ! run_suite "$logs/unmutated.log"; then
  echo "mutants: the unmutated suite fails (see $logs/unmutated.log); fix that first" >&2
  exit 2
fi
# A quick program is used only when it passes unmutated on its own.
declare -A quick_ok=()
for line in "${selected[@]}"; do
  IFS=$'\t' read -r _ _ first _ <<<"$line"
  for program in $first; do
    [ -n "${quick_ok[$program]+x}" ] && continue
    if [ -x "$build/tests/$program" ] && run_program "$program" "$logs/unmutated-$program.log"; then
      quick_ok[$program]=1
    else
      quick_ok[$program]=0
      echo "mutants: $program fails unmutated (or is missing); it is not used as a quick check" >&2
    fi
  done
done

# ---- One fault at a time ----
killed=0
survived=0
stale=0
broken=0
survivors=()
printf '%-30s %-16s %s\n' "fault" "result" "effect"
for line in "${selected[@]}"; do
  IFS=$'\t' read -r id file first effect <<<"$line"
  log="$logs/$id.log"
  began=$(date +%s)
  : >"$log"
  result=""
  if [ ! -f "$dir/$file" ]; then
    echo "no file $file" >>"$log"
    result=stale
  else
    cp "$dir/$file" "$backup"
    current="$file"
    if ! faults apply "$id" "$dir" >>"$log" 2>&1; then
      result=stale
      current=""  # the file was not changed
    elif ! ninja -C "$build" -j"$jobs" >>"$log" 2>&1; then
      result=build-error
    else
      for program in $first; do
        [ "${quick_ok[$program]:-0}" = 1 ] || continue
        rc=0
        run_program "$program" "$log.$program" || rc=$?
        cat "$log.$program" >>"$log"
        rm -f "$log.$program"
        if [ "$rc" -eq 124 ] || [ "$rc" -eq 137 ]; then
          result="killed (hang)"
        elif [ "$rc" -ne 0 ]; then
          result=killed
        fi
        [ -z "$result" ] || break
      done
      if [ -z "$result" ]; then
        rc=0
        run_suite "$log.ctest" || rc=$?
        cat "$log.ctest" >>"$log"
        rm -f "$log.ctest"
        if [ "$rc" -eq 0 ]; then
          result=survived
        elif [ "$rc" -eq 124 ] || [ "$rc" -eq 137 ]; then
          result="killed (hang)"
        else
          result=killed
        fi
      fi
    fi
    restore
  fi
  case "$result" in
    killed*) killed=$((killed + 1)) ;;
    survived) survived=$((survived + 1)); survivors+=("$id") ;;
    stale) stale=$((stale + 1)) ;;
    build-error) broken=$((broken + 1)) ;;
  esac
  echo "$result after $(($(date +%s) - began)) s" >>"$log"
  printf '%-30s %-16s %s\n' "$id" "$result" "$effect"
done

# Leave the build matching the ref, so the next run starts from there.
ninja -C "$build" -j"$jobs" >>"$logs/build.log" 2>&1 || true

tested=$((killed + survived))
percent=0
[ "$tested" -eq 0 ] || percent=$((100 * killed / tested))
echo
echo "killed $killed of $tested ($percent%)"
[ "$stale" -eq 0 ] || echo "stale: $stale (the text is no longer in its file; update scripts/mutants.txt)"
[ "$broken" -eq 0 ] || echo "build-error: $broken (the fault does not compile; fix it in scripts/mutants.txt)"
[ ${#survivors[@]} -eq 0 ] || echo "survived: ${survivors[*]}"
echo "logs: $logs; time: $(($(date +%s) - started)) s"
[ "$survived" -eq 0 ] && [ "$stale" -eq 0 ] && [ "$broken" -eq 0 ]
