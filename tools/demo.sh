#!/usr/bin/env bash
# Builds the plug-in and the renderer only (no tests, no benchmarks) and renders the built-in demo
# through the plug-in: demo.wav and demo.png in build/demo-output/.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup-debian.sh build
jobs=$(nproc)
[ "$jobs" -le 2 ] || jobs=2
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DQBFX_TESTS=OFF -DQBFX_BENCH=OFF >/dev/null
cmake --build build/release -j"$jobs" --target QBFX_F qbfx-render
out=build/demo-output
mkdir -p "$out"
build/release/tools/render/qbfx-render --plugin build/release/QBFX_F.so --demo -o "$out/demo.wav" \
  --plot "$out/demo.png"
cat <<TEXT

The plug-in:   $PWD/build/release/QBFX_F.so (its controller map beside it in Data/)
The demo:      $PWD/$out/demo.wav   (10 bars: two dry, then the eight effects in turn)
Its picture:   $PWD/$out/demo.png   (waveforms in and out, the triggers by name)
Listen:        play $PWD/$out/demo.wav   (sox), aplay $PWD/$out/demo.wav, or any player
Install:       sudo cmake --install build/release --prefix /usr/local   (for every host; see README.md)
TEXT
