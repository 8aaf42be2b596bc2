#!/usr/bin/env bash
# realhost.sh PLUGIN_SO [INPUT_WAV] [OUTPUT_WAV]
#
# Loads a Linux VST 2 plug-in (.so) in Ardour 7 (headless: ardour7-lua with the
# Dummy audio backend), runs audio through it on a stereo track, exports the
# result and reports what the host saw. See README.md beside this script.
# RH_INSTALLED=1: the plug-in is used where it lies and Ardour searches only its
# default Linux VST path (LXVST_PATH unset).
#
# Exit status: 0 plug-in loaded and audio went through it
#              1 plug-in failure (rejected by the scanner, not listed, not
#                instantiated, crashed in its own code, no process calls,
#                non-finite output)
#              2 usage error      3 harness/host failure      4 timeout
set -u

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
preset_uuid="5f0e2a4c-6b1d-4e8a-b7c2-3d9f1a6e4b21" # export/rh_float.preset

rate_default=${RH_RATE:-48000}
seconds=${RH_SECONDS:-2}
tail_s=${RH_TAIL:-0}
block=${RH_BLOCK:-1024}
tries=${RH_TRIES:-3}
step_timeout=${RH_TIMEOUT:-120}
scan_timeout=${RH_SCAN_TIMEOUT:-30}
verbose=${RH_VERBOSE:-0}
keep=${RH_KEEP:-0}

say() { printf '%s\n' "$*"; }
note() { printf '%s\n' "$*" >&2; }
finish() { # status, result text
	say "result: $2"
	exit "$1"
}
usage() {
	note "usage: realhost.sh PLUGIN_SO [INPUT_WAV] [OUTPUT_WAV]"
	note "settings: RH_PARAMS='i=v,...' RH_PROGRAM=n RH_BYPASS=1 RH_TEMPO=bpm RH_MIDI='90 3c 7f;...'"
	note "          RH_RATE=Hz RH_SECONDS=s RH_TAIL=s RH_BLOCK=n RH_SHOW_PARAMS=n|all"
	note "          RH_TRIES=n RH_TIMEOUT=s RH_KEEP=1 RH_VERBOSE=1 (see README.md)"
	exit 2
}
show_log() { # file, lines
	[ -f "$1" ] || return 0
	if [ "$verbose" = 1 ]; then sed 's/^/  | /' "$1" >&2; else tail -n "${2:-25}" "$1" | sed 's/^/  | /' >&2; fi
}
number() { case "$1" in '' | *[!0-9]*) return 1 ;; esac; }

