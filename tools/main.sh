#!/usr/bin/env bash
# The main job on a fresh machine: set up, build both programs, then drive them the way Orvia
# does: real ovctl commands against the stand-in Orvia API, and a rack of built-in plug-ins
# processing audio through the shared mapping.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=${OV_MAIN_BUILD:-$root/build/main}

tools/setup.sh
cmake -S "$root" -B "$build" -G Ninja -DOV_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j "$(nproc)"

echo
echo "=== ovctl against the stand-in Orvia API"
OVCTL="$build/automation/cli/ovctl" STANDIN_API="$build/tools/standin-api/ov-standin-api" \
  tools/demo/ovctl_demo.sh

echo
echo "=== a rack of built-in plug-ins: a tone through gain and delay, via the shared mapping"
out_wav="$build/demo-rack-out.wav"
OV_PLUGINHOST_INTERNAL=1 "$build/tools/standin-audio/ov-standin-audio" demo \
  --host "$build/plugins/host/ov-pluginhost" --seconds 2 --gain 0.5 --delay 2400 --out "$out_wav"
echo "processed audio written to $out_wav"
