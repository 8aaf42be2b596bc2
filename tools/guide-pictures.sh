#!/usr/bin/env bash
# Redraws the pictures of the user guide (docs/guide.md) with the project's own tools: each
# effect's plot is qbfx-render run over a two-bar test signal, the effect coming in at the start of
# bar 2; the editor pictures come from the editor test under a virtual X display.
#
#   bash tools/guide-pictures.sh [--no-editor] [BUILD_DIR [OUT_DIR]]
#
# BUILD_DIR (default build/release) must hold QBFX_F.so and tools/render/qbfx-render; OUT_DIR
# (default docs) receives the pictures. --no-editor skips the editor pictures (no X needed).
set -euo pipefail
cd "$(dirname "$0")/.."

editor=1
if [ "${1:-}" = "--no-editor" ]; then
  editor=0
  shift
fi
build=${1:-build/release}
out=${2:-docs}
render=$build/tools/render/qbfx-render
plugin=$build/QBFX_F.so
for f in "$render" "$plugin"; do
  [ -e "$f" ] || { echo "guide-pictures: $f is missing; build it first" >&2; exit 1; }
done
mkdir -p "$out/guide"
out=$(cd "$out" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A 16-bit stereo WAV at 44.1 kHz written by awk. "beats": two bars at 120 beats per minute of a
# kick-like thump on every beat, a short noise tick on every off-beat and a soft two-note tone,
# then a second of silence, so that echoes, chopping, notches and ringing all show in a waveform.
# (The input runs as long as the output: the plot scales each lane to its own length.)
write_signal() {
  LC_ALL=C awk -v frames="$2" -v kind="$1" '
    function le16(v) { v = int(v); if (v < 0) v += 65536; printf "%c%c", v % 256, int(v / 256) }
    function le32(v) { printf "%c%c%c%c", v % 256, int(v / 256) % 256, int(v / 65536) % 256, int(v / 16777216) }
    BEGIN {
      rate = 44100; beat = rate / 2; pi2 = 6.283185307179586; srand(7)
      printf "RIFF"; le32(36 + frames * 4); printf "WAVEfmt "; le32(16); le16(1); le16(2)
      le32(rate); le32(rate * 4); le16(4); le16(16); printf "data"; le32(frames * 4)
      for (i = 0; i < frames; i++) {
        t = i / rate
        if (kind == "tone") {
          # a plain sine at 441 Hz: one period is 100 samples
          l = r = 0.8 * sin(pi2 * 441 * t)
        } else {
          tb = (i % beat) / rate; th = ((i + beat / 2) % beat) / rate
          kick = 0.7 * exp(-tb * 14) * sin(pi2 * 55 * tb * (1 + 1.5 * exp(-tb * 40)))
          tick = 0.25 * exp(-th * 90) * (2 * rand() - 1)
          tone = 0.07 * (sin(pi2 * 220 * t) + sin(pi2 * 330 * t))
          l = kick + tick + tone; r = kick + tick * 0.8 + tone
          if (i >= 4 * rate) l = r = 0   # the last second is silent: what rings on shows
        }
        le16(l * 32767); le16(r * 32767)
      }
    }' > "$3"
}

beats=$work/beats.wav
write_signal beats 220500 "$beats"

# render NAME SELECT_NOTE STEP_NOTE [--set NAME=VALUE ...]: the effect is selected at beat 0 and
# its synced value held from beat 4 (bar 2) into the silence after the music, where it is let go.
render_effect() {
  local name=$1 select=$2 step=$3
  shift 3
  printf '0 note %s 100\n0.25 off %s\n4 note %s 100\n9.5 off %s\n' "$select" "$select" "$step" "$step" \
    > "$work/$name.txt"
  "$render" "$beats" -o "$work/$name.wav" --plugin "$plugin" --score "$work/$name.txt" \
    --plot "$out/guide/$name.png" "$@" > /dev/null
}

render_effect synced-delay 35 50 --set "Del Fbck=0.8"
render_effect glide-drift 36 52 --set "Gli Amp=0.5" --set "LFO Wav=1"
render_effect flanger 38 52 --set "Fla Fbck=1"
render_effect phaser 40 52 --set "Pha Frq=0.03"
render_effect slicer 43 48 --set "Sli Var=1"
render_effect ringer 45 53 --set "Rng Ton=0" --set "Rng Fbck=0.6"
render_effect tricombs 47 55 --set "Chd Fbck=0.8"

# The Decimator is drawn close up: 20 ms of a 441 Hz sine, a new sample every 16 (a quarter of the
# rate, divided by the synced value 4/8) and 4 levels per unit of amplitude.
tone=$work/tone.wav
write_signal tone 882 "$tone"
printf '0.01 note 41 100\n0.01 note 53 100\n' > "$work/decimator.txt"
"$render" "$tone" -o "$work/decimator.wav" --plugin "$plugin" --score "$work/decimator.txt" \
  --set "Dec Sr=0.25" --set "Dec Bd=0.09" --plot "$out/guide/decimator.png" > /dev/null

if [ "$editor" = 1 ]; then
  QBFX_SCREENSHOTS=$out xvfb-run -a "$build/tests/editor/qbfx_editor_x11_tests" > /dev/null
fi
for name in synced-delay glide-drift flanger phaser decimator slicer ringer tricombs; do
  [ -s "$out/guide/$name.png" ] || { echo "guide-pictures: $out/guide/$name.png was not written" >&2; exit 1; }
done
if [ "$editor" = 1 ]; then
  echo "pictures written to $out/guide/ and $out/"
else
  echo "pictures written to $out/guide/"
fi