[ $# -ge 1 ] && [ $# -le 3 ] || usage
so_arg=$1 in_arg=${2:-} out_arg=${3:-}
[ -f "$so_arg" ] && [ -r "$so_arg" ] || { note "realhost: plug-in file not found or unreadable: $so_arg"; usage; }
[ -z "$in_arg" ] || [ -f "$in_arg" ] || { note "realhost: input WAV not found: $in_arg"; usage; }
if [ -n "$out_arg" ] && [ ! -d "$(dirname "$out_arg")" ]; then
	note "realhost: output folder does not exist: $(dirname "$out_arg")"
	usage
fi
number "$block" && number "$tries" && [ "$tries" -ge 1 ] || { note "realhost: RH_BLOCK and RH_TRIES must be numbers"; usage; }

# ---- tools -------------------------------------------------------------
ardour_lua=${RH_ARDOUR_LUA:-ardour7-lua}
wrapper=$(command -v "$ardour_lua") || finish 3 "HARNESS FAILURE ($ardour_lua not found: apt-get install ardour)"
dll_dir=$(sed -n 's/^export ARDOUR_DLL_PATH=//p' "$wrapper" 2>/dev/null | head -n 1)
host_bin=$(sed -n 's/^exec "\{0,1\}\([^" ]*\)"\{0,1\} .*/\1/p' "$wrapper" 2>/dev/null | head -n 1)
scanner=${RH_VST_SCANNER:-${dll_dir:+$dll_dir/ardour-vst-scanner}}
[ -n "$scanner" ] && [ -x "$scanner" ] || finish 3 "HARNESS FAILURE (ardour-vst-scanner not found; set RH_VST_SCANNER)"
python=""
for p in ${RH_PYTHON:-} $(type -ap python3); do
	if "$p" -c 'import numpy' 2>/dev/null; then python=$p; break; fi
done
[ -n "$python" ] || finish 3 "HARNESS FAILURE (no python3 with numpy: apt-get install python3-numpy)"
rhtool() { "$python" "$here/rhtool.py" "$@"; }
gdb_bin=$(command -v gdb || true) # optional: tells a crash in plug-in code from one in Ardour
host_version=$("$ardour_lua" --version 2>/dev/null | sed -n 's/^ardour-lua version //p' | head -n 1)

# ---- temporary world -----------------------------------------------------
work=$(mktemp -d -t realhost.XXXXXX) || finish 3 "HARNESS FAILURE (mktemp)"
cleanup() {
	if [ "$keep" = 1 ]; then note "realhost: kept $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM
emptydir=$work/empty
mkdir -p "$emptydir" "$work/config/ardour7/export" "$work/cache"
cp "$here/export/rh_float.format" "$here/export/rh_float.preset" "$work/config/ardour7/export/"
base=$(basename "$so_arg")
if [ "${RH_INSTALLED:-0}" = 1 ]; then
	# The plug-in where it is installed, and Ardour on its own default search path: it is found
	# only if the install put it where Ardour looks.
	plugin=$(cd "$(dirname "$so_arg")" && pwd)/$base
	vstdir=$(dirname "$plugin")
	lxvst_env=(env -u LXVST_PATH)
	# Ardour trusts a scan cache only if it is strictly newer than the plug-in.
	[ "$(($(date +%s) - $(stat -c %Y "$plugin")))" -ge 2 ] || sleep 2
else
	vstdir=$work/vst
	mkdir -p "$vstdir"
	cp "$so_arg" "$vstdir/$base"
	so_dir=$(dirname "$so_arg")
	[ -d "$so_dir/Data" ] && cp -r "$so_dir/Data" "$vstdir/Data"
	# Ardour trusts a scan cache only if it is strictly newer than the plug-in.
	touch -d "@$(($(date +%s) - 120))" "$vstdir/$base"
	plugin=$vstdir/$base
	lxvst_env=(env LXVST_PATH="$vstdir")
fi

export XDG_CONFIG_HOME=$work/config XDG_CACHE_HOME=$work/cache
export LV2_PATH=$emptydir LADSPA_PATH=$emptydir VST3_PATH=$emptydir VST_PATH=$emptydir

# ---- what the file is ------------------------------------------------------
magic=$(od -An -c -N4 "$plugin" | tr -d ' ')
if [ "$magic" = '177ELF' ]; then
	class=$(od -An -tu1 -j4 -N1 "$plugin" | tr -d ' ')
	machine=$(od -An -tu2 -j18 -N2 "$plugin" | tr -d ' ')
	case "$class/$machine" in
		2/62) say "file: $base (ELF 64-bit x86-64)" ;;
		1/3) say "file: $base (ELF 32-bit i386: a 64-bit host cannot load it)" ;;
		*) say "file: $base (ELF class $class, machine $machine)" ;;
	esac
else
	say "file: $base (not an ELF file)"
fi
say "host: Ardour ${host_version:-?} (headless ardour7-lua, Dummy backend)"

# ---- scan: the scanner Ardour itself runs for new plug-ins -----------------
LD_LIBRARY_PATH=${dll_dir}${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH} \
	timeout -k 5 "$scan_timeout" "$scanner" -f -v "$plugin" >"$work/scan.log" 2>&1 </dev/null
scan_rc=$?
cache=$(ls "$work/cache/ardour7/vst/"*.v2i 2>/dev/null | head -n 1)
if [ "$scan_rc" = 124 ] || [ "$scan_rc" = 137 ]; then
	say "scan: TIMEOUT after ${scan_timeout}s"
	show_log "$work/scan.log"
	finish 1 "PLUGIN FAILURE (the VST scanner timed out)"
