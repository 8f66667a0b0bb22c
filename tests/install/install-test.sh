#!/usr/bin/env bash
# Installs a build tree into a temporary prefix and checks what a consumer
# of the installed libraries relies on: versioned shared libraries with
# their SONAME and links, a consumer built through the CMake package (and a
# version it must refuse), through pkg-config alone for the listener and
# for the client library, programs that find their libraries relative to
# themselves, and appmgr's bash completion. Usage: install-test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build="$1"
source="$2"
work=$(mktemp -d "${TMPDIR:-/tmp}/appmgr-install-XXXXXX")
trap 'rm -rf "$work"' EXIT
prefix="$work/prefix"
fail() { echo "install test: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$prefix" >/dev/null
unset LD_LIBRARY_PATH
for name in appmgrlsn appmgr_platform appmgr_store appmgr_client; do
  lib="$prefix/lib/lib$name.so"
  [ -f "$lib.1.0.0" ] && [ "$(readlink "$lib.1")" = "lib$name.so.1.0.0" ] && [ "$(readlink "$lib")" = "lib$name.so.1" ] ||
    fail "lib$name is not installed as .so.1.0.0 with the links .so.1 and .so"
  readelf -d "$lib.1.0.0" | grep -q "SONAME.*\[lib$name\.so\.1\]" || fail "lib$name has no SONAME lib$name.so.1"
  [ "$(PKG_CONFIG_PATH="$prefix/lib/pkgconfig" pkg-config --modversion "$name")" = 1.0.0 ] || fail "no $name.pc"
done
[ -f "$prefix/include/appmgr/host/AppMgrClient.h" ] && [ ! -e "$prefix/include/host" ] || fail "headers not under include/appmgr"
[ "$("$prefix/bin/appmgr" --version | cut -d' ' -f1-2)" = "appmgr 1.0.0" ] || fail "installed appmgr --version"
"$prefix/bin/appmgrd" --help >/dev/null || fail "installed appmgrd --help"

# find_package: 1.0 is found, 2.0 refused.
{ cmake -S "$source/tests/install/consumer" -B "$work/cmake-build" -G Ninja \
    -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_BUILD_RPATH="$prefix/lib" && ninja -C "$work/cmake-build"; } \
  >"$work/log" 2>&1 || { cat "$work/log" >&2; fail "find_package consumer does not build"; }
[ "$("$work/cmake-build/consumer")" = $'a+1b\npostgres\nmalformed frame' ] || fail "find_package consumer"
if cmake -S "$source/tests/install/consumer" -B "$work/cmake-2" -DCMAKE_PREFIX_PATH="$prefix" \
     -DAPPMGR_WANT_VERSION=2.0 >/dev/null 2>&1; then
  fail "find_package(AppMgrListener 2.0) accepted version 1.0.0"
fi

# pkg-config alone, one package at a time.
pc_consumer() {  # NAME DEFINE EXPECTED_OUTPUT
  # shellcheck disable=SC2046  # the flags are words
  c++ -std=c++17 -D"$2" "$source/tests/install/consumer/consumer.cc" -o "$work/pc-$1" \
    $(PKG_CONFIG_PATH="$prefix/lib/pkgconfig" pkg-config --cflags --libs "$1") -Wl,-rpath,"$prefix/lib" ||
    fail "pkg-config consumer of $1 does not build"
  [ "$("$work/pc-$1")" = "$3" ] || fail "pkg-config consumer of $1"
}
pc_consumer appmgrlsn WITH_LISTENER $'a+1b\npostgres'
pc_consumer appmgr_client WITH_CLIENT 'malformed frame'

# Completion: words of the installed appmgr's command table at each level.
complete_words() {
  bash -c 'source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); _appmgr; echo "${COMPREPLY[*]}"' \
    _ "$prefix/share/bash-completion/completions/appmgr" "$prefix/bin/appmgr" "$@"
}
[ "$(complete_words cl)" = client ] || fail "completion of 'appmgr cl'"
[ "$(complete_words --port 1 client set)" = set-props ] || fail "completion of 'appmgr --port 1 client set'"
[ "$(complete_words --jso)" = --json ] || fail "completion of 'appmgr --jso'"
[ "$(cd "$work" && complete_words --socket cmake-b)" = cmake-build ] || fail "completion of a value as a file"
echo "install test passed"
