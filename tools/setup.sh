#!/usr/bin/env bash
# Installs what building and testing need on a Debian machine (apt-get, only when missing).
set -euo pipefail

packages=(
  cmake ninja-build g++ python3 curl ccache
  nlohmann-json3-dev unicode-data
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  g++-mingw-w64-x86-64-posix mingw-w64
  wine wine64 xvfb xauth x11-utils libx11-dev
  dpf-source libgl-dev libxext-dev libgl1-mesa-dri
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "${missing[@]}" >/dev/null
fi
