#!/usr/bin/env bash
# Checks that includes only point down the layers:
#   tools -> host -> listener library (src/) -> platform -> store.
# store/ and include/store/ include nothing from the platform, the listener
# library, the host or the tools; of include/AppMgr only the error codes.
# platform/ and include/platform/ include nothing from the host or the tools.
# The one exception upward is the platform's use of the listener's property
# and content callbacks (AppMgr/PropCallBack.h), which the database classes
# call by contract. Usage: check-layers.sh [SOURCE_DIR]
set -euo pipefail
cd "${1:-$(dirname "$0")/..}"

status=0
# check DIRS... -- PATTERN ALLOWED REASON: every quoted include in the C/C++
# files of DIRS whose path matches PATTERN, and not ALLOWED, is a violation.
check() {
  local dirs=() pattern allowed reason
  while [ "$1" != "--" ]; do dirs+=("$1"); shift; done
  pattern="$2" allowed="$3" reason="$4"
  local hits
  hits=$(grep -HnE '^[[:space:]]*#[[:space:]]*include[[:space:]]+"' -r --include='*.h' --include='*.cc' \
           "${dirs[@]}" | grep -E "#[[:space:]]*include[[:space:]]+\"($pattern)" |
           grep -vE "#[[:space:]]*include[[:space:]]+\"($allowed)\"" || true)
  if [ -n "$hits" ]; then
    echo "$reason:" >&2
    echo "$hits" >&2
    status=1
  fi
}

above_store='platform/|AppMgr/|host/|tools/|src/|listener/|stream/|util/|cli/|\.\./'
above_platform='host/|tools/|src/|listener/|stream/|util/|cli/|\.\./'
check store include/store -- "$above_store" 'AppMgr/appMgrErrorCodes\.h' \
  "the store includes a header from a layer above it (of AppMgr/, only the error codes)"
check platform include/platform -- "$above_platform" '^$' \
  "the platform includes a header from the host, the tools or the listener's sources"
exit $status
