#!/usr/bin/env bash
# Drives the real ovctl against the stand-in Orvia API: starts the stand-in on a free port
# with a token, writes the settings file that Orvia would write (in a temporary APPDATA
# folder), and runs a few commands, printing what each prints and its exit code.
#
# usage: OVCTL=<path to ovctl> STANDIN_API=<path to ov-standin-api> tools/demo/ovctl_demo.sh
# Both default to the programs in build/native.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
ovctl=${OVCTL:-$root/build/native/automation/cli/ovctl}
standin=${STANDIN_API:-$root/build/native/tools/standin-api/ov-standin-api}
for program in "$ovctl" "$standin"; do
  [ -x "$program" ] || { echo "ovctl_demo: $program is not built" >&2; exit 1; }
done

work=$(mktemp -d)
standin_pid=
cleanup() {
  if [ -n "$standin_pid" ]; then kill "$standin_pid" 2>/dev/null || true; wait "$standin_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

token=demo-$RANDOM$RANDOM
"$standin" --port 0 --token "$token" --record "$work/requests.jsonl" >"$work/port" &
standin_pid=$!
for _ in $(seq 100); do [ -s "$work/port" ] && break; sleep 0.05; done
port=$(head -n 1 "$work/port")
[ -n "$port" ] || { echo "ovctl_demo: the stand-in did not start" >&2; exit 1; }

# What Orvia writes when its local API is turned on.
mkdir -p "$work/AppData/Orvia"
printf '{"apiEnabled":true,"apiPort":%s,"apiToken":"%s"}\n' "$port" "$token" >"$work/AppData/Orvia/settings.json"
export APPDATA=$work/AppData
unset ORVIA_API_PORT ORVIA_API_TOKEN

echo "stand-in Orvia API on 127.0.0.1:$port (settings file $APPDATA/Orvia/settings.json)"
show() {
  echo
  echo "\$ ovctl $*"
  local code=0
  "$ovctl" "$@" || code=$?
  echo "(exit $code)"
}
show version
show status
show mute toggle
show profile list
show profile load Podcast host
show sound list
show sound play applause
show volume mic +5
show meters
show --json mute
show profile load Nope
show mute maybe

echo
echo "requests the stand-in received: $(wc -l <"$work/requests.jsonl")"
