#!/usr/bin/env bash
# Times `ovctl status` against the stand-in Orvia API, the same two requests made with curl
# (GET /v1/ping, then POST /v1/cmd/status with the token) and the floor: a small static C
# program making the same two requests and nothing else (ov-status-floor). Runs interleaved;
# prints the medians and the ratios. Targets: ovctl at most 0.3 x the curl pair, and at most
# 1.3 x the floor.
#
# usage: OVCTL=<path to ovctl> STANDIN_API=<path to ov-standin-api> FLOOR=<path to ov-status-floor> \
#          tools/bench/ovctl_status_bench.sh [runs]
# All default to the programs in build/native; runs defaults to 40 (at least 20).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
ovctl=${OVCTL:-$root/build/native/automation/cli/ovctl}
standin=${STANDIN_API:-$root/build/native/tools/standin-api/ov-standin-api}
floor=${FLOOR:-$root/build/native/tools/bench/ov-status-floor}
runs=${1:-40}
((runs >= 20)) || { echo "ovctl_status_bench: at least 20 runs" >&2; exit 2; }
for program in "$ovctl" "$standin" "$floor"; do
  [ -x "$program" ] || { echo "ovctl_status_bench: $program is not built" >&2; exit 1; }
done
command -v curl >/dev/null || { echo "ovctl_status_bench: curl is not installed" >&2; exit 1; }

work=$(mktemp -d)
standin_pid=
cleanup() {
  if [ -n "$standin_pid" ]; then kill "$standin_pid" 2>/dev/null || true; wait "$standin_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

token=bench-token
"$standin" --port 0 --token "$token" >"$work/port" &
standin_pid=$!
for _ in $(seq 100); do [ -s "$work/port" ] && break; sleep 0.05; done
port=$(head -n 1 "$work/port")
[ -n "$port" ] || { echo "ovctl_status_bench: the stand-in did not start" >&2; exit 1; }
export APPDATA=$work  # no settings file: port and token come from the options
unset ORVIA_API_PORT ORVIA_API_TOKEN

run_ovctl() { "$ovctl" --port "$port" --token "$token" status >/dev/null; }
run_floor() { "$floor" "$port" "$token" >/dev/null; }
run_curl_pair() {
  curl -sf "http://127.0.0.1:$port/v1/ping" >/dev/null
  curl -sf -X POST -H "Authorization: Bearer $token" -H "Content-Type: application/json" \
    --data '{}' "http://127.0.0.1:$port/v1/cmd/status" >/dev/null
}
elapsed_us() {  # runs a command, prints its wall time in microseconds (no extra process)
  local start end
  start=${EPOCHREALTIME/[.,]/}
  "$@"
  end=${EPOCHREALTIME/[.,]/}
  echo $((end - start))
}
median() { sort -n | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# Warm-up: page cache, the stand-in's first answers.
for _ in 1 2 3; do run_ovctl; run_curl_pair; run_floor; done
: >"$work/ovctl.txt"
: >"$work/curl.txt"
: >"$work/floor.txt"
for _ in $(seq "$runs"); do
  elapsed_us run_ovctl >>"$work/ovctl.txt"
  elapsed_us run_curl_pair >>"$work/curl.txt"
  elapsed_us run_floor >>"$work/floor.txt"
done

ovctl_us=$(median <"$work/ovctl.txt")
curl_us=$(median <"$work/curl.txt")
floor_us=$(median <"$work/floor.txt")
awk -v o="$ovctl_us" -v c="$curl_us" -v f="$floor_us" -v n="$runs" 'BEGIN {
  printf "ovctl status:         median %.2f ms over %d runs\n", o / 1000, n
  printf "curl ping + status:   median %.2f ms over %d runs\n", c / 1000, n
  printf "floor (static C):     median %.2f ms over %d runs\n", f / 1000, n
  printf "ratio ovctl / curl:   %.3f (target at most 0.3): %s\n", o / c, (o / c <= 0.3 ? "met" : "not met")
  printf "ratio ovctl / floor:  %.3f (target at most 1.3): %s\n", o / f, (o / f <= 1.3 ? "met" : "not met")
}'
