#!/usr/bin/env bash
# ardour-gui.sh PLUGIN_SO|LV2_BUNDLE
#
# Opens the plug-in's editor in Ardour 7's own GUI in a virtual display and checks that it is
# embedded in Ardour's plug-in window. A session with the plug-in on track "In" is made headless
# first (realhost.sh, RH_SAVE=1); the GUI then runs on a dummy JACK server. Ardour's dialogs are
# answered by clicking where Ardour 7.3 draws them on a 1400x900 screen, so this is a check to run
# by hand (it needs xdotool and ImageMagick's import), not part of the test suite.
# Leaves screenshots in the folder it prints. Exit status 0 when the editor is embedded.
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
plugin=${1:?usage: ardour-gui.sh PLUGIN_SO|LV2_BUNDLE}
for t in xdotool import Xvfb jackd ardour xwininfo; do
	command -v "$t" >/dev/null || { echo "ardour-gui: $t not found" >&2; exit 3; }
done

kept=$(RH_SAVE=1 RH_KEEP=1 bash "$here/realhost.sh" "$plugin" 2>&1 | sed -n 's/^realhost: kept //p')
session=$(ls "$kept"/try*/session/rh.ardour 2>/dev/null | head -n 1)
[ -n "$session" ] || { echo "ardour-gui: the headless pass made no session" >&2; exit 3; }
shots=$kept/gui
mkdir -p "$shots"
touch "$kept/config/ardour7/.a7" # not a first run: no welcome wizard

display=:$((90 + RANDOM % 100))
export DISPLAY=$display XDG_CONFIG_HOME=$kept/config XDG_CACHE_HOME=$kept/cache
export LV2_PATH=$kept/lv2 LXVST_PATH=$kept/vst
pids=()
cleanup() {
	for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null; done
	sleep 1
	for p in "${pids[@]}"; do kill -9 "$p" 2>/dev/null; done
}
trap cleanup EXIT
Xvfb "$display" -screen 0 1400x900x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
jackd -r -t 5000 -d dummy -r 48000 -p 1024 >"$shots/jackd.log" 2>&1 &
pids+=($!)
sleep 2
ardour -n -a "$session" >"$shots/ardour.log" 2>&1 &
pids+=($!)

shot() { sleep "$2"; import -window root "$shots/$1.png"; }
click() { xdotool mousemove "$1" "$2" click ${3:+--repeat 2 --delay 80} 1; }
shot 1-device-changed 20
click 871 490                 # OK: the session was saved with the headless dummy backend
shot 2-engine 6
click 707 308; sleep 1        # Audio System...
click 660 331; sleep 2        # ...JACK, already running
click 986 610                 # Connect to JACK
shot 3-locked-memory 15
click 1153 681                # OK to the locked-memory note
sleep 5
click 1326 72                 # the Mixer window
shot 4-mixer 4
click 340 215 double          # the plug-in on track In's strip
shot 5-editor 6
xwininfo -root -tree >"$shots/tree.txt"
click 131 70                  # the editor's effect trigger 3
shot 6-trigger 2
# Ardour's plug-in window (a top level named after the plug-in) holding the editor's window
if ! awk '/^     0x[0-9a-f]+ "In: Quenby/ { top = 1 }
        top && /^        +0x[0-9a-f]+ "Quenby": \(\) +632x395\+0\+0/ { found = 1 }
        END { exit !found }' "$shots/tree.txt"; then
	echo "ardour-gui: no embedded editor found (window tree and screenshots in $shots)"
	exit 1
fi
# the trigger names its effect in the status line
if convert "$shots/5-editor.png" -crop 120x20+530+410 +repage "$shots/status-before.png" &&
	convert "$shots/6-trigger.png" -crop 120x20+530+410 +repage "$shots/status-after.png" &&
	! compare -metric AE "$shots/status-before.png" "$shots/status-after.png" null: 2>/dev/null; then
	echo "ardour-gui: the editor is embedded in Ardour's plug-in window and its trigger answers (screenshots in $shots)"
	exit 0
fi
echo "ardour-gui: the editor is embedded but its trigger changed nothing (screenshots in $shots)"
exit 1
