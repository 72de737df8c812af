#!/usr/bin/env bash
# Runs every test: native build and tests, the Windows build under Wine, the unit tests with
# AddressSanitizer and UndefinedBehaviorSanitizer, the threaded rack test with ThreadSanitizer, and
# a short run of every fuzz target.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
out=${OV_TEST_BUILD_ROOT:-$root/build/test}
jobs=${OV_JOBS:-$(nproc)}

tools/setup.sh || { echo "setup failed"; exit 1; }

# Repeat runs reuse compiled objects through ccache when it is there (setup installs it). Paths are
# taken relative to the checkout, so another clone of the same sources hits the same entries; the
# sloppiness lets objects built with the precompiled headers be cached too.
if command -v ccache >/dev/null 2>&1; then
  export CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache
  export CCACHE_BASEDIR="$root" CCACHE_NOHASHDIR=1
  export CCACHE_SLOPPINESS=pch_defines,time_macros,include_file_mtime,include_file_ctime
fi

passed=0
failed=0
step() {  # step NAME COMMAND...: runs a step, counts it, never stops the run
  local name=$1; shift
  echo "=== $name"
  local started=$SECONDS
  if "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "=== $name FAILED"; fi
  echo "=== $name: $((SECONDS - started)) s"
}

configure_and_build() {  # folder, cmake arguments..., -- targets...
  local dir=$1; shift
  local args=() targets=()
  while (($#)) && [ "$1" != "--" ]; do args+=("$1"); shift; done
  [ "${1:-}" = "--" ] && shift
  targets=("$@")
  cmake -S "$root" -B "$dir" -G Ninja "${args[@]}" >"$dir.configure.log" 2>&1 || { cat "$dir.configure.log"; return 1; }
  if ((${#targets[@]})); then
    cmake --build "$dir" -j "$jobs" --target "${targets[@]}"
  else
    cmake --build "$dir" -j "$jobs"
  fi
}
mkdir -p "$out"

step "windows build" configure_and_build "$out/win" \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" -DOV_BUILD_TESTS=OFF -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG"
step "native build" configure_and_build "$out/native" -DOV_WINDOWS_BUILD_DIR="$out/win" \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O1"
step "native and wine tests" ctest --test-dir "$out/native" --output-on-failure -j "$jobs"

# The release packages made from the two builds above: their files, and the unpacked programs run.
step "release packages" env OV_PACKAGE_WINEPREFIX="$out/native/wine-prefix" \
  tools/package.sh --win-build "$out/win" --native-build "$out/native" --out "$out/packages"
# A short soak: 20,000 blocks flat out through random racks of built-in and test plug-ins, with a
# fixed seed so a failure replays (OV_SOAK_SEED picks another).
step "short soak" "$out/native/tools/standin-audio/ov-standin-audio" soak \
  --host "$out/native/plugins/host/ov-pluginhost" --blocks 20000 --seed "${OV_SOAK_SEED:-1}" \
  --plugin "$out/native/test-plugins/vst3/OvFx.vst3" --plugin "$out/native/test-plugins/clap/ov-test-effects.clap"

step "sanitizer build (address, undefined)" configure_and_build "$out/asan" -DOV_SANITIZE=address,undefined \
  -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g1" -- common_tests cli_tests host_tests
step "unit tests under AddressSanitizer and UndefinedBehaviorSanitizer" \
  ctest --test-dir "$out/asan" --output-on-failure -j "$jobs" -L '^(common|cli|host)$'

if [ -d "$root/tests/host_tsan" ]; then
  step "thread sanitizer build" configure_and_build "$out/tsan" -DOV_SANITIZE=thread \
    -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g1" -- host_tsan_tests
  step "threaded rack under ThreadSanitizer" ctest --test-dir "$out/tsan" --output-on-failure -L '^host_tsan$'
fi

# Every fuzz target for 15 s from its seeds (tools/fuzz.sh --minutes N runs them longer).
step "fuzzing (clang, address and undefined sanitizers)" tools/fuzz.sh --jobs "$jobs" --build-dir "$out/fuzz"

echo
echo "steps: $passed passed, $failed failed in $SECONDS s"
[ "$failed" -eq 0 ]