elif [ "$scan_rc" != 0 ] || [ -z "$cache" ]; then
	reason=$(grep -E '^\[(ERROR|WARNING)\]' "$work/scan.log" | head -n 3 | tr '\n' ' ')
	[ "$scan_rc" -gt 128 ] && reason="killed by signal $((scan_rc - 128)) $reason"
	[ "$scan_rc" = 0 ] && reason="no scan result written. $reason"
	say "scan: FAILED (ardour-vst-scanner rc=$scan_rc) ${reason% }"
	show_log "$work/scan.log"
	finish 1 "PLUGIN FAILURE (rejected by Ardour's VST scanner)"
fi
scan_info=$(rhtool v2i "$cache" | grep -E '^(name|creator|id|n_inputs|n_outputs|n_midi_inputs|n_midi_outputs|is_instrument|can_process_replace|has_editor)=' | tr '\n' ' ')
say "scan: ok (${scan_info% })"
[ "$verbose" = 1 ] && show_log "$work/scan.log"

# ---- input -------------------------------------------------------------------
if [ -n "$in_arg" ]; then
	src=$in_arg
else
	src=$work/generated.wav
	rhtool gen "$src" "$rate_default" "$seconds" || finish 3 "HARNESS FAILURE (cannot generate the test signal)"
fi
# in_L/in_R become the track's audio; reference.wav is the same in stereo
prep=$(rhtool prepare "$src" "$work/in_L.wav" "$work/in_R.wav" "$work/reference.wav" "$tail_s") ||
	finish 2 "USAGE ERROR (cannot read input WAV $src)"
frames=$(sed -n 's/.*frames=\([0-9]*\).*/\1/p' <<<"$prep")
rate=$(sed -n 's/.*rate=\([0-9]*\).*/\1/p' <<<"$prep")
[ $((282240000 % rate)) = 0 ] || finish 2 "USAGE ERROR (sample rate $rate not supported by the session clock)"
say "input: ${in_arg:-generated test signal} frames=$frames rate=$rate tail=${tail_s}s"

# ---- pass 1: Ardour builds the session (no plug-in involved) --------------
LXVST_PATH=$emptydir timeout -k 5 "$step_timeout" "$ardour_lua" -X "$here/rh_create.lua" \
	"$work/session" "$rate" "$block" >"$work/create.log" 2>&1 </dev/null
rc1=$?
if [ "$rc1" = 124 ] || [ "$rc1" = 137 ]; then
	show_log "$work/create.log"
	finish 4 "TIMEOUT (creating the session took over ${step_timeout}s; no plug-in involved)"
fi
if [ "$rc1" != 0 ] || ! grep -q '^RH stage session-saved' "$work/create.log"; then
	show_log "$work/create.log"
	finish 3 "HARNESS FAILURE (Ardour could not create the session, rc=$rc1; no plug-in involved)"
fi
audio=$work/session/interchange/session/audiofiles
take_l=$(ls "$audio"/*%L.wav 2>/dev/null) take_r=$(ls "$audio"/*%R.wav 2>/dev/null)
if [ "$(wc -w <<<"$take_l")" != 1 ] || [ "$(wc -w <<<"$take_r")" != 1 ]; then
	ls -la "$audio" >&2
	finish 3 "HARNESS FAILURE (unexpected recorded files)"
fi
mv "$work/in_L.wav" "$take_l" && mv "$work/in_R.wav" "$take_r" && rm -rf "$work/session/peaks/"* ||
	finish 3 "HARNESS FAILURE (cannot place the input audio)"
rhtool patch-session "$work/session/rh.ardour" "$frames" "$rate" >/dev/null ||
	finish 3 "HARNESS FAILURE (cannot patch the session file)"

# ---- pass 2: load, insert the plug-in, export (retried on host crashes) --
# run_try NAME NO_PLUGIN: one Ardour run in $work/NAME on a fresh copy of the
# session. Sets: d (its folder), rc, outcome (clean|crash-plugin|crash-host|
# error|timeout), crash (one-line description), secs.
run_try() {
	d=$work/$1
	mkdir -p "$d/export" "$d/cwd"
	cp -a "$work/session" "$d/session"
	local t0 t1
	t0=$(date +%s.%N)
	(
		ulimit -c unlimited 2>/dev/null
		cd "$d/cwd" &&
			RH_NO_PLUGIN=$2 RH_STATUS_FILE=$d/status "${lxvst_env[@]}" \
				timeout -k 5 "$step_timeout" "$ardour_lua" -X "$here/rh_run.lua" \
				"$d/session" "$plugin" "$d/export" "$preset_uuid" "$block" >"$d/log" 2>&1 </dev/null
	)
	rc=$?
	t1=$(date +%s.%N)
	secs=$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.1f", b - a }')
	touch "$d/status"
	crash=""
	if [ "$rc" = 124 ] || [ "$rc" = 137 ]; then
		outcome=timeout
	elif [ "$rc" -gt 128 ]; then
		outcome=crash-host
		crash="signal $((rc - 128))"
		local core frames
		core=$(ls "$d/cwd"/core* 2>/dev/null | head -n 1)
		if [ -n "$core" ] && [ -n "$gdb_bin" ] && [ -n "$host_bin" ]; then
			frames=$("$gdb_bin" -q -batch -x "$here/rh_core.py" "$host_bin" "$core" 2>&1 |
				sed -n -e 's/^Program terminated with signal \([A-Z0-9]*\).*/SIGNAL \1/p' -e 's/^RHCORE //p')
			printf '%s\n' "$frames" >"$d/crash-frames"
			crash=$(sed -n 's/^SIGNAL //p' <<<"$frames" | head -n 1)
			local mine
			mine=$(grep -F " $vstdir/" <<<"$frames" | head -n 1 | awk '{ $1 = $2 = $3 = ""; print }' | sed 's/^ *//')
			if [ -n "$mine" ]; then
				outcome=crash-plugin
				crash="$crash in plug-in code ($mine)"
			else
				crash="$crash in host code ($(grep '^frame' <<<"$frames" | grep -v -E 'libc\.so|libstdc\+\+' |
					head -n 2 | awk '{ $1 = $2 = $3 = ""; print }' | sed 's/^ *//' | paste -sd '<' -))"
			fi
		else
			crash="$crash (no core dump or no gdb: cannot tell where)"
		fi
		rm -f "$d/cwd"/core*
	elif [ "$rc" != 0 ] || ! grep -q '^RH stage closed' "$d/status"; then
		outcome=error
	else
		outcome=clean
	fi
}
st_get() { sed -n "s/^RH $1 //p" "$d/status"; }

for try in $(seq 1 "$tries"); do
	run_try "try$try" 0
	[ "$verbose" = 1 ] && show_log "$d/log"
	[ "$outcome" = crash-host ] || break
	say "try $try: Ardour crashed, $crash, after stage '$(st_get stage | tail -n 1)'"
done
last_outcome=$outcome last_crash=$crash
if [ "$outcome" = crash-host ]; then
	# Every try crashed outside the plug-in: does Ardour crash without it too?
	# (It does now and then: see README.) Up to as many control tries.
	keep_d=$d
	for ctry in $(seq 1 "$tries"); do
		run_try "control$ctry" 1
		control=$outcome
		say "control $ctry: the same run without the plug-in: $control${crash:+ ($crash)}"
		[ "$control" = crash-host ] || break
	done
	d=$keep_d
fi

# ---- report from the last plug-in try ----------------------------------------
last_stage=$(st_get failed-at | tail -n 1)
[ -n "$last_stage" ] || last_stage=$(st_get stage | tail -n 1)
say "session: rate=$(st_get rate) block=$(st_get block) range=$(st_get range | tr ' ' '-')"
for key in plugin maker label unique-id category io params; do
	v=$(st_get "$key" | head -n 1)
	[ -n "$v" ] && say "$key: $v"
