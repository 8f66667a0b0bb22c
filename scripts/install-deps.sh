#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, if any is
# missing. Runs as root (or through sudo); non-interactive.
#
#   --bench   also the references of scripts/bench.sh (Debian's redis)
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config
  libssl-dev openssl libinih-dev libsqlite3-dev nlohmann-json3-dev
  libpq-dev postgresql libsystemd-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libasio-dev libcli11-dev
  libicu-dev
  prometheus-cpp-dev prometheus python3-prometheus-client curl
  help2man dpkg-dev
)
if [ "${1:-}" = "--bench" ]; then
  packages+=(redis-server redis-tools)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi
