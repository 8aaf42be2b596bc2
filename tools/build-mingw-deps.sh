#!/usr/bin/env bash
# Cross-builds the editor's libraries for Windows: libpng (with the MinGW-w64 zlib) and a minimal
# FreeType, static, from Debian's own source packages, into build/mingw-deps/<arch>. Debian ships
# zlib for MinGW-w64 but neither of the other two. A complete prefix is left as it is.
#   bash tools/build-mingw-deps.sh [i686] [x86_64]      (both when none is named)
# Then configure with -DQBFX_MINGW_PREFIX=$PWD/build/mingw-deps/<arch>.
# Needs the MinGW-w64 compilers, libz-mingw-w64-dev, dpkg-dev and cmake (tools/test-windows.sh
# installs them).
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD
root=$top/build/mingw-deps
archs=("$@")
[ ${#archs[@]} -gt 0 ] || archs=(i686 x86_64)
jobs=$(nproc)
[ "$jobs" -le 2 ] || jobs=2
packages=(libpng1.6 freetype)

# The sources of the packages as Debian's main suites have them now, unpacked with Debian's
# patches, from the archive this machine's own apt set-up names for its release (whatever mirror
# that is). apt runs on a private list of source suites and a private state folder, so the
# machine's apt set-up is only read, never changed.
src=$root/src

# "URI SUITE SIGNED-BY" for every binary source of the release or its updates, from the one-line
# sources.list format and the deb822 .sources format alike.
archive_entries() {
  local release=$1 list parts
  eval "$(apt-config shell list Dir::Etc::sourcelist/f parts Dir::Etc::sourceparts/d)"
  local files=()
  [ -f "$list" ] && files+=("$list")
  for f in "$parts"/*.list "$parts"/*.sources; do [ -f "$f" ] && files+=("$f"); done
  [ ${#files[@]} -gt 0 ] || return 0
  awk -v rel="$release" '
    function wanted(s) { return s == rel || s == rel "-updates" }
    function emit(types, uris, suites, signed,   n, u, m, t, i, j, k) {
      if ((" " types " ") !~ / deb /) return
      n = split(uris, u, " "); m = split(suites, t, " ")
      for (i = 1; i <= n; i++) for (j = 1; j <= m; j++) if (wanted(t[j])) print u[i], t[j], (signed == "" ? "-" : signed)
    }
    function flush() { if (enabled != "no") emit(types, uris, suites, signed); types = uris = suites = signed = ""; enabled = "" }
    FNR == 1 { if (deb822) flush(); deb822 = FILENAME ~ /\.sources$/ }
    /^[ \t]*#/ { next }
    deb822 && /^[ \t]*$/ { flush(); next }
    deb822 && /^[A-Za-z-]+:/ {
      key = tolower(substr($0, 1, index($0, ":") - 1)); val = substr($0, index($0, ":") + 1)
      gsub(/^[ \t]+|[ \t]+$/, "", val)
      if (key == "types") types = val; else if (key == "uris") uris = val; else if (key == "suites") suites = val
      else if (key == "enabled") enabled = tolower(val)
      else if (key == "signed-by" && val ~ /^\//) signed = val
      next
    }
    !deb822 && $1 == "deb" {
      opts = ""; i = 2
      if ($2 ~ /^\[/) { while (i <= NF && $i !~ /\]$/) { opts = opts " " $i; i++ } opts = opts " " $i; i++ }
      signed = ""
      if (match(opts, /signed-by=[^] ]+/)) signed = substr(opts, RSTART + 10, RLENGTH - 10)
      emit("deb", $i, $(i + 1), signed)
    }
    END { if (deb822) flush() }
  ' "${files[@]}"
}

fetch_sources() {
  local apt=$root/apt
  rm -rf "$apt" "$src"
  mkdir -p "$apt/lists/partial" "$apt/cache/archives/partial" "$apt/sources" "$src"
  local release entries
  release=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
  [ -n "$release" ] || { echo "cannot tell this system's release (VERSION_CODENAME in /etc/os-release)" >&2; exit 1; }
  entries=$(archive_entries "$release")
  if [ -z "$entries" ]; then
    echo "this machine's apt set-up names no archive for $release: the sources of ${packages[*]} cannot be fetched" >&2
    exit 1
  fi
  # one deb-src stanza per archive, with the suites and the key its binary entries have
  local uri
  for uri in $(awk '{ print $1 }' <<<"$entries" | sort -u); do
    local suites signed
    suites=$(awk -v u="$uri" '$1 == u { print $2 }' <<<"$entries" | sort -u | paste -sd ' ' -)
    signed=$(awk -v u="$uri" '$1 == u && $3 != "-" { print $3; exit }' <<<"$entries")
    {
      echo "Types: deb-src"
      echo "URIs: $uri"
      echo "Suites: $suites"
      echo "Components: main"
      [ -z "$signed" ] || echo "Signed-By: $signed"
      echo
    } >> "$apt/sources/archive-src.sources"
  done
  local opts=(-q -o Dir::Etc::SourceList=/dev/null -o Dir::Etc::SourceParts="$apt/sources"
              -o Dir::State::Lists="$apt/lists" -o Dir::Cache="$apt/cache" -o Debug::NoLocking=1
              -o APT::Sandbox::User="$(id -un)")
  echo "== mingw deps: fetching the sources of ${packages[*]}"
  apt-get "${opts[@]}" update >/dev/null
  (cd "$src" && apt-get "${opts[@]}" source --download-only "${packages[@]}" >/dev/null)
  for p in "${packages[@]}"; do
    local dsc
    dsc=$(ls "$src"/"${p}"_*.dsc)
    # the files were checked against the signed index when they were fetched
    dpkg-source --no-check -x "$dsc" "$src/$p" >/dev/null
    basename "$dsc" .dsc >> "$src/versions"
  done
  rm -rf "$apt"
}
if [ ! -s "$src/versions" ] || [ ! -d "$src/freetype" ] || [ ! -d "$src/libpng1.6" ]; then
  fetch_sources
fi

for arch in "${archs[@]}"; do
  case $arch in
    i686|x86_64) ;;
    *) echo "unknown architecture: $arch (i686 or x86_64)" >&2; exit 2 ;;
  esac
  prefix=$root/$arch
  if cmp -s "$src/versions" "$prefix/versions"; then
    continue
  fi
  echo "== mingw deps: building libpng and FreeType for $arch"
  work=$root/build-$arch
  log=$root/build-$arch.log
  rm -rf "$prefix" "$work" "$log"
  # third-party code: its warnings go to the log, which is shown when a step fails
  step() { "$@" >>"$log" 2>&1 || { tail -n 40 "$log" >&2; echo "failed, see $log" >&2; exit 1; }; }
  triple=$arch-w64-mingw32
  common=(-DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-$arch.cmake" -DCMAKE_BUILD_TYPE=Release
          -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=OFF
          -DZLIB_INCLUDE_DIR=/usr/$triple/include -DZLIB_LIBRARY=/usr/$triple/lib/libz.a)
  step cmake -S "$src/libpng1.6" -B "$work/libpng" "${common[@]}" -DPNG_SHARED=OFF -DPNG_STATIC=ON \
       -DPNG_EXECUTABLES=OFF -DPNG_TESTS=OFF -DPNG_HARDWARE_OPTIMIZATIONS=OFF \
       -DSKIP_INSTALL_PROGRAMS=ON -DSKIP_INSTALL_FILES=ON -DSKIP_INSTALL_EXPORT=ON
  step cmake --build "$work/libpng" -j"$jobs" --target install
  # Only the TrueType fonts embedded in the editor are read: no compressed, bitmap-PNG or shaped
  # fonts, so no further libraries. Without gzip support FreeType also leaves out its own copy of
  # zlib, whose symbols would clash with the real zlib that libpng needs.
  sed -i 's|^#define FT_CONFIG_OPTION_USE_ZLIB$|/* #undef FT_CONFIG_OPTION_USE_ZLIB */|' \
      "$src/freetype/include/freetype/config/ftoption.h"
  step cmake -S "$src/freetype" -B "$work/freetype" "${common[@]}" -DFT_DISABLE_ZLIB=ON \
       -DFT_DISABLE_BZIP2=ON -DFT_DISABLE_PNG=ON -DFT_DISABLE_HARFBUZZ=ON -DFT_DISABLE_BROTLI=ON
  step cmake --build "$work/freetype" -j"$jobs" --target install
  rm -rf "$work" "$log"
  cp "$src/versions" "$prefix/versions"   # marks the prefix complete
done
