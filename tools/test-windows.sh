#!/usr/bin/env bash
# Cross-builds QBFX_F.dll for 32-bit (i686, the reference platform) and 64-bit Windows with
# MinGW-w64, with their tests, and runs the tests under wine in a fresh prefix under build/.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }
packages=(cmake g++-mingw-w64-i686 g++-mingw-w64-x86-64 googletest wine wine64 wine32:i386)
missing=()
for p in "${packages[@]}"; do installed "$p" || missing+=("$p"); done
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "missing Debian packages: ${missing[*]} (run as root)" >&2
    exit 1
  fi
  echo "installing: ${missing[*]}"
  dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

export WINEDEBUG=-all
export WINEPREFIX="$PWD/build/wine-prefix"
export WINEDLLOVERRIDES="mscoree,mshtml="   # no Mono or Gecko install prompts
rm -rf "$WINEPREFIX"
mkdir -p build
echo "== creating the wine prefix"
WINEARCH=win64 wineboot --init >/dev/null 2>&1
wineserver --wait

status=0
for arch in i686 x86_64; do
  dir=build/windows-$arch
  echo "== $arch: configure and build"
  cmake -S . -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-$arch.cmake" -DCMAKE_BUILD_TYPE=Release \
        -DQBFX_EDITOR=OFF -DQBFX_TOOLS=OFF -DQBFX_BENCH=OFF >/dev/null
  cmake --build "$dir" -j"$jobs"
  echo "== $arch: tests under wine"
  ctest --test-dir "$dir" --output-on-failure -j"$jobs" || status=1
done
wineserver --kill || true
echo "DLLs: build/windows-i686/QBFX_F.dll build/windows-x86_64/QBFX_F.dll"
exit $status
