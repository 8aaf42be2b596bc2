#!/usr/bin/env bash
# Installs what the build and the tests need on a fresh Debian 12, skipping what is already there.
#   bash tools/setup-debian.sh         everything: the plug-in, the renderer, the tests, benchmarks
#   bash tools/setup-debian.sh build   only what the plug-in and the renderer need
#   bash tools/setup-debian.sh hosts   the plug-in hosts the install and LV2 checks run in
#   bash tools/setup-debian.sh only P…  just the packages named
set -euo pipefail
base=(build-essential cmake pkg-config libpng-dev zlib1g-dev libfreetype-dev libx11-dev
      libsndfile1-dev lv2-dev)
case "${1:-all}" in
  build) packages=("${base[@]}") ;;
  only) shift; packages=("$@") ;;
  # the hosts the install and LV2 checks drive: the lilv tools, lv2file, jalv with a JACK server,
  # Ardour 7 headless with the numpy its harness reads exports with, a virtual display
  hosts) packages=(lilv-utils lv2file sordi jalv jackd2 ardour python3-numpy xvfb xauth x11-utils) ;;
  *) packages=("${base[@]}" clang libgtest-dev libgmock-dev libbenchmark-dev libxext-dev libxtst-dev
               xvfb xauth ladspa-sdk tap-plugins) ;;
esac
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
