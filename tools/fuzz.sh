#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, AddressSanitizer, UndefinedBehaviorSanitizer) and runs
# each for a fixed time, starting from its seed corpus and dictionary in tests/fuzz/.
#
#   tools/fuzz.sh                      every target for 15 s (the test command's step)
#   tools/fuzz.sh --minutes 10         every target for 10 minutes
#   tools/fuzz.sh --jobs 2 rack_lines json
#                                      the named targets, two at a time
#
# Options: --seconds N | --minutes N (time per target), --jobs N (targets run at once),
# --build-dir DIR (default build/fuzz). One line per target says what it did; the exit status
# is 0 only when every target ran its time without a finding. Findings are kept as
# <build-dir>/findings/<target>/crash-... (or leak-, timeout-, oom-) with the whole log next to them.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
seconds=15
jobs=1
build=$root/build/fuzz
targets=()
while (($#)); do
  case $1 in
    --seconds) seconds=$2; shift 2 ;;
    --minutes) seconds=$(($2 * 60)); shift 2 ;;
    --jobs) jobs=$2; shift 2 ;;
    --build-dir) build=$2; shift 2 ;;
    -h|--help) sed -n '2,14p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    -*) echo "fuzz: unknown option $1" >&2; exit 2 ;;
    *) targets+=("$1"); shift ;;
  esac
done
all_targets=(http_answer json ovctl_words config_files rack_lines slots base64 vst3_state)
((${#targets[@]})) || targets=("${all_targets[@]}")

mkdir -p "$build"
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DOV_FUZZ=ON -DOV_BUILD_TESTS=OFF \
  -DOV_BUILD_TEST_PLUGINS=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g" \
  >"$build.configure.log" 2>&1 || { cat "$build.configure.log"; echo "fuzz: configure failed"; exit 1; }
cmake --build "$build" -j "${OV_JOBS:-$(nproc)}" --target ov_fuzz_targets || { echo "fuzz: build failed"; exit 1; }

# run_target NAME: fuzzes one target; writes its summary line to <build>/logs/NAME.result.
run_target() {
  local name=$1
  local seeds=$root/tests/fuzz/corpus/$name
  local work=$build/corpus/$name findings=$build/findings/$name log=$build/logs/$name.log
  mkdir -p "$work" "$findings" "$build/logs"
  local args=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1
              -artifact_prefix="$findings/")
  [ -f "$root/tests/fuzz/$name.dict" ] && args+=(-dict="$root/tests/fuzz/$name.dict")
  local started=$SECONDS status=0
  "$build/tests/fuzz/fuzz_$name" "${args[@]}" "$work" "$seeds" >"$log" 2>&1 || status=$?
  local runs rate corpus
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  corpus=$(find "$work" -type f | wc -l)
  if [ "$status" -eq 0 ]; then
    echo "fuzz $name: ok, ${runs:-?} runs in $((SECONDS - started)) s (${rate:-?} exec/s), corpus $corpus" >"$build/logs/$name.result"
  else
    local artifact
    artifact=$(sed -n 's/.*Test unit written to \(.*\)$/\1/p' "$log" | tail -1)
    cp "$log" "$findings/" 2>/dev/null
    echo "fuzz $name: FAILED (exit $status) after ${runs:-?} runs: ${artifact:-see $log}" >"$build/logs/$name.result"
  fi
  return "$status"
}

failed=0
running=0
pids=()
for name in "${targets[@]}"; do
  if [ ! -x "$build/tests/fuzz/fuzz_$name" ]; then echo "fuzz $name: no such target"; failed=1; continue; fi
  rm -f "$build/logs/$name.result"
  run_target "$name" &
  pids+=($!)
  running=$((running + 1))
  if ((running >= jobs)); then wait -n; running=$((running - 1)); fi
done
wait
for name in "${targets[@]}"; do
  [ -f "$build/logs/$name.result" ] || continue
  cat "$build/logs/$name.result"
  grep -q ': ok,' "$build/logs/$name.result" || failed=1
done
exit "$failed"