done
st_get param | while read -r idx rest; do say "param[$idx]: $rest"; done
v=$(st_get programs)
[ -n "$v" ] && say "programs: $v"
st_get program | while IFS= read -r label; do
	if [[ "$label" =~ ^([0-9]+)\ -\ (.*)$ ]]; then say "program[${BASH_REMATCH[1]}]: ${BASH_REMATCH[2]}"; else say "program: $label"; fi
done
st_get set | while IFS= read -r line; do say "set: $line"; done
for key in tempo dsp; do
	v=$(st_get "$key")
	[ -n "$v" ] && say "$key: $v"
done
err=$(st_get error | head -n 1 | sed -e 's/^[^ ]*rh_run\.lua:[0-9]*: //' -e 's/^[^ ]*rh_run\.lua:[0-9]*: //')
[ -n "$err" ] && say "error: $err"
# what Ardour itself said about this plug-in
grep -F -e "$vstdir" -e 'LXVST' "$d/log" | grep -v '^RH ' | grep -v -F "$err" | sort -u | head -n 5 |
	while IFS= read -r line; do say "host-message: $line"; done

outwav=$d/export/out.wav
if grep -q '^RH stage exported' "$d/status" && [ -f "$outwav" ]; then
	st=$(rhtool stats "$outwav") || finish 3 "HARNESS FAILURE (cannot read the export)"
	get() { sed -n "s/.*\b$1=\([^ ]*\).*/\1/p" <<<"$2"; }
	out_frames=$(get frames "$st") nonfinite=$(get nonfinite "$st")
	kept="(not kept)"
	if [ -n "$out_arg" ]; then cp "$outwav" "$out_arg" && kept=$out_arg; fi
	say "output: $kept frames=$out_frames channels=$(get channels "$st") rate=$(get rate "$st") peak=$(get peak "$st") rms=$(get rms "$st") nonfinite=$nonfinite"
	say "diff: $(rhtool compare "$work/reference.wav" "$outwav")"
else
	out_frames="" nonfinite=""
fi
say "time: ${secs}s for load, insert, export and close (try ${try})"

# ---- verdict -----------------------------------------------------------------
case "$last_outcome" in
	timeout)
		show_log "$d/log"
		finish 4 "TIMEOUT (Ardour run exceeded ${step_timeout}s at stage '${last_stage:-start}')" ;;
	crash-plugin)
		show_log "$d/log"
		finish 1 "PLUGIN FAILURE (Ardour crashed, $last_crash, after stage '${last_stage:-start}')" ;;
	crash-host)
		show_log "$d/log"
		if [ "$control" = clean ]; then
			finish 1 "PLUGIN FAILURE? (Ardour crashed outside plug-in code on all $tries tries, but not without the plug-in)"
		fi
		finish 3 "HARNESS FAILURE (Ardour crashed on all $tries tries, and as often without the plug-in)" ;;
	error)
		show_log "$d/log"
		case "$last_stage" in
			'' | start | session-loaded)
				if grep -q 'does not list' <<<"$err"; then
					finish 1 "PLUGIN FAILURE (scanned, but Ardour does not offer it as a Linux VST)"
				fi
				finish 3 "HARNESS FAILURE (Ardour stopped before the plug-in was involved; rc=$rc)" ;;
			exported)
				finish 1 "PLUGIN FAILURE (audio exported, but closing the session failed; rc=$rc)" ;;
			*)
				finish 1 "PLUGIN FAILURE (Ardour failed at stage '$last_stage'; rc=$rc)" ;;
		esac ;;
esac
[ "$out_frames" = "$frames" ] || finish 3 "HARNESS FAILURE (exported ${out_frames:-no} frames, expected $frames)"
[ "$nonfinite" = 0 ] || finish 1 "PLUGIN FAILURE (output contains NaN or Inf)"
if [ "${RH_BYPASS:-0}" != 1 ] && grep -q '^RH dsp none' "$d/status"; then
	finish 1 "PLUGIN FAILURE (Ardour recorded no process call of the plug-in)"
fi
finish 0 "OK"
