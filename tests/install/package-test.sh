#!/usr/bin/env bash
# Builds the Debian package from a build tree (cpack, no rebuild), checks
# its file list against the expected paths (the fixed ones below, and the
# public headers, docs and examples of the source tree), unpacks it into a
# scratch root and runs the programs from there, which must find their
# libraries relative to themselves. Usage: package-test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build="$1"
source="$2"
work=$(mktemp -d "${TMPDIR:-/tmp}/appmgr-package-XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() { echo "package test: $*" >&2; exit 1; }

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log" >&2; fail "cpack failed"; }
deb=$(echo "$work"/out/appmgrlsn_1.0.0_*.deb)
[ -f "$deb" ] || fail "no appmgrlsn_1.0.0_ARCH.deb in $(ls "$work/out")"

{
  for name in appmgrlsn appmgr_platform appmgr_store appmgr_client; do
    printf 'usr/lib/lib%s.so%s\n' "$name" "" "$name" .1 "$name" .1.0.0
    echo "usr/lib/pkgconfig/$name.pc"
  done
  for f in Config ConfigVersion Targets Targets-CONFIG; do
    echo "usr/lib/cmake/AppMgrListener/AppMgrListener$f.cmake"
  done
  printf '%s\n' usr/bin/appmgr usr/bin/appmgrd usr/share/man/man1/appmgr.1.gz usr/share/man/man8/appmgrd.8.gz \
    usr/share/bash-completion/completions/appmgr usr/lib/systemd/system/appmgrd.service \
    usr/lib/sysusers.d/appmgrd.conf usr/share/doc/appmgrlsn/README.md
  (cd "$source/include" && find AppMgr platform store host -name '*.h' | sed 's|^|usr/include/appmgr/|')
  (cd "$source/docs" && find . -path ./man -prune -o -type f -print | sed 's|^\./|usr/share/doc/appmgrlsn/|')
  (cd "$source/examples" && find . -type f | sed 's|^\./|usr/share/doc/appmgrlsn/examples/|')
} | sort >"$work/expected"
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }' | sed -e 's|^\./||' \
  -e 's|AppMgrListenerTargets-[a-z]*\.cmake|AppMgrListenerTargets-CONFIG.cmake|' | sort >"$work/actual"
diff -u "$work/expected" "$work/actual" >&2 || fail "file list differs (- expected, + in the package)"
dpkg-deb -f "$deb" Depends | grep -q 'libssl3' || fail "Depends misses the shared libraries' packages"

dpkg -x "$deb" "$work/root"
unset LD_LIBRARY_PATH
for program in appmgr appmgrd; do
  out=$("$work/root/usr/bin/$program" --version) || fail "$program --version failed"
  [ "${out%% (*}" = "$program 1.0.0" ] || fail "$program --version printed: $out"
done
grep -qx 'ExecStart=/usr/bin/appmgrd .*' "$work/root/usr/lib/systemd/system/appmgrd.service" ||
  fail "the unit does not start /usr/bin/appmgrd"
echo "package test passed ($(basename "$deb"))"
