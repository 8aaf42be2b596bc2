#!/usr/bin/env bash
# Installs what the build and the tests need on a fresh Debian 12, skipping what is already there.
#   bash tools/setup-debian.sh         everything: the plug-in, the renderer, the tests, benchmarks
#   bash tools/setup-debian.sh build   only what the plug-in and the renderer need
set -euo pipefail
packages=(build-essential cmake pkg-config libpng-dev zlib1g-dev libfreetype-dev libx11-dev
          libsndfile1-dev lv2-dev)
if [ "${1:-all}" != build ]; then
  packages+=(clang libgtest-dev libgmock-dev libbenchmark-dev libxext-dev libxtst-dev xvfb xauth
             ladspa-sdk tap-plugins)
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "missing Debian packages: ${missing[*]} (run as root, or: sudo apt-get install ${missing[*]})" >&2
    exit 1
  fi
  echo "installing: ${missing[*]}"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
fi
