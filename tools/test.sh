#!/usr/bin/env bash
# Builds and runs the whole test suite: an optimised build, then one under AddressSanitizer and
# UndefinedBehaviorSanitizer, then the cross-thread tests under ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup-debian.sh
# the hosts before the first configure, so the build finds them (the system-install check in Ardour)
bash tools/setup-debian.sh hosts
jobs=$(nproc)

echo "== optimised build"
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DQBFX_TESTS=ON -DQBFX_BENCH=ON >/dev/null
cmake --build build/release -j"$jobs"
ctest --test-dir build/release --output-on-failure --timeout 600 -j"$jobs"

echo "== LV2 bundle in Debian's LV2 hosts (lilv tools, sord_validate, lv2file, jalv, Ardour 7)"
timeout 1200 bash tools/test-lv2.sh build/release

echo "== AddressSanitizer + UndefinedBehaviorSanitizer build"
cmake -S . -B build/asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQBFX_SANITIZE=ON -DQBFX_BENCH=OFF >/dev/null
cmake --build build/asan -j"$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build/asan --output-on-failure --timeout 900 -j"$jobs"

echo "== ThreadSanitizer build (cross-thread tests)"
cmake -S . -B build/tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQBFX_TSAN=ON -DQBFX_BENCH=OFF >/dev/null
cmake --build build/tsan -j"$jobs" --target qbfx_plugin_tests
TSAN_OPTIONS=halt_on_error=1 ctest --test-dir build/tsan --output-on-failure -R 'CrossThread'

# ---- fuzzing (appended by the robustness work): a minute of libFuzzer on host actions, clang build
echo "== libFuzzer: host actions on an in-process instance (60 s)"
bash tools/fuzz.sh 60

echo "== Windows DLLs (i686 and x86_64) under wine"
bash tools/test-windows.sh
