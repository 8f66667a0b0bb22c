#!/usr/bin/env bash
# The main job: builds appmgrd and appmgr, makes an SQLite store from the
# sample tree (examples/sample-tree.json, or --tree FILE) in a temporary
# directory, starts appmgrd on a free loopback port, runs a short tour of
# appmgr commands against it, stops the host and says where its log is.
# With --tls the host and the commands speak mutual TLS, with an authority,
# a host and a client certificate made by openssl in the same directory.
set -euo pipefail
cd "$(dirname "$0")/.."

tree=examples/sample-tree.json
tls=0
while [ $# -gt 0 ]; do
  case "$1" in
    --tree) tree="$2"; shift 2 ;;
    --tls) tls=1; shift ;;
    *) echo "usage: $0 [--tree tree.json] [--tls]" >&2; exit 2 ;;
  esac
done

./scripts/install-deps.sh

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
ninja -C build -j"${APPMGR_JOBS:-2}" appmgrd appmgr >/dev/null
# git keeps no permission bits but the executable one: make the development
# key private, as the platform refuses a key file that others can read.
chmod 600 config/dev-only-password.key
export APPMGR_PLATFORM_CONFIG="${APPMGR_PLATFORM_CONFIG:-$PWD/config/platform.ini}"

work=$(mktemp -d "${TMPDIR:-/tmp}/appmgr-tour-XXXXXX")
log="$work/appmgrd.log"
host_tls=()
client_tls=()
if [ "$tls" = 1 ]; then
  newkey=(-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes)
  openssl req -x509 "${newkey[@]}" -keyout "$work/ca.key" -out "$work/ca.pem" -days 2 \
    -subj "/CN=appmgr tour CA" -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
  for who in host client; do
    openssl req -new "${newkey[@]}" -keyout "$work/$who.key" -out "$work/$who.csr" -subj "/CN=$who" 2>/dev/null
  done
  openssl x509 -req -in "$work/host.csr" -CA "$work/ca.pem" -CAkey "$work/ca.key" -set_serial 2 -days 2 \
    -out "$work/host.pem" -extfile <(printf "subjectAltName=IP:127.0.0.1\nextendedKeyUsage=serverAuth\n") 2>/dev/null
  openssl x509 -req -in "$work/client.csr" -CA "$work/ca.pem" -CAkey "$work/ca.key" -set_serial 3 -days 2 \
    -out "$work/client.pem" -extfile <(printf "extendedKeyUsage=clientAuth\n") 2>/dev/null
  host_tls=(--tls-cert "$work/host.pem" --tls-key "$work/host.key" --tls-ca "$work/ca.pem" --tls-require-client-cert)
  client_tls=(--tls-ca "$work/ca.pem" --tls-cert "$work/client.pem" --tls-key "$work/client.key")
  echo "== TLS: certificates in $work"
fi
appmgr() { ./build/tools/appmgr "${client_tls[@]}" "$@"; }

echo "== store: $work/config.db"
appmgr store import "$work/config.db" "$tree"

./build/tools/appmgrd --store "$work/config.db" --listen 127.0.0.1:0 --metrics 127.0.0.1:0 --log "$log" "${host_tls[@]}" \
  >"$work/appmgrd.out" 2>&1 &
host=$!
trap 'kill "$host" 2>/dev/null || true' EXIT
port=""
for _ in $(seq 100); do
  port=$(sed -n 's/^listening on 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$work/appmgrd.out" | head -n1)
  [ -n "$port" ] && break
  kill -0 "$host" 2>/dev/null || { cat "$work/appmgrd.out" >&2; exit 1; }
  sleep 0.1
done
[ -n "$port" ] || { echo "appmgrd did not start" >&2; exit 1; }
echo "== appmgrd: listening on 127.0.0.1:$port"
# The start-up line: version, store, listeners, threads.
grep -m1 '^appmgrd ' "$work/appmgrd.out" || true
export APPMGR_ADDRESS="127.0.0.1:$port"

step() {
  echo
  echo "\$ appmgr $(printf '%q ' "$@")"
  appmgr "$@"
}

step velmora find north
step client get --hostname BUILD01.example.net
step client props 5
step client set-props 5 --set 'Log Level=4' --set 'Owner=QA team+ops' --set-type 'Owner=1'
step client props 5
step subclient add-content 9 '/srv/new data'
step subclient get 9 --app 2:1046
step query subclients --client 5 --backup-set 7
step lookup app-type-name 22 --json
step audit --since "$(date -u +%Y-%m-%d)" --limit 4

# What the host counted: one scrape of its metrics, as Prometheus would.
metrics=$(sed -n 's/^metrics on //p' "$work/appmgrd.out")
echo
echo "\$ curl -s http://$metrics/metrics | grep '^appmgrd_requests_total'"
curl -s "http://$metrics/metrics" | grep '^appmgrd_requests_total' || true

echo
kill -TERM "$host"
wait "$host"
trap - EXIT
echo "== appmgrd stopped; its log: $log"
