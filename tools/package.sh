#!/usr/bin/env bash
# Builds the release packages and checks them:
#   orvia-tools-<version>-windows-x64.zip     ovctl.exe, ov-pluginhost.exe, README.txt
#   orvia-tools-<version>-linux-x86_64.tar.gz bin/ovctl, bin/ov-pluginhost, README.txt
# The check lists each package's files, looks at how the programs are linked, unpacks both and
# runs the unpacked programs: ovctl.exe --version under Wine, ovctl --version and
# ov-pluginhost scan internal: natively.
#
# usage: tools/package.sh [--out DIR] [--win-build DIR] [--native-build DIR] [--check-only]
#   --out DIR           where the packages go (default build/package/out)
#   --win-build DIR     an existing mingw-w64 build to pack instead of a fresh release build
#   --native-build DIR  an existing native build to pack instead of a fresh release build
#   --check-only        only check the packages already in --out
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$root/build/package/out
win_build=
native_build=
check_only=0
while (($#)); do
  case $1 in
    --out) out=$2; shift 2 ;;
    --win-build) win_build=$2; shift 2 ;;
    --native-build) native_build=$2; shift 2 ;;
    --check-only) check_only=1; shift ;;
    *) sed -n '2,14p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2 ;;
  esac
done
mkdir -p "$out"
out=$(cd "$out" && pwd)

# The one place the version is written: common/include/ov/version.h.
version=$(sed -n 's/^#define OV_VERSION_TEXT "\([0-9.]*\)".*/\1/p' "$root/common/include/ov/version.h")
[ -n "$version" ] || { echo "package: no version in common/include/ov/version.h" >&2; exit 1; }
win_name=orvia-tools-$version-windows-x64
linux_name=orvia-tools-$version-linux-x86_64

pack() {  # pack BUILD_DIR: runs CPack there, the package lands in $out
  (cd "$1" && cpack -B "$out" >"$out/cpack.log" 2>&1) || { cat "$out/cpack.log" >&2; return 1; }
  rm -rf "$out/_CPack_Packages"
}

if ((!check_only)); then
  if [ -z "$win_build" ]; then
    win_build=$root/build/package/win
    cmake -S "$root" -B "$win_build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
      -DCMAKE_BUILD_TYPE=Release -DOV_BUILD_TESTS=OFF -DOV_BUILD_TEST_PLUGINS=OFF >/dev/null
    cmake --build "$win_build" -j "${OV_JOBS:-$(nproc)}"
  fi
  if [ -z "$native_build" ]; then
    native_build=$root/build/package/native
    cmake -S "$root" -B "$native_build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DOV_BUILD_TESTS=OFF \
      -DOV_BUILD_TEST_PLUGINS=OFF >/dev/null
    cmake --build "$native_build" -j "${OV_JOBS:-$(nproc)}"
  fi
  rm -f "$out/$win_name.zip" "$out/$linux_name.tar.gz"
  pack "$win_build"
  pack "$native_build"
  echo "package: $out/$win_name.zip"
  echo "package: $out/$linux_name.tar.gz"
fi

# ---- the check
problems=0
fail() { echo "package check: $*" >&2; problems=$((problems + 1)); }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Lists the entries of a zip or tar.gz, files only, one per line, sorted.
list_files() {
  python3 - "$1" <<'EOF'
import sys, tarfile, zipfile
path = sys.argv[1]
if path.endswith(".zip"):
    names = [i.filename for i in zipfile.ZipFile(path).infolist() if not i.is_dir()]
else:
    names = [m.name for m in tarfile.open(path).getmembers() if m.isfile()]
print("\n".join(sorted(names)))
EOF
}
expect_files() {  # expect_files PACKAGE NAME...: the package holds exactly these files
  local package=$1; shift
  [ -f "$package" ] || { fail "$package is missing"; return; }
  local want got
  want=$(printf '%s\n' "$@" | sort)
  got=$(list_files "$package")
  [ "$got" = "$want" ] || fail "$(basename "$package") holds"$'\n'"$got"$'\n'"instead of"$'\n'"$want"
}
expect_output() {  # expect_output WHAT WANT COMMAND...: the command succeeds and prints WANT
  local what=$1 want=$2; shift 2
  local got
  if ! got=$("$@" 2>"$work/stderr"); then fail "$what failed: $(cat "$work/stderr")"; return; fi
  [ "$got" = "$want" ] || fail "$what printed '$got' instead of '$want'"
}

