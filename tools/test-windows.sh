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
          wine wine64 wine32:i386 xvfb xauth qemu-user)
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
# Some kernels run no 32-bit programs at all, wine's 32-bit loader included (Debian's `wine`
# starts that loader first). There, the loader and the 32-bit tests run under qemu's user-mode
# i386 emulator, registered with binfmt_misc for as long as this script runs. The prefix is
# always made by the 64-bit loader alone: it serves 32-bit programs all the same, and the
# 32-bit loader cannot make a 64-bit prefix when it is emulated.
binfmt=/proc/sys/fs/binfmt_misc
handler=qbfx-i386
# binfmt_misc belongs to the kernel, not to this run: a handler left by a run that was killed
# would make an emulated loader pass for a native one, so it goes before anything is judged
if [ -e "$binfmt/$handler" ]; then echo -1 > "$binfmt/$handler" 2>/dev/null || true; fi
emulated_elsewhere() {   # someone else's qemu handler for 32-bit x86 programs
  local f
  for f in "$binfmt"/*; do
    [ -f "$f" ] && grep -qx enabled "$f" 2>/dev/null && grep -q '^interpreter .*qemu-i386' "$f" && return 0
  done
  return 1
}
# qemu's default guest layout follows the host kernel's, and on some kernels it puts the
# loader's first libraries over the page wine must map at 0x7ffe0000 for every Windows process.
# A guest address space of a fixed 4 GB makes the layout the same everywhere, clear of it.
export QEMU_RESERVED_VA=0xffff0000
run32=native
if wine --version >/dev/null 2>&1; then
  if emulated_elsewhere; then run32=emulated; fi
else
  run32=no
  if [ "$(id -u)" -eq 0 ] && [ -x /usr/bin/qemu-i386 ]; then
    [ -e "$binfmt/register" ] || mount -t binfmt_misc binfmt_misc "$binfmt" 2>/dev/null || true
    if [ -e "$binfmt/register" ]; then
      # 32-bit x86 ELF executables and shared objects; F: the emulator is opened now
      printf '%s' ":$handler:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386:F" \
        > "$binfmt/register" 2>/dev/null &&
        trap 'if [ -e "$binfmt/$handler" ]; then echo -1 > "$binfmt/$handler"; fi' EXIT &&
        trap 'exit 130' INT TERM HUP
    fi
    if wine --version >/dev/null 2>&1; then run32=emulated; fi
  fi
fi
echo "== 32-bit programs: $run32"
rm -rf "$WINEPREFIX"
mkdir -p build
echo "== creating the wine prefix"
if ! WINEARCH=win64 /usr/lib/wine/wine64 wineboot --init >build/wineboot.log 2>&1; then
  cat build/wineboot.log >&2
  echo "wineboot could not create the prefix" >&2
  exit 1
fi
wineserver --wait
# the 64-bit wineboot starts its 32-bit half itself and says nothing when that cannot run
if [ "$run32" != no ] && [ ! -e "$WINEPREFIX/drive_c/windows/syswow64/kernel32.dll" ]; then
  echo "the wine prefix has no 32-bit half: wine's 32-bit loader did not start" >&2
  exit 1
fi

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
  if [ "$arch" = i686 ] && [ "$run32" = emulated ]; then
    # Under the emulator every test program costs a minute of wine start-up: the DLL's own tests
    # (through its entry point, processing and the editor window) and the effect's, bit-exact
    # renders included. The library tests ran natively above and on the 64-bit DLL. The
    # emulator does not carry wine's threads reliably, so the two-thread stress test stays with
    # the native runs.
    cmake --build "$dir" -j"$jobs" --target QBFX_F qbfx_host_tests qbfx_plugin_tests qbfx_editor_win32_tests
    echo "== i686: tests under wine, 32-bit programs emulated by qemu"
    GTEST_FILTER='-CrossThread.*' ctest --test-dir "$dir" --output-on-failure -j"$jobs" \
      -R '^(ModuleExportsOnlyMain|qbfx_host_tests|qbfx_plugin_tests|qbfx_editor_win32_tests)$' || status=1
    continue
  fi
  cmake --build "$dir" -j"$jobs"
  echo "== $arch: tests under wine"
  ctest --test-dir "$dir" --output-on-failure -j"$jobs" || status=1
done
wineserver --kill || true
echo "DLLs: build/windows-i686/QBFX_F.dll build/windows-x86_64/QBFX_F.dll"
exit $status
