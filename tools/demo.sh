#!/usr/bin/env bash
# Builds the plug-in and renders the built-in demo through it (demo.wav, demo.png).
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup-debian.sh
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/release -j"$(nproc)"
if [ -x build/release/tools/render/qbfx-render ]; then
  build/release/tools/render/qbfx-render --plugin build/release/QBFX_F.so --demo -o demo.wav --plot demo.png
else
  echo "built build/release/QBFX_F.so"
fi