expect_files "$out/$win_name.zip" "$win_name/README.txt" "$win_name/ovctl.exe" "$win_name/ov-pluginhost.exe"
expect_files "$out/$linux_name.tar.gz" "$linux_name/README.txt" "$linux_name/bin/ovctl" "$linux_name/bin/ov-pluginhost"

if [ -f "$out/$win_name.zip" ]; then unzip -q "$out/$win_name.zip" -d "$work" || fail "cannot unpack $win_name.zip"; fi
if [ -f "$out/$linux_name.tar.gz" ]; then
  tar -xzf "$out/$linux_name.tar.gz" -C "$work" || fail "cannot unpack $linux_name.tar.gz"
fi
win=$work/$win_name
linux=$work/$linux_name

for readme in "$win/README.txt" "$linux/README.txt"; do
  [ -f "$readme" ] || continue
  grep -q "plug-in host $version\$" "$readme" || fail "$readme does not name version $version"
done

# The Windows programs need nothing beside them but system DLLs, and carry the version resource.
for exe in ovctl ov-pluginhost; do
  [ -f "$win/$exe.exe" ] || continue
  dlls=$(x86_64-w64-mingw32-objdump -p "$win/$exe.exe" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z')
  for dll in $dlls; do
    case $dll in libstdc++*|libgcc*|libwinpthread*) fail "$exe.exe needs $dll" ;; esac
  done
  python3 - "$win/$exe.exe" "$version.0" <<'EOF' || fail "$exe.exe has no version resource $version.0"
import sys
sys.exit(0 if sys.argv[2].encode("utf-16-le") in open(sys.argv[1], "rb").read() else 1)
EOF
done

# The Linux programs: ovctl loads nothing at start, ov-pluginhost brings its own C++ runtime.
if [ -f "$linux/bin/ovctl" ]; then
  if readelf -l "$linux/bin/ovctl" | grep -q 'INTERP'; then fail "bin/ovctl is not statically linked"; fi
fi
if [ -f "$linux/bin/ov-pluginhost" ]; then
  if readelf -d "$linux/bin/ov-pluginhost" | grep -q 'NEEDED.*libstdc++'; then fail "bin/ov-pluginhost loads libstdc++"; fi
fi

version_line="ovctl $version (API 1.x)"
if [ -x "$linux/bin/ovctl" ]; then expect_output "bin/ovctl --version" "$version_line" "$linux/bin/ovctl" --version; fi
if [ -x "$linux/bin/ov-pluginhost" ]; then
  if scan=$(OV_PLUGINHOST_INTERNAL=1 "$linux/bin/ov-pluginhost" scan internal: 2>"$work/stderr"); then
    python3 - "$scan" <<'EOF' || fail "bin/ov-pluginhost scan internal: printed '$scan'"
import json, sys
line = sys.argv[1]
assert line.startswith("OVP ") and line.count("\n") == 0
report = json.loads(line[4:])
names = [entry["uid"] for entry in report["scan"]] + [entry["name"] for entry in report["skipped"]]
assert names == ["gain", "stereo", "delay:256", "abort", "hang:50"], names
assert {"gain", "stereo", "delay:256"} <= {entry["uid"] for entry in report["scan"]}
EOF
  else
    fail "bin/ov-pluginhost scan internal: failed: $(cat "$work/stderr")"
  fi
fi

if [ -f "$win/ovctl.exe" ]; then
  if command -v wine >/dev/null; then
    # Any prefix will do for --version; the Wine tests' prefix saves the half minute of making one.
    export WINEPREFIX=${OV_PACKAGE_WINEPREFIX:-$root/build/package/wine-prefix}
    export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      mkdir -p "$(dirname "$WINEPREFIX")"
      DISPLAY= wineboot -i >/dev/null 2>&1 && wineserver -w || fail "wineboot -i failed in $WINEPREFIX"
    fi
    expect_output "ovctl.exe --version under Wine" "$version_line" \
      bash -c 'wine "$1" --version | tr -d "\r"' _ "$win/ovctl.exe"
  else
    fail "wine is not installed: cannot run ovctl.exe"
  fi
fi

if ((problems)); then
  echo "package check: $problems problem(s)" >&2
  exit 1
fi
echo "package check: $win_name.zip and $linux_name.tar.gz are complete and their programs run"
