#!/usr/bin/env bash
# Shows that the system install is what Ardour 7 finds on its default plug-in path, with a working
# controller map:
#  1. `cmake --install BUILD --prefix /usr/local` into a private /usr/local (this script runs in a
#     mount namespace of its own, so the machine's /usr/local is neither read nor changed);
#  2. Ardour, headless, with LXVST_PATH unset, loads the plug-in from there and renders the Flanger
#     twice, once after controller 26 at 0 and once at 127: the map beside the library sends
#     controller 26 to the Flanger's delay, so the two renders must differ;
#  3. the same folder moved to a place Ardour does not search is not found.
#   bash tools/check-install-ardour.sh [BUILD]      (BUILD defaults to build/release)
# Needs root (for the namespace), util-linux's unshare, Debian's ardour and python3-numpy.
# Exit status: 0 shown, 1 failed, 77 cannot run here.
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
build=$(cd "${1:-$here/../build/release}" 2>/dev/null && pwd) || { echo "no build folder ${1:-build/release}" >&2; exit 77; }

python=""
for p in $(type -ap python3); do
  if "$p" -c 'import numpy' 2>/dev/null; then python=$p; break; fi
done

if [ "${QBFX_IN_NAMESPACE:-}" != 1 ]; then
  [ "$(id -u)" = 0 ] || { echo "skipped: needs root for a private /usr/local" >&2; exit 77; }
  command -v ardour7-lua >/dev/null || { echo "skipped: Ardour 7 is not installed (apt-get install ardour)" >&2; exit 77; }
  [ -n "$python" ] || { echo "skipped: needs python3-numpy" >&2; exit 77; }
  [ -f "$build/QBFX_F.so" ] || { echo "no plug-in in $build: build the QBFX_F target first" >&2; exit 1; }
  unshare -m true 2>/dev/null || { echo "skipped: cannot make a mount namespace here" >&2; exit 77; }
  QBFX_IN_NAMESPACE=1 exec unshare -m --propagation private bash "${BASH_SOURCE[0]}" "$build"
fi

fail() { echo "FAIL: $*"; exit 1; }
mount -t tmpfs qbfx-usr-local /usr/local || fail "cannot mount a private /usr/local"
work=$(mktemp -d -t qbfx-install.XXXXXX)
trap 'rm -rf "$work"' EXIT

echo "== cmake --install $build --prefix /usr/local"
cmake --install "$build" --prefix /usr/local >"$work/install.log" 2>&1 || { cat "$work/install.log"; fail "install failed"; }
plugin=/usr/local/lib/vst/QBFX_F/QBFX_F.so
[ -f "$plugin" ] || fail "the install put no $plugin"
[ -f /usr/local/lib/vst/QBFX_F/Data/QBFX_F.ini ] || fail "the install put no map beside the plug-in"
find /usr/local -type f | sort | sed 's/^/  /'

# Controller 26 at either end, then the Flanger (note 38) fired with synced value 3/8 (note 52)
# and held open by the hold pedal (controller 64), since Ardour releases held notes when the
# export starts. The Flanger takes its delay when it is fired.
render() { # name, controller value (hex), plug-in
  RH_INSTALLED=1 RH_MIDI="b0 1a $2;b0 40 7f;90 26 64;90 34 64;80 34 00" RH_SECONDS=2 \
    bash "$here/realhost/realhost.sh" "$3" "" "$work/$1.wav" >"$work/$1.log" 2>&1
}
echo "== Ardour, default plug-in path, controller 26 at 0 and at 127"
render low 00 "$plugin" || { cat "$work/low.log"; fail "Ardour did not run the installed plug-in"; }
grep -E '^(scan|plugin|set|output|result):' "$work/low.log" | sed 's/^/  /'
render high 7f "$plugin" || { cat "$work/high.log"; fail "Ardour did not run the installed plug-in"; }
diff=$("$python" "$here/realhost/rhtool.py" compare "$work/low.wav" "$work/high.wav")
echo "  low vs high: $diff"
rms=$(sed -n 's/.*rms_diff=\([^ ]*\).*/\1/p' <<<"$diff")
"$python" -c "import sys; sys.exit(0 if float('$rms') > 0.05 else 1)" ||
  fail "controller 26 changed next to nothing: the installed plug-in runs without its controller map"

echo "== control: the same without the map beside the plug-in"
mv /usr/local/lib/vst/QBFX_F/Data /usr/local/lib/vst/QBFX_F/Data.off
render nomap-low 00 "$plugin" && render nomap-high 7f "$plugin" || { cat "$work/nomap-low.log" "$work/nomap-high.log"; fail "Ardour did not run the plug-in without its map"; }
control=$("$python" "$here/realhost/rhtool.py" compare "$work/nomap-low.wav" "$work/nomap-high.wav")
echo "  low vs high: $control"
# Two Ardour runs are not sample-identical (the plug-in runs free before the export starts), so
# the control must merely stay far below the difference the map makes.
crms=$(sed -n 's/.*rms_diff=\([^ ]*\).*/\1/p' <<<"$control")
"$python" -c "import sys; sys.exit(0 if float('$crms') < float('$rms') / 10 else 1)" ||
  fail "controller 26 changes the sound as much without the map: the check above proves nothing"
mv /usr/local/lib/vst/QBFX_F/Data.off /usr/local/lib/vst/QBFX_F/Data

echo "== the same folder where Ardour does not look"
mkdir -p /usr/local/lib/elsewhere
mv /usr/local/lib/vst/QBFX_F /usr/local/lib/elsewhere/
if render hidden 00 /usr/local/lib/elsewhere/QBFX_F/QBFX_F.so; then
  fail "Ardour listed a plug-in outside its default path: this check would prove nothing"
fi
grep -q 'does not list' "$work/hidden.log" || { cat "$work/hidden.log"; fail "Ardour failed for another reason"; }
echo "  not listed, as expected"
echo "PASS: the system install is found by Ardour's default path and its controller map works"
