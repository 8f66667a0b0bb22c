#!/usr/bin/env bash
# Builds the library and runs the in-process tour: the sample configuration
# tree (examples/sample-tree.json) imported into an SQLite store in a
# temporary directory, and requests answered end to end.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
ninja -C build -j"${APPMGR_JOBS:-2}" appmgr-tour
# git keeps no permission bits but the executable one: make the development
# key private, as the platform refuses a key file that others can read.
chmod 600 config/dev-only-password.key
APPMGR_PLATFORM_CONFIG="${APPMGR_PLATFORM_CONFIG:-$PWD/config/platform.ini}" ./build/tools/appmgr-tour "$@"
