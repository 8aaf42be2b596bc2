#!/usr/bin/env bash
# Builds the plug-in's libFuzzer target with clang into build/fuzz and runs it for the given number
# of seconds (default 60). The corpus grows in build/fuzz/corpus, seeded with the inputs of faults
# found before (tests/fuzz/regressions); a crash leaves its input in build/fuzz/ and fails the script.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
cc=$(command -v clang-14 || command -v clang)
cxx=$(command -v clang++-14 || command -v clang++)
cmake -S . -B build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER="$cc" -DCMAKE_CXX_COMPILER="$cxx" \
  -DQBFX_FUZZ=ON -DQBFX_TESTS=OFF -DQBFX_BENCH=OFF -DQBFX_EDITOR=OFF -DQBFX_TOOLS=OFF >/dev/null
cmake --build build/fuzz -j"$(nproc)" --target qbfx_fuzz_plugin
mkdir -p build/fuzz/corpus
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  build/fuzz/tests/fuzz/qbfx_fuzz_plugin -max_total_time="$seconds" -max_len=4096 -rss_limit_mb=4096 \
  -artifact_prefix=build/fuzz/ -print_final_stats=1 build/fuzz/corpus tests/fuzz/regressions
