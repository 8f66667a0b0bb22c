#!/usr/bin/env bash
# Installs a build tree into a temporary prefix and builds a tiny consumer
# against it twice: with find_package(AppMgrListener CONFIG) and with
# pkg-config. Usage: install-test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build="$1"
source="$2"
work=$(mktemp -d "${TMPDIR:-/tmp}/appmgr-install-XXXXXX")
trap 'rm -rf "$work"' EXIT
prefix="$work/prefix"

cmake --install "$build" --prefix "$prefix" >/dev/null
for f in bin/appmgrd bin/appmgr lib/libappmgrlsn.so lib/libappmgr_platform.so lib/libappmgr_store.so lib/libappmgr_client.a \
         include/appmgrlsn/AppMgr/BCLsnMsgHandler.h include/appmgrlsn/host/AppMgrClient.h include/appmgrlsn/store/StoreOpener.h \
         lib/cmake/AppMgrListener/AppMgrListenerConfig.cmake lib/pkgconfig/appmgrlsn.pc lib/pkgconfig/appmgr_store.pc \
         share/appmgrlsn/examples/appmgrd.service share/appmgrlsn/examples/platform.ini; do
  [ -e "$prefix/$f" ] || { echo "missing after install: $f" >&2; exit 1; }
done
"$prefix/bin/appmgr" --help >/dev/null
"$prefix/bin/appmgrd" --help >/dev/null

# find_package
cmake -S "$source/tests/install/consumer" -B "$work/cmake-build" -G Ninja \
  -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_BUILD_RPATH="$prefix/lib" >/dev/null
ninja -C "$work/cmake-build" >/dev/null
out=$("$work/cmake-build/consumer")
[ "$out" = "a+1b
postgres
malformed frame" ] || { echo "find_package consumer printed: $out" >&2; exit 1; }

# pkg-config
PKG_CONFIG_PATH="$prefix/lib/pkgconfig" \
  c++ -std=c++17 "$source/tests/install/consumer/consumer.cc" -o "$work/pc-consumer" \
  $(PKG_CONFIG_PATH="$prefix/lib/pkgconfig" pkg-config --cflags --libs appmgrlsn) -Wl,-rpath,"$prefix/lib"
[ "$("$work/pc-consumer")" = "a+1b
postgres" ] || { echo "pkg-config consumer failed" >&2; exit 1; }
echo "install test passed ($prefix)"
