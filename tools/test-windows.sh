#!/usr/bin/env bash
# Cross-builds QBFX_F.dll for 32-bit (i686, the reference platform) and 64-bit Windows with
# MinGW-w64, editor included, with their tests, and runs the tests under wine in a fresh prefix
# under build/, inside a virtual X display that the editor's windows need.
set -euo pipefail
self=$(realpath "$0")
cd "$(dirname "$self")/.."
jobs=$(nproc)

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }
packages=(cmake dpkg-dev g++-mingw-w64-i686 g++-mingw-w64-x86-64 libz-mingw-w64-dev googletest
          wine wine64 wine32:i386 xvfb xauth)
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

# Everything from here on runs in a display of its own, so the editor tests always have one.
if [ -z "${QBFX_IN_XVFB:-}" ]; then
  export QBFX_IN_XVFB=1
  exec xvfb-run -a -s "-screen 0 1024x768x24" bash "$self" "$@"
fi
export QBFX_REQUIRE_DISPLAY=1   # and a test that finds none fails instead of skipping

export WINEDEBUG=-all
export WINEPREFIX="$PWD/build/wine-prefix"
# no Mono or Gecko install prompts; a crashing test ends instead of waiting in the debugger
export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
# Some kernels run no 32-bit programs at all, wine's 32-bit loader included. Debian's `wine`
# starts that loader first, so without it the prefix is made by the 64-bit one alone.
run32=yes
wine --version >/dev/null 2>&1 || run32=no
boot=wine
[ "$run32" = yes ] || boot=/usr/lib/wine/wine64
rm -rf "$WINEPREFIX"
mkdir -p build
echo "== creating the wine prefix"
WINEARCH=win64 "$boot" wineboot --init >/dev/null 2>&1
wineserver --wait

bash tools/build-mingw-deps.sh i686 x86_64

status=0
for arch in i686 x86_64; do
  dir=build/windows-$arch
  echo "== $arch: configure and build"
  cmake -S . -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-$arch.cmake" -DCMAKE_BUILD_TYPE=Release \
        -DQBFX_EDITOR=ON -DQBFX_MINGW_PREFIX="$PWD/build/mingw-deps/$arch" -DQBFX_TOOLS=OFF \
        -DQBFX_BENCH=OFF >/dev/null
  if [ "$arch" = i686 ] && [ "$run32" = no ]; then
    # test programs that cannot run are not worth their build time here
    cmake --build "$dir" -j"$jobs" --target QBFX_F
    echo "== i686: tests NOT RUN: this machine cannot execute 32-bit programs; DLL checks only"
    ctest --test-dir "$dir" --output-on-failure -R '^ModuleExportsOnlyMain$' || status=1
    continue
  fi
  cmake --build "$dir" -j"$jobs"
  echo "== $arch: tests under wine"
  ctest --test-dir "$dir" --output-on-failure -j"$jobs" || status=1
done
wineserver --kill || true
echo "DLLs: build/windows-i686/QBFX_F.dll build/windows-x86_64/QBFX_F.dll"
exit $status
